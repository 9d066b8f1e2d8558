// Pi by the Chudnovsky series (type 1) or a Ramanujan series (type 2).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disk/disk_int.hpp"
#include "numbers/big_int.hpp"
#include "numbers/small_int.hpp"
#include "series/split_series.hpp"
#include "shell/constant.hpp"

namespace zeprix::series {

// The term formulas, k >= 1 (the term k = 0 is added after the series):
//   Chudnovsky: 1/pi = 12/640320^(3/2) sum_k (-1)^k (6k)! (13591409 + 545140134 k) /
//                      ((3k)! (k!)^3 640320^(3k)),
//     a(k) = (6k-5)(2k-1)(6k-1), q(k) = k^3 C, C = 640320^3/24, c(k) = 13591409 +
//     545140134 k, the sign (-1)^(k+1) built into P (A holds magnitudes);
//   Ramanujan: 1/pi = 2 sqrt(2)/9801 sum_k (4k)! (1103 + 26390 k) / ((k!)^4 396^(4k)),
//     a(k) = (4k-3)(2k-1)(4k-1), q(k) = k^3 C, C = 396^4/8, c(k) = 1103 + 26390 k.
// Chudnovsky leaves take one or two terms (the two-term formula saves a join), Ramanujan
// leaves one.
class PiSeries : public SplitSeries {
public:
    // method 0: Chudnovsky, 1: Ramanujan.
    explicit PiSeries(long method);
    ~PiSeries() override;

    void LastBabyStep(double n0, double n1, SmallInt* A, SmallInt& P, SmallInt& Q) override;
    bool IsLastBlock(double n0, double n1) const override;
    int ExpectedSign(double n0) const override;
    std::unique_ptr<SplitSeries> CloneForThread() const override;

    // A, P, Q of one term (n1 = n0 + 1) and, Chudnovsky only, of two (n1 = n0 + 2).
    void OneTerm(double k, SmallInt& A, SmallInt& P, SmallInt& Q);
    void TwoTerms(double n0, SmallInt& A, SmallInt& P, SmallInt& Q);

    long method = 0;
    long termsPerLeaf = 2;

private:
    void SetC(SmallInt& r) const;  // r = C
    void SetLinear(double k);      // linear = c(k)
    SmallInt linear;               // c(k)
    SmallInt constantFactor;       // C, for the two-term formula
};

// ln C of the series: C = 10939058860032000 (Chudnovsky) or 3073907232 (Ramanujan).
double PiLnC(long method);

// Number of terms for a digit count: trunc((digits + 100) r + 1), r = 1/log10 of the
// terms' decay (about 14.18 digits per term for Chudnovsky, 7.98 for Ramanujan).
double PiTermCount(long method, double digits);

// Step boundaries b(0) = 0 < .. < b(K) < N of the stepped evaluation for FFT size F:
// each step is as long as its factors fit one FFT block of F/3 limbs (log-size budget
// F/3 ln 10^12), with termSize = 3 ln N0 + ln C the log-size of the largest term.
// The last full step is cut into two halves and the part after it, up to N, is the tail
// (b(K), N). When the first step already reaches N the table is the single step (0, N).
// Fatal "Error, your size of FFT is probably too small" when a step cannot advance.
std::vector<double> PiStepTable(double N, long F, double termSize, double lnC);

class PiConstant : public shell::Constant {
public:
    explicit PiConstant(long method);
    ~PiConstant() override;

    long Compute() override;
    long TypeNumber() const override { return method == 0 ? 1 : 2; }
    std::string GetName() const override { return "Pi"; }
    std::string GetFileName() const override { return "pi.txt"; }
    void WriteMethod(FILE* f) const override;
    void EstimateMemory(double fftPoints, double& memory, double& disk) const override;
    void GetFFTModes(long& first, long& last, double factors[10]) const override;
    long Check() override;
    long ChunksEnabled() const override { return mode > 0 ? 1 : 0; }
    bool ModeRunnable(long m) const override { return m >= 0 && m <= 2; }
    long Run() override;
    // The record of the disk mode after the base record: the series state, then the names
    // and records (header and checksum) of the numbers the state refers to.
    void SaveParameters(FILE* f) override;
    void LoadParameters(FILE* f) override;
    void ReleaseRecordedFiles() override;

    // Sizing for the current digits (public for the tests).
    void SizeSeries();

    long method = 0;
    double N = 0;
    double termSize = 0;
    long giantThreshold = 0;

    // Disk mode: the index of the next step of the series (counting down to 0), then -1
    // once the series is done, -2 once the division is done, -3 once the inverse square
    // root is done.
    long seriesState = 0;

private:
    struct DiskSteps;
    struct DiskFinish;
    long ComputeOnDisk();
    // The limbs of each disk integer: R + 2 for the digits and FFT size.
    long DiskLimbs() const;
    // The terms and the limbs of a step of the disk modes.
    double StepTerms() const;
    long StepLimbs() const;
    std::unique_ptr<numbers::BigInt> result_;
    std::unique_ptr<disk::DiskInt> diskResult_;
    // The numbers the series state refers to (the pair, or the quotient and the inverse
    // square root).
    std::unique_ptr<disk::DiskInt> diskP_, diskQ_;
};

// The two Pi classes of the menu.
class ChudnovskyPi : public PiConstant {
public:
    ChudnovskyPi() : PiConstant(0) {}
};
class RamanujanPi : public PiConstant {
public:
    RamanujanPi() : PiConstant(1) {}
};

}  // namespace zeprix::series
