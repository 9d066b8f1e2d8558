// Inverse square root of a small whole number as a BigInt, by Newton's iteration.
#pragma once

#include "numbers/big_int.hpp"

namespace zeprix::newton {

// y = 1/sqrt(a) to the capacity C = y.SizeAlloc of y, for a whole a with
// 2 <= a <= kInvSqrtMaxA (fatal "Error in InvSqrtBigInt, a must be between 2 and 10^7"
// otherwise).
//
// On return y holds C limbs at exponent -C (all fractional; the top limb is nonzero since
// y > 10^-4) and |y - 1/sqrt(a)| <= 2 units of 10^(-12 C). C = 2 returns the two-limb
// starting value, correct to about 15 digits.
//
// Method (docs/notes/inverse_sqrt.md): y <- y + y (1 - a y^2) / 2
// with doubling precision and one restart of the schedule so that the last doubling lands
// on C. The error 1 - a y^2 comes from an FFT square while y is far from its target; the
// final step forms it from a narrow band of column sums of y^2 (exact integer sums), which
// both checks the FFT steps (fatal "PB in try !" when a y^2 is not within the precision
// they promise) and brings y to the bound above.
//
// scratch: capacity at least C + 24; y and scratch must not overlap. The FFT must be
// initialised (any size: products larger than one transform go in pieces).
void InvSqrtBigInt(long a, numbers::BigInt& y, numbers::BigInt& scratch);

inline constexpr long kInvSqrtMaxA = 10000000;

namespace detail {
// The band error routine: for y > 0 with exponent y.Exp and the band of positions
// lo .. lo + w - 1 (<= -1), writes into band[0 .. w) the limbs of floor(a y^2 / 10^(12 lo))
// mod 10^(12 w), computed from the columns of y^2 at those positions and two guard columns
// below (the ignored columns shift the result by less than 1 + a units of its last limb,
// downwards). Exact integer arithmetic (128-bit column sums).
void ScaledSquareBand(long a, const numbers::BigInt& y, long lo, long w, double* band);
}  // namespace detail

}  // namespace zeprix::newton
