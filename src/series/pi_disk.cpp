// Pi in the basic disk memory mode: the steps of the series in memory, the accumulated pair
// and the final stages in disk integers. A run can stop after every step and after each
// final stage, and the next start resumes from the parameter file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "core/check.hpp"
#include "core/clock.hpp"
#include "core/console.hpp"
#include "disk/disk_arith.hpp"
#include "disk/disk_newton.hpp"
#include "fft/fft_state.hpp"
#include "ntt/disk_ntt.hpp"
#include "series/pi_constant.hpp"
#include "series/pi_stages.hpp"
#include "series/resume_record.hpp"
#include "series/split_tree.hpp"
#include "series/step_sum.hpp"
#include "series/stepped.hpp"

namespace zeprix::series {

using core::Print;
using disk::DiskInt;
using numbers::BigInt;

namespace {

// The accumulated pair alternates between two generations of files: a step reads (PP, QQ)
// of one and writes the other, and each stage after the series writes files that the last
// record does not name. So the files a record names are never written over before the next
// record is in place, and a run killed at any moment resumes from its last record.
constexpr const char* kP[2] = {"PP", "PPb"};
constexpr const char* kQ[2] = {"QQ", "QQb"};

int Generation(const DiskInt& d) { return d.Name[2] == 'b' ? 1 : 0; }

}  // namespace

// Terms of a step: mode 1 as much as one FFT block holds (S1); mode 2 doubled, and its
// block of limbs e = 2 e + 1 from F/3, until 2.5 e reaches R (or not at all).
double PiConstant::StepTerms() const {
    double S = TermsPerStep(fftSize, termSize);
    if (mode == 2)
        for (double e = static_cast<double>(fftSize / 3);
             2.5 * e < static_cast<double>(DiskLimbs() - 2); e = 2 * e + 1)
            S *= 2;
    return S;
}

long PiConstant::StepLimbs() const {
    long e = fftSize / 3;
    if (mode == 2)
        while (2.5 * static_cast<double>(e) < static_cast<double>(DiskLimbs() - 2)) e = 2 * e + 1;
    return e;
}

long PiConstant::DiskLimbs() const {
    const long F3 = fftSize / 3;
    return std::max(static_cast<long>((digits + 100) * std::log(10.0) / std::log(1e12)) + 1, F3) +
           2;
}

// Mode 2: a step's block on disk, by the binary-splitting recursion over disk blocks (A, P,
// Q in disk integers, the right half in views on the tails of the left half's files) whose
// leaves of at most `limit` terms are two in-memory giant steps joined onto disk:
//   leaf:  P = A1 P2 + P1 Q2, A = A1 A2, Q = Q1 Q2 with (A1, P1, Q1) in memory;
//   join:  work = A1 P2, A = A1 A2, P = P1 Q2 + work, Q = Q1 Q2 (work2 for the products
//          that would land on an operand's own files).
struct DiskGiant : SplitHooks {
    struct Block {
        DiskInt* A;
        DiskInt* P;
        DiskInt* Q;
    };
    struct Tail {
        DiskInt A, P, Q;
        Tail(const DiskGiant&, Block b) {
            for (auto [view, of] : {std::pair{&A, b.A}, std::pair{&P, b.P}, std::pair{&Q, b.Q}}) {
                std::snprintf(view->Name, sizeof view->Name, "%s", of->Name);
                view->SizeAlloc = of->SizeAlloc - of->_N;
                view->Offset = of->Offset + of->_N;
                ZEPRIX_CHECK(view->SizeAlloc >= 1,
                             "Error in the disk giant step, no room for the right half");
            }
        }
        Block block() { return {&A, &P, &Q}; }
    };

    PiSeries& series;
    double limit;
    BigInt &mA, &mP, &mQ;
    DiskInt &work, &work2;
    ntt::NttProduct* ntt = nullptr;  // keeps the transforms of a repeated first operand

    void KeepFirstOperand() const {
        if (ntt) ntt->KeepResidues = true;
    }

