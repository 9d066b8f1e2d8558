// Sizes of the terms of a user series, for its term count and for the precision each step
// of its evaluation needs.
#pragma once

#include <vector>

namespace zeprix::userconst {

class Hypergeom;

// ln |u(n)| for the terms u(n) = beta prod_{i<=n} F(i) Z / G(i) of a series (u(0) = beta).
// Up to kExact terms the sum of ln |F(i) Z / G(i)| is exact (each factor evaluated as an
// integer); beyond, the factors follow ln |F(i) Z / G(i)| = c - k ln i + s / i + O(1/i^2),
// with c = ln |lcF Z / lcG|, k = deg G - deg F and s the 1/i coefficient, and the sum is
// c (x - m) - k ln(x! / m!) + s ln(x / m) (the O(1/i^2) terms add less than 1/m in all).
// A factor F(i) = 0 ends the series: every later term is 0 (ln = -infinity).
class TermSizes {
public:
    static constexpr long kExact = 20000;

    explicit TermSizes(const Hypergeom& h);

    // ln |u(x)| for a whole x >= 0.
    double LogTerm(double x) const;
    // The least x such that every term after it, and the sum of all of them, is below
    // 10^-D (a faster than geometric series: its terms fall from some point on for good).
    double CountFor(double D) const;
    // An upper bound of ln sum_{n > b} |u(n)| for a series of N terms: the largest term after
    // b, times the number of them.
    double LogTailFrom(double b, double N) const;
    // ln of the largest |u(n)|, 0 <= n <= N.
    double LogLargestTerm(double N) const { return MaxFrom(0, N); }

private:
    double Model(double x) const;              // beyond the exact range
    double MaxFrom(double b, double N) const;  // max of ln |u(n)| over b <= n <= N
    bool Falling(double x) const;              // the factor at x + 1 is below 1 in the model
    bool Negligible(double x, double target) const;

    std::vector<double> prefix_;     // ln |u(n)| for n = 0 .. m
    std::vector<double> suffixMax_;  // max of prefix_[n ..]
    double m_ = 0;                   // last exact n
    bool ends_ = false;              // F vanishes at m_ + 1
    double c_ = 0, k_ = 0, s_ = 0;
};

}  // namespace zeprix::userconst
