// Inverse square root against GMP integer square roots: the values the program uses
// (2, 8, 10005), a perfect square, the largest allowed a, capacities around every edge of
// the precision schedule, then random ones; the band routine against exact GMP squares.
#include <gtest/gtest.h>

#include <string>

#include "fft/multiply.hpp"
#include "newton/inv_sqrt.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "newton_test_util.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using numbers::BigInt;

// floor(10^(12 C) / sqrt(a)) = isqrt(floor(10^(24 C) / a)).
Mpz ExactInvSqrt(long a, long C) {
    Mpz p, r;
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(24 * C));
    mpz_fdiv_q_ui(p.v, p.v, static_cast<unsigned long>(a));
    mpz_sqrt(r.v, p.v);
    return r;
}

// Runs InvSqrtBigInt(a) at capacity C and checks the promise: C limbs at exponent -C,
// canonical, within `ulps` units of the last limb of 1/sqrt(a) (2 for C >= 3; the
// two-limb start is good to about 15 digits), canaries intact.
void CheckInvSqrt(long a, long C) {
    SetUpFFT();
    Guarded y(C), t(C + 24);
    newton::InvSqrtBigInt(a, y.b, t.b);
    const std::string what = "a = " + std::to_string(a) + ", C = " + std::to_string(C) +
                             ", seed " + std::to_string(Seed());
    ASSERT_EQ(y.b._N, C) << what;
    ASSERT_EQ(y.b.Exp, -C) << what;
    EXPECT_TRUE(IsCanonical(y.b.Limbs, y.b._N, 1e12)) << what;
    Mpz d = MantissaToMpz(y.b);
    mpz_sub(d.v, d.v, ExactInvSqrt(a, C).v);
    mpz_abs(d.v, d.v);
    const unsigned long ulps = C >= 3 ? 2 : 1000000000;
    EXPECT_LE(mpz_cmp_ui(d.v, ulps), 0) << what << ": off by " << d.str();
    EXPECT_TRUE(y.CanariesIntact() && t.CanariesIntact()) << what << ": canary overwritten";
}

// Capacities at the schedule's edges: the two-limb start, the first steps, the restart at
// C/16 with its halvings (powers of two and their neighbours), pieces of the FFT (> 1365).
TEST(InvSqrtBigInt, ProgramValuesAtScheduleEdges) {
    for (long a : {2L, 8L, 10005L})
        for (long C : {2L, 3L, 4L, 5L, 6L, 7L, 8L, 9L, 15L, 16L, 17L, 31L, 32L, 33L, 63L, 64L,
                       65L, 100L, 255L, 256L, 257L, 1000L, 1023L, 1024L, 1025L, 1366L, 3001L})
            CheckInvSqrt(a, C);
}

TEST(InvSqrtBigInt, PerfectSquareAndExtremeA) {
    for (long a : {3L, 4L, 9L, 10000L, 9999991L, newton::kInvSqrtMaxA})
        for (long C : {2L, 3L, 17L, 300L, 2000L}) CheckInvSqrt(a, C);
}

TEST(InvSqrtBigInt, RandomAAndCapacities) {
    std::uniform_int_distribution<long> da(2, newton::kInvSqrtMaxA), dc(3, 2500);
    for (int i = 0; i < 25; ++i) CheckInvSqrt(da(Rng()), dc(Rng()));
}

// Several restarts' worth of doublings and many pieces per product.
TEST(InvSqrtBigInt, LongResult) {
    CheckInvSqrt(10005, 20000);
    CheckInvSqrt(2, 16385);
}

void RunWithA(long a) {
    BigInt y, t;
    y.Alloc(10);
    t.Alloc(40);
    newton::InvSqrtBigInt(a, y, t);
}

TEST(InvSqrtBigInt, RejectsAOutsideItsRange) {
    SetUpFFT();
    for (long a : {1L, 0L, -2L, newton::kInvSqrtMaxA + 1})
        ZEPRIX_EXPECT_FATAL(RunWithA(a), "a must be between 2 and 10^7");
}

// The band routine: floor(a y^2 / 10^(12 lo)) mod 10^(12 w) from the columns at and just
// below the band, for random y (any value: the routine does not assume a y^2 ~ 1) and for
// y with every limb 999999999999 (the largest column sums and carries). The computed band
// may lie below the exact one by at most 1 + a units (ignored columns), never above.
TEST(InvSqrtBigInt, BandRoutineAgreesWithExactSquare) {
    struct Shape {
        long N, exp, lo, w;
    };
    const Shape shapes[] = {{50, -50, -54, 9}, {50, -50, -99, 3}, {50, -50, -60, 20},
                            {7, -7, -10, 5},   {1200, -1200, -1204, 12}, {3, -3, -6, 4}};
    std::uniform_int_distribution<long> da(2, newton::kInvSqrtMaxA);
    for (int nines = 0; nines < 2; ++nines) {
        for (const Shape& s : shapes) {
            const long a = nines ? newton::kInvSqrtMaxA : da(Rng());
            BigInt y;
            y.Alloc(s.N);
            const Mpz Y = nines ? AllNines(12 * s.N) : RandomDigits(12 * s.N);
            FromMpz(Y.v, y);
            y.Exp = s.exp;
            std::vector<double> band(static_cast<std::size_t>(s.w));
            newton::detail::ScaledSquareBand(a, y, s.lo, s.w, band.data());

            // exact: floor(a Y^2 B^(2 exp - lo)) mod B^w, with 2 exp - lo <= 0 here
            Mpz e, q, m, got;
            mpz_mul(e.v, Y.v, Y.v);
            mpz_mul_ui(e.v, e.v, static_cast<unsigned long>(a));
            mpz_ui_pow_ui(q.v, 10, static_cast<unsigned long>(12 * (s.lo - 2 * s.exp)));
            mpz_fdiv_q(e.v, e.v, q.v);
            mpz_ui_pow_ui(m.v, 10, static_cast<unsigned long>(12 * s.w));
            LimbsToMpz(band.data(), s.w, 1e12, got.v);
            Mpz diff;
            mpz_sub(diff.v, e.v, got.v);
            mpz_fdiv_r(diff.v, diff.v, m.v);  // exact - computed, mod B^w
            EXPECT_LE(mpz_cmp_ui(diff.v, static_cast<unsigned long>(a + 1)), 0)
                << "N " << s.N << ", lo " << s.lo << ", w " << s.w << ", a " << a
                << (nines ? ", all nines" : "") << ", seed " << Seed();
            y.Free();
        }
    }
}

}  // namespace
}  // namespace zeprix::test
