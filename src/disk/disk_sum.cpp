// Linear-time disk arithmetic: sum, difference, product by a small number and halving,
// each in one pass of blocks over the operands.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/check.hpp"
#include "core/console.hpp"
#include "core/debug_log.hpp"
#include "disk/blocks.hpp"
#include "disk/disk_arith.hpp"
#include "numbers/limbs.hpp"

namespace zeprix::disk {

namespace {

constexpr double kBase = 1e12;

// The sum in progress, printed by the debug log while on.
struct AddRecord {
    bool on = false;
    long Na = 0, Nb = 0, NcAlloc = 0;
};
AddRecord gAddRecord;

void WriteAddSection(std::FILE* log) {
    if (!gAddRecord.on) return;
    std::fprintf(log, "%s", core::kLogSectionLine);
    std::fprintf(log, "AddDiskInt is on\n");
    std::fprintf(log, "Na=%ld, Nb=%ld, NcAlloc=%ld\n", gAddRecord.Na, gAddRecord.Nb,
                 gAddRecord.NcAlloc);
}

const bool kAddSectionRegistered = [] {
    core::RegisterLogSection(60, WriteAddSection);
    return true;
}();

struct AddRecordScope {
    AddRecordScope(long na, long nb, long ncAlloc) {
        gAddRecord = {true, na, nb, static_cast<long>(static_cast<std::int32_t>(ncAlloc))};
    }
    ~AddRecordScope() { gAddRecord.on = false; }
};

// `count` blocks of the same size: consecutive parts of the lent buffer when one larger
// than minLent is lent, else local blocks of kBlockLimbs. Each block has one spare limb
// (a final carry is written with the block).
struct Blocks {
    std::vector<double> local;
    double* p[3] = {};
    long size = 0;
    Blocks(int count, long minLent) {
        const DiskMemory& m = Memory();
        if (m.lent != nullptr && m.lentSize > minLent) {
            const long part = m.lentSize / count;
            size = part - 1;
            for (int k = 0; k < count; ++k) p[k] = m.lent + k * part;
        } else {
            size = kBlockLimbs;
            local.resize(static_cast<std::size_t>(count * (size + 1)));
            for (int k = 0; k < count; ++k) p[k] = local.data() + k * (size + 1);
        }
    }
};

// The aligned window of an operand: limbs skip .. skip + n - 1 of the number.
struct Aligned {
    long skip, n;
};
Aligned Align(const DiskInt& x, long shift) {
    const long skip = shift - x.Shift;
    return {skip, std::max(0L, x._N - skip)};
}

// Writes the final carry above limb n - 1 (block pos .. n - 1 already written) and sets
// c's length; the message when it does not fit c's capacity.
void FinishSum(DiskInt& c, long n, double carry, long shift, const char* message) {
    c._N = n;
    if (carry != 0.0) {
        if (n + 1 > c.SizeAlloc) core::Print("%s", message);
        WriteLimbs(c, &carry, 1, n);
        c._N = n + 1;
    }
    if (c._N == 0) {  // both windows empty: the value 0 is one zero limb
        const double zero = 0.0;
        WriteLimbs(c, &zero, 1, 0);
        c._N = 1;
    }
    c.Shift = shift;
    Trim(c);
}

// c = a + sign * b over the aligned windows (a and b read ahead of c's writes, so c may
// be either).
void AddOrSubstract(DiskInt& a, DiskInt& b, DiskInt& c, double sign, const char* message) {
    Blocks blk(3, 24000);
    const long shift = std::max(a.Shift, b.Shift);
    const Aligned wa = Align(a, shift), wb = Align(b, shift);
    const long n = std::max(wa.n, wb.n);
    double carry = 0.0;
    double *pa = blk.p[0], *pb = blk.p[1], *pc = blk.p[2];
    for (long p = 0; p < n; p += blk.size) {
        const long k = std::min(blk.size, n - p);
        // Limbs p .. p + k - 1: both operands below `common`, one of them above.
        const long ka = std::clamp(wa.n - p, 0L, k), kb = std::clamp(wb.n - p, 0L, k);
        ReadLimbs(a, pa, ka, wa.skip + p);
        ReadLimbs(b, pb, kb, wb.skip + p);
        for (long i = 0; i < k; ++i) {
            double t = carry + (i < ka ? pa[i] : 0.0) + (i < kb ? sign * pb[i] : 0.0);
            carry = NormaliseLimb(t);
            pc[i] = t;
        }
        WriteLimbs(c, pc, k, p);
    }
    FinishSum(c, n, carry, shift, message);
}

}  // namespace

void AddDiskInt(DiskInt& a, DiskInt& b, DiskInt& c) {
    if (a._N == 0) {
        if (&b != &c) CopyToDiskInt(b, c);
        return;
    }
    if (b._N == 0) {
        if (&a != &c) CopyToDiskInt(a, c);
        return;
    }
    if (a.Shift + a._N < b.Shift + b._N) {
        AddDiskInt(b, a, c);
        return;
    }
    AddRecordScope record(a._N, b._N, c.SizeAlloc);
    AddOrSubstract(a, b, c, 1.0, "Allocation problem in AddBigInt\n");
}

void SubstractDiskInt(DiskInt& a, DiskInt& b, DiskInt& c) {
    AddOrSubstract(a, b, c, -1.0, "Allocation problem in SubstractDiskInt\n");
}

// m <= 3000: x m + carry stays below 3 10^15 + 2^53 / 10^12, exact.
// m > 3000: m = mh 10^6 + ml, x = xh 10^6 + xl with xh the nearest integer to x / 10^6, so
// |xl| <= 5 10^5; xl ml, xh ml + xl mh (split again at 10^6) and xh mh are each below
// 10^15 in magnitude for |m| <= 10^15, and the limb xl ml + 10^6 mid_low + carry stays
// below 2^53: every partial product and sum is exact.
void MulDiskIntBySmall(MPInt& source, double m, DiskInt& d) {
    ZEPRIX_ASSERT(source.DigitsPerLimb() == 12 && std::fabs(m) <= 1e15);
    Blocks blk(2, kBlockLimbs);
    const long n = source._N;
    const long shift = source.Exponent();
    double carry = 0.0;
    double rem;
    const bool small = std::fabs(m) <= 3000.0;
    const double mh = numbers::FloorDivExact(m, 1e6, 1e-6, rem), ml = rem;
    for (long p = 0; p < n; p += blk.size) {
        const long k = std::min(blk.size, n - p);
        source.WriteBuffer(blk.p[0], k, p);
        double* out = blk.p[1];
        for (long i = 0; i < k; ++i) {
            const double x = blk.p[0][i];
            if (small) {
                carry = numbers::FloorDivExact(x * m + carry, kBase, 1e-12, out[i]);
            } else {
                const double xh = std::nearbyint(x * 1e-6), xl = x - xh * 1e6;
                double midLow;
                const double midHigh = numbers::FloorDivExact(xh * ml + xl * mh, 1e6, 1e-6, midLow);
                const double q =
                    numbers::FloorDivExact(xl * ml + midLow * 1e6 + carry, kBase, 1e-12, out[i]);
                carry = xh * mh + midHigh + q;
            }
        }
        WriteLimbs(d, out, k, p);
    }
    d._N = n;
    d.Shift = shift;
    // The final carry (below 10^15 + 10^4) as one or two more limbs.
    while (carry != 0.0) {
        double limb = carry;
        if (carry != -1.0)
            carry = numbers::FloorDivExact(carry, kBase, 1e-12, limb);
        else
            carry = 0.0;
        WriteLimbs(d, &limb, 1, d._N);
        ++d._N;
    }
    Trim(d);
}

// Long division by 2 from the top limb down: t = r 10^12 + x < 2 10^12, q = floor(t / 2),
// r = t - 2 q in {0, 1}; a top -1 gives q = -1, r = 1 (floor of a negative number).
void HalveDiskInt(DiskInt& source, DiskInt& d) {
    Blocks blk(2, kBlockLimbs);
    const long n = source._N;
    double r = 0.0;
    for (long hi = n; hi > 0;) {
        const long lo = std::max(0L, hi - blk.size);
        const long k = hi - lo;
        ReadLimbs(source, blk.p[0], k, lo);
        for (long i = k - 1; i >= 0; --i) {
            const double t = r * kBase + blk.p[0][i];
            const double q = std::floor(t * 0.5);  // t * 0.5 is exact
            r = t - 2.0 * q;
            blk.p[1][i] = q;
        }
        WriteLimbs(d, blk.p[1], k, lo);
        hi = lo;
    }
    d._N = n;
    d.Shift = source.Shift;
    Trim(d);
}

}  // namespace zeprix::disk
