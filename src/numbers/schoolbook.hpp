// Linear-time and small-operand arithmetic on BigInt (schoolbook).
#pragma once

#include "numbers/big_int.hpp"
#include "numbers/small_int.hpp"

namespace zeprix::numbers {

// r = a + b with exponent alignment: the result's exponent is the larger one and each
// operand is floored to it (its lower limbs ignored). r's capacity: the longer aligned
// length plus one; with less, the lowest limbs are cut and the exponent raised. r may be
// a or b.
void AddBigInt(const BigInt& a, const BigInt& b, BigInt& r);
// r = a - b with exponent alignment. Fatal "Allocation Problem in SubstractBigInt\n" when
// r's capacity is below either length.
void SubstractBigInt(const BigInt& a, const BigInt& b, BigInt& r);

// Accumulating schoolbook kernel on raw base-10^12 limbs: for every product position
// k = i + j >= cut, adds limb k of a * b into r[k - cut]; the carry out of the positions
// below the cut is added into r[0]. a and b are canonical except that their top limbs may
// be negative. The limbs of r stay exact integers below 2^53 in magnitude provided each
// of them held at most 2^52 on entry; the caller normalises (UpdateBigInt).
// In value: r += floor(a * b / 10^(12 cut)), each r limb growing by less than 10^12, so r
// needs Na + Nb - cut limbs (one when cut >= Na + Nb). Exact for any sizes (int64).
// r must not overlap a or b. work is accepted for compatibility and not used.
void SmallBigIntMul(const double* a, long Na, const double* b, long Nb, double* r, long cut,
                    double* work = nullptr);

// r = a * b by schoolbook, keeping the top r.SizeAlloc limbs (exponent raised by the
// number dropped, the kept value floored) and normalised. r must not be a or b (fatal).
void SmallBigIntMul(const BigInt& a, const BigInt& b, BigInt& r);

// dst[0 .. n) = src[0 .. n) (blocks that may overlap: then one move on this thread), and
// dst[0 .. n) = 0. From 2^16 limbs up the limbs are shared among the threads, which also
// spreads the kernel's first touch of fresh pages.
void CopyLimbs(double* dst, const double* src, long n);
void ZeroLimbs(double* dst, long n);

// Converts a SmallInt (base 10^8) into the BigInt r (base 10^12), exponent 0.
// Fatal "Error in TransformIntoBigInt, sizealloc of bigint is too small1\n".
void TransformIntoBigInt(const SmallInt& a, BigInt& r);

}  // namespace zeprix::numbers
