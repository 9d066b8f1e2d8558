// Reciprocal and division of BigInts in memory by Newton's iteration.
#pragma once

#include "numbers/big_int.hpp"

namespace zeprix::newton {

// y = 1/x to the capacity C = y.SizeAlloc of y (C >= 2).
//
// x must be positive with a nonzero top limb; only its top C + 1 limbs are read and it is
// left unchanged. On return y holds C limbs (fewer when its low limbs are zero) and
// |y - 1/x| <= 3 units of y's last limb. C = 2 returns the starting value, which is only
// correct to about one limb.
//
// t is scratch of capacity at least C + 16; y and t must not overlap each other or x.
// The FFT must be initialised with a size that holds the products (3 C digits per
// operand piece at most, see MulBigInt).
void InverseBigInt(const numbers::BigInt& x, numbers::BigInt& y, numbers::BigInt& t);

// num = num / den, to num's capacity Cn: q being the exact quotient of the values on entry,
// on return num spans Cn limbs (Cn - 1 when q's top limb ends lower) and
//   |num - q| <= 8 units of num's last limb      when den's capacity is >= Cn + 1,
//   |num - q| <= 8 10^(-12 (Cd - 1)) q            for a capacity Cd of den >= Cn
// (den inv is kept to den's capacity: with a large top limb of q, one limb more of den
// is needed for the last limb of num). num must be >= 0; den must be positive and
// trimmed; den is destroyed (it ends as the remainder of the correction, near 0).
//
// Method: inv = reciprocal of den's top k limbs (k ~ NFFT / 3, one FFT block); then
// num/den = (num inv) / (den inv) = num' / (1 + eps) with |eps| < 10^(-12 (k - 2)), and the
// factor (1 + eps) is removed block by block: with eps1 the top k limbs of eps,
// num' / (1 + eps) = num' (1 - eps1) / (1 + eps'), eps' = (eps - eps1) - eps1 eps, whose
// top position is about k limbs lower. Rounds stop when eps no longer reaches num's last
// limb.
//
// Scratch: work with capacity >= num's; t with capacity >= k + 16; inv with capacity >= k
// (k <= NFFT/3). None may overlap num, den or each other.
void DivideBigInt(numbers::BigInt& num, numbers::BigInt& den, numbers::BigInt& work,
                  numbers::BigInt& t, numbers::BigInt& inv);

// The block length k of DivideBigInt for the current FFT size: one FFT block of limbs
// minus 1/256 of it (margin for the leftover pieces), so that each product by the block
// takes single transforms.
long DivisionBlock();

}  // namespace zeprix::newton
