// The series engine and the built-in series in process, against GMP: binary splitting of a
// test series with signed a(n) (views on free tails, canaries after every number), the
// division into steps, the sign check's fatal path with its debug record, Pi's leaves
// against the series' definition, Pi's step table, and the self-checks of e and sqrt(2).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fft/multiply.hpp"
#include "recurrence.hpp"
#include "series/e_constant.hpp"
#include "series/pi_constant.hpp"
#include "series/split_series.hpp"
#include "series/sqrt2_constant.hpp"
#include "series/stepped.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using numbers::BigInt;
using numbers::SmallInt;

// NFFT 4096: F/3 = 1365 limbs per step; join products up to 682 limbs per operand.
constexpr long kNFFT = 4096;

class SeriesEngine : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fft::SetupFFT(kNFFT); }
};

// The series of recurrence.hpp, one term per leaf. `negativeQAt`: q of that term negated.
class TestSeries : public series::SplitSeries {
public:
    double qScale = 1000, negativeQAt = -1;
    static double a(double n) { return -(n + 2); }
    double q(double n) const { return qScale * n + 7; }
    bool IsLastBlock(double n0, double n1) const override { return n1 - n0 <= 1; }
    void LastBabyStep(double, double n1, SmallInt* A, SmallInt& P, SmallInt& Q) override {
        if (A) A->Set(a(n1));
        P.Set(a(n1));
        Q.Set(n1 == negativeQAt ? -q(n1) : q(n1));
    }
};

// giantThreshold around the leaf boundary: a block of exactly the threshold goes to
// BabyStep, one term more is split.
TEST_F(SeriesEngine, GiantStepWithAMatchesTheRecurrence) {
    for (long threshold : {1L, 7L, 40L}) {
        for (double N : {8.0, 41.0, 3000.0}) {
            TestSeries s;
            s.qScale = 3;
            s.giantThreshold = threshold;
            s.AllocWorkAreas(std::log(3 * N + 7));
            const long cap = 30 + static_cast<long>(N * std::log10(3 * N + 7) / 12 * 1.05);
            Big A(cap), P(cap), Q(cap);
            s.GiantStep(0, N, &A.b, P.b, Q.b, 1);
            const Abc o = Recurrence(0, N, static_cast<long>(s.qScale));
            EXPECT_TRUE(SameValue(ToMpz(P.b), o.P)) << "P, N=" << N << " threshold " << threshold;
            EXPECT_TRUE(SameValue(ToMpz(Q.b), o.Q)) << "Q, N=" << N << " threshold " << threshold;
            EXPECT_TRUE(SameValue(ToMpz(A.b), o.A)) << "A, N=" << N << " threshold " << threshold;
            EXPECT_TRUE(A.Intact() && P.Intact() && Q.Intact()) << "N=" << N;
        }
    }
    // The steps of the stepped sum: N/S whole gives K = 3 (no empty last step); a term too
    // large for the FFT size is fatal. (The stepped sums themselves: every Pi and user
    // constant computed by the program tests.)
    EXPECT_EQ(series::UniformSteps(100, 25), (std::vector<double>{0, 25, 50, 75}));
    ZEPRIX_EXPECT_FATAL(series::TermsPerStep(1024, 1e6),
                        "Your FFT size is too small to achieve this computation");
}

// A negative q makes Q negative after a join: the fatal error names it and the debug log
// shows the giant step in progress.
TEST_F(SeriesEngine, NegativeQIsFatalWithTheJoinRecorded) {
    TempWorkDir dir;
    EXPECT_EQ(ExpectProgramExit([] {
                  TestSeries s;
                  s.negativeQAt = 3;
                  s.giantThreshold = 1;
                  s.AllocWorkAreas(10);
                  Big A(50), P(50), Q(50);
                  s.GiantStep(0, 4, &A.b, P.b, Q.b, 1);
              }),
              "Q is negative in GiantStep");
    const std::string log = ReadFile("Zeprix.log");
    EXPECT_TRUE(Contains(log, "Q is negative in GiantStep"));
    EXPECT_TRUE(Contains(log, "n0=2, n1=4"));
}

// The self-check reads known digit groups of e and rejects a result with one wrong digit
// inside a checked group.
TEST_F(SeriesEngine, ECheckAcceptsERejectsAWrongDigit) {
    series::EConstant e(1);
    e.mode = 0;
    e.digits = 30005;
    e.fftSize = kNFFT;
    ConsoleCapture console("");
    ASSERT_EQ(e.Compute(), 1);
    EXPECT_EQ(e.Check(), 1);
    // Digits 30001 .. 30010 ("4867608433") lie in fractional limb 2500.
    auto* r = static_cast<BigInt*>(e.result);
    double& limb = r->Limbs[r->_N - 2 - 2500];
    limb = limb < 5e11 ? limb + 1e11 : limb - 1e11;
    EXPECT_EQ(e.Check(), 0);
    EXPECT_TRUE(Contains(console.Output(), "Division time : "));
}

