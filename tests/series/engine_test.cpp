// The series engine against GMP: binary splitting of a test series with signed a(n)
// (GiantStep with A, views on free tails guarded by canaries), the stepped evaluation,
// and the sign check's fatal path with its debug record.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "fft/multiply.hpp"
#include "series/e_constant.hpp"
#include "series/split_series.hpp"
#include "series/stepped.hpp"
#include "core/fatal.hpp"
#include "support/test_support.hpp"
#include "../shell/fake_constant.hpp"

namespace zeprix::test {
namespace {

using numbers::BigInt;
using numbers::SmallInt;
using series::SplitSeries;

// NFFT 4096: F/3 = 1365 limbs per step; join products up to 682 limbs per operand.
constexpr long kNFFT = 4096;
constexpr double kCanary = -4242.0;

void SetUpFFT() {
    static bool done = false;
    if (!done) fft::SetupFFT(kNFFT);
    done = true;
}

// sum_{n>=1} prod_{i<=n} a(i)/q(i) with a(n) = -(n + 2) (the sign in a, as for user
// series), q(n) = qScale n + 7; one term per leaf.
class TestSeries : public SplitSeries {
public:
    double qScale = 1000;
    static double a(double n) { return -(n + 2); }
    double q(double n) const { return qScale * n + 7; }
    bool IsLastBlock(double n0, double n1) const override { return n1 - n0 <= 1; }
    void LastBabyStep(double, double n1, SmallInt* A, SmallInt& P, SmallInt& Q) override {
        if (A) A->Set(a(n1));
        P.Set(a(n1));
        Q.Set(q(n1));
    }
};

// The prefix sums by the one-term recurrence P_k = P_{k-1} q(k) + A_{k-1} a(k), in GMP.
struct Oracle {
    Mpz A{1L}, P{0L}, Q{1L};
    Oracle(const TestSeries& s, double N) {
        Mpz t;
        for (double k = 1; k <= N; k += 1) {
            mpz_mul_si(P.v, P.v, static_cast<long>(s.q(k)));
            mpz_mul_si(t.v, A.v, static_cast<long>(TestSeries::a(k)));
            mpz_add(P.v, P.v, t.v);
            mpz_set(A.v, t.v);
            mpz_mul_si(Q.v, Q.v, static_cast<long>(s.q(k)));
        }
    }
};

struct Canaried {
    BigInt b;
    long cap;
    explicit Canaried(long c) : cap(c) {
        b.Alloc(c + 9);
        b.SizeAlloc = c;
        for (long i = c + 1; i < c + 9; ++i) b.Limbs[i] = kCanary;
    }
    ~Canaried() { b.Free(); }
    bool Intact() const {
        for (long i = cap + 1; i < cap + 9; ++i)
            if (b.Limbs[i] != kCanary) return false;
        return true;
    }
};

TEST(GiantStep, WithAMatchesTheRecurrence) {
    SetUpFFT();
    // giantThreshold around the leaf boundary: a block of exactly the threshold goes to
    // BabyStep, one term more is split.
    for (long threshold : {1L, 7L, 40L}) {
        for (double N : {8.0, 41.0, 3000.0}) {
            TestSeries s;
            s.qScale = 3;
            s.giantThreshold = threshold;
            s.AllocWorkAreas(std::log(3 * N + 7));
            const long cap = 30 + static_cast<long>(N * std::log10(3 * N + 7) / 12 * 1.05);
            Canaried A(cap), P(cap), Q(cap);
            s.GiantStep(0, N, &A.b, P.b, Q.b, 1);
            Oracle o(s, N);
            EXPECT_EQ(ToMpz(P.b).str(), o.P.str()) << "P, N=" << N << " thr=" << threshold;
            EXPECT_EQ(ToMpz(Q.b).str(), o.Q.str()) << "Q, N=" << N << " thr=" << threshold;
            EXPECT_EQ(ToMpz(A.b).str(), o.A.str()) << "A, N=" << N << " thr=" << threshold;
            EXPECT_TRUE(A.Intact() && P.Intact() && Q.Intact()) << "canary, N=" << N;
        }
    }
}

// floor(x 10^digits) for x = num / den given as BigInts with exponents (GMP).
Mpz ScaledQuotient(const BigInt& num, const BigInt& den, long digits) {
    Mpz n = MantissaToMpz(num), d = MantissaToMpz(den), p, r;
    const long shift = 12 * (num.Exp - den.Exp) + digits;
    if (shift >= 0) {
        mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(shift));
        mpz_mul(n.v, n.v, p.v);
    } else {
        mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(-shift));
        mpz_mul(d.v, d.v, p.v);
    }
    mpz_fdiv_q(r.v, n.v, d.v);
    return r;
}

