// MPInt: the common face of SmallInt, BigInt and DiskInt for writers, reports and checks.
#pragma once

namespace zeprix::numbers {

// Value = sum over i < _N of limb[i] * B^(i + Exponent()), B = 10^DigitsPerLimb().
class MPInt {
public:
    long _N = 0;  // limbs in use

    MPInt() = default;
    MPInt(const MPInt&) = delete;
    MPInt& operator=(const MPInt&) = delete;
    virtual ~MPInt() = default;

    // Releases the limbs (BigInt's owner must call it before destroying the object).
    virtual void Free() {}
    // 1 SmallInt, 2 BigInt, 3 DiskInt.
    virtual int TypeCode() const = 0;
    // Copies limbs first .. first + count - 1 into buf; nothing when count < 1.
    // The base class cannot: fatal "Error, this type of MPInt cannot write to a buffer".
    virtual void WriteBuffer(double* buf, long count, long first);
    // The ten-digit integer formed by the decimal digits in places pos + 1 .. pos + 10
    // after the decimal point, most significant first. Needs limbs q - 2 .. q to exist
    // (see the implementation); other positions are a fatal error.
    virtual double DigitWindow(double pos);
    // -1, 0 or 1, exact when the limbs below the top lie in [-B, B] (canonical ones do);
    // a zero number of any length has sign 0.
    virtual int Sign();
    virtual int DigitsPerLimb() const = 0;
    // Limb exponent e.
    virtual long Exponent() const { return 0; }
};

}  // namespace zeprix::numbers
