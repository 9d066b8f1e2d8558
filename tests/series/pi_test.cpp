// Pi's term formulas against their definitions in GMP (one term from the factorial ratio,
// two terms as two joined one-term blocks, signs included), the step table, and the
// verdict of the square root of 2's verification by squaring.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "series/pi_constant.hpp"
#include "series/sqrt2_constant.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using numbers::BigInt;
using numbers::SmallInt;
using series::PiSeries;

struct Block {
    Mpz A, P, Q;
};

// A, P, Q of the block (n0, n1) from the series' leaf formula.
Block Leaf(PiSeries& s, double n0, double n1) {
    SmallInt A, P, Q;
    A.Alloc(64);
    P.Alloc(64);
    Q.Alloc(64);
    s.LastBabyStep(n0, n1, &A, P, Q);
    EXPECT_TRUE(IsCanonical(A.Limbs, A._N, 1e8) && IsCanonical(P.Limbs, P._N, 1e8) &&
                IsCanonical(Q.Limbs, Q._N, 1e8))
        << "block (" << n0 << ", " << n1 << ")";
    Block b{ToMpz(A), ToMpz(P), ToMpz(Q)};
    A.Free();
    P.Free();
    Q.Free();
    return b;
}

// The term k from the series' definition: the ratio of consecutive terms of
// (6k)! / ((3k)! (k!)^3 640320^(3k)) is (6k)(6k-1)..(6k-5) / ((3k)(3k-1)(3k-2) k^3 640320^3)
// (Ramanujan: (4k)! / ((k!)^4 396^(4k)), ratio (4k)(4k-1)(4k-2)(4k-3) / (k^4 396^4)),
// reduced here by GMP's gcd-free rational arithmetic: a(k)/q(k) must equal it.
void ExpectTermRatio(long method, long k, const Block& b) {
    mpq_t want, got;
    mpq_inits(want, got, nullptr);
    Mpz num{1L}, den{1L}, t;
    if (method == 0) {
        for (long i = 0; i < 6; ++i) mpz_mul_ui(num.v, num.v, static_cast<unsigned long>(6 * k - i));
        for (long i = 0; i < 3; ++i) mpz_mul_ui(den.v, den.v, static_cast<unsigned long>(3 * k - i));
        mpz_ui_pow_ui(t.v, 640320, 3);
    } else {
        for (long i = 0; i < 4; ++i) mpz_mul_ui(num.v, num.v, static_cast<unsigned long>(4 * k - i));
        mpz_mul_ui(den.v, den.v, static_cast<unsigned long>(k));  // k^4 = k * k^3 below
        mpz_ui_pow_ui(t.v, 396, 4);
    }
    mpz_mul(den.v, den.v, t.v);
    for (long i = 0; i < 3; ++i) mpz_mul_ui(den.v, den.v, static_cast<unsigned long>(k));
    mpq_set_num(want, num.v);
    mpq_set_den(want, den.v);
    mpq_canonicalize(want);
    mpq_set_num(got, b.A.v);
    mpq_set_den(got, b.Q.v);
    mpq_canonicalize(got);
    EXPECT_TRUE(mpq_equal(want, got)) << "method " << method << ", k = " << k;
    // P = sign c(k) A
    Mpz c, p;
    mpz_set_ui(c.v, method == 0 ? 545140134UL : 26390UL);
    mpz_mul_ui(c.v, c.v, static_cast<unsigned long>(k));
    mpz_add_ui(c.v, c.v, method == 0 ? 13591409UL : 1103UL);
    mpz_mul(p.v, c.v, b.A.v);
    if (method == 0 && k % 2 == 0) mpz_neg(p.v, p.v);
    EXPECT_EQ(p.str(), b.P.str()) << "method " << method << ", k = " << k;
    mpq_clears(want, got, nullptr);
}

TEST(PiSeries, OneTermLeavesMatchTheSeriesDefinition) {
    for (long method : {0L, 1L}) {
        PiSeries s(method);
        for (long k : {1L, 2L, 3L, 4L, 17L, 1000L, 123457L, 70000000L, 700000001L})
            ExpectTermRatio(method, k, Leaf(s, static_cast<double>(k - 1), static_cast<double>(k)));
    }
}

