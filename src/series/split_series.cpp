// Binary splitting of a rational series: GiantStep on BigInts, BabyStep on SmallInts.
#include "series/split_series.hpp"

#include <cmath>
#include <cstdio>

#include "core/check.hpp"
#include "core/debug_log.hpp"
#include "core/parallel.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "numbers/schoolbook.hpp"
#include "series/split_tree.hpp"

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

std::unique_ptr<SplitSeries> SplitSeries::CloneForThread() const { return nullptr; }

double SplitSeries::ThreadMemory(double F, double limbs, int threads, bool keepsA) {
    if (threads <= 1) return 0;
    // Per extra thread: an FFT state and its slots, the right half's A, P, Q and scratch
    // (half a block each, with slack), the leaf work areas. The state's two transform
    // arrays are touched only as far as that thread's largest transform reaches: the top
    // join of its half multiplies quarters of the block, at n >= 3 limbs / 4 points; it
    // holds two transforms of 2n doubles in each array when A is kept (n <= F / 2), one
    // otherwise (n <= F).
    double n = 256;
    while (n < 0.75 * limbs) n *= 2;
    n = std::min(n, keepsA ? F / 2 : F);
    const double arrays = 2 * 8 * (keepsA ? 4 : 2) * n;
    return (threads - 1) * (fft::FFTTableMemory(F) + arrays + fft::FFTSlotMemory(F, threads) +
                            4 * 8 * (limbs / 2 + 64) + 64 * 1024.0);
}

double SplitSeries::ParallelMemory(double F, double limbs, bool keepsA) {
    const int threads = core::ThreadCount();
    return fft::FFTSlotMemory(F, threads) + ThreadMemory(F, limbs, threads, keepsA);
}

std::unique_ptr<fft::FFTState> SplitSeries::TakeThreadState(long n) {
    {
        std::lock_guard<std::mutex> lock(statesMutex_);
        for (auto it = threadStates_.begin(); it != threadStates_.end(); ++it) {
            if ((*it)->NFFT == n) {
                std::unique_ptr<fft::FFTState> s = std::move(*it);
                threadStates_.erase(it);
                return s;
            }
        }
    }
    return std::make_unique<fft::FFTState>(n);
}

void SplitSeries::ReturnThreadState(std::unique_ptr<fft::FFTState> state) {
    std::lock_guard<std::mutex> lock(statesMutex_);
    threadStates_.push_back(std::move(state));
}

double SplitSeries::SplitPoint(double n0, double n1) const { return FloorWhole((n0 + n1) / 2); }

int SplitSeries::ExpectedSign(double) const { return 0; }

const char* SplitSeries::WrongSignMessage() const {
    return "P does not have the right sign in GiantStep";
}

void SplitSeries::AfterJoin(double, double) {}

void SplitSeries::AllocWorkAreas(double size) {
    termSize = size;
    const long n =
        static_cast<long>(static_cast<double>(giantThreshold) * size / std::log(1e6)) + 150;
    if (keepsA) babyA.Alloc(n);
    babyP.Alloc(n);
    babyQ.Alloc(n);
    work.Alloc(n);
}

