// SmallInt: growable in-memory integer in base 10^8 for series terms; schoolbook only.
#pragma once

#include "numbers/mpint.hpp"

namespace zeprix::numbers {

class SmallInt : public MPInt {
public:
    long SizeAlloc = 0;          // limbs that may be written without reallocation
    double* Limbs = nullptr;     // first limb, 64-byte aligned unless a view
    double* RawBlock = nullptr;  // block from AllocLimbBlock, or null (empty or a view)

    SmallInt() = default;
    ~SmallInt() override;

    void Free() override;
    int TypeCode() const override { return 1; }
    void WriteBuffer(double* buf, long count, long first) override;
    int Sign() override;
    int DigitsPerLimb() const override { return 8; }

    // Sets the value to the integer x (x <= 10^15, negative values allowed).
    // Fatal "Error in SmallInt::Set, x is too large" above 10^15.
    void Set(double x);
    // Ensures SizeAlloc >= n, discarding the contents (allocates n + 1 limbs).
    void Alloc(long n);
    // Ensures SizeAlloc >= n, keeping the _N limbs in use.
    void Realloc(long n);
    // Makes this object a view of a's limbs from limb k on (it owns nothing, and Alloc or
    // Realloc on it is fatal). _N is for the caller.
    void AllocSpecial(SmallInt& a, long k);
    bool IsView() const { return Limbs != nullptr && RawBlock == nullptr; }
    // Copies the value into r (r.SizeAlloc must be >= _N).
    void CopyTo(SmallInt& r) const;
    // Carry normalisation in place; limbs may hold any integers below 2^53 in magnitude on
    // entry. Every limb below the top ends in [0, 10^8); the top keeps the sign and is
    // split (one new limb, fatal "ERROR in UpdateSmallInt, allocation of a is too small\n"
    // without room) only when it falls outside (-10^8, 10^8); then Trim.
    void UpdateSmallInt();
    // Drops high zero limbs and folds a run of 99999999 limbs under a -1 top limb.
    void Trim();

    double& operator[](long i) { return Limbs[i]; }
    double operator[](long i) const { return Limbs[i]; }
};

// Free functions; the result r comes last and may be an operand unless said otherwise.
void AddSmallInt(const SmallInt& a, const SmallInt& b, SmallInt& r);
void SubstractSmallInt(const SmallInt& a, const SmallInt& b, SmallInt& r);
void NegateSmallInt(const SmallInt& a, SmallInt& r);
// r = a * m, |m| <= 10^15 (LongShortMul8 for |m| > 10^7).
void ShortMulSmallInt(const SmallInt& a, double m, SmallInt& r);
// r_limbs = a_limbs * m for a whole m with |m| <= 10^15, exact (int64); returns the count
// of limbs written (Na, Na + 1 or Na + 2), every limb below the top in [0, 10^8), not
// trimmed. r_limbs needs room for Na + 2 limbs and may equal a_limbs.
// Fatal "Error in LongShortMul8,m is too large\n" beyond 10^15.
long LongShortMul8(double* rLimbs, const double* aLimbs, long Na, double m);
// r = a * b, exact for any sizes (schoolbook, int64 accumulation). Every limb of the
// result below the top is in [0, 10^8) whatever normalise is; normalise != 0 also trims,
// normalise == 0 leaves _N = Na + Nb (possibly with zero top limbs) for a caller that
// normalises later. r may be a or b. Prints a warning above 4000 limbs.
void MulSmallInt(const SmallInt& a, const SmallInt& b, SmallInt& r, long normalise);

// The process-wide constants 0 and 1 (set at program start).
extern SmallInt gSmallIntZero;
extern SmallInt gSmallIntOne;
void InitSmallIntConstants();

}  // namespace zeprix::numbers
