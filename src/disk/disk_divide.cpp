// The block division of disk numbers: x / y = (x i) / (y i) with i the inverse of y's top
// block, so that y i = 1 + d with d small; then the factor 1 + d is removed a block of d
// at a time: with t the top block of d, x / (1 + d) = x (1 - t) / (1 + d - t - t d), and
// d - t - t d starts about one block lower. Once d starts below half of y's original
// length, t d lies beyond the precision and only x (1 - t) is formed.
#include <algorithm>
#include <vector>

#include "core/check.hpp"
#include "core/console.hpp"
#include "disk/blocks.hpp"
#include "disk/disk_arith.hpp"
#include "fft/multiply.hpp"
#include "newton/newton.hpp"

namespace zeprix::disk {

namespace {

constexpr double kTopLimb = 999999999999.0;

// t = the top `count` limbs of y, with their exponent.
void ReadTop(DiskInt& y, long count, BigInt& t) {
    ReadLimbs(y, t.Limbs, count, y._N - count);
    t._N = count;
    t.Exp = y.Shift + y._N - count;
}

// Makes y, which starts with 1 followed by zero limbs or with a run of 999999999999 limbs,
// into d = y - 10^(12 top): the 1 and the zeros dropped, or the run dropped and 10^12
// taken from the limb below it (which becomes the negative top).
void RemoveLeadingUnit(DiskInt& y) {
    std::vector<double> buf(static_cast<std::size_t>(kBlockLimbs));
    double top;
    ReadLimbs(y, &top, 1, y._N - 1);
    double skip;
    if (top == 1.0) {
        skip = 0.0;
    } else if (top == kTopLimb) {
        skip = kTopLimb;
    } else {
        core::FatalError("ERROR in DivDiskInt, leading coefficient is bad");
    }
    --y._N;
    // Drop the limbs equal to `skip` below the leading one.
    while (y._N > 0) {
        const long lo = std::max(0L, y._N - kBlockLimbs);
        ReadLimbs(y, buf.data(), y._N - lo, lo);
        long i = y._N - lo - 1;
        while (i >= 0 && buf[static_cast<std::size_t>(i)] == skip) --i;
        y._N = lo + i + 1;
        if (i >= 0) break;
    }
    if (top == kTopLimb && y._N > 0) {
        double limb;
        ReadLimbs(y, &limb, 1, y._N - 1);
        limb -= 1e12;
        WriteLimbs(y, &limb, 1, y._N - 1);
    }
    Trim(y);
}

}  // namespace

void DivDiskInt(DiskInt& x, DiskInt& y, DiskInt& z, BigInt& t, BigInt& i) {
    const long n0 = y._N;
    const long m = std::min(Memory().blockLimbs, n0);
    ZEPRIX_CHECK(m >= 1 && t.SizeAlloc >= m && i.SizeAlloc >= m,
                 "Error in DivDiskInt, the work numbers are too small");
    // 1. i = 1 / (y's top block), to m limbs (at least 2), with the work buffer as scratch
    // when it is large enough.
    ReadTop(y, m, t);
    {
        const long saved = i.SizeAlloc;
        const long C = std::max(m, 2L);
        i.SizeAlloc = C;
        BigInt scratch;
        if (Memory().workSize >= C + 17) {
            scratch.SetView(Memory().work.data(), 1, C + 16, 0);
        } else {
            scratch.Alloc(C + 16);
        }
        newton::InverseBigInt(t, i, scratch);
        i.SizeAlloc = saved;
    }
    // 2. Both numbers times i, in place, from one transform of i.
    {
        fft::ReusedFactor inv(i);
        MulBigIntByDiskInt(inv, y, y);
        MulBigIntByDiskInt(inv, x, x);
    }
    // 3. y = d.
    RemoveLeadingUnit(y);
    // 4., 5. Remove the factor 1 + d block by block.
    core::Print("Division : 0%% ");
    const long x0 = x.Offset, y0 = y.Offset;
    for (;;) {
        core::Print("\b\b\b%2.0lf%%",
                    100.0 * (1.0 - static_cast<double>(y._N) / static_cast<double>(n0)));
        if (y._N <= 0) break;
        const long b = std::min(m, y._N);
        ReadTop(y, b, t);
        fft::ReusedFactor tf(t);
        // z = t x, on the part of x that the correction reaches: t is at most about
        // 10^(-12 (n0 - y's _N)) and x's limbs below that many places add nothing.
        const long hide = std::max(0L, n0 - y._N);
        if (x._N > hide) {
            MoveOffset(x, x0 + hide);
            MulBigIntByDiskInt(tf, x, z);
            MoveOffset(x, x0);
            LendWorkBuffer lend;
            SubstractDiskInt(x, z, x);
        }
        if (y._N > n0 / 2) {
            MoveOffset(y, y0 + hide);
            MulBigIntByDiskInt(tf, y, z);
            MoveOffset(y, y0);
            y._N -= b;
            LendWorkBuffer lend;
            SubstractDiskInt(y, z, y);
        } else {
            y._N -= b;
        }
    }
    core::Print("\b\b\b\b  Done\n");
}

}  // namespace zeprix::disk
