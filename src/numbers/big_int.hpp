// BigInt: fixed-capacity in-memory integer in base 10^12 with a limb exponent.
#pragma once

#include "numbers/mpint.hpp"

namespace zeprix::numbers {

class SmallInt;

// Value = sum over i < _N of Limbs[i] * 10^(12 (i + Exp)). The capacity is the precision:
// a carry out of a full BigInt drops the lowest limb and raises Exp instead of growing,
// so a BigInt behaves as a floating-point number with a mantissa of SizeAlloc limbs.
//
// Ownership: a BigInt owns the block it allocated (RawBlock) and releases it when it is
// destroyed, freed or reallocated; moving hands the block over. A view (SetView) borrows
// limbs of another number's block and owns nothing: the lender must outlive it.
class BigInt : public MPInt {
public:
    long SizeAlloc = 0;          // limbs available (the block holds one more)
    long Exp = 0;                // limb exponent
    double* Limbs = nullptr;     // 64-byte aligned
    double* RawBlock = nullptr;  // block from AllocLimbBlock, or null (empty or a view)

    BigInt() = default;
    BigInt(BigInt&& o) noexcept;
    BigInt& operator=(BigInt&& o) noexcept;
    ~BigInt() override { Free(); }

    void Free() override;
    int TypeCode() const override { return 2; }
    void WriteBuffer(double* buf, long count, long first) override;
    int DigitsPerLimb() const override { return 12; }
    long Exponent() const override { return Exp; }

    // Capacity n, exponent 0, value 0 (_N = 1, limb 0 = 0); spare limb n set to 0. An
    // earlier block is released first.
    void Alloc(long n);
    // Makes this number a view of n limbs starting at `limbs`, with capacity `capacity`
    // (limbs[0 .. capacity] must lie inside the lender's block, the spare limb included)
    // and limb exponent `exp`; an owned block is released first. Free() and Alloc() on a
    // view never release the lender's storage.
    void SetView(double* limbs, long n, long capacity, long exp);
    bool IsView() const { return Limbs != nullptr && RawBlock == nullptr; }
    // r = this (r's capacity is the caller's to guarantee).
    void CopyTo(BigInt& r) const;
    // Carry normalisation in place, every limb given its exact floor; a carry out of a
    // full number drops the lowest limb and raises the exponent.
    void UpdateBigInt();
    // Drops high zero limbs and folds a run of 999999999999 limbs under a -1 top limb.
    void TrimBigInt();

    // r = a * m for a whole m, |m| <= 10^15; r may be a. When r's capacity is below a's
    // length only a's top limbs are used (exponent raised), and a carry out of a full r
    // drops its lowest limb. Fatal "ERROR in BigInt::ShortMul, m is too big".
    static void ShortMul(const BigInt& a, double m, BigInt& r);
    // r = floor(a / m) on a's limbs and exponent, m a nonzero whole number, |m| <= 1000;
    // the remainder is discarded. r may be a. Fatal "ERROR in BigInt::ShortDiv,
    // allocation of r is too small\n" and "WARNING in BigInt::ShortDiv, m is too big".
    static void ShortDiv(const BigInt& a, double m, BigInt& r);
    // r = a * b for a SmallInt b of at most 1000 base-10^6 digits; r must not be a.
    static void SmallIntMul(const BigInt& a, const SmallInt& b, BigInt& r);

    double& operator[](long i) { return Limbs[i]; }
    double operator[](long i) const { return Limbs[i]; }
};

// The final-carry step of UpdateBigInt: appends carry c above limb _N - 1 (dropping low
// limbs of a full number), then trims. Used by the linear-time operations.
void AppendCarryBigInt(BigInt& r, double c);

}  // namespace zeprix::numbers
