// Digits of constants by GMP alone (the tests' independent oracle): "I.DDD" with the
// decimals truncated to `digits`.
#pragma once

#include <string>

namespace zeprix::test {

// Pi by the Chudnovsky series (binary splitting on mpz, 20 guard digits).
std::string GmpPi(long digits);
// exp(1/q) = sum 1/(k! q^k) (binary splitting); e is GmpExp(digits, 1).
std::string GmpExp(long digits, unsigned long q);
// sqrt(2) by mpz_sqrt.
std::string GmpSqrt2(long digits);

}  // namespace zeprix::test
