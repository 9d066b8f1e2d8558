// Disk products through the FFT: a factor in memory, whose transform is made once, times a
// disk operand walked from its top down in pieces; the block product and the square built
// on it; the seam of the large-product engine.
//
// Accumulation of x * b (x: nx limbs, transform held; b: nb limbs in pieces of p =
// floor(nFFT / 3)). Piece [lo, hi) of b gives the product limbs [lo, hi + nx). The pieces
// go from the top down, so the window of a piece overlaps the next lower piece's in its
// lowest nx limbs: those are kept in memory for it, and the limbs [lo + nx, hi + nx), which
// no lower piece reaches, are final. They are normalised as a number of their own (exact
// floors) and written, and the carry out of their top is added to the limbs above them on
// disk, which the higher pieces wrote before. Every limb of c thus stays in [0, 10^12)
// except the top one, which takes the last carry. Exactness: a window limb is reached by
// b's limbs of a span of nx, which meets at most two pieces; each piece product adds less
// than 3 10^12 + nFFT 5001^2 <= 8.5 10^14 for nFFT <= 2^25 (the largest transform whose
// values are exact, docs/notes/fft_error.md), doubled in a square: with a normalised limb
// of c and a carry, below 3.5 10^15 < 2^53.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/check.hpp"
#include "core/debug_log.hpp"
#include "disk/disk_arith.hpp"
#include "fft/multiply.hpp"
#include "numbers/limbs.hpp"

