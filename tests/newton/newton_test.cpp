// Reciprocal and division against GMP: worst-case operands first (powers of 10^12, runs
// of nines, a denominator just below a power of 10^12), then random ones, with canaries
// after every scratch number.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "newton/newton.hpp"
#include "newton_test_util.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using numbers::BigInt;

Mpz PowB(long k) {  // 10^(12 k), k >= 0
    Mpz p;
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(12 * k));
    return p;
}

// x * 10^(12 e) with e possibly negative, as (num, den) scaled to integers.
// |Y B^ey - 1/(X B^ex)| <= u B^ey  <=>  |X Y - B^s| <= u X, s = -(ex + ey) >= 0.
void ExpectReciprocal(const Mpz& X, long ex, const BigInt& y, long ulps, const char* what) {
    const long s = -(ex + y.Exp);
    ASSERT_GE(s, 0) << what;
    Mpz Y = MantissaToMpz(y), d, bound;
    mpz_mul(d.v, X.v, Y.v);
    mpz_sub(d.v, d.v, PowB(s).v);
    mpz_abs(d.v, d.v);
    mpz_mul_ui(bound.v, X.v, static_cast<unsigned long>(ulps));
    EXPECT_LE(mpz_cmp(d.v, bound.v), 0)
        << what << ": capacity " << y.SizeAlloc << ", x limbs " << mpz_sizeinbase(X.v, 10) / 12
        << ", seed " << Seed();
    EXPECT_TRUE(IsCanonical(y.Limbs, y._N, 1e12)) << what;
}

void CheckInverse(const Mpz& X, long ex, long C, const char* what) {
    SetUpFFT();
    Guarded x(static_cast<long>(mpz_sizeinbase(X.v, 10)) / 12 + 2), y(C), t(C + 16);
    FromMpz(X.v, x.b);
    x.b.Exp = ex;
    newton::InverseBigInt(x.b, y.b, t.b);
    ExpectReciprocal(X, ex, y.b, 3, what);
    EXPECT_EQ(MantissaToMpz(x.b).str(), X.str()) << what << ": x changed";
    EXPECT_TRUE(y.CanariesIntact() && t.CanariesIntact()) << what << ": canary overwritten";
}

TEST(InverseBigInt, WorstCaseOperandsAtScheduleEdges) {
    // Capacities around the restart (256) and its halving base (240), the first steps and
    // a full division block.
    const long caps[] = {3, 4, 5, 9, 10, 17, 130, 240, 241, 255, 256, 257, 300, 481, 1000, 1360};
    for (long C : caps) {
        CheckInverse(Mpz(1), 0, C, "x = 1");
        CheckInverse(PowB(7), -3, C, "x = 10^84 (exponent -3)");
        Mpz nines = AllNines(12 * 40);  // 10^480 - 1: 1/x = 10^-480 (1 + 10^-480 + ..)
        CheckInverse(nines, 5, C, "x = 10^480 - 1");
        Mpz top1;  // 10^(12*30) + 1: 1/x just below a power
        mpz_add_ui(top1.v, PowB(30).v, 1);
        CheckInverse(top1, 0, C, "x = 10^360 + 1");
        CheckInverse(AllNines(12), 0, C, "x = 999999999999");
    }
}

TEST(InverseBigInt, RandomOperands) {
    for (int i = 0; i < 60; ++i) {
        const long digits = 1 + static_cast<long>(Rng()() % 30000);
        const long C = 2 + static_cast<long>(Rng()() % 2500);
        const long ex = static_cast<long>(Rng()() % 21) - 10;
        CheckInverse(RandomDigits(digits), ex, C, "random x");
    }
}

