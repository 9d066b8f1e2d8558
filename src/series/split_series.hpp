// Binary splitting of a rational series: GiantStep on BigInts, BabyStep on SmallInts,
// and the term formula of each series class (LastBabyStep).
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "fft/fft_state.hpp"
#include "numbers/big_int.hpp"
#include "numbers/small_int.hpp"

namespace zeprix::series {

using numbers::BigInt;
using numbers::SmallInt;

// Largest whole number not above x (x a double holding values below 2^52), by the
// program's floor rule: r = rint(x - 0.5), then corrected into (x - 1, x].
double FloorWhole(double x);

// A series sum over n = 1 .. N of c(n) prod_{i<=n} a(i)/q(i), evaluated by binary
// splitting. A block (n0, n1) covers the terms n0 + 1 .. n1 and has the integers
//   A = a(n0+1) .. a(n1),  Q = q(n0+1) .. q(n1),
//   P with P/Q = sum_{n=n0+1}^{n1} c(n) prod_{i=n0+1}^{n} a(i)/q(i).
// Two adjacent blocks join as A = A1 A2, P = P1 Q2 + A1 P2, Q = Q1 Q2. A series with
// a(n) = 1 for every n (keepsA false) keeps no A: P = P1 Q2 + P2.
//
// Storage: no allocation inside the recursion. The right block of every split is computed
// in views onto the unused tails of the left block's numbers (the caller's capacity minus
// the left result's length), and is consumed by the join before the left numbers grow.
// The caller gives A, P and Q enough capacity for the whole block (its final lengths plus
// about one limb per recursion level).
class SplitSeries {
public:
    SplitSeries() = default;
    SplitSeries(const SplitSeries&) = delete;
    SplitSeries& operator=(const SplitSeries&) = delete;
    virtual ~SplitSeries();

    // Term formula: sets A (when not null), P and Q of a block that IsLastBlock accepts,
    // exactly, normalised.
    virtual void LastBabyStep(double n0, double n1, SmallInt* A, SmallInt& P, SmallInt& Q) = 0;
    // True when (n0, n1) is small enough for LastBabyStep.
    virtual bool IsLastBlock(double n0, double n1) const = 0;
    // Split point of a block with n1 - n0 >= 2, strictly between n0 and n1.
    virtual double SplitPoint(double n0, double n1) const;
    // Expected sign of P of a block starting at n0 (+1 or -1), or 0 for no check.
    virtual int ExpectedSign(double n0) const;
    // Fatal message when P has the wrong sign after a join.
    virtual const char* WrongSignMessage() const;
    // Called after every GiantStep join (progress output); only by the series that the
    // run made, never by a copy working on another thread.
    virtual void AfterJoin(double n0, double n1);
    // A copy of the term formula with scratch of its own, for a half of a split that
    // another thread computes at the same time (AllocWorkAreas is the caller's); null when
    // the series has no such copy, and its giant steps stay on one thread.
    virtual std::unique_ptr<SplitSeries> CloneForThread() const;

    // Sizes the SmallInt work areas for leaves of giantThreshold terms whose factors have
    // natural logarithm termSize at most: trunc(giantThreshold termSize / ln 10^6) + 150
    // limbs each. FreeWorkAreas also releases the FFT states of the other threads.
    void AllocWorkAreas(double termSize);
    void FreeWorkAreas();

    // With several threads (core::ThreadCount()), the top levels of GiantStep's recursion
    // compute their right half on another thread, with a copy of the series, numbers of
    // its own (sized from termSize) and an FFT state of the current size; the join runs on
    // the calling thread with the products on every thread. Memory that this adds to a
    // giant step of `limbs` limbs (A, P, Q each) at FFT size F, for `threads` threads;
    // keepsA as the series'.
    static double ThreadMemory(double F, double limbs, int threads, bool keepsA);
    // All that the threads of this run (core::ThreadCount()) add to a computation whose
    // giant steps have blocks of `limbs` limbs: ThreadMemory and the scratch slots of the
    // main FFT state.
    static double ParallelMemory(double F, double limbs, bool keepsA);

    // BabyStep: A (null when keepsA is false), P, Q of (n0, n1) on SmallInts.
    void BabyStep(double n0, double n1, SmallInt* A, SmallInt& P, SmallInt& Q);

    // GiantStep: A, P, Q of (n0, n1) on BigInts (integers, exponent 0). Blocks of at most
    // giantThreshold terms go to BabyStep and are converted. With keepsA false, A is
    // ignored (may be null) and joinScratch (capacity >= the longest P1 Q2 and Q1 Q2) holds
    // the products. With keepsA, A of the whole block is formed only when doComputeA is
    // nonzero (the left half always forms its own); the join is one TwoMulBigInt, whose
    // transforms must fit NFFT/2 (the stepped evaluation guarantees it).
    // After each join: Q must be positive ("Q is negative in GiantStep") and P must have
    // ExpectedSign(n0) (WrongSignMessage()). The debug state records the join in progress.
    void GiantStep(double n0, double n1, BigInt* A, BigInt& P, BigInt& Q, long doComputeA);

    bool keepsA = true;
    long giantThreshold = 0;
    SmallInt babyA, babyP, babyQ;   // leaf results of GiantStep
    SmallInt work;                  // scratch product of BabyStep
    BigInt* joinScratch = nullptr;  // keepsA false: the join products
    double termSize = 0;            // as given to AllocWorkAreas

    // The FFT states of the threads that compute right halves, kept from one giant step
    // to the next (a state is made once, not per step).
    std::unique_ptr<fft::FFTState> TakeThreadState(long n);
    void ReturnThreadState(std::unique_ptr<fft::FFTState> state);

protected:
    struct BigStore;
    std::mutex statesMutex_;
    std::vector<std::unique_ptr<fft::FFTState>> threadStates_;
    // the in-memory blocks of GiantStep (split_series.cpp)

    // GiantStep join stages recorded in the debug state (1, 2, 3 for the three products
    // of a series without A; 1 for the single join product otherwise).
    void SetJoinStage(int value, double n0, double n1, long doComputeA);
};

}  // namespace zeprix::series
