// Arithmetic on DiskInts: sums, products by blocks through the FFT, products by small
// numbers, halving and the block division. Every operation streams its operands through
// memory in blocks; none holds a whole disk operand in memory.
#pragma once

#include "disk/disk_int.hpp"
#include "numbers/big_int.hpp"

namespace zeprix::fft {
class ReusedFactor;
}

namespace zeprix::disk {

using numbers::BigInt;
using numbers::MPInt;

// Results are truncated: a result keeps at most SizeAlloc limbs, the most significant
// ones, and raises its Shift by the number of low limbs dropped. A truncated product
// drops the low part of the convolution without its carry, so its lowest kept limb may
// be short by a few units (as the in-memory truncated products).

// c = a + b. c may be a or b. The result takes the larger Shift of the two; the limbs of
// the other operand below it are dropped. A sum one limb longer than c's SizeAlloc prints
// "Allocation problem in AddBigInt\n" and is kept anyway.
void AddDiskInt(DiskInt& a, DiskInt& b, DiskInt& c);
// c = a - b, negative results in complement form (top -1). c may be a or b. Alignment as
// for the sum; "Allocation problem in SubstractDiskInt\n" when the result needs more than
// SizeAlloc limbs (kept anyway).
void SubstractDiskInt(DiskInt& a, DiskInt& b, DiskInt& c);

// c = a * b (b a DiskInt or a BigInt), truncated to c's SizeAlloc, normalised. c must be
// neither a nor b (nor share their files). A product of more than floor(7 nFFT / 3) limbs
// goes to the registered large-product engine, if any; otherwise a block product: a from
// its top down in blocks of floor(nFFT / 3) limbs, each transformed once and multiplied by
// b piece by piece.
void MulDiskInt(DiskInt& a, MPInt& b, DiskInt& c);
// c = x * b, truncated, normalised. c may be b when c's SizeAlloc is at least b's _N and x
// has at most floor(nFFT / 3) limbs (the division multiplies in place). x longer than b:
// the product is made in memory. The second form reuses the transform that xf holds.
void MulBigIntByDiskInt(const BigInt& x, DiskInt& b, DiskInt& c);
void MulBigIntByDiskInt(fft::ReusedFactor& xf, DiskInt& b, DiskInt& c);
// c = a * a, truncated, normalised; c must not be a. Each block of a is transformed once;
// its square comes from that transform and its products with the limbs above it are
// computed once and doubled.
void SquareDiskInt(DiskInt& a, DiskInt& c);

// The top `wanted` limbs of x * b (x the factor whose transform xf holds, at most
// floor(nFFT / 3) limbs) go to c[0 .. wanted): the product's top limb at c[wanted - 1].
// wanted <= 0: min(x's _N + b's _N, c's SizeAlloc). With overwrite the range is written
// and c[wanted - 1] takes the final carry unnormalised; otherwise it is added to c's limbs
// there and carries run up to c[c._N - 1], which takes the last one. With square, x is
// b's lowest floor-(nFFT / 3) piece: its square comes from x's transform and every other
// piece's product is doubled. Limbs below the range are untouched; c's _N and Shift are
// the caller's. b may be c when c's SizeAlloc is at least b's _N, otherwise that is the
// fatal error "Problem in SpecialMulByDiskInt".
void SpecialMulByDiskInt(fft::ReusedFactor& xf, DiskInt& b, DiskInt& c, long wanted, bool overwrite,
                         bool square);

// d = source * m, m a whole number with |m| <= 10^15; source any MPInt of base 10^12 (read
// through WriteBuffer), d may be source. d takes source's Shift.
void MulDiskIntBySmall(MPInt& source, double m, DiskInt& d);
// d = floor(source / 2) on source's limbs (the remainder of an odd number is dropped, as
// in every truncated result). d may be source.
void HalveDiskInt(DiskInt& source, DiskInt& d);

// x = x / y, block by block, with a progress display in percent, to the precision of
// n0 = y's _N limbs: the quotient's error is below 10 units of the limb n0 - 1 places
// below its top (x's limbs further down carry no information). y must be positive and
// trimmed, and is consumed (it ends as the remainder of the correction). Scratch: the
// DiskInt z (capacity at least x's), the BigInts t and i (capacity at least
// min(floor(nFFT / 3), n0) each). Fatal "ERROR in DivDiskInt, leading coefficient is bad"
// when y times the inverse of its top block does not start with 1 or with 999999999999.
void DivDiskInt(DiskInt& x, DiskInt& y, DiskInt& z, BigInt& t, BigInt& i);

// The engine of large disk products (a number-theoretic transform with Chinese
// remaindering, say). Registered after InitDiskMemory, which clears it.
class LargeProduct {
public:
    virtual ~LargeProduct() = default;
    // c = a * b, truncated to c's SizeAlloc and normalised; a and b unchanged.
    virtual void Multiply(DiskInt& a, MPInt& b, DiskInt& c) = 0;
    // c = a * a, likewise.
    virtual void Square(DiskInt& a, DiskInt& c) = 0;
    // A product went through the block product instead: what the engine kept of its last
    // product no longer describes the numbers.
    virtual void BlockProductUsed() {}
};
// nullptr: every product is a block product.
void RegisterLargeProduct(LargeProduct* engine);
// A product of L result limbs goes to the engine when L > floor(7 nFFT / 3).
bool TakesLargeProduct(long L);

}  // namespace zeprix::disk
