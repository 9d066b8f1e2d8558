// Views: BigInts that borrow limbs of another number's block and own nothing.
#pragma once

#include "numbers/big_int.hpp"

namespace zeprix::newton {

// Makes v a view of n limbs starting at `limbs`, with capacity `capacity` (the limbs
// limbs[0 .. capacity] must lie inside the lender's block, the spare one included) and
// limb exponent `exp`. A view has no raw block, so Free() and Alloc() never release the
// lender's storage. The lender must outlive the view and must not be written through
// another name while the view is read.
inline void MakeView(numbers::BigInt& v, double* limbs, long n, long capacity, long exp) {
    v.Limbs = limbs;
    v.RawBlock = nullptr;
    v._N = n;
    v.SizeAlloc = capacity;
    v.Exp = exp;
}

// The top position of a (the limb exponent just above its top limb): a < 10^(12 Top(a))
// for a nonnegative a with a canonical top limb.
inline long TopPosition(const numbers::BigInt& a) { return a._N + a.Exp; }

// True when a is the single limb 0.
inline bool IsZero(const numbers::BigInt& a) { return a._N == 1 && a.Limbs[0] == 0; }

}  // namespace zeprix::newton
