// The two-pass NTT against direct sums (exact integer references): the cyclic convolution
// against the schoolbook one, the inverse against the input. (A transform pair that is not
// a DFT pair gives other convolutions.)
#include <cmath>
#include <vector>

#include "ntt/primes.hpp"
#include "ntt/transform.hpp"
#include "support/test_support.hpp"

namespace zeprix::ntt {
namespace {

using Vec = std::vector<u64>;
using test::SeedNote;

// Random residues, or every one p - 1 (the largest products), or a single 1 at `at`.
Vec Operand(long n, u64 p, int kind, long at = 0) {
    Vec v(static_cast<size_t>(n), kind == 1 ? p - 1 : 0);
    if (kind == 0)
        for (u64& x : v) x = test::Rng()() % p;
    if (kind == 2) v[static_cast<size_t>(at)] = 1;
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

Vec ConvolveByNtt(const NttPlan& plan, const Vec& va, const Vec& vb, bool square) {
    Points a(va.begin(), va.end()), b(vb.begin(), vb.end());
    plan.Forward(a.data());
    if (square) {
        PointwiseSquare(a.data(), plan.Size(), plan.Mod());
    } else {
        plan.Forward(b.data());
        PointwiseMul(a.data(), b.data(), plan.Size(), plan.Mod());
    }
    plan.Inverse(a.data());
    return ToResidues(a);
}

const NttState& State() {
    static const NttState st = InitNTT(1L << 12, 1000);  // 10 primes
    return st;
}

// Cyclic convolutions for every prime and sizes 1 .. 1024 (random operands, operands of
// p - 1, impulses that rotate), squares included; all points against the direct sum.
TEST(NttTransform, ConvolutionIsTheSchoolbookOne) {
    const NttState& st = State();
    for (long i = 0; i < st.NbPrimes(); ++i) {
        for (long n = 1; n <= 1024; n *= 2) {
            const NttPlan plan(st, i, n);
            const u64 p = plan.Mod().p;
            for (int kind = 0; kind < 3; ++kind) {
                const Vec a = Operand(n, p, kind == 2 ? 0 : kind);
                const Vec b = Operand(n, p, kind, n / 3);
                const bool square = kind == 1 && n % 2 == 0;
                const Vec& b2 = square ? a : b;
                const Vec c = ConvolveByNtt(plan, a, b2, square);
                for (long k = 0; k < n; ++k)
                    ASSERT_EQ(c[static_cast<size_t>(k)], CyclicPoint(a, b2, k, p))
                        << "prime " << i << " n=" << n << " kind=" << kind << " k=" << k
                        << SeedNote();
            }
        }
    }
}

// Large sizes: Inverse(Forward(x)) = x, and sampled points of a convolution.
TEST(NttTransform, LargeRoundTripAndSampledConvolution) {
    const NttState st = InitNTT(1L << 18, 1000);
    for (long i : {0L, 9L}) {
        for (long n : {1L << 13, 1L << 18}) {
            const NttPlan plan(st, i, n);
            const u64 p = plan.Mod().p;
            const Vec a = Operand(n, p, 0), b = Operand(n, p, 0);
            Points x(a.begin(), a.end());
            plan.Forward(x.data());
            EXPECT_NE(x, Points(a.begin(), a.end()));
            plan.Inverse(x.data());
            ASSERT_EQ(ToResidues(x), a) << "n=" << n << SeedNote();
            const Vec c = ConvolveByNtt(plan, a, b, false);
            for (long k : {0L, 1L, n / 2, n - 1, test::RandomLong(0, n - 1)})
                ASSERT_EQ(c[static_cast<size_t>(k)], CyclicPoint(a, b, k, p)) << n << " " << k;
        }
    }
}

}  // namespace
}  // namespace zeprix::ntt
