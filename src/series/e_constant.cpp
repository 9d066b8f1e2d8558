// The constant e by binary splitting of sum 1/n! or of 1 / sum (-1)^n/n!.
#include "series/e_constant.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "core/check.hpp"
#include "core/clock.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "newton/big_view.hpp"
#include "newton/newton.hpp"
#include "ntt/disk_ntt.hpp"
#include "numbers/limbs.hpp"
#include "series/builtin_common.hpp"
#include "series/e_series.hpp"
#include "series/thresholds.hpp"

namespace zeprix::series {

using core::Print;
using numbers::BigInt;
using numbers::SmallInt;

namespace {

// Known ten-digit groups of e: the digits in places pos + 1 .. pos + 10 after the point.
constexpr KnownGroup kKnownGroups[] = {
    {10000, 5674302859},     {20000, 540436187},      {30000, 4867608433},
    {50000, 3955008002},     {100000, 1577830892},    {200000, 796401810},
    {300000, 6903519385},    {500000, 9288452668},    {1000000, 8374711515},
    {2000000, 6364637520},   {3000000, 6155960494},   {5000000, 4584005345},
    {10000000, 1648408993},  {20000000, 7870549821},  {30000000, 3639127138},
    {50000000, 902126036},   {100000000, 5522594276}, {200000000, 2953387943},
    {300000000, 3594170465}, {500000000, 6410249120}, {1000000000, 6159331468},
};

}  // namespace

double ETermCount(double digits) {
    const double D = digits + 100;
    const double target = D * std::log(10.0);
    double x = target / std::log(D);
    for (int i = 0; i < 10; ++i) x = target / (std::log(x) - 1);
    return FloorWhole(x);
}

EConstant::EConstant(long m) : method(m) {}

EConstant::~EConstant() {}

void EConstant::WriteMethod(FILE* f) const {
    if (method == 0)
        std::fprintf(f, "Method used : series SUM 1/n!\n");
    else
        std::fprintf(f, "Method used : series 1/SUM (-1)^n/n!\n");
}

void EConstant::SizeSeries() {
    N = ETermCount(digits);
    lnN = std::log(N);
    giantThreshold = static_cast<long>(kEGiantLeafLog / lnN);
    babyThreshold = static_cast<long>(kEBabyLeafLog / lnN);
}

void EConstant::EstimateMemory(double F, double& memory, double& disk) const {
    const double F3 = std::floor(F / 3);
    double L = std::trunc(digits * std::log(10.0) / std::log(1e12)) + 1;
    if (L < F3) L = F3;
    if (mode == 0) {
        memory = fft::FFTMemory(F) + 24 * (F3 + 1) + 24 * (L + 1) +
                 SplitSeries::ParallelMemory(F, L, false);
        disk = 0;
        return;
    }
    if (mode == 1 || mode == 2) {  // disk modes: memory bounded by the FFT size
        // As Pi's: the FFT tables, about 13 doubles per limb of a product block and the
        // program itself; on disk five numbers of R + 2 trunc(ln N) limbs (the halves, their
        // join, the quotient's copies and scratch).
        const double R =
            std::max(std::trunc((digits + 100) * std::log(10.0) / std::log(1e12)) + 1, F3);
        memory = fft::FFTMemory(F) + 105 * (F3 + 1) + 4000 * 1024.0 +
                 SplitSeries::ParallelMemory(F, F3, false);
        // (mode 2: four, the reciprocal and its scratch instead of the division's copies)
        disk = (mode == 1 ? 5 : 4) * (R + 2 * std::trunc(std::log(ETermCount(digits)))) * 8 / 1024;
        if (mode == 2) {  // and the NTT product's arrays and residue files
            memory += ntt::NttEngine::MemoryBytes(F);
            disk += ntt::NttEngine::DiskBytes(R) / 1024;
        }
        return;
    }
    memory = fft::FFTMemory(F) + 24 * (F3 + 1) + 16 * F3;
    if (mode == 2) disk = digits * 3.5 / 1024;
}

void EConstant::GetFFTModes(long& first, long& last, double factors[10]) const {
    Constant::GetFFTModes(first, last, factors);
    BuiltinTimeFactors(mode, factors);
}

long EConstant::Run() { return Constant::Run(); }

// Standard mode. X/Y = sum_{n=1}^{N} 1/n! = e - 1 (method 0), or X/Y = 1 / sum_{n=2}^{N}
// (-1)^n/n! = e (method 1: the series' P goes to Y, its Q to X). Truncating after N terms
// costs less than 1/(N+1)! < 10^-(digits + 100). R limbs hold the quotient's digits plus
// 100 guard digits, and the spare 2 trunc(ln N) + 1 limbs give every level of the
// recursion one limb of room for the right half's results.
// The series of this computation, its work areas allocated; its progress dots start at
// `dotCounter` (a run that resumes after the first half has printed four).
EConstant::Series& EConstant::MakeSeries(long dotCounter) {
    series_ = std::make_unique<Series>();
    Series& s = *series_;
    s.method = method;
    s.N = N;
    s.babyThreshold = babyThreshold;
    s.giantThreshold = giantThreshold;
    s.keepsA = false;
    s.dotCounter = dotCounter;
    s.AllocWorkAreas(lnN);
    return s;
}

long EConstant::Compute() {
    if (mode != 0) return ComputeOnDisk();
    SizeSeries();
    const long F = fftSize;
    fft::FFTSession fftSession(F);  // the FFT tables of this computation

    Series& s = MakeSeries(1);

    const long guard = 2 * static_cast<long>(lnN) + 1;
    const long R = static_cast<long>((digits + 100) * std::log(10.0) / std::log(1e12)) + guard;
    BigInt X, Y, scratch;
    X.Alloc(R);
    Y.Alloc(R + 1);  // one limb more than the quotient: see DivideBigInt
    scratch.Alloc(R);
    s.joinScratch = &scratch;

    PrintMemory();
    Print("Computing series with index N=%.0lf\n", N);
    double t0 = core::ElapsedSeconds();
    if (method == 0)
        s.GiantStep(0, N, nullptr, X, Y, 0);
    else
        s.GiantStep(1, N, nullptr, Y, X, 0);
    Print("\n");
    Print("Series computing time : %.2lf\n", core::ElapsedSeconds() - t0);

    t0 = core::ElapsedSeconds();
    const long k = std::max(newton::DivisionBlock(), 2L);
    BigInt inv, t;
    inv.Alloc(std::max(guard + F / 3, k));
    t.Alloc(std::max(guard + F / 3, k) + 16);
    newton::DivideBigInt(X, Y, scratch, t, inv);
    Print("Division time : %.2lf\n", core::ElapsedSeconds() - t0);

    // The integer limb: 1 (e - 1) for method 0, 2 for method 1; it becomes 2.
    ZEPRIX_CHECK(newton::TopPosition(X) == 1 && X.Limbs[X._N - 1] == (method == 0 ? 1 : 2),
                 "Error in EConstant::Compute, the quotient is not near e");
    X.Limbs[X._N - 1] = 2;

    result_ = std::make_unique<BigInt>(std::move(X));
    result = result_.get();

    Y.Free();
    scratch.Free();
    inv.Free();
    t.Free();
    s.joinScratch = nullptr;
    s.FreeWorkAreas();
    return 1;
}

long EConstant::Check() {
    if (!result) return 0;
    return MatchKnownGroups(*result, digits, kKnownGroups);
}

}  // namespace zeprix::series
