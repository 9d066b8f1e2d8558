// Int: a copyable exact integer for polynomial coefficients and fractions, kept in a SmallInt.
#pragma once

#include <memory>

#include "numbers/small_int.hpp"

namespace zeprix::userconst {

using numbers::SmallInt;

// Value semantics around a SmallInt (which cannot be copied): every operation returns a
// new canonical, trimmed number. Sizes are bounded by the callers (the parser limits the
// digits of every coefficient, see parser.hpp), so no operation here needs a limit.
class Int {
public:
    Int();                 // 0
    explicit Int(long v);  // |v| <= 10^15
    explicit Int(const SmallInt& s);
    Int(const Int& o);
    Int& operator=(const Int& o);
    Int(Int&& o) noexcept = default;
    Int& operator=(Int&& o) noexcept = default;
    ~Int() = default;

    const SmallInt& get() const { return *p_; }
    SmallInt& get() { return *p_; }

    int Sign() const;  // -1, 0, 1
    bool IsZero() const { return Sign() == 0; }
    long Limbs() const { return p_->_N; }
    // Horner over the base-10^8 limbs from the top (inf beyond the double range).
    double ToDouble() const;
    // ln |x| from the top three limbs and the limb count; -inf for 0.
    double LogAbs() const;

    Int operator+(const Int& b) const;
    Int operator-(const Int& b) const;
    Int operator*(const Int& b) const;
    Int operator-() const;
    Int Abs() const { return Sign() < 0 ? -*this : *this; }
    // this * 10 + digit, for the parser (0 <= digit <= 9).
    void AppendDigit(int digit);

private:
    std::unique_ptr<SmallInt> p_;
};

}  // namespace zeprix::userconst
