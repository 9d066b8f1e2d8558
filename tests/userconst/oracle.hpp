// Independent values of user constants for the tests: direct term-by-term summation in GMP
// fixed point (no binary splitting, no parser, no mode conversion), from the formulas as a
// user writes them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace zeprix::test {

// A rational p/q with small parts.
struct Rat {
    long p = 0, q = 1;
};

// One series of a constant, scaled by its beta_i (= scale). kind:
//   Mode0:  alpha + beta sum_{n>=1} c(n) Z^n,   c(n) = F(n)/G(n)
//   Mode1:  alpha + beta sum_{n>=1} prod_{i<=n} F(i)/G(i) Z
//   Arctan, Arctanh: sum_{k>=0} (+-1)^k Z^(2k+1) / (2k+1)
//   Log:    sum_{n>=1} Z^n / n
struct OracleSeries {
    enum Kind { Mode0, Mode1, Arctan, Arctanh, Log } kind = Mode0;
    Rat scale{1, 1}, alpha{0, 1}, beta{1, 1}, Z{1, 2};
    std::function<void(long n, mpz_t out)> F, G;  // for Mode0 and Mode1
};

// floor(|C| 10^digits) of C = sum of the series, as "-" (when negative) + integer part + "."
// + digits decimals; computed with 40 guard digits.
std::string OracleValue(const std::vector<OracleSeries>& s, long digits);

// Polynomial with small integer coefficients (c[i] of n^i) as an F or G.
std::function<void(long, mpz_t)> PolyFn(std::vector<long> c);

// A mode 1 series with polynomial F and G (coefficients as for PolyFn).
inline OracleSeries M1(Rat scale, Rat alpha, Rat Z, std::vector<long> F, std::vector<long> G,
                       Rat beta = {1, 1}) {
    return {OracleSeries::Mode1, scale, alpha, beta, Z, PolyFn(F), PolyFn(G)};
}

}  // namespace zeprix::test
