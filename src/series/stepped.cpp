// Stepped evaluation of a series in the standard mode.
#include "series/stepped.hpp"

#include <algorithm>
#include <cmath>

#include "core/check.hpp"
#include "core/clock.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "numbers/schoolbook.hpp"
#include "series/step_sum.hpp"

namespace zeprix::series {

using core::Print;

void SteppedSums::Alloc(double N, long F, long quotientLength) {
    const long L = static_cast<long>(std::ceil(std::log2(std::max(N, 2.0))));
    const long stepLen = 2 * L + F / 3;
    R = quotientLength;
    stepA.Alloc(stepLen);
    stepP.Alloc(stepLen);
    stepQ.Alloc(stepLen);
    accP.Alloc(R + 2);
    accQ.Alloc(R + 2);
    X.Alloc(R + 2);
    accP.SizeAlloc = accQ.SizeAlloc = X.SizeAlloc = R;
}

void SteppedSums::Free() {
    for (BigInt* b : {&stepA, &stepP, &stepQ, &accP, &accQ, &X}) b->Free();
}

long SteppedQuotientLength(double digits, long F) {
    const long r = static_cast<long>((digits + 100) * std::log(10.0) / std::log(1e12)) + 1;
    return std::max(r, F / 3);
}

std::vector<double> UniformSteps(double N, double S) {
    double K = FloorWhole(N / S);
    if (K * S >= N) K -= 1;
    std::vector<double> b;
    for (double i = 0; i <= K; i += 1) b.push_back(i * S);
    return b;
}

double TermsPerStep(long F, double termSize) {
    const double S = FloorWhole(static_cast<double>(F / 3 - 2) * std::log(1e12) / termSize) - 1;
    if (S < 2) core::FatalError("Your FFT size is too small to achieve this computation");
    return S;
}

namespace {

// Drops the same number of low limbs from a and b until the longer has at most keep
// limbs; the exponents rise by that number, so a/b keeps its scale (each is floored).
// The shorter one always keeps two limbs: a sum P whose top limb is -1 (complement form)
// is one limb longer than Q for |P| < Q, and dropping Q whole would make it 0, which no
// later step can repair (a series with negative terms and a short last step did that).
void TruncateBoth(BigInt& a, BigInt& b, long keep) {
    const long d = std::min(std::max(a._N, b._N) - keep, std::min(a._N, b._N) - 2);
    if (d <= 0) return;
    for (BigInt* x : {&a, &b}) {
        if (x->_N > d) {
            for (long i = 0; i < x->_N - d; ++i) x->Limbs[i] = x->Limbs[i + d];
            x->_N -= d;
        } else {
            x->Limbs[0] = x->Limbs[x->_N - 1] < 0 ? -1 : 0;  // the floor of what was dropped
            x->_N = 1;
        }
        x->Exp += d;
    }
}

}  // namespace

// The accumulator of the standard mode. Step i joins its block (stepA, stepP, stepQ) with
// the accumulated block on its right:
//   accP = stepP accQ + stepA accP,  accQ = stepQ accQ.
// X receives stepA accP truncated so that its last limb lies where accP's new last limb
// lies (keep - (len stepP - len stepA) limbs); the sum aligns the exponents and floors the
// lower one.
//
// A series whose a(n) are all 1 (keepsA false) has stepA = 1: stepA serves as the scratch of
// its joins, and X is accP's top limbs.
struct MemoryAccumulator {
    SplitSeries& series;
    SteppedSums& s;

    void First(long K, double b, double N, long keep) {
        Print("Starting step %ld\n", K);
        series.GiantStep(b, N, &s.stepA, s.accP, s.accQ, 0);
        TruncateBoth(s.accP, s.accQ, keep);
    }
    void Step(long i, double b0, double b1, long keep) {
        Print("Starting step %ld ", i);
        series.GiantStep(b0, b1, &s.stepA, s.stepP, s.stepQ, 1);
        Print(".");
        s.accP.SizeAlloc = keep;
        s.accQ.SizeAlloc = keep;
        const long lenA = series.keepsA ? s.stepA._N : 1;
        s.X.SizeAlloc = std::clamp(keep - (s.stepP._N - lenA), 1L, s.R);
        s.X.Limbs[0] = 0;
        if (series.keepsA) {
            fft::TruncatedMulBigInt(s.stepA, s.accP, s.X);
        } else {  // X = 1 accP, cut to its top limbs
            const long n = std::min(s.accP._N, s.X.SizeAlloc), drop = s.accP._N - n;
            std::copy(s.accP.Limbs + drop, s.accP.Limbs + s.accP._N, s.X.Limbs);
            s.X._N = n;
            s.X.Exp = s.accP.Exp + drop;
        }
        Print(".");
        fft::TruncatedMulBigInt(s.stepP, s.accQ, s.accP);
        Print(".");
        s.accP.SizeAlloc = keep + 1;
        numbers::AddBigInt(s.accP, s.X, s.accP);
        fft::TruncatedMulBigInt(s.stepQ, s.accQ, s.accQ);
        Print("\n");
    }
    static bool StepDone(long) { return true; }
};

void EvaluateStepped(SplitSeries& series, const std::vector<double>& bounds, double N,
                     SteppedSums& s, const std::vector<long>& keeps) {
    BigInt* const scratch = series.joinScratch;
    if (!series.keepsA) series.joinScratch = &s.stepA;
    const double t0 = core::ElapsedSeconds();
    MemoryAccumulator acc{series, s};
    AccumulateSteps(acc, bounds, N, s.R, static_cast<long>(bounds.size()) - 1,
                    keeps.empty() ? nullptr : &keeps);
    series.joinScratch = scratch;
    s.accP.SizeAlloc = s.accQ.SizeAlloc = s.X.SizeAlloc = s.R;
    Print("Series computing time : %.2lf\n", core::ElapsedSeconds() - t0);
}

}  // namespace zeprix::series