    bool IsLeaf(double n0, double n1) const { return n1 - n0 <= limit; }
    static double Split(double n0, double n1) {
        double m = FloorWhole((n0 + n1) / 2);
        if (FloorWhole(m / 2) * 2 != m && m + 1 < n1) m += 1;
        return m;
    }
    void Leaf(double n0, double n1, Block b, long doA) {
        const double m = FloorWhole((n0 + n1) / 2);
        series.GiantStep(m, n1, &mA, mP, mQ, doA);
        if (doA) disk::CopyToDiskInt(mA, *b.A);
        disk::CopyToDiskInt(mP, *b.P);
        disk::CopyToDiskInt(mQ, *b.Q);
        series.GiantStep(n0, m, &mA, mP, mQ, 1);
        disk::MulBigIntByDiskInt(mA, *b.P, *b.P);
        if (doA) disk::MulBigIntByDiskInt(mA, *b.A, *b.A);
        disk::MulBigIntByDiskInt(mP, *b.Q, work);
        disk::AddDiskInt(*b.P, work, *b.P);
        disk::MulBigIntByDiskInt(mQ, *b.Q, *b.Q);
    }
    // A1 and Q2 are each the first operand of two products: with the NTT their transforms
    // are made once.
    void Join(double, double, Block l, Block r, long doA) {
        if (doA) KeepFirstOperand();
        disk::MulDiskInt(*l.A, *r.P, work);
        if (doA) {
            disk::MulDiskInt(*l.A, *r.A, work2);
            disk::CopyToDiskInt(work2, *l.A);
        }
        KeepFirstOperand();
        disk::MulDiskInt(*r.Q, *l.P, work2);
        disk::AddDiskInt(work2, work, *l.P);
        disk::MulDiskInt(*r.Q, *l.Q, work2);
        disk::CopyToDiskInt(work2, *l.Q);
    }
};

// The disk accumulator of the step loop: the step's block in memory joined onto the pair of
// one generation into the other, each product truncated to the limbs the step keeps,
//   AA = stepA accP,  accP' = stepP accQ + AA,  accQ' = stepQ accQ,
// then a record of the new pair.
struct PiConstant::DiskSteps {
    PiConstant& pi;
    PiSeries& series;
    BigInt &stepA, &stepP, &stepQ;
    DiskInt& AA;
    std::unique_ptr<DiskInt> P[2], Q[2];
    int g = 0;              // the generation that holds the pair
    DiskGiant* giant;       // mode 2: the step's block on disk, else null
    DiskInt *dA, *dP, *dQ;  // mode 2: the step's block

    void First(long K, double b, double N, long) {
        Print("Starting step %ld ", K);
        if (giant) {
            SplitRecursion(*giant, b, N, {&AA, P[g].get(), Q[g].get()}, 0);
            Print("\n");
            return;
        }
        series.GiantStep(b, N, &stepA, stepP, stepQ, 0);
        disk::CopyToDiskInt(stepP, *P[g]);
        disk::CopyToDiskInt(stepQ, *Q[g]);
        Print("\n");
    }
    void Step(long i, double b0, double b1, long keep) {
        Print("Starting step %ld ", i);
        if (giant) {
            SplitRecursion(*giant, b0, b1, {dA, dP, dQ}, 1);
            const int d = 1 - g;
            AA.SizeAlloc = keep + 1;
            disk::MulDiskInt(*dA, *P[g], AA);
            Print(".");
            P[d]->SizeAlloc = keep;
            giant->KeepFirstOperand();  // the pair's Q, first operand of both products
            disk::MulDiskInt(*Q[g], *dP, *P[d]);
            P[d]->SizeAlloc = keep + 1;
            disk::AddDiskInt(*P[d], AA, *P[d]);
            Print(".");
            Q[d]->SizeAlloc = keep;
            disk::MulDiskInt(*Q[g], *dQ, *Q[d]);
            Print(".");
            Print("\n");
            g = d;
            return;
        }
        series.GiantStep(b0, b1, &stepA, stepP, stepQ, 1);
        const int d = 1 - g;
        AA.SizeAlloc = keep + 1;
        disk::MulBigIntByDiskInt(stepA, *P[g], AA);
        Print(".");
        P[d]->SizeAlloc = keep;
        disk::MulBigIntByDiskInt(stepP, *Q[g], *P[d]);
        P[d]->SizeAlloc = keep + 1;  // the sum's carry
        disk::AddDiskInt(*P[d], AA, *P[d]);
        Print(".");
        Q[d]->SizeAlloc = keep;
        disk::MulBigIntByDiskInt(stepQ, *Q[g], *Q[d]);
        Print(".");
        Print("\n");
        g = d;
    }
    // Records the pair; stops at the threshold, and at the threshold -1 once the series is
    // done.
    bool StepDone(long i) {
        pi.seriesState = i - 1;
        pi.diskP_ = std::move(P[g]);
        pi.diskQ_ = std::move(Q[g]);
        shell::SaveParameterFile(pi);
        P[g] = std::move(pi.diskP_);
        Q[g] = std::move(pi.diskQ_);
        if (shell::TimeThresholdReached(pi)) return false;
        return !(i == 0 && pi.timeThreshold == -1);
    }
};

// The stages after the series on disk. The quotient Q / S goes to the generation other than
// the pair's, the inverse square root to the P file of the pair's generation (free once the
// quotient is recorded), the result to AA.
struct PiConstant::DiskFinish {
    PiConstant& pi;
    DiskInt& AA;
    std::unique_ptr<DiskInt>& P;  // the pair's P, then the inverse square root
    std::unique_ptr<DiskInt>& Q;  // the pair's Q, then the quotient
    BigInt &t, &i;                // in-memory work of the division
    long R;

