// Positions of BigInts as the Newton iterations see them.
#pragma once

#include "numbers/big_int.hpp"

namespace zeprix::newton {

// The top position of a (the limb exponent just above its top limb): a < 10^(12 Top(a))
// for a nonnegative a with a canonical top limb.
inline long TopPosition(const numbers::BigInt& a) { return a._N + a.Exp; }

// True when a is the single limb 0.
inline bool IsZero(const numbers::BigInt& a) { return a._N == 1 && a.Limbs[0] == 0; }

}  // namespace zeprix::newton