// The two-term Chudnovsky leaf equals the join A = A1 A2, P = P1 Q2 + A1 P2, Q = Q1 Q2 of
// the two one-term leaves, for blocks starting at even and odd n0 (both signs of P).
TEST(PiSeries, TwoTermLeafEqualsTwoJoinedOneTermLeaves) {
    PiSeries s(0);
    for (double n0 : {0.0, 1.0, 2.0, 3.0, 10.0, 11.0, 999.0, 123456.0, 70000000.0, 700000001.0}) {
        const Block two = Leaf(s, n0, n0 + 2);
        const Block l = Leaf(s, n0, n0 + 1), r = Leaf(s, n0 + 1, n0 + 2);
        Mpz A, P, Q, t;
        mpz_mul(A.v, l.A.v, r.A.v);
        mpz_mul(P.v, l.P.v, r.Q.v);
        mpz_mul(t.v, l.A.v, r.P.v);
        mpz_add(P.v, P.v, t.v);
        mpz_mul(Q.v, l.Q.v, r.Q.v);
        EXPECT_EQ(two.A.str(), A.str()) << "n0 = " << n0;
        EXPECT_EQ(two.P.str(), P.str()) << "n0 = " << n0;
        EXPECT_EQ(two.Q.str(), Q.str()) << "n0 = " << n0;
        EXPECT_EQ(mpz_sgn(two.P.v), std::fmod(n0, 2) == 0 ? 1 : -1) << "n0 = " << n0;
    }
    // The first blocks: (0, 1) has P > 0 (k = 1), (1, 2) has P < 0.
    EXPECT_GT(mpz_sgn(Leaf(s, 0, 1).P.v), 0);
    EXPECT_LT(mpz_sgn(Leaf(s, 1, 2).P.v), 0);
}

// Table properties: strictly increasing from 0, the tail (b(K), N) not empty, each step
// within the budget of one FFT block (its Q, the largest of its numbers, has fewer digits
// than F/3 limbs hold, by the log-sizes of its factors).
TEST(PiStepTable, StepsFitTheFftBlockAndEndBeforeN) {
    for (long method : {0L, 1L}) {
        for (double digits : {1e4, 1e5, 1e6, 1e7, 1e8}) {
            for (long F : {1024L, 4096L, 65536L, 1048576L}) {
                series::PiConstant c(method);
                c.digits = digits;
                c.SizeSeries();
                const double lnC = series::PiLnC(method);
                const std::vector<double> b = series::PiStepTable(c.N, F, c.termSize, lnC);
                const std::string what = "method " + std::to_string(method) + ", digits " +
                                         std::to_string(digits) + ", F " + std::to_string(F);
                ASSERT_FALSE(b.empty()) << what;
                EXPECT_EQ(b[0], 0) << what;
                EXPECT_LT(b.back(), c.N) << what;
                const double budget = static_cast<double>(F / 3) * std::log(1e12);
                for (std::size_t i = 0; i < b.size(); ++i) {
                    const double end = i + 1 < b.size() ? b[i + 1] : c.N;
                    if (i + 1 < b.size()) {
                        EXPECT_LT(b[i], b[i + 1]) << what;
                    }
                    if (b.size() == 1) continue;  // a single step (0, N) needs no budget
                    double size = 0;
                    for (double k = b[i] + 1; k <= end; k += 1) size += 3 * std::log(k) + lnC;
                    EXPECT_LT(size, budget) << what << ", step " << i;
                }
            }
        }
    }
}

TEST(PiStepTable, FirstStepReachingNGivesOneStep) {
    series::PiConstant c(0);
    c.digits = 10000;
    c.SizeSeries();
    const std::vector<double> b = series::PiStepTable(c.N, 1048576, c.termSize, series::PiLnC(0));
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0], 0);
}

// ---- verification of the square of sqrt(2) ------------------------------------------------

// y = a square of n limbs (exponent -(n - 1)): top limb `top`, the rest `fill`.
void Square(BigInt& y, long n, double top, double fill) {
    y.Alloc(n);
    for (long i = 0; i < n - 1; ++i) y.Limbs[i] = fill;
    y.Limbs[n - 1] = top;
    y._N = n;
    y.Exp = -(n - 1);
}

TEST(Sqrt2Verification, LowestTwoLimbsAreRoundingAndAboveIsWrong) {
    for (double top : {1.0, 2.0}) {
        const double fill = top == 1 ? 999999999999.0 : 0.0;
        for (long n : {5L, 8001L, 16001L, 20000L}) {  // 8001, 16001: whole chunks only
            BigInt y;
            Square(y, n, top, fill);
            EXPECT_EQ(series::WrongSqrt2Digits(y), 0) << "n " << n;
            y.Limbs[0] = 123;
            EXPECT_EQ(series::WrongSqrt2Digits(y), 0) << "n " << n;
            y.Limbs[1] = 5;
            EXPECT_EQ(series::WrongSqrt2Digits(y), 12) << "n " << n;
            y.Limbs[2] = 5;
            EXPECT_EQ(series::WrongSqrt2Digits(y), 24) << "n " << n;
            y.Limbs[n - 2] = 5;  // the highest fractional limb, the last of the first chunk
            EXPECT_EQ(series::WrongSqrt2Digits(y), 12.0 * static_cast<double>(n - 2)) << "n " << n;
            y.Free();
        }
    }
}

// A square whose integer part is not 1 or 2 is not near 2 at all: every digit is wrong,
// even when the limbs below look like the pattern.
TEST(Sqrt2Verification, IntegerPartOtherThanOneOrTwoIsWrong) {
    for (double top : {0.0, 3.0, 7.0}) {
        BigInt y;
        Square(y, 10, top, 0);
        EXPECT_EQ(series::WrongSqrt2Digits(y), 120) << "top " << top;
        y.Free();
    }
}

}  // namespace
}  // namespace zeprix::test
