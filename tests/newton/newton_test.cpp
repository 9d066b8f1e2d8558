// Reciprocal, division and inverse square root against GMP: worst-case operands first
// (powers of 10^12, runs of nines, a denominator just below a power of 10^12, the largest
// a), at capacities around every edge of the precision schedules, then random ones; every
// number followed by canaries. NFFT 4096 (one size per process): division blocks of
// k = 1365 - 5 = 1360 limbs, so numbers of a few thousand limbs need several rounds and
// every product of more than 1365 limbs goes in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/parallel.hpp"
#include "fft/multiply.hpp"
#include "newton/inv_sqrt.hpp"
#include "newton/newton.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using numbers::BigInt;

class Newton : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fft::SetupFFT(4096); }
};

Mpz PowB(long k) { return Pow10(12 * k); }

// |Y B^ey - 1/(X B^ex)| <= 3 units of y's last limb  <=>  |X Y - B^s| <= 3 X, s = -(ex + ey).
void CheckInverse(const Mpz& X, long ex, long C, const char* what) {
    Big x(X, static_cast<long>(mpz_sizeinbase(X.v, 10)) / 12 + 2), y(C), t(C + 16);
    x.b.Exp = ex;
    newton::InverseBigInt(x.b, y.b, t.b);
    const long s = -(ex + y.b.Exp);
    ASSERT_GE(s, 0) << what;
    const Mpz d = Sub(Mul(X, y.Value()), PowB(s));
    EXPECT_LE(mpz_cmpabs(d.v, Mul(X, Mpz(3L)).v), 0) << what << ": capacity " << C << SeedNote();
    EXPECT_TRUE(IsCanonical(y.b.Limbs, y.b._N, 1e12)) << what;
    EXPECT_TRUE(SameValue(x.Value(), X)) << what << ": x changed";
    EXPECT_TRUE(y.Intact() && t.Intact()) << what << ": written past the capacity";
}

TEST_F(Newton, InverseAtScheduleEdges) {
    // Capacities around the restart (256), the planned precisions (C/2 halved, rounding up,
    // down to 240: odd halves at 481, 482 and 961), the first steps and a full division
    // block; x = 10^480 - 1 (1/x = 10^-480 (1 + 10^-480 + ..)) and
    // 10^360 + 1 (1/x just below a power).
    const Mpz top1 = Add(PowB(30), Mpz(1L));
    for (long C : {3, 4, 5, 9, 10, 17, 130, 240, 241, 255, 256, 257, 300, 481, 482, 961, 1000, 1360}) {
        CheckInverse(Mpz(1L), 0, C, "x = 1");
        CheckInverse(PowB(7), -3, C, "x = 10^84 (exponent -3)");
        CheckInverse(AllNines(12 * 40), 5, C, "x = 10^480 - 1");
        CheckInverse(top1, 0, C, "x = 10^360 + 1");
        CheckInverse(AllNines(12), 0, C, "x = 999999999999");
    }
    for (int i = 0; i < 60; ++i)
        CheckInverse(RandomDigits(RandomLong(1, 30000)), RandomLong(-10, 10), RandomLong(2, 2501),
                     "random x");
}

// num / den to every capacity Cn, checked as |Q D B^s - N| <= 8 D (s = eq - en + ed, moved
// to the other side when negative); the quotient fills num.
void CheckDivision(const Mpz& Nm, long en, const Mpz& Dm, long ed, long Cn, long Cd,
                   const char* what) {
    Big num(Nm, Cn), den(Dm, Cd), work(Cn), t(newton::DivisionBlock() + 16),
        inv(newton::DivisionBlock());
    num.b.Exp = en;
    den.b.Exp = ed;
    newton::DivideBigInt(num.b, den.b, work.b, t.b, inv.b);
    ASSERT_TRUE(IsCanonical(num.b.Limbs, num.b._N, 1e12)) << what;
    const long s = num.b.Exp - en + ed;
    const Mpz up = PowB(std::max(s, 0L)), down = PowB(std::max(-s, 0L)),
              bound = Mul(Mul(Dm, Mpz(8L)), up);
    const Mpz lhs = Sub(Mul(Mul(num.Value(), Dm), up), Mul(Nm, down));
    EXPECT_LE(mpz_cmpabs(lhs.v, bound.v), 0) << what << ": Cn " << Cn << " Cd " << Cd << SeedNote();
    EXPECT_GE(num.b._N, Cn - 1) << what << ": the quotient does not fill num";
    EXPECT_TRUE(num.Intact() && den.Intact() && work.Intact() && t.Intact() && inv.Intact())
        << what << ": written past the capacity";
}

