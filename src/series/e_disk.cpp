// The constant e in the basic disk memory mode: the series' P and Q in disk integers, built
// by the binary-splitting recursion over disk blocks whose leaves are in-memory giant
// steps, then divided on disk. A run can stop after the first half of the series and after
// the whole series, and the next start resumes from the parameter file.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "core/check.hpp"
#include "core/clock.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "disk/disk_arith.hpp"
#include "disk/disk_newton.hpp"
#include "fft/fft_state.hpp"
#include "ntt/disk_ntt.hpp"
#include "series/e_constant.hpp"
#include "series/e_series.hpp"
#include "series/resume_record.hpp"
#include "series/split_tree.hpp"

namespace zeprix::series {

using core::Print;
using disk::DiskInt;
using numbers::BigInt;

namespace {

// The blocks of the disk recursion: P and Q of a block in disk integers; the right half in
// views on the free tails of the left half's files (capacity minus length, offset plus
// length), which the join consumes before the left numbers grow over them. Leaves of
// fewer than 2x terms are two in-memory giant steps joined onto disk:
//   P = P_L Q_R + P_R, Q = Q_L Q_R   (the series has no A: a(n) = 1).
struct DiskStore : SplitHooks {
    struct Block {
        DiskInt* P;
        DiskInt* Q;
    };
    struct Tail {
        DiskInt P, Q;
        Tail(const DiskStore&, Block b) {
            for (auto [view, of] : {std::pair{&P, b.P}, std::pair{&Q, b.Q}}) {
                std::snprintf(view->Name, sizeof view->Name, "%s", of->Name);
                view->SizeAlloc = of->SizeAlloc - of->_N;
                view->Offset = of->Offset + of->_N;
                ZEPRIX_CHECK(view->SizeAlloc >= 1,
                             "Error in DiskSplit, no room for the right half");
            }
        }
        Block block() { return {&P, &Q}; }
    };

    SplitSeries& series;
    double x;       // terms whose product fits one in-memory giant step
    BigInt &P, &Q;  // the in-memory leaves
    DiskInt& work;  // the products of the joins

