// The two-pass NTT at sizes beyond the products of the tests (2^13 and 2^18 points): the
// inverse against the input, sampled points of a convolution against direct sums. (Smaller
// transforms: the disk products through the NTT, against GMP.)
#include <cmath>
#include <vector>

#include "ntt/primes.hpp"
#include "ntt/transform.hpp"
#include "support/test_support.hpp"

namespace zeprix::ntt {
namespace {

using Vec = std::vector<u64>;
using test::SeedNote;

Vec RandomResidues(long n, u64 p) {
    Vec v(static_cast<size_t>(n));
    for (u64& x : v) x = test::Rng()() % p;
    return v;
}

// Point k of the cyclic convolution of a and b modulo p, summed directly.
u64 CyclicPoint(const Vec& a, const Vec& b, long k, u64 p) {
    const long n = static_cast<long>(a.size());
    u128 s = 0;
    for (long i = 0; i < n; ++i)
        s += static_cast<u128>(a[static_cast<size_t>(i)]) *
             b[static_cast<size_t>((k - i + n) % n)] % p;
    return static_cast<u64>(s % p);
}

using Points = std::vector<double>;
Vec ToResidues(const Points& v) {
    Vec r;
    for (double x : v) {
        EXPECT_TRUE(x >= 0 && x == std::floor(x)) << x;
        r.push_back(static_cast<u64>(x));
    }
    return r;
}

// Inverse(Forward(x)) = x; sampled points of a convolution and of a square.
TEST(NttTransform, LargeRoundTripAndSampledConvolution) {
    const NttState st = InitNTT(1L << 18, 1000);
    for (long i : {0L, 9L}) {
        for (long n : {1L << 13, 1L << 18}) {
            const NttPlan plan(st, i, n);
            const u64 p = plan.Mod().p;
            const Vec a = RandomResidues(n, p), b = RandomResidues(n, p);
            Points x(a.begin(), a.end()), y(b.begin(), b.end()), s(a.begin(), a.end());
            plan.Forward(x.data());
            EXPECT_NE(x, s);
            plan.Forward(y.data());
            plan.Forward(s.data());
            PointwiseMul(y.data(), x.data(), plan.Size(), plan.Mod());
            PointwiseSquare(s.data(), plan.Size(), plan.Mod());
            for (Points* z : {&x, &y, &s}) plan.Inverse(z->data());
            ASSERT_EQ(ToResidues(x), a) << "n=" << n << SeedNote();
            const Vec c = ToResidues(y), sq = ToResidues(s);
            for (long k : {0L, 1L, n / 2, n - 1, test::RandomLong(0, n - 1)}) {
                ASSERT_EQ(c[static_cast<size_t>(k)], CyclicPoint(a, b, k, p)) << n << " " << k;
                ASSERT_EQ(sq[static_cast<size_t>(k)], CyclicPoint(a, a, k, p)) << n << " " << k;
            }
        }
    }
}

}  // namespace
}  // namespace zeprix::ntt