void SplitSeries::FreeWorkAreas() {
    {
        std::lock_guard<std::mutex> lock(statesMutex_);
        threadStates_.clear();
    }
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
thread_local GiantStepRecord gGiantStep;

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

namespace {

// The leaves of GiantStep on SmallInts. The right half (m, n1) is computed in views on the
// free limbs of A, P, Q (after their used limbs); the join consumes them before A, P, Q
// grow over them:
//   with A:    work = A SP; P = P SQ + work; A = A SA; Q = Q SQ
//   without A: work = P SQ; P = work + SP;  Q = Q SQ
// P = P SQ may write over SP: the product reads both operands before writing. The sum
// P = work + SP writes limb i after reading SP's limb i, which lies above it.
struct SmallStore : SplitHooks {
    struct Block {
        SmallInt* A;
        SmallInt* P;
        SmallInt* Q;
    };
    struct Tail {
        SmallInt A, P, Q;  // views: they own no storage
        bool withA;
        Tail(const SmallStore&, Block b) : withA(b.A != nullptr) {
            if (withA) A.AllocSpecial(*b.A, b.A->_N);
            P.AllocSpecial(*b.P, b.P->_N);
            Q.AllocSpecial(*b.Q, b.Q->_N);
        }
        Block block() { return {withA ? &A : nullptr, &P, &Q}; }
    };

    SplitSeries& series;
    SmallInt& work;

    bool IsLeaf(double n0, double n1) const { return series.IsLastBlock(n0, n1); }
    void Leaf(double n0, double n1, Block b, long) { series.LastBabyStep(n0, n1, b.A, *b.P, *b.Q); }
    static double Split(double n0, double n1) { return FloorWhole((n0 + n1) / 2); }
    void Join(double, double, Block l, Block r, long) {
        if (l.A) {
            numbers::MulSmallInt(*l.A, *r.P, work, 1);
            numbers::MulSmallInt(*l.P, *r.Q, *l.P, 1);
            numbers::AddSmallInt(*l.P, work, *l.P);
            numbers::MulSmallInt(*l.A, *r.A, work, 1);
            work.CopyTo(*l.A);
        } else {
            numbers::MulSmallInt(*l.P, *r.Q, work, 1);
            numbers::AddSmallInt(work, *r.P, *l.P);
        }
        numbers::MulSmallInt(*l.Q, *r.Q, work, 1);
        work.CopyTo(*l.Q);
    }
};

}  // namespace

void SplitSeries::BabyStep(double n0, double n1, SmallInt* A, SmallInt& P, SmallInt& Q) {
    SmallStore store{{}, *this, work};
    SplitRecursion(store, n0, n1, {keepsA ? A : nullptr, &P, &Q}, 1);
}

// The blocks of GiantStep: leaves of giantThreshold terms on SmallInts, converted; the
// right half in views on the free tails of the left half's numbers.
struct SplitSeries::BigStore : SplitHooks {
    struct Block {
        BigInt* A;
        BigInt* P;
        BigInt* Q;
    };
    struct Tail {
        BigInt A, P, Q;  // views
        bool withA;
        Tail(const BigStore& s, Block b) : withA(s.series.keepsA) {
            P.SetView(b.P->Limbs + b.P->_N, 1, b.P->SizeAlloc - b.P->_N, 0);
            Q.SetView(b.Q->Limbs + b.Q->_N, 1, b.Q->SizeAlloc - b.Q->_N, 0);
            if (withA) A.SetView(b.A->Limbs + b.A->_N, 1, b.A->SizeAlloc - b.A->_N, 0);
            ZEPRIX_CHECK(P.SizeAlloc >= 1 && Q.SizeAlloc >= 1 && (!withA || A.SizeAlloc >= 1),
                         "Error in GiantStep, no room left for the right half");
        }
        Block block() { return {withA ? &A : nullptr, &P, &Q}; }
    };

    SplitSeries& series;
    bool copy = false;  // the series is a copy on another thread: no progress output

    bool IsLeaf(double n0, double n1) const {
        return n1 - n0 <= static_cast<double>(series.giantThreshold);
    }
    void Leaf(double n0, double n1, Block b, long) {
        const bool withA = series.keepsA;
        series.BabyStep(n0, n1, withA ? &series.babyA : nullptr, series.babyP, series.babyQ);
        if (withA && b.A) numbers::TransformIntoBigInt(series.babyA, *b.A);
        numbers::TransformIntoBigInt(series.babyP, *b.P);
        numbers::TransformIntoBigInt(series.babyQ, *b.Q);
    }
    double Split(double n0, double n1) const { return series.SplitPoint(n0, n1); }

    // The two halves at once, the right one on another thread, when this depth is among
    // the top ceil(log2 threads) levels; false leaves the block to the plain recursion.
    bool HalvesTogether(double n0, double m, double n1, Block b, long doComputeA, int depth) {
        int levels = 0;
        while ((1 << levels) < core::ThreadCount()) ++levels;
        if (depth >= levels || n1 - m < 4 * static_cast<double>(series.giantThreshold))
            return false;
        std::unique_ptr<SplitSeries> twin = series.CloneForThread();
        if (!twin) return false;
        twin->giantThreshold = series.giantThreshold;
        twin->keepsA = series.keepsA;
        twin->AllocWorkAreas(series.termSize);

        // The right half's numbers: its terms' sizes with 5 % and 64 limbs to spare, and
        // never more than the block's own capacity.
        const long bound =
            static_cast<long>(1.05 * (n1 - m) * series.termSize / std::log(1e12)) + 64;
        BigInt A, P, Q, scratch;
        P.Alloc(std::min(bound, b.P->SizeAlloc));
        Q.Alloc(std::min(bound, b.Q->SizeAlloc));
        if (series.keepsA) {
            A.Alloc(std::min(bound, b.A ? b.A->SizeAlloc : bound));
        } else {
            scratch.Alloc(bound);
            twin->joinScratch = &scratch;
        }
        const Block right{series.keepsA ? &A : nullptr, &P, &Q};
        const long n = fft::State().NFFT;
        core::RunBoth([&] { SplitRecursion(*this, n0, m, b, 1, depth + 1); },
                      [&] {
                          std::unique_ptr<fft::FFTState> state = series.TakeThreadState(n);
                          {
                              fft::StateScope scope(*state);
                              BigStore store{{}, *twin, true};
                              SplitRecursion(store, m, n1, right, doComputeA, depth + 1);
                          }
                          series.ReturnThreadState(std::move(state));
                      });
        Join(n0, n1, b, right, doComputeA);
        twin->FreeWorkAreas();
        return true;
    }

    void Join(double n0, double n1, Block l, Block r, long doComputeA) {
        core::StopIfRequested();  // another thread's fatal error ends this one too
        BigInt& P = *l.P;
        BigInt& Q = *l.Q;
        if (series.keepsA) {
            // P = P vQ + A vP, Q = Q vQ, A = A vA: the transforms of vQ and A serve twice.
            // Each result is written after the operands it overwrites were transformed.
            const bool withA = doComputeA != 0;
            series.SetJoinStage(1, n0, n1, doComputeA);
            fft::TwoMulBigInt(*r.Q, *l.A, P, *r.P, Q, withA ? r.A : nullptr, P, Q,
                              withA ? l.A : nullptr);
        } else {
            // P = P vQ + vP, Q = Q vQ; vQ first so that its transform can serve twice.
            BigInt& s = *series.joinScratch;
            fft::ReusedFactor byVQ(*r.Q);
            series.SetJoinStage(1, n0, n1, doComputeA);
            byVQ.Mul(P, s);
            series.SetJoinStage(2, n0, n1, doComputeA);
            numbers::AddBigInt(s, *r.P, P);
            series.SetJoinStage(3, n0, n1, doComputeA);
            byVQ.Mul(Q, s);
            s.CopyTo(Q);
        }
        if (Q.Limbs[Q._N - 1] < 0) core::FatalError("Q is negative in GiantStep");
        const int sign = series.ExpectedSign(n0);
        if (sign != 0 && static_cast<double>(sign) * P.Limbs[P._N - 1] < 0)
            core::FatalError(series.WrongSignMessage());
        series.SetJoinStage(0, 0, 0, 0);
        if (!copy) series.AfterJoin(n0, n1);
    }
};

void SplitSeries::GiantStep(double n0, double n1, BigInt* A, BigInt& P, BigInt& Q,
                            long doComputeA) {
    BigStore store{{}, *this};
    SplitRecursion(store, n0, n1, {keepsA ? A : nullptr, &P, &Q}, doComputeA);
}

}  // namespace zeprix::series
