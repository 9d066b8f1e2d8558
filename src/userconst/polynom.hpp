// Polynomials in n with exact coefficients (PolynomStandard) or, when every coefficient
// is below 10^15 in magnitude, with double coefficients (PolynomDouble, faster to evaluate).
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "userconst/integer.hpp"

namespace zeprix::userconst {

class PolynomStandard;

class Polynom {
public:
    virtual ~Polynom() = default;
    // Degree; -1 for the empty polynomial. Leading zero coefficients never remain.
    virtual long Degree() const = 0;
    virtual Int LeadingCoefficient() const = 0;
    // ln of sum |c_i| x^i, an upper bound of ln |P(x)| for x >= 0 (a size estimate).
    virtual double LogValue(double x) const = 0;
    // r = P(x) exactly, x a whole number with |x| <= 10^15. r may be a view (its capacity
    // then bounds the result).
    virtual void Evaluate(double x, SmallInt& r) const = 0;
    virtual PolynomStandard ToStandard() const = 0;
    // P(n + a), a a whole number.
    virtual std::unique_ptr<Polynom> Shift(double a) const = 0;
    // The PolynomDouble form when every coefficient c has -10^15 < c < 10^15; else null.
    virtual std::unique_ptr<Polynom> Simplify() const = 0;
    virtual void PrintDegree(FILE* f) const = 0;
    virtual std::unique_ptr<Polynom> Clone() const = 0;

    // P(x) as an Int.
    Int Value(double x) const;
};

class PolynomStandard : public Polynom {
public:
    std::vector<Int> c;  // c[i] is the coefficient of n^i

    PolynomStandard() = default;
    explicit PolynomStandard(const Int& constant) : c{constant} {}
    explicit PolynomStandard(std::vector<Int> coefficients);
    // The polynomial n.
    static PolynomStandard Variable();

    long Degree() const override { return static_cast<long>(c.size()) - 1; }
    Int LeadingCoefficient() const override;
    double LogValue(double x) const override;
    void Evaluate(double x, SmallInt& r) const override;
    PolynomStandard ToStandard() const override { return *this; }
    std::unique_ptr<Polynom> Shift(double a) const override;
    std::unique_ptr<Polynom> Simplify() const override;
    void PrintDegree(FILE* f) const override;
    std::unique_ptr<Polynom> Clone() const override;

    // Drops leading zero coefficients (the zero polynomial keeps its constant 0).
    void Normalise();
    // Largest coefficient length in SmallInt limbs.
    long MaxLimbs() const;

    PolynomStandard operator+(const PolynomStandard& b) const;
    PolynomStandard operator-(const PolynomStandard& b) const;
    PolynomStandard operator*(const PolynomStandard& b) const;
    PolynomStandard operator-() const;
    PolynomStandard Scale(const Int& k) const;
    // P^e: e = 0 gives the polynomial 1, e = 1 a copy, e >= 2 repeated products.
    // Fatal "Error in PolynomStandard::Power, power should be positive" for e < 0.
    PolynomStandard Power(long e) const;
};

class PolynomDouble : public Polynom {
public:
    std::vector<double> c;  // whole numbers, |c_i| < 10^15

    long Degree() const override { return static_cast<long>(c.size()) - 1; }
    Int LeadingCoefficient() const override;
    double LogValue(double x) const override;
    void Evaluate(double x, SmallInt& r) const override;
    PolynomStandard ToStandard() const override;
    std::unique_ptr<Polynom> Shift(double a) const override;
    std::unique_ptr<Polynom> Simplify() const override { return nullptr; }
    void PrintDegree(FILE* f) const override;
    std::unique_ptr<Polynom> Clone() const override;
};

// The Simplify form when there is one, else the exact form (used wherever a product might
// not fit doubles: such a polynomial keeps its PolynomStandard form).
std::unique_ptr<Polynom> BestForm(const PolynomStandard& p);

}  // namespace zeprix::userconst
