// Fraction: an exact, unreduced quotient of two integers (alpha, beta, Z and beta_i).
#pragma once

#include "userconst/integer.hpp"

namespace zeprix::userconst {

struct Fraction {
    Int num;     // 0 by default
    Int den{1};  // 1 by default; never 0 once a parser accepted the fraction

    Fraction() = default;
    Fraction(Int n, Int d) : num(std::move(n)), den(std::move(d)) {}

    // a/b + c/d = (a d + c b) / (b d); not reduced.
    Fraction operator+(const Fraction& o) const;
    // (a c) / (b d); not reduced.
    Fraction operator*(const Fraction& o) const;
    // The same value with a positive denominator (both signs moved when den < 0).
    Fraction Normalised() const;
    // num / den as a double, formed from the logarithms of both sides so that numbers
    // beyond the double range still give their finite quotient.
    double Value() const;
};

}  // namespace zeprix::userconst