    // Split points of the series, made odd as the leaves expect.
    double Split(double n0, double n1) const {
        double m = series.SplitPoint(n0, n1);
        if (FloorWhole(m / 2) * 2 == m && m + 1 < n1) m += 1;
        return m;
    }
    bool IsLeaf(double n0, double n1) const { return n1 - n0 < 2 * x; }
    void Leaf(double n0, double n1, Block b, long) {
        const double m = Split(n0, n1);
        series.GiantStep(m, n1, nullptr, P, Q, 0);
        disk::CopyToDiskInt(P, *b.P);
        disk::CopyToDiskInt(Q, *b.Q);
        series.GiantStep(n0, m, nullptr, P, Q, 0);
        disk::MulBigIntByDiskInt(P, *b.Q, work);
        disk::AddDiskInt(work, *b.P, *b.P);
        disk::MulBigIntByDiskInt(Q, *b.Q, work);
        disk::CopyToDiskInt(work, *b.Q);
    }
    void Join(double, double, Block l, Block r, long) {
        disk::MulDiskInt(*l.P, *r.Q, work);
        disk::AddDiskInt(work, *r.P, *l.P);
        disk::MulDiskInt(*l.Q, *r.Q, work);
        disk::CopyToDiskInt(work, *l.Q);
    }
};

}  // namespace

long EConstant::DiskLimbs() const {
    const long F3 = fftSize / 3;
    const long R =
        std::max(static_cast<long>((digits + 100) * std::log(10.0) / std::log(1e12)) + 1, F3);
    return R + 2 * static_cast<long>(lnN);
}

// The halves of the series are the two halves of the top split. The first lands in AA and
// QQ; the second in the tails of those files; their join goes to new files, PP and dtmp,
// so that the numbers a record names are never written over before the next record is in
// place: a run killed at any moment resumes from its last record. The division works on
// copies (AA, QQ again, with dA as its scratch) for the same reason.
long EConstant::ComputeOnDisk() {
    SizeSeries();
    const long F = fftSize;
    fft::FFTSession fftSession(F);
    disk::InitDiskMemory(F);
    std::optional<ntt::NttEngine> nttEngine;  // mode 2: large products by the NTT
    if (mode == 2) nttEngine.emplace(F, digits + 100);

    Series& s = MakeSeries(seriesState == 0 ? 5 : 1);

    const long giantSize = F / 3 + 2 * static_cast<long>(lnN);
    BigInt P, Q, scratch;
    P.Alloc(giantSize);
    Q.Alloc(giantSize);
    scratch.Alloc(giantSize);
    s.joinScratch = &scratch;

    const long size = DiskLimbs();
    std::unique_ptr<DiskInt> AA = NewDiskInt("AA", size), QQ = NewDiskInt("QQ", size),
                             PP = NewDiskInt("PP", size), dtmp = NewDiskInt("dtmp", size);
    const double x = std::floor(static_cast<double>(F / 3) * std::log(1e12) / lnN);
    PrintMemory();

    DiskStore store{{}, s, x, P, Q, *dtmp};
    const double n0 = method == 0 ? 0 : 1;
    const double m = store.Split(n0, N);
    if (seriesState >= 0) {
        Print("Computing series with index N=%.0lf\n", N);
        const double t0 = core::ElapsedSeconds();
        if (seriesState == 1) {
            Print("First Half ");
            SplitRecursion(store, n0, m, {AA.get(), QQ.get()}, 0, 1);
            seriesState = 0;
            diskP_ = std::move(AA);
            diskQ_ = std::move(QQ);
            shell::SaveParameterFile(*this);
            if (shell::TimeThresholdReached(*this)) return 0;
        }
        // The first half, just computed or read back from the record.
        DiskInt& leftP = *diskP_;
        DiskInt& leftQ = *diskQ_;
        Print("\n");
        Print("Second Half ");
        DiskStore::Tail right(store, {&leftP, &leftQ});
        SplitRecursion(store, m, N, right.block(), 0, 1);
        // P = P_L Q_R + P_R into PP, Q = Q_L Q_R into dtmp; the first half stays as it was.
        disk::MulDiskInt(leftP, right.Q, *PP);
        disk::AddDiskInt(*PP, right.P, *PP);
        disk::MulDiskInt(leftQ, right.Q, *dtmp);
        Print("\n");
        Print("Series computing time : %.2lf\n", core::ElapsedSeconds() - t0);
        seriesState = -1;
        std::unique_ptr<DiskInt> halfP = std::move(diskP_), halfQ = std::move(diskQ_);
        diskP_ = std::move(PP);
        diskQ_ = std::move(dtmp);
        shell::SaveParameterFile(*this);
        halfP->Free();  // no record names the first half any more
        halfQ->Free();
        if (shell::TimeThresholdReached(*this) || timeThreshold == -1) return 0;
    }
    s.joinScratch = nullptr;
    s.FreeWorkAreas();

    // e - 1 = P / Q (method 0), e = Q / P (method 1).
    std::unique_ptr<DiskInt> num;
    if (mode == 1) {
        // The quotient of copies of the two (the division works in place).
        const double t0 = core::ElapsedSeconds();
        num = NewDiskInt("AA", size);
        auto den = NewDiskInt("QQ", size), z = NewDiskInt("dA", size);
        disk::CopyToDiskInt(method == 0 ? *diskP_ : *diskQ_, *num);
        disk::CopyToDiskInt(method == 0 ? *diskQ_ : *diskP_, *den);
        disk::Trim(*den);
        disk::DivDiskInt(*num, *den, *z, P, Q);
        Print("Final division time : %.2lf\n", core::ElapsedSeconds() - t0);
        for (DiskInt* d : {den.get(), z.get()}) d->Free();  // the recorded ones go later
    } else {
        // Mode 2: the reciprocal of the denominator by Newton's iteration into dA (its
        // scratch QQ), recorded with the numerator (state -2), then their product into AA.
        if (seriesState == -1) {
            const double t0 = core::ElapsedSeconds();
            DiskInt& den = method == 0 ? *diskQ_ : *diskP_;
            auto inv = NewDiskInt("dA", size);
            inv->SizeAlloc = size;  // the target
            auto t = NewDiskInt("QQ", size + 16);
            disk::Trim(den);
            disk::Inverse(den, *inv, *t);
            t->Free();
            Print("Inverse time : %.2lf\n", core::ElapsedSeconds() - t0);
            std::unique_ptr<DiskInt> numerator = std::move(method == 0 ? diskP_ : diskQ_);
            std::unique_ptr<DiskInt> denominator = std::move(method == 0 ? diskQ_ : diskP_);
            seriesState = -2;
            diskP_ = std::move(numerator);
            diskQ_ = std::move(inv);
            shell::SaveParameterFile(*this);
            denominator->Free();  // no record names it any more
            if (shell::TimeThresholdReached(*this)) return 0;
        }
        const double t0 = core::ElapsedSeconds();
        num = NewDiskInt("AA", size);
        disk::MulDiskInt(*diskP_, *diskQ_, *num);
        Print("Final huge multiplication time : %.2lf\n", core::ElapsedSeconds() - t0);
    }

    // The integer limb: 1 (e - 1) for method 0, 2 for method 1; it becomes 2.
    double top = 0;
    num->WriteBuffer(&top, 1, num->_N - 1);
    ZEPRIX_CHECK(num->_N + num->Shift == 1 && top == (method == 0 ? 1 : 2),
                 "Error in EConstant::Compute, the quotient is not near e");
    top = 2;
    disk::WriteLimbs(*num, &top, 1, num->_N - 1);
    diskResult_ = std::move(num);
    result = diskResult_.get();
    return 1;
}

// The last record names the series' P and Q (or the numerator and the reciprocal).
void EConstant::ReleaseRecordedFiles() { FreeDiskInts({&diskP_, &diskQ_}); }

void EConstant::SaveParameters(FILE* f) {
    Constant::SaveParameters(f);
    SaveResumeRecord(f, seriesState, {diskP_.get(), diskQ_.get()});
}

// A state refers to the first half (AA, QQ), to the whole series (PP, dtmp) or, in mode 2
// once the reciprocal is done, to the numerator and the reciprocal (dA).
void EConstant::LoadParameters(FILE* f) {
    Constant::LoadParameters(f);
    if (!ModeRunnable(mode)) return;  // the resume road reports it
    SizeSeries();
    const bool advanced = mode == 2;
    ResumeRecord r = LoadResumeRecord(
        f,
        [advanced](long state) { return state == 0 || state == -1 || (advanced && state == -2); },
        {"AA", "QQ", "PP", "dtmp", "dA"}, DiskLimbs());
    seriesState = r.state;
    if (seriesState == -2) {  // the numerator (P or Q of the series) and the reciprocal
        diskP_ = r.Take(method == 0 ? "PP" : "dtmp");
        diskQ_ = r.Take("dA");
    } else {
        diskP_ = r.Take(seriesState == 0 ? "AA" : "PP");
        diskQ_ = r.Take(seriesState == 0 ? "QQ" : "dtmp");
    }
    if (!diskP_ || !diskQ_) RefuseResume("it lacks a disk integer of its series state");
}

}  // namespace zeprix::series