namespace zeprix::disk {

namespace {

constexpr double kBase = 1e12;

// The product in progress, printed by the debug log while on.
struct MulRecord {
    bool on = false;
    long Na = 0, Nb = 0, NcAlloc = 0;
};
MulRecord gMulRecord;

void WriteMulSection(std::FILE* log) {
    if (!gMulRecord.on) return;
    std::fprintf(log, "%s", core::kLogSectionLine);
    std::fprintf(log, "MulDiskInt is on\n");
    std::fprintf(log, "Na=%ld, Nb=%ld, NcAlloc=%ld\n", gMulRecord.Na, gMulRecord.Nb,
                 gMulRecord.NcAlloc);
}

const bool kMulSectionRegistered = [] {
    core::RegisterLogSection(50, WriteMulSection);
    return true;
}();

struct MulRecordScope {
    MulRecordScope(long na, long nb, long ncAlloc) {
        gMulRecord = {true, na, nb, static_cast<long>(static_cast<std::int32_t>(ncAlloc))};
    }
    ~MulRecordScope() { gMulRecord.on = false; }
};

long BlockLimbs() {
    const long m = Memory().blockLimbs;
    ZEPRIX_CHECK(m >= 1, "Error, the disk memory is not initialised (InitDiskMemory)");
    return m;
}

// Adds carry to c[pos], c[pos + 1], ... up to c[top], which takes whatever is left
// unnormalised; stops as soon as the carry is absorbed. A carry usually stops at the first
// limb: the reads start with a few limbs and double while the carry runs on.
void PropagateCarry(DiskInt& c, long pos, double carry, long top) {
    std::vector<double> buf(static_cast<std::size_t>(kBlockLimbs));
    long chunk = 4;
    while (carry != 0.0) {
        ZEPRIX_CHECK(pos <= top, "Problem in SpecialMulByDiskInt");
        const long k = std::min(chunk, top + 1 - pos);
        ReadLimbs(c, buf.data(), k, pos);
        long i = 0;
        for (; i < k && carry != 0.0; ++i) {
            double& limb = buf[static_cast<std::size_t>(i)];
            if (pos + i == top) {
                limb += carry;
                carry = 0.0;
            } else {
                carry = numbers::FloorDivExact(limb + carry, kBase, 1e-12, limb);
            }
        }
        WriteLimbs(c, buf.data(), i, pos);
        pos += i;
        chunk = std::min(2 * chunk, kBlockLimbs);
    }
}

// The final limbs v[0 .. len) of a product go to c[start .. start + len): written, or added
// to c's limbs there; normalised with exact floors, c[top] (when inside) taking its carry
// unnormalised, the carry out of the range going up to c[top].
void Flush(double* v, long len, DiskInt& c, long start, bool overwrite, long top) {
    std::vector<double> old;
    if (!overwrite) old.resize(static_cast<std::size_t>(std::min(len, kBlockLimbs)));
    double carry = 0.0;
    for (long off = 0; off < len; off += kBlockLimbs) {
        const long k = std::min(kBlockLimbs, len - off);
        double* w = v + off;
        if (!overwrite) {
            ReadLimbs(c, old.data(), k, start + off);
            for (long i = 0; i < k; ++i) w[i] += old[static_cast<std::size_t>(i)];
        }
        for (long i = 0; i < k; ++i) {
            if (start + off + i == top) {
                w[i] += carry;
                carry = 0.0;
            } else {
                carry = numbers::FloorDivExact(w[i] + carry, kBase, 1e-12, w[i]);
            }
        }
        WriteLimbs(c, w, k, start + off);
    }
    if (carry != 0.0) PropagateCarry(c, start + len, carry, top);
}

// The top `wanted` limbs of x * b[bLo .. bLo + nb) into c[0 .. wanted) (see the top of the
// file). square: x is b[bLo .. bLo + nx), the lowest piece; the other pieces are doubled.
void Accumulate(fft::ReusedFactor& xf, MPInt& b, long bLo, long nb, DiskInt& c, long wanted,
                bool overwrite, bool square, long top) {
    const BigInt& x = xf.factor();
    const long nx = x._N;
    const long p = BlockLimbs();
    ZEPRIX_CHECK(nx >= 1 && nx <= p, "Problem in SpecialMulByDiskInt");
    double* W = Memory().work.data();  // 2p + 1 doubles: a piece's window, np + nx limbs
    double* piece = Memory().piece.data();
    const long s0 = nx + nb - wanted;  // product limbs below s0 are dropped
    bool first = true;
    for (long hi = nb; hi > 0 && hi + nx > s0;) {
        const long lo = std::max(hi - p, 0L);
        const long np = hi - lo;
        // W[i] is product limb lo + i; the top nx limbs carry the higher piece's overlap.
        if (first) {
            std::fill(W + np, W + np + nx, 0.0);
        } else {
            std::memmove(W + np, W, sizeof(double) * static_cast<std::size_t>(nx));
        }
        std::fill(W, W + np, 0.0);
        if (square && lo == 0) {
            ZEPRIX_CHECK(np == nx, "Problem in SpecialMulByDiskInt");
            xf.AddWindow(x.Limbs, nx, W, 0, np + nx);
        } else {
            b.WriteBuffer(piece, np, bLo + lo);
            xf.AddWindow(piece, np, W, 0, np + nx, square ? 2.0 : 1.0);
        }
        const bool last = (lo == 0) || (lo + nx <= s0);
        const long fLo = last ? std::max(lo, s0) : lo + nx;
        Flush(W + (fLo - lo), hi + nx - fLo, c, fLo - s0, overwrite, top);
        first = false;
        hi = lo;
    }
}

// Drops c's lowest limb and raises its Shift: every limb moves down one place.
void DropLowestLimb(DiskInt& c) {
    std::vector<double> buf(static_cast<std::size_t>(kBlockLimbs));
    for (long p = 0; p + 1 < c._N; p += kBlockLimbs) {
        const long k = std::min(kBlockLimbs, c._N - 1 - p);
        ReadLimbs(c, buf.data(), k, p + 1);
        WriteLimbs(c, buf.data(), k, p);
    }
    --c._N;
    ++c.Shift;
}

// Normalises c's top limb (the one that took the last carry): a carry out of it becomes a
// new top limb (a -1 over 999999999999 folds). In a full c the lowest limb is dropped to
// make room, as for a BigInt: a truncated product of a number just below a power of 10^12
// may come out at that power, and a negative product in complement form may need one limb
// above the operands' lengths. Then trims.
void FinishTop(DiskInt& c) {
    double top;
    ReadLimbs(c, &top, 1, c._N - 1);
    if (top < 0.0 || top >= kBase) {
        double limb;
        const double carry = numbers::FloorDivExact(top, kBase, 1e-12, limb);
        if (carry == -1.0 && limb == kBase - 1.0) limb = -1.0;
        WriteLimbs(c, &limb, 1, c._N - 1);
        if (limb != -1.0) {
            if (c._N + 1 > c.SizeAlloc) DropLowestLimb(c);
            WriteLimbs(c, &carry, 1, c._N);  // |carry| <= 2^53 / 10^12: one limb
            ++c._N;
        }
    }
    Trim(c);
}

// The block product: a (any MPInt) from its top down in blocks of floor(nFFT / 3) limbs,
// the top block written over c, the others added; c's limbs below the top block's product
// cleared first. c's _N and Shift set; the top limb left for FinishTop.
void BlockProduct(MPInt& a, MPInt& b, DiskInt& c) {
    const long m = BlockLimbs();
    const long Na = a._N, Nb = b._N;
    const long L = std::min(Na + Nb, c.SizeAlloc);
    const long topBlock = std::min(m, Na);
    if (L > Nb + topBlock) ZeroDiskInt(c, L - (Nb + topBlock));
    BigInt& block = Memory().block;
    long wanted = L;
    for (long hi = Na; hi > 0 && wanted > 0; hi -= m, wanted -= m) {
        const long lo = std::max(hi - m, 0L);
        a.WriteBuffer(block.Limbs, hi - lo, lo);
        block._N = hi - lo;
        block.Exp = 0;
        fft::ReusedFactor xf(block);
        Accumulate(xf, b, 0, Nb, c, wanted, hi == Na, false, L - 1);
    }
    c._N = L;
    c.Shift = a.Exponent() + b.Exponent() + Na + Nb - L;
}

LargeProduct*& Engine() { return Memory().large; }

}  // namespace

void RegisterLargeProduct(LargeProduct* engine) { Engine() = engine; }

bool TakesLargeProduct(long L) { return Engine() != nullptr && L > 7 * Memory().nFFT / 3; }

void SpecialMulByDiskInt(fft::ReusedFactor& xf, DiskInt& b, DiskInt& c, long wanted, bool overwrite,
                         bool square) {
    if (&b == &c && c.SizeAlloc < b._N) core::FatalError("Problem in SpecialMulByDiskInt");
    const long nx = xf.factor()._N;
    const long count = wanted > 0 ? wanted : std::min(nx + b._N, c.SizeAlloc);
    Accumulate(xf, b, 0, b._N, c, count, overwrite, square, overwrite ? count - 1 : c._N - 1);
}

void MulDiskInt(DiskInt& a, MPInt& b, DiskInt& c) {
    ZEPRIX_ASSERT(&c != &a && &c != static_cast<void*>(&b));
    MulRecordScope record(a._N, b._N, c.SizeAlloc);
    const long L = std::min(a._N + b._N, c.SizeAlloc);
    if (TakesLargeProduct(L)) {
        Engine()->Multiply(a, b, c);
        return;
    }
    if (Engine()) Engine()->BlockProductUsed();
    BlockProduct(a, b, c);
    FinishTop(c);
}

void MulBigIntByDiskInt(fft::ReusedFactor& xf, DiskInt& b, DiskInt& c) {
    const BigInt& x = xf.factor();
    const long Nx = x._N, Nb = b._N;
    if (Nx <= Nb && Nx <= BlockLimbs()) {
        if (&b == &c && c.SizeAlloc < Nb) core::FatalError("Problem in SpecialMulByDiskInt");
        const long L = std::min(Nx + Nb, c.SizeAlloc);
        Accumulate(xf, b, 0, Nb, c, L, true, false, L - 1);
        c._N = L;
        c.Shift = x.Exp + b.Shift + Nx + Nb - L;
        FinishTop(c);
    } else if (Nx > Nb) {
        // b is the shorter: the product in memory.
        BigInt bb, r;
        bb.Alloc(Nb);
        b.WriteBuffer(bb.Limbs, Nb, 0);
        bb._N = Nb;
        bb.Exp = b.Shift;
        r.Alloc(std::min(Nx + Nb, c.SizeAlloc));
        fft::MulBigInt(x, bb, r);
        CopyToDiskInt(r, c);
    } else {
        // x longer than one block: the block product with x as the first factor.
        if (&b == &c) core::FatalError("Problem in SpecialMulByDiskInt");
        BigInt& xv = const_cast<BigInt&>(x);
        BlockProduct(xv, b, c);
        FinishTop(c);
    }
}

void MulBigIntByDiskInt(const BigInt& x, DiskInt& b, DiskInt& c) {
    fft::ReusedFactor xf(x);
    MulBigIntByDiskInt(xf, b, c);
}

// a^2 = sum over blocks A = a[lo .. hi) of A (A + 2 U 10^(12 (hi - lo))) 10^(24 lo), U the
// limbs of a above A: each block is transformed once, against a[lo .. Na) with its lowest
// piece (A itself) squared from the one transform and the pieces above doubled.
void SquareDiskInt(DiskInt& a, DiskInt& c) {
    ZEPRIX_ASSERT(&a != &c);
    const long Na = a._N;
    const long L = std::min(2 * Na, c.SizeAlloc);
    if (TakesLargeProduct(L)) {
        Engine()->Square(a, c);
        return;
    }
    if (Engine()) Engine()->BlockProductUsed();
    const long m = BlockLimbs();
    const long topBlock = std::min(m, Na);
    if (L > 2 * topBlock) ZeroDiskInt(c, L - 2 * topBlock);
    BigInt& block = Memory().block;
    long wanted = L;
    for (long hi = Na; hi > 0 && wanted > 0; hi -= m, wanted -= m) {
        const long lo = std::max(hi - m, 0L);
        ReadLimbs(a, block.Limbs, hi - lo, lo);
        block._N = hi - lo;
        block.Exp = 0;
        fft::ReusedFactor xf(block);
        Accumulate(xf, a, lo, Na - lo, c, wanted, hi == Na, true, L - 1);
    }
    c._N = L;
    c.Shift = 2 * a.Shift + 2 * Na - L;
    FinishTop(c);
}

}  // namespace zeprix::disk
