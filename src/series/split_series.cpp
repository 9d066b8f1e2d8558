// Binary splitting of a rational series: GiantStep on BigInts, BabyStep on SmallInts.
#include "series/split_series.hpp"

#include <cmath>
#include <cstdio>

#include "core/check.hpp"
#include "core/debug_log.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "newton/big_view.hpp"
#include "numbers/schoolbook.hpp"

namespace zeprix::series {

double FloorWhole(double x) {
    double r = std::rint(x - 0.5);
    if (r <= x - 1)
        r += 1;
    else if (r > x)
        r -= 1;
    return r;
}

SplitSeries::~SplitSeries() { FreeWorkAreas(); }

double SplitSeries::SplitPoint(double n0, double n1) const { return FloorWhole((n0 + n1) / 2); }

int SplitSeries::ExpectedSign(double) const { return 0; }

const char* SplitSeries::WrongSignMessage() const {
    return "P does not have the right sign in GiantStep";
}

void SplitSeries::AfterJoin(double, double) {}

void SplitSeries::AllocWorkAreas(double termSize) {
    const long n =
        static_cast<long>(static_cast<double>(giantThreshold) * termSize / std::log(1e6)) + 150;
    if (keepsA) babyA.Alloc(n);
    babyP.Alloc(n);
    babyQ.Alloc(n);
    work.Alloc(n);
}

void SplitSeries::FreeWorkAreas() {
    babyA.Free();
    babyP.Free();
    babyQ.Free();
    work.Free();
}

namespace {

// The join in progress, printed by the debug log while value != 0 (the stage, 1 to 3).
struct GiantStepRecord {
    int value = 0;
    double n0 = 0, n1 = 0;
    long DoComputeA = 0;
};
GiantStepRecord gGiantStep;

void WriteGiantStepSection(std::FILE* log) {
    const GiantStepRecord& g = gGiantStep;
    if (g.value == 0) return;
    std::fprintf(log, "%s", core::kLogSectionLine);
    std::fprintf(log, "Giant step is on, value=%d\n", g.value);
    std::fprintf(log, "n0=%.0lf, n1=%.0lf\n", g.n0, g.n1);
    std::fprintf(log, "DoComputeA = %ld\n", g.DoComputeA);
}

const bool kGiantStepSectionRegistered = [] {
    core::RegisterLogSection(30, WriteGiantStepSection);
    return true;
}();

}  // namespace

void SplitSeries::SetJoinStage(int value, double n0, double n1, long doComputeA) {
    gGiantStep = {value, n0, n1, doComputeA};
}

// The right half (m, n1) is computed in views SA, SP, SQ on the free limbs of A, P, Q
// (after their used limbs); the join consumes them before A, P, Q grow over them:
//   with A:    work = A SP; P = P SQ + work; A = A SA; Q = Q SQ
//   without A: work = P SQ; P = work + SP;  Q = Q SQ
// P = P SQ may write over SP: the product reads both operands before writing. The sum
// P = work + SP writes limb i after reading SP's limb i, which lies above it.
void SplitSeries::BabyStep(double n0, double n1, SmallInt* A, SmallInt& P, SmallInt& Q) {
    if (IsLastBlock(n0, n1)) {
        LastBabyStep(n0, n1, keepsA ? A : nullptr, P, Q);
        return;
    }
    const double m = FloorWhole((n0 + n1) / 2);
    BabyStep(n0, m, A, P, Q);
    SmallInt SA, SP, SQ;  // views: they own no storage
    if (keepsA) SA.AllocSpecial(*A, A->_N);
    SP.AllocSpecial(P, P._N);
    SQ.AllocSpecial(Q, Q._N);
    BabyStep(m, n1, keepsA ? &SA : nullptr, SP, SQ);
    if (keepsA) {
        numbers::MulSmallInt(*A, SP, work, 1);
        numbers::MulSmallInt(P, SQ, P, 1);
        numbers::AddSmallInt(P, work, P);
        numbers::MulSmallInt(*A, SA, work, 1);
        work.CopyTo(*A);
    } else {
        numbers::MulSmallInt(P, SQ, work, 1);
        numbers::AddSmallInt(work, SP, P);
    }
    numbers::MulSmallInt(Q, SQ, work, 1);
    work.CopyTo(Q);
}

void SplitSeries::GiantStep(double n0, double n1, BigInt* A, BigInt& P, BigInt& Q,
                            long doComputeA) {
    if (n1 - n0 <= static_cast<double>(giantThreshold)) {
        BabyStep(n0, n1, keepsA ? &babyA : nullptr, babyP, babyQ);
        if (keepsA && A) numbers::TransformIntoBigInt(babyA, *A);
        numbers::TransformIntoBigInt(babyP, P);
        numbers::TransformIntoBigInt(babyQ, Q);
        return;
    }
    const double m = SplitPoint(n0, n1);
    ZEPRIX_ASSERT(n0 < m && m < n1);
    GiantStep(n0, m, A, P, Q, 1);

    // The right half in the free tails of the left half's numbers.
    BigInt vA, vP, vQ;
    vP.SetView(P.Limbs + P._N, 1, P.SizeAlloc - P._N, 0);
    vQ.SetView(Q.Limbs + Q._N, 1, Q.SizeAlloc - Q._N, 0);
    const bool withA = keepsA && doComputeA != 0;
    if (keepsA) vA.SetView(A->Limbs + A->_N, 1, A->SizeAlloc - A->_N, 0);
    ZEPRIX_CHECK(vP.SizeAlloc >= 1 && vQ.SizeAlloc >= 1 && (!keepsA || vA.SizeAlloc >= 1),
                 "Error in GiantStep, no room left for the right half");
    GiantStep(m, n1, keepsA ? &vA : nullptr, vP, vQ, doComputeA);

    if (keepsA) {
        // P = P vQ + A vP, Q = Q vQ, A = A vA: the transforms of vQ and A serve twice.
        // Each result is written after the operands it overwrites were transformed.
        SetJoinStage(1, n0, n1, doComputeA);
        fft::TwoMulBigInt(vQ, *A, P, vP, Q, withA ? &vA : nullptr, P, Q, withA ? A : nullptr);
    } else {
        // P = P vQ + vP, Q = Q vQ; vQ first so that its transform can serve twice.
        BigInt& s = *joinScratch;
        fft::ReusedFactor byVQ(vQ);
        SetJoinStage(1, n0, n1, doComputeA);
        byVQ.Mul(P, s);
        SetJoinStage(2, n0, n1, doComputeA);
        numbers::AddBigInt(s, vP, P);
        SetJoinStage(3, n0, n1, doComputeA);
        byVQ.Mul(Q, s);
        s.CopyTo(Q);
    }

    if (Q.Limbs[Q._N - 1] < 0) core::FatalError("Q is negative in GiantStep");
    const int s = ExpectedSign(n0);
    if (s != 0 && static_cast<double>(s) * P.Limbs[P._N - 1] < 0)
        core::FatalError(WrongSignMessage());
    SetJoinStage(0, 0, 0, 0);
    AfterJoin(n0, n1);
}

}  // namespace zeprix::series
