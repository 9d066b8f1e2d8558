// The constant e by the series of exp(1) (method 0) or of 1/exp(-1) (method 1).
#pragma once

#include <memory>
#include <string>

#include "disk/disk_int.hpp"
#include "numbers/big_int.hpp"
#include "series/split_series.hpp"
#include "shell/constant.hpp"

namespace zeprix::series {

// e = sum_{n>=0} 1/n! (method 0, type 20) or e = 1 / sum_{n>=0} (-1)^n/n! (method 1,
// type 21), by binary splitting with a(n) = 1, q(n) = n: the series keeps no A, its
// leaves sum up to babyThreshold terms by a Horner loop, and the giant steps split where
// the two halves have the same size. The standard mode keeps every number in memory; the
// basic disk memory mode (mode 1) keeps the series' large numbers in disk integers and can
// stop after each half of the series and resume from the parameter file.
class EConstant : public shell::Constant {
public:
    explicit EConstant(long method);
    ~EConstant() override;

    long Compute() override;
    long TypeNumber() const override { return method == 0 ? 20 : 21; }
    std::string GetName() const override { return "E"; }
    std::string GetFileName() const override { return "e.txt"; }
    void WriteMethod(FILE* f) const override;
    void EstimateMemory(double fftPoints, double& memory, double& disk) const override;
    void GetFFTModes(long& first, long& last, double factors[10]) const override;
    long Check() override;
    long ChunksEnabled() const override { return mode > 0 ? 1 : 0; }
    bool ModeRunnable(long m) const override { return m >= 0 && m <= 2; }
    long Run() override;
    // The record of the disk mode after the base record: the series state, then the names
    // and records (header and checksum) of the numbers P and Q the state refers to.
    void SaveParameters(FILE* f) override;
    void LoadParameters(FILE* f) override;
    void ReleaseRecordedFiles() override;

    // Sizing for the current digits: N, lnN and the thresholds (public for the tests).
    void SizeSeries();

    long method = 0;
    double N = 0;
    double lnN = 0;
    long giantThreshold = 0;
    long babyThreshold = 0;
    // Disk modes: 1 series not begun, 0 first half done, -1 series done, -2 (mode 2)
    // reciprocal done.
    long seriesState = 1;

private:
    class Series;
    Series& MakeSeries(long dotCounter);
    long ComputeOnDisk();
    // The limbs of each disk integer: R + 2 trunc(ln N) for the digits and FFT size.
    long DiskLimbs() const;
    std::unique_ptr<Series> series_;
    std::unique_ptr<numbers::BigInt> result_;
    std::unique_ptr<disk::DiskInt> diskResult_;
    // The numbers the series state refers to (first half, or the whole series).
    std::unique_ptr<disk::DiskInt> diskP_, diskQ_;
};

// Number of terms of the series of e for a digit count: the smallest N (by ten Stirling
// iterations) with ln N! ~ (digits + 100) ln 10.
double ETermCount(double digits);

}  // namespace zeprix::series
