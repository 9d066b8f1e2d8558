// Linear-time and small-operand arithmetic on BigInt (schoolbook).
#pragma once

#include "numbers/big_int.hpp"
#include "numbers/small_int.hpp"

namespace zeprix::numbers {

// r = a + b with exponent alignment. r's capacity: the longer aligned length plus one.
void AddBigInt(const BigInt& a, const BigInt& b, BigInt& r);
// r = a - b with exponent alignment. Fatal "Allocation Problem in SubstractBigInt\n" when
// r's capacity is below either length.
void SubstractBigInt(const BigInt& a, const BigInt& b, BigInt& r);

// Accumulating schoolbook kernel on raw base-10^12 limbs: for every product position
// k = i + j >= cut, adds limb k of a * b into r[k - cut]; the carry out of the positions
// below the cut is added into r[0]. a and b are canonical except that their top limbs may
// be negative. The limbs of r stay exact integers below 2^53 in magnitude provided each
// of them held at most 2^52 on entry; the caller normalises (UpdateBigInt).
// r must not overlap a or b. work, when given, holds at least 2 * Nb doubles.
void SmallBigIntMul(const double* a, long Na, const double* b, long Nb, double* r, long cut,
                    double* work = nullptr);

// r = a * b by schoolbook, keeping the top r.SizeAlloc limbs (exponent raised by the
// number dropped) and normalised. r must not be a or b.
void SmallBigIntMul(const BigInt& a, const BigInt& b, BigInt& r);

// Converts a SmallInt (base 10^8) into the BigInt r (base 10^12), exponent 0.
// Fatal "Error in TransformIntoBigInt, sizealloc of bigint is too small1\n".
void TransformIntoBigInt(const SmallInt& a, BigInt& r);

}  // namespace zeprix::numbers
