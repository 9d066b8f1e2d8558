// The two-pass NTT against direct sums: the spectrum against the definition, the cyclic
// convolution against the schoolbook one, the inverse against the input.
#include <vector>

#include "ntt/primes.hpp"
#include "ntt/transform.hpp"
#include "support/test_support.hpp"

namespace zeprix::ntt {
namespace {

using Vec = std::vector<u64>;
using test::SeedNote;

u64 Ref(u64 x, u64 y, u64 p) { return static_cast<u64>(static_cast<u128>(x) * y % p); }

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

Vec ConvolveByNtt(const NttPlan& plan, Vec a, Vec b, bool square) {
    plan.Forward(a.data());
    if (square) {
        PointwiseSquare(a.data(), plan.Size(), plan.Mod());
    } else {
        plan.Forward(b.data());
        PointwiseMul(a.data(), b.data(), plan.Size(), plan.Mod());
    }
    plan.Inverse(a.data());
    return a;
}

const NttState& State() {
    static const NttState st = InitNTT(1L << 12, 1000);  // 10 primes
    return st;
}

// Forward gives sum_n x[n] w^(n k) at the position FrequencyAt names, w of order exactly N.
TEST(NttTransform, SpectrumIsTheDefinition) {
    const NttState& st = State();
    for (long i = 0; i < st.NbPrimes(); i += 3) {
        for (long n : {1L, 2L, 4L, 8L, 32L, 128L, 512L}) {
            const NttPlan plan(st, i, n);
            const Modulus& m = plan.Mod();
            const Vec x = Operand(n, m.p, 0);
            Vec X = x;
            plan.Forward(X.data());
            std::vector<bool> seen(static_cast<size_t>(n), false);
            for (long pos = 0; pos < n; ++pos) {
                const long k = plan.FrequencyAt(pos);
                ASSERT_TRUE(k >= 0 && k < n && !seen[static_cast<size_t>(k)]);
                seen[static_cast<size_t>(k)] = true;
                const u64 wk = PowMod(plan.Root(), static_cast<u64>(k), m);
                u64 s = 0, t = 1;
                for (long j = 0; j < n; ++j) {
                    s = (s + Ref(x[static_cast<size_t>(j)], t, m.p)) % m.p;
                    t = Ref(t, wk, m.p);
                }
                ASSERT_EQ(X[static_cast<size_t>(pos)], s) << "n=" << n << " pos=" << pos;
            }
            if (n > 1) {
                EXPECT_EQ(PowMod(plan.Root(), static_cast<u64>(n / 2), m), m.p - 1);
            }
        }
    }
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
                const Vec c = ConvolveByNtt(plan, a, square ? a : b, square);
                const Vec& b2 = square ? a : b;
                for (long k = 0; k < n; ++k)
                    ASSERT_EQ(c[static_cast<size_t>(k)], CyclicPoint(a, b2, k, p))
                        << "prime " << i << " n=" << n << " kind=" << kind << " k=" << k
                        << SeedNote();
            }
        }
    }
}

// The passes driven one strip and one row at a time (strips of every width) give Forward,
// and back give the input.
TEST(NttTransform, StreamedPassesAreTheTransform) {
    const NttState& st = State();
    for (long n : {2L, 8L, 64L, 2048L}) {
        const NttPlan plan(st, 1, n);
        const long R1 = plan.Columns(), R2 = plan.Rows();
        ASSERT_EQ(R1 * R2, n);
        const Vec x = Operand(n, plan.Mod().p, 0);
        Vec want = x;
        plan.Forward(want.data());
        for (long w = 1; w <= 8 && w <= R1; w *= 2) {
            Vec y = x, strip(static_cast<size_t>(R2 * w));
            const auto columns = [&](bool forward) {
                for (long c0 = 0; c0 < R1; c0 += w) {
                    for (long r = 0; r < R2 * w; ++r)
                        strip[static_cast<size_t>(r)] =
                            y[static_cast<size_t>(r / w * R1 + c0 + r % w)];
                    plan.ColumnStrip(strip.data(), w, forward);
                    for (long r = 0; r < R2 * w; ++r)
                        y[static_cast<size_t>(r / w * R1 + c0 + r % w)] =
                            strip[static_cast<size_t>(r)];
                }
            };
            columns(true);
            for (long r = 0; r < R2; ++r) plan.Row(y.data() + r * R1, r, true);
            ASSERT_EQ(y, want) << "n=" << n << " width " << w;
            for (long r = 0; r < R2; ++r) plan.Row(y.data() + r * R1, r, false);
            columns(false);
            ASSERT_EQ(y, x) << "n=" << n << " width " << w;
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
            Vec x = a;
            plan.Forward(x.data());
            EXPECT_NE(x, a);
            plan.Inverse(x.data());
            ASSERT_EQ(x, a) << "n=" << n << SeedNote();
            const Vec c = ConvolveByNtt(plan, a, b, false);
            for (long k : {0L, 1L, n / 2, n - 1, test::RandomLong(0, n - 1)})
                ASSERT_EQ(c[static_cast<size_t>(k)], CyclicPoint(a, b, k, p)) << n << " " << k;
        }
    }
}

}  // namespace
}  // namespace zeprix::ntt
