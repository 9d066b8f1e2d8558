// Division of BigInts: a reciprocal of one FFT block of the denominator, then the factor
// (1 + eps) removed block by block. Error budget: docs/notes/newton_division.md.
#include <algorithm>

#include "core/check.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "newton/big_view.hpp"
#include "newton/newton.hpp"
#include "newton/thresholds.hpp"
#include "numbers/limbs.hpp"
#include "numbers/schoolbook.hpp"

namespace zeprix::newton {

using numbers::BigInt;
using numbers::kBigBase;

namespace {

// Moves a's limbs up so that it fills its capacity (zeros below), lowering the exponent.
void FillCapacity(BigInt& a) {
    const long s = a.SizeAlloc - a._N;
    if (s <= 0 || (a._N == 1 && a.Limbs[0] == 0)) return;
    for (long i = a._N - 1; i >= 0; --i) a.Limbs[i + s] = a.Limbs[i];
    for (long i = 0; i < s; ++i) a.Limbs[i] = 0;
    a._N += s;
    a.Exp -= s;
}

}  // namespace

long DivisionBlock() {
    const long f3 = fft::State().NFFT / 3;
    return f3 - f3 / 256;
}

// Exactness, with u = one unit of num's last limb (num spans its capacity Cn, so q < 10^12
// 10^(12 (Cn - 1)) u):
//   1. num inv and den inv are floored at their last limbs: the quotient moves by at
//      most 1 u (num) and q 10^(-12 (Cd - 1)) (den inv ~ 1 spans Cd limbs), which is
//      below 1 u when Cd >= Cn + 1 and the relative bound otherwise.
//   2. Each round floors eps1 num (1 u) and aligns it onto num (1 u); eps' is floored at
//      den's last limb (at most 2 units of 10^(-12 (Cd - 1)), 2 u in the quotient).
//   3. The cross term eps1 eps is skipped once it lies below num's last limb (< 1 u),
//      and the rounds stop once eps does (< 1 u); hidden limbs of num add < 10^-1200 u.
// With at most two rounds when k is a third of the FFT size or more of num's length,
// the total stays within 8 u; longer divisions (small FFT sizes) add 4 u per round.
void DivideBigInt(BigInt& num, BigInt& den, BigInt& work, BigInt& t, BigInt& inv) {
    ZEPRIX_CHECK(den._N >= 1 && den.Limbs[den._N - 1] > 0,
                 "Error in DivideBigInt, the denominator must be positive");
    ZEPRIX_CHECK(work.SizeAlloc >= num.SizeAlloc, "Error in DivideBigInt, work is too small");
    ZEPRIX_CHECK(num._N >= 1 && num.Limbs[num._N - 1] >= 0,
                 "Error in DivideBigInt, the numerator must not be negative");
    const long Cn = num.SizeAlloc;
    FillCapacity(num);

    // inv = 1 / (den's top limbs) to k limbs: one FFT block, or less when num and den are
    // both shorter. A short den is inverted whole to k limbs, so that eps starts k limbs
    // down whatever den's length (each round of the loop costs a few units).
    const long k = std::max(2L, std::min(DivisionBlock(), std::max(den._N, Cn)));
    ZEPRIX_CHECK(inv.SizeAlloc >= k, "Error in DivideBigInt, inv is too small");
    const long kv = std::min(k, den._N);
    BigInt dv, iv;
    dv.SetView(den.Limbs + (den._N - kv), kv, kv, den.Exp + (den._N - kv));
    iv.SetView(inv.Limbs, 1, k, 0);
    InverseBigInt(dv, iv, t);

    // den inv = 1 + eps, num inv = num'.
    {
        fft::ReusedFactor byInv(iv);
        byInv.TruncatedMul(den, den);
        byInv.TruncatedMul(num, num);
    }
    // eps keeps den's full precision: a short (exact) den inv is extended down with zero
    // limbs, so that the cross terms below its last limb are not floored away.
    FillCapacity(den);

    // Remove the 1: the top limb is 1 at the unit, or 999999999999 just below it
    // (den inv < 1, eps negative in complement form).
    const long pos = TopPosition(den);
    double& top = den.Limbs[den._N - 1];
    if (pos == 1 && top == 1)
        top = 0;
    else if (pos == 0 && top == kBigBase - 1)
        top = -1;
    else
        core::FatalError("Error in DivideBigInt, the normalised denominator is not near 1");
    den.TrimBigInt();

    // eps below 10^(12 floorPos) no longer reaches num's last limb.
    const long floorPos = -Cn - 1;
    while (!IsZero(den) && TopPosition(den) > floorPos) {
        const long before = TopPosition(den);
        const long kp = std::min(k, den._N);
        BigInt ev;  // eps1: eps's top kp limbs (floored, so eps - eps1 >= 0)
        ev.SetView(den.Limbs + (den._N - kp), kp, kp, den.Exp + (den._N - kp));

        // work = eps1 num, num's limbs far below eps1's reach hidden.
        const long z = std::min(-before - kHiddenGuard, num._N - 1);
        BigInt nv;
        if (z > 0)
            nv.SetView(num.Limbs + z, num._N - z, num.SizeAlloc - z, num.Exp + z);
        else
            nv.SetView(num.Limbs, num._N, num.SizeAlloc, num.Exp);
        BigInt wv;
        wv.SetView(work.Limbs, 1, Cn, 0);
        wv.Limbs[0] = 0;
        fft::ReusedFactor byEps1(ev);
        byEps1.TruncatedMul(nv, wv);
        numbers::SubstractBigInt(num, wv, num);

        // eps' = (eps - eps1) - eps1 eps; the cross term only while it reaches num's last
        // limb (its top position is at most 2 before).
        const bool cross = 2 * before > floorPos;
        if (cross) {
            wv.SetView(work.Limbs, 1, std::min(work.SizeAlloc, den.SizeAlloc), 0);
            wv.Limbs[0] = 0;
            byEps1.TruncatedMul(den, wv);
        }
        den._N -= kp;  // eps - eps1: the canonical limbs below the block
        if (den._N == 0) {
            den._N = 1;
            den.Limbs[0] = 0;
        } else {
            den.TrimBigInt();
        }
        if (cross) numbers::SubstractBigInt(den, wv, den);
        ZEPRIX_CHECK(IsZero(den) || TopPosition(den) < before,
                     "Error in DivideBigInt, the correction does not converge");
    }
}

}  // namespace zeprix::newton