    void AddConstantTerm(const PiFormula& f) {
        const int d = 1 - Generation(*Q);
        auto S = NewDiskInt(kP[d], R + 2);
        disk::MulDiskIntBySmall(*Q, f.base, AA);
        if (f.sign < 0)
            disk::SubstractDiskInt(AA, *P, *S);
        else
            disk::AddDiskInt(*P, AA, *S);
        double top = 0;
        S->WriteBuffer(&top, 1, S->_N - 1);
        ZEPRIX_CHECK(top > 0, "Error in PiConstant::Compute, the sum is not positive");
        P = std::move(S);
    }
    void DivideQByP() {  // P is the sum, consumed
        const int d = Generation(*P);
        auto q = NewDiskInt(kQ[d], R + 2);
        disk::Trim(*P);
        if (pi.mode == 1) {
            disk::CopyToDiskInt(*Q, *q);
            disk::DivDiskInt(*q, *P, AA, t, i);
        } else {  // mode 2: Q times the reciprocal of the sum (Newton's iteration into dA)
            auto inv = NewDiskInt("dA", R + 2);
            inv->SizeAlloc = R + 1;
            AA.SizeAlloc = R + 1 + 16;
            disk::Inverse(*P, *inv, AA);
            disk::MulDiskInt(*Q, *inv, *q);
            inv->Free();
        }
        P->Free();
        P.reset();
        Q = std::move(q);
    }
    void InvSqrtIntoP(long root) {
        P = NewDiskInt(kP[1 - Generation(*Q)], R - 1);
        P->SizeAlloc = R - 1;  // the target
        AA.SizeAlloc = 2 * R + 16;
        disk::InvSqrt(root, *P, AA);
        P->SizeAlloc = R + 2;
    }
    void ScaleP(double k0) { disk::MulDiskIntBySmall(*P, k0, *P); }
    void FinalProduct() {
        AA.SizeAlloc = R + 2;
        disk::MulDiskInt(*Q, *P, AA);
    }
    bool StageDone(long stage) {
        pi.seriesState = stage;
        pi.diskP_ = std::move(P);
        pi.diskQ_ = std::move(Q);
        shell::SaveParameterFile(pi);
        P = std::move(pi.diskP_);
        Q = std::move(pi.diskQ_);
        // The pair the previous record named is not needed any more.
        if (stage == kDivisionDone) {
            const int g = 1 - Generation(*Q);
            for (const char* name : {kP[g], kQ[g]}) NewDiskInt(name, R + 2)->Free();
        }
        return !shell::TimeThresholdReached(pi);
    }
};

long PiConstant::ComputeOnDisk() {
    SizeSeries();
    const long F = fftSize;
    fft::FFTSession fftSession(F);
    disk::InitDiskMemory(F);
    std::optional<ntt::NttEngine> nttEngine;  // mode 2: large products by the NTT
    if (mode == 2) nttEngine.emplace(F, digits + 100);
    const long F3 = F / 3;
    const long R = DiskLimbs() - 2;

    PiSeries series(method);
    series.giantThreshold = giantThreshold;
    series.keepsA = true;
    series.AllocWorkAreas(termSize);
    const std::vector<double> bounds = UniformSteps(N, StepTerms());
    const long K = static_cast<long>(bounds.size()) - 1;
    const long L = static_cast<long>(std::ceil(std::log2(std::max(N, 2.0))));
    BigInt stepA, stepP, stepQ;
    for (BigInt* b : {&stepA, &stepP, &stepQ}) b->Alloc(2 * L + F3);
    auto AA = NewDiskInt("AA", R + 2);
    // Mode 2: steps of several FFT blocks, computed on disk (dA, dP, dQ, with dtmp and
    // dtmq as the products' work numbers).
    const long e = StepLimbs() + 2 * L;
    std::unique_ptr<DiskInt> dA, dP, dQ, work, work2;
    std::unique_ptr<DiskGiant> giant;
    if (mode == 2) {
        dA = NewDiskInt("dA", e);
        dP = NewDiskInt("dP", e);
        dQ = NewDiskInt("dQ", e);
        work = NewDiskInt("dtmp", std::max(e, R + 2));
        work2 = NewDiskInt("dtmq", std::max(e, R + 2));
        giant = std::make_unique<DiskGiant>(DiskGiant{{},
                                                      series,
                                                      TermsPerStep(F, termSize),
                                                      stepA,
                                                      stepP,
                                                      stepQ,
                                                      *work,
                                                      *work2,
                                                      &nttEngine->Product()});
    }
    PrintMemory();

    if (!resumed) seriesState = K;
    if (seriesState >= 0) {
        DiskSteps steps{*this, series, stepA,       stepP,    stepQ,    *AA,     {},
                        {},    0,      giant.get(), dA.get(), dP.get(), dQ.get()};
        if (seriesState == K) {
            steps.P[0] = NewDiskInt(kP[0], R + 2);
            steps.Q[0] = NewDiskInt(kQ[0], R + 2);
        } else {
            steps.g = Generation(*diskQ_);
            steps.P[steps.g] = std::move(diskP_);
            steps.Q[steps.g] = std::move(diskQ_);
        }
        steps.P[1 - steps.g] = NewDiskInt(kP[1 - steps.g], R + 2);
        steps.Q[1 - steps.g] = NewDiskInt(kQ[1 - steps.g], R + 2);
        Print("Computing series with index N=%.0lf\n", N);
        const double t0 = core::ElapsedSeconds();
        const bool done = AccumulateSteps(steps, bounds, N, R, seriesState);
        const int other = 1 - steps.g;
        steps.P[other]->Free();
        steps.Q[other]->Free();
        diskP_ = std::move(steps.P[steps.g]);
        diskQ_ = std::move(steps.Q[steps.g]);
        FreeDiskInts({&dA, &dP, &dQ, &work, &work2});
        if (!done) return 0;
        Print("Series computing time : %.2lf\n", core::ElapsedSeconds() - t0);
    }
    series.FreeWorkAreas();

    DiskFinish finish{*this, *AA, diskP_, diskQ_, stepP, stepQ, R};
    long stage = seriesState;
    if (!PiFinalStages(finish, PiFormulaOf(method), stage)) return 0;
    double top = 0;
    AA->WriteBuffer(&top, 1, AA->_N - 1);
    ZEPRIX_CHECK(AA->_N + AA->Shift == 1 && top == 3,
                 "Error in PiConstant::Compute, the result is not near pi");
    diskResult_ = std::move(AA);
    result = diskResult_.get();
    return 1;
}

// The last record names the quotient and the inverse square root: they go with it.
void PiConstant::ReleaseRecordedFiles() { FreeDiskInts({&diskP_, &diskQ_}); }

void PiConstant::SaveParameters(FILE* f) {
    Constant::SaveParameters(f);
    if (diskP_)
        SaveResumeRecord(f, seriesState, {diskP_.get(), diskQ_.get()});
    else
        SaveResumeRecord(f, seriesState, {diskQ_.get()});
}

// States from the series (a step index, or -1 once it is done) refer to a pair of one
// generation; -2 to the quotient alone; -3 to the quotient and the inverse square root.
void PiConstant::LoadParameters(FILE* f) {
    Constant::LoadParameters(f);
    if (!ModeRunnable(mode)) return;  // the resume road reports it
    SizeSeries();
    const long K = static_cast<long>(UniformSteps(N, StepTerms()).size()) - 1;
    ResumeRecord r = LoadResumeRecord(
        f, [K](long state) { return state >= -3 && state < K; }, {"PP", "QQ", "PPb", "QQb"},
        DiskLimbs());
    seriesState = r.state;
    for (int g = 0; g < 2; ++g)
        if (!diskQ_ && r.Find(kQ[g])) diskQ_ = r.Take(kQ[g]);
    if (diskQ_ && seriesState != kDivisionDone) {
        const int g = Generation(*diskQ_);
        diskP_ = r.Take(kP[seriesState == kInvSqrtDone ? 1 - g : g]);
    }
    if (!diskQ_ || (!diskP_ && seriesState != kDivisionDone))
        RefuseResume("it lacks a disk integer of its series state");
}

}  // namespace zeprix::series