// One-term leaves against the definition: a(k)/q(k) is the ratio of consecutive terms,
// for Chudnovsky (6k)! / ((3k)! (k!)^3 640320^(3k)): (6k)..(6k-5) / ((3k)(3k-1)(3k-2) k^3
// 640320^3), for Ramanujan (4k)! / ((k!)^4 396^(4k)): (4k)..(4k-3) / (k^4 396^4), compared
// cross-multiplied in GMP; P = c(k) A with Chudnovsky's alternating sign.
TEST(PiSeries, OneTermLeavesMatchTheDefinition) {
    for (long method : {0L, 1L}) {
        series::PiSeries s(method);
        for (long k : {1L, 2L, 3L, 4L, 17L, 1000L, 123457L, 70000000L, 700000001L}) {
            SmallInt A, P, Q;
            s.LastBabyStep(static_cast<double>(k - 1), static_cast<double>(k), &A, P, Q);
            EXPECT_TRUE(IsCanonical(A.Limbs, A._N, 1e8) && IsCanonical(P.Limbs, P._N, 1e8) &&
                        IsCanonical(Q.Limbs, Q._N, 1e8));
            const long m = method == 0 ? 6 : 4;
            Mpz num{1L}, den, c{method == 0 ? 13591409L : 1103L};
            for (long i = 0; i < m; ++i)
                mpz_mul_ui(num.v, num.v, static_cast<unsigned long>(m * k - i));
            mpz_ui_pow_ui(den.v, method == 0 ? 640320 : 396, method == 0 ? 3 : 4);
            for (long i = 0; i < (method == 0 ? 3 : 1); ++i)  // (3k)(3k-1)(3k-2) or k, then k^3
                mpz_mul_ui(den.v, den.v, static_cast<unsigned long>(method == 0 ? 3 * k - i : k));
            for (long i = 0; i < 3; ++i) mpz_mul_ui(den.v, den.v, static_cast<unsigned long>(k));
            EXPECT_TRUE(SameValue(Mul(ToMpz(A), den), Mul(ToMpz(Q), num)))
                << "a/q, method " << method << ", k = " << k;
            mpz_addmul_ui(c.v, Mpz(k).v, method == 0 ? 545140134UL : 26390UL);
            const Mpz p = Mul(Mul(c, ToMpz(A)), Mpz(method == 0 && k % 2 == 0 ? -1L : 1L));
            EXPECT_TRUE(SameValue(ToMpz(P), p)) << "method " << method << ", k = " << k;
        }
    }
}

// Steps strictly increasing from 0, the tail (b(K), N) not empty, each step's Q (the
// largest of its numbers, by the log-sizes of its factors) within one FFT block of F/3
// limbs; a first step reaching N gives a single step.
TEST(PiStepTable, StepsFitTheFftBlockAndEndBeforeN) {
    for (long method : {0L, 1L}) {
        for (double digits : {1e4, 1e5, 1e6, 1e7, 1e8}) {
            for (long F : {1024L, 4096L, 65536L, 1048576L}) {
                series::PiConstant c(method);
                c.digits = digits;
                c.SizeSeries();
                const double lnC = series::PiLnC(method);
                const std::vector<double> b = series::PiStepTable(c.N, F, c.termSize, lnC);
                SCOPED_TRACE(testing::Message()
                             << "method " << method << ", digits " << digits << ", F " << F);
                ASSERT_FALSE(b.empty());
                EXPECT_TRUE(b[0] == 0 && b.back() < c.N);
                EXPECT_TRUE(b.size() == 1 || digits > 1e4 || F < 1048576);
                for (std::size_t i = 0; i < b.size() && b.size() > 1; ++i) {
                    const double end = i + 1 < b.size() ? b[i + 1] : c.N;
                    EXPECT_LT(b[i], end);
                    double size = 0;
                    for (double k = b[i] + 1; k <= end; k += 1) size += 3 * std::log(k) + lnC;
                    EXPECT_LT(size, static_cast<double>(F / 3) * std::log(1e12)) << "step " << i;
                }
            }
        }
    }
}

// sqrt(2)^2 near 1 or 2 (n limbs, exponent -(n - 1); 8001 and 16001 limbs: whole chunks
// only): the lowest two limbs are rounding, a difference above is that many wrong digits;
// an integer part other than 1 or 2 makes every digit wrong.
TEST(Sqrt2Verification, WrongDigitsFromTheSquare) {
    for (double top : {1.0, 2.0, 0.0, 3.0, 7.0}) {
        for (long n : {5L, 8001L, 16001L, 20000L}) {
            SCOPED_TRACE(testing::Message() << "top " << top << ", n " << n);
            Big y(n);
            std::fill(y.b.Limbs, y.b.Limbs + n - 1, top == 1 ? 999999999999.0 : 0.0);
            y.b.Limbs[n - 1] = top;
            y.b._N = n;
            y.b.Exp = -(n - 1);
            const bool good = top == 1 || top == 2;
            EXPECT_EQ(series::WrongSqrt2Digits(y.b), good ? 0 : 12.0 * static_cast<double>(n));
            // limb changed (limb 0 to 123, the others to 5), then the wrong digits
            for (long limb : {0L, 1L, 2L, n - 2}) {
                if (!good) break;
                y.b.Limbs[limb] = limb ? 5 : 123;
                EXPECT_EQ(series::WrongSqrt2Digits(y.b), 12.0 * static_cast<double>(limb)) << limb;
            }
        }
    }
}

}  // namespace
}  // namespace zeprix::test