TEST_F(Newton, DivisionByDenominatorsJustBelowAPowerOfTheBase) {
    // den = 10^(12 L) - 1 (den inv just below 1, eps negative) and 10^(12 L) - 10^(12 (L - 2))
    // - 1; num with a top limb of 1 (tiny relative precision) and random.
    for (long L : {1L, 2L, 5L, 1360L, 1361L, 3000L}) {
        const Mpz d2 = Sub(Sub(PowB(L), L >= 2 ? PowB(L - 2) : Mpz(0L)), Mpz(1L));
        for (long Cn : {4L, 700L, 3500L}) {
            const long Cd = std::max(Cn + 1, L + 2);
            CheckDivision(Add(PowB(Cn - 1), Mpz(12345L)), -3, AllNines(12 * L), 0, Cn, Cd,
                          "10^.. + 12345 / nines");
            CheckDivision(RandomDigits(12 * Cn - 5), 0, d2, 2, Cn, Cd,
                          "random / 10^L - 10^(L-2) - 1");
        }
    }
    for (int i = 0; i < 40; ++i) {
        const long Cn = RandomLong(2, 5001), dlimbs = RandomLong(1, Cn + 10),
                   nlimbs = RandomLong(1, Cn);
        CheckDivision(RandomDigits(12 * nlimbs - 3), RandomLong(-3, 3),
                      RandomDigits(12 * dlimbs - 6), RandomLong(-3, 3), Cn,
                      std::max(Cn + 1, dlimbs), "random");
    }
}

// InvSqrtBigInt(a) at capacity C: C limbs at exponent -C, canonical, within 2 units of the
// last limb of floor(10^(12 C) / sqrt(a)) = isqrt(floor(10^(24 C) / a)) (the two-limb start:
// about 15 digits), nothing written past the capacities.
void CheckInvSqrt(long a, long C) {
    Big y(C), t(C + 24);
    newton::InvSqrtBigInt(a, y.b, t.b);
    const std::string what = "a = " + std::to_string(a) + ", C = " + std::to_string(C) + SeedNote();
    ASSERT_EQ(y.b._N, C) << what;
    ASSERT_EQ(y.b.Exp, -C) << what;
    EXPECT_TRUE(IsCanonical(y.b.Limbs, y.b._N, 1e12)) << what;
    Mpz exact = PowB(2 * C);
    mpz_fdiv_q_ui(exact.v, exact.v, static_cast<unsigned long>(a));
    mpz_sqrt(exact.v, exact.v);
    const Mpz d = Sub(y.Value(), exact);
    EXPECT_LE(mpz_cmpabs_ui(d.v, C >= 3 ? 2 : 1000000000), 0) << what << ": off by " << d.str();
    EXPECT_TRUE(y.Intact() && t.Intact()) << what << ": written past the capacity";
}

TEST_F(Newton, InvSqrtAtScheduleEdges) {
    // The values the program uses, a perfect square and the extremes of a; capacities at the
    // two-limb start, the first steps, the restart at C/16 with its halvings (powers of two
    // and neighbours), products in pieces (> 1365 limbs).
    for (long a : {2L, 8L, 10005L, 3L, 4L, 9L, 10000L, 9999991L, newton::kInvSqrtMaxA})
        for (long C : {2L,   3L,   4L,    5L,    6L,    7L,    8L,    9L,    15L,  16L,
                       17L,  31L,  32L,   33L,   63L,   64L,   65L,   100L,  255L, 256L,
                       257L, 300L, 1000L, 1023L, 1024L, 1025L, 1366L, 2000L, 3001L})
            CheckInvSqrt(a, C);
    for (int i = 0; i < 25; ++i)
        CheckInvSqrt(RandomLong(2, newton::kInvSqrtMaxA), RandomLong(3, 2500));
    CheckInvSqrt(10005, 20000);  // several restarts' worth of doublings
    CheckInvSqrt(2, 16385);
    // Long enough for the last step's band of y^2 to be summed by several threads.
    core::SetThreadCount(3);
    CheckInvSqrt(10005, 70001);
    core::SetThreadCount(1);
    for (long a : {1L, 0L, -2L, newton::kInvSqrtMaxA + 1}) {
        Big y(10), t(40);
        ZEPRIX_EXPECT_FATAL(newton::InvSqrtBigInt(a, y.b, t.b), "a must be between 2 and 10^7");
    }
}

}  // namespace
}  // namespace zeprix::test