// num = num / den with every capacity Cn, checked as |Q D B^s - N| <= 8 D (s = eq - en + ed,
// moved to the other side when negative).
void CheckDivision(const Mpz& Nm, long en, const Mpz& Dm, long ed, long Cn, long Cd,
                   const char* what) {
    SetUpFFT();
    Guarded num(Cn), den(Cd), work(Cn), t(newton::DivisionBlock() + 16),
        inv(newton::DivisionBlock());
    FromMpz(Nm.v, num.b);
    num.b.Exp = en;
    FromMpz(Dm.v, den.b);
    den.b.Exp = ed;
    newton::DivideBigInt(num.b, den.b, work.b, t.b, inv.b);
    ASSERT_TRUE(IsCanonical(num.b.Limbs, num.b._N, 1e12)) << what;
    const long s = num.b.Exp - en + ed;
    Mpz Q = MantissaToMpz(num.b), lhs, rhs, bound;
    mpz_mul(lhs.v, Q.v, Dm.v);
    mpz_set(rhs.v, Nm.v);
    mpz_mul_ui(bound.v, Dm.v, 8);
    if (s >= 0) {
        mpz_mul(lhs.v, lhs.v, PowB(s).v);
        mpz_mul(bound.v, bound.v, PowB(s).v);
    } else {
        mpz_mul(rhs.v, rhs.v, PowB(-s).v);
    }
    mpz_sub(lhs.v, lhs.v, rhs.v);
    mpz_abs(lhs.v, lhs.v);
    Mpz ulps;  // the error in units of the quotient's last limb
    mpz_mul_ui(ulps.v, lhs.v, 8);
    mpz_tdiv_q(ulps.v, ulps.v, bound.v);
    if (mpz_sizeinbase(ulps.v, 10) > 30) mpz_set_si(ulps.v, -1);  // -1: far off
    EXPECT_LE(mpz_cmp(lhs.v, bound.v), 0)
        << what << ": error " << ulps.str() << " units, Cn " << Cn << " Cd " << Cd << " quotient limbs " << num.b._N << ", seed "
        << Seed();
    EXPECT_GE(num.b._N, Cn - 1) << what << ": the quotient does not fill num";
    EXPECT_TRUE(num.CanariesIntact() && den.CanariesIntact() && work.CanariesIntact() &&
                t.CanariesIntact() && inv.CanariesIntact())
        << what << ": canary overwritten";
}

TEST(DivideBigInt, DenominatorJustBelowAPowerOfTheBase) {
    // den = 10^(12 L) - 1 (all nines, so den inv is just below 1 and eps negative) and
    // den = 10^(12 L) - 10^(12 (L - 2)) - 1; num with a top limb of 1 (tiny relative
    // precision) and random.
    for (long L : {1L, 2L, 5L, 1360L, 1361L, 3000L}) {
        Mpz d1 = AllNines(12 * L), d2;
        mpz_sub(d2.v, PowB(L).v, L >= 2 ? PowB(L - 2).v : Mpz(0L).v);
        mpz_sub_ui(d2.v, d2.v, 1);
        for (long Cn : {4L, 700L, 3500L}) {
            const long Cd = std::max(Cn + 1, L + 2);
            Mpz n1 = PowB(Cn - 1);
            mpz_add_ui(n1.v, n1.v, 12345);
            CheckDivision(n1, -3, d1, 0, Cn, Cd, "num 10^.. + 12345 / nines");
            CheckDivision(RandomDigits(12 * Cn - 5), 0, d2, 2, Cn, Cd, "random / 10^L - 10^(L-2) - 1");
        }
    }
}

TEST(DivideBigInt, RandomOperands) {
    for (int i = 0; i < 40; ++i) {
        const long Cn = 2 + static_cast<long>(Rng()() % 5000);
        const long dlimbs = 1 + static_cast<long>(Rng()() % static_cast<unsigned long>(Cn + 10));
        const long nlimbs = 1 + static_cast<long>(Rng()() % static_cast<unsigned long>(Cn));
        const long Cd = std::max(Cn + 1, dlimbs);
        CheckDivision(RandomDigits(12 * nlimbs - 3), static_cast<long>(Rng()() % 7) - 3,
                      RandomDigits(12 * dlimbs - 6), static_cast<long>(Rng()() % 7) - 3, Cn, Cd,
                      "random");
    }
}

}  // namespace
}  // namespace zeprix::test
