// The square root of 2 by the Newton inverse square root, verified by squaring.
#include "series/sqrt2_constant.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

#include "core/clock.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "core/parallel.hpp"
#include "disk/disk_arith.hpp"
#include "disk/disk_newton.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "newton/big_view.hpp"
#include "newton/inv_sqrt.hpp"
#include "ntt/disk_ntt.hpp"
#include "numbers/limbs.hpp"
#include "series/builtin_common.hpp"
#include "series/split_series.hpp"

namespace zeprix::series {

using core::Print;
using numbers::BigInt;

Sqrt2Constant::~Sqrt2Constant() {}

// Two numbers of digits/12 limbs (8 bytes each) and the FFT layer. The numbers' share is
// digits * 1.333 bytes.
void Sqrt2Constant::EstimateMemory(double F, double& memory, double& disk) const {
    if (mode == 0) {
        memory = 37.3333 * F + digits * 1.333 + fft::FFTSlotMemory(F, core::ThreadCount());
        disk = 0;
        return;
    }
    if (mode == 1 || mode == 2) {  // disk modes: memory bounded by the FFT size
        // Measured: the FFT tables, about 4.5 doubles per limb of a product block and the
        // program itself; on disk X (n limbs) and its scratch, then its square (2 n).
        const double F3 = std::floor(F / 3);
        memory = fft::FFTMemory(F) + 36 * (F3 + 1) + 3900 * 1024.0 +
                 fft::FFTSlotMemory(F, core::ThreadCount());
        disk = 3 * FloorWhole((digits + 100) / 12) * 8 / 1024;
        if (mode == 2) {  // and the NTT product's arrays and residue files
            memory += ntt::NttEngine::MemoryBytes(F);
            disk += ntt::NttEngine::DiskBytes(FloorWhole((digits + 100) / 12)) / 1024;
        }
        return;
    }
    memory = 42.6666 * F;
    if (mode == 2) disk = digits * 3 / 1024;
}

long Sqrt2Constant::Run() { return Constant::Run(); }

double WrongSqrt2Digits(numbers::MPInt& Y) {
    const long n = Y._N;
    double top = 0;
    Y.WriteBuffer(&top, 1, n - 1);
    if (Y._N + Y.Exponent() != 1 || (top != 1 && top != 2)) return 12.0 * static_cast<double>(n);
    const double expected = top == 1 ? numbers::kBigBase - 1 : 0;
    constexpr long kChunk = 8000;
    std::vector<double> buf(static_cast<std::size_t>(kChunk));
    for (long hiEnd = n - 1; hiEnd > 0; hiEnd -= kChunk) {  // limbs [hiEnd - count, hiEnd)
        const long count = std::min(kChunk, hiEnd);
        Y.WriteBuffer(buf.data(), count, hiEnd - count);
        for (long j = count - 1; j >= 0; --j)
            if (buf[static_cast<std::size_t>(j)] != expected)
                return 12.0 * static_cast<double>(hiEnd - count + j);
    }
    return 0;
}

namespace {

struct MemoryOps {
    BigInt X, Y_;
    long nl;

    void InvSqrt2IntoX() {
        X.SizeAlloc = nl - 1;
        newton::InvSqrtBigInt(2, X, Y_);
        X.SizeAlloc = nl;
    }
    void DoubleX() { BigInt::ShortMul(X, 2, X); }
    void SquareXIntoY() {
        Y_.SizeAlloc = nl;
        fft::SquareBigInt(X, Y_);
    }
    numbers::MPInt& Y() { return Y_; }
};

// The same stages with X ("A") and Y ("B") in disk integers; Y is the scratch of the
// inverse square root (2 n + 16 limbs), then the square.
struct DiskOps {
    disk::DiskInt X, Y_;
    long nl;

    void InvSqrt2IntoX() {
        X.SizeAlloc = nl - 1;
        disk::InvSqrt(2, X, Y_);
        X.SizeAlloc = nl;
    }
    void DoubleX() { disk::MulDiskIntBySmall(X, 2, X); }
    void SquareXIntoY() {
        Y_.SizeAlloc = nl;
        disk::SquareDiskInt(X, Y_);
    }
    numbers::MPInt& Y() { return Y_; }
};

}  // namespace

long Sqrt2Constant::ComputeOnDisk() {
    const long nl = static_cast<long>(FloorWhole((digits + 100) * 0.08333333333333333));
    fft::FFTSession fftSession(fftSize);
    disk::InitDiskMemory(fftSize);
    std::optional<ntt::NttEngine> nttEngine;  // mode 2: large products by the NTT
    if (mode == 2) nttEngine.emplace(fftSize, digits + 100);
    auto ops = std::make_unique<DiskOps>();
    ops->nl = nl;
    ops->X.Init("A", nl);
    ops->Y_.Init("B", 2 * nl + 16);
    PrintMemory();
    Sqrt2Stages(*ops, digits);
    ops->Y_.Free();
    diskResult_ = std::make_unique<disk::DiskInt>();
    std::snprintf(diskResult_->Name, sizeof diskResult_->Name, "A");
    disk::CopyHeader(ops->X, *diskResult_);
    diskResult_->SizeAlloc = ops->X.SizeAlloc;
    result = diskResult_.get();
    return 1;
}

// n = floor((digits + 100) / 12) limbs: X = 1/sqrt(2) to n - 1 fractional limbs (within 2
// units of the last), doubled into sqrt(2) = 1.41.. with n limbs (within 4 units of the
// last). Its square, kept to the top n limbs of the 2n-limb product, then differs from 2
// by about 2 sqrt(2) 4 units of position -(n - 1): only its lowest two limbs can differ
// from the pattern 1.99..9 or 2.00..0.
long Sqrt2Constant::Compute() {
    if (mode != 0) return ComputeOnDisk();
    const double n = FloorWhole((digits + 100) * 0.08333333333333333);
    const long nl = static_cast<long>(n);
    const long F = fftSize;
    fft::FFTSession fftSession(F);  // the FFT tables of this computation

    MemoryOps ops{{}, {}, nl};
    ops.X.Alloc(nl);
    ops.Y_.Alloc(nl + 24);  // the scratch of the inverse square root, then the square
    PrintMemory();
    Sqrt2Stages(ops, digits);
    BigInt& X = ops.X;
    ops.Y_.Free();

    result_ = std::make_unique<BigInt>(std::move(X));
    result = result_.get();
    return 1;
}

}  // namespace zeprix::series