TEST(SteppedEvaluation, AccumulatedSumMatchesTheExactSum) {
    SetUpFFT();
    // N = 6000: three steps (K = 2); N = 1500: a single step (K = 0).
    for (double N : {6000.0, 1500.0}) {
        TestSeries s;
        s.giantThreshold = 30;
        const double termSize = std::log(s.q(N));
        s.AllocWorkAreas(termSize);
        const double digits = std::floor(N * 2.9);  // terms decay by 10^-3 each
        const std::vector<double> bounds = series::UniformSteps(N, series::TermsPerStep(kNFFT, termSize));
        EXPECT_EQ(bounds.size(), N == 6000 ? 3u : 1u);
        series::SteppedSums sums;
        sums.Alloc(N, kNFFT, series::SteppedQuotientLength(digits, kNFFT));
        ConsoleCapture console("");
        series::EvaluateStepped(s, bounds, N, sums);
        const std::string out = console.Output();
        EXPECT_NE(out.find("Starting step " + std::to_string(bounds.size() - 1) + "\n"),
                  std::string::npos)
            << out;
        if (bounds.size() == 1) {
            EXPECT_EQ(out.find("Starting step 0 "), std::string::npos) << out;
        }

        Oracle o(s, N);
        Mpz got = ScaledQuotient(sums.accP, sums.accQ, static_cast<long>(digits));
        Mpz want, p, diff;
        mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(digits));
        mpz_mul(want.v, o.P.v, p.v);
        mpz_fdiv_q(want.v, want.v, o.Q.v);
        mpz_sub(diff.v, got.v, want.v);
        mpz_abs(diff.v, diff.v);
        EXPECT_LE(mpz_cmp_ui(diff.v, 1), 0) << "N=" << N << ": sum differs at 10^-" << digits;
        sums.Free();
    }
}

TEST(SteppedEvaluation, StepsNeverEmptyAndTooSmallFFTIsFatal) {
    const std::vector<double> b = series::UniformSteps(100, 25);  // N/S whole: K = 3
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b.back(), 75);
    ZEPRIX_EXPECT_FATAL(series::TermsPerStep(1024, 1e6),
                        "Your FFT size is too small to achieve this computation");
}

// A negative q makes Q negative after a join: the fatal error names it, and the debug log
// shows the giant step in progress.
void RunNegativeQ() {
    fft::SetupFFT(kNFFT);
    class NegativeQ : public TestSeries {
    public:
        void LastBabyStep(double n0, double n1, SmallInt* A, SmallInt& P, SmallInt& Q) override {
            TestSeries::LastBabyStep(n0, n1, A, P, Q);
            if (n1 == 3) Q.Set(-q(n1));
        }
    } s;
    s.giantThreshold = 1;
    s.AllocWorkAreas(10);
    BigInt A, P, Q;
    A.Alloc(50);
    P.Alloc(50);
    Q.Alloc(50);
    s.GiantStep(0, 4, &A, P, Q, 1);
}

TEST(GiantStep, NegativeQIsFatalWithTheJoinRecorded) {
    TempWorkDir dir;
    EXPECT_EQ(ExpectProgramExit(RunNegativeQ), "Q is negative in GiantStep");
    const std::string log = ReadFile("Zeprix.log");
    EXPECT_NE(log.find("Q is negative in GiantStep"), std::string::npos) << log;
    EXPECT_NE(log.find("n0=2, n1=4"), std::string::npos) << log;
}

}  // namespace
}  // namespace zeprix::test

namespace zeprix::test {
namespace {

// In process (the FFT size of this test program): the self-check reads the known digit
// groups of e and rejects a result with one wrong digit inside a checked group.
TEST(EConstantCheck, AcceptsERejectsAWrongDigit) {
    SetUpFFT();
    series::EConstant e(1);
    e.mode = 0;
    e.digits = 30005;
    e.fftSize = kNFFT;
    ConsoleCapture console("");
    ASSERT_EQ(e.Compute(), 1);
    EXPECT_EQ(e.Check(), 1);
    // Digits 30001 .. 30010 ("4867608433") lie in fractional limb 2500, the limb of
    // index N - 2 - 2500 below the integer limb.
    auto* r = static_cast<numbers::BigInt*>(e.result);
    double& limb = r->Limbs[r->_N - 2 - 2500];
    limb = limb < 5e11 ? limb + 1e11 : limb - 1e11;
    EXPECT_EQ(e.Check(), 0);
    const std::string out = console.Output();
    EXPECT_NE(out.find("Computing series with index N="), std::string::npos) << out;
    EXPECT_NE(out.find("Division time : "), std::string::npos) << out;
}

}  // namespace
}  // namespace zeprix::test
