// Fraction arithmetic on Int.
#include "userconst/fraction.hpp"

#include <cmath>

namespace zeprix::userconst {

Fraction Fraction::operator+(const Fraction& o) const {
    return Fraction(num * o.den + o.num * den, den * o.den);
}

Fraction Fraction::operator*(const Fraction& o) const { return Fraction(num * o.num, den * o.den); }

Fraction Fraction::Normalised() const {
    if (den.Sign() < 0) return Fraction(-num, -den);
    return *this;
}

double Fraction::Value() const {
    const int s = num.Sign() * den.Sign();
    if (s == 0) return num.IsZero() ? 0.0 : std::nan("");
    const double a = num.ToDouble(), b = den.ToDouble();
    if (std::isfinite(a) && std::isfinite(b)) return a / b;
    return s * std::exp(num.LogAbs() - den.LogAbs());
}

}  // namespace zeprix::userconst
