// Reciprocal of a BigInt by Newton's iteration y <- y + y (1 - x y) with doubling precision.
// Schedule and error budget: docs/notes/newton_division.md.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/check.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "newton/big_view.hpp"
#include "newton/newton.hpp"
#include "newton/start.hpp"
#include "newton/step_common.hpp"
#include "newton/thresholds.hpp"
#include "numbers/limbs.hpp"
#include "numbers/schoolbook.hpp"

namespace zeprix::newton {

using numbers::BigInt;
using numbers::kBigBase;

namespace {

// One Newton step on the normalised problem: x~ = x's top limbs read as a number in
// [1, 10^12), y ~ 1/x~ with its top limb at position -1 (at 0 only when y = 1).
// On return y has exponent -n1 (n1 limbs below the unit) and
//   |1 - x~ y'| <= (1 - x~ y)^2 + 2.02 x~ ulp(y') + 10^(-12 n1)       (1)
// Derivation: with u = 1 - x~ y, the exact step y' = y (1 + u) gives 1 - x~ y' = u^2.
//   1. x~ is cut to m = n1 + 1 limbs: relative error below 10^(-12 n1).
//   2. t = x~_m y keeps its top n1 + 2 limbs (a floor): t is within 10^(-12 (n1 + 1)) of
//      the product, since t < 2 has its top limb at position 0 or -1.
//   3. e = |1 - t| is cut below position -n1 - 2: error below 10^(-12 (n1 + 2)).
//   4. The correction y e is floored at position -n1 - 2 by the product and at -n1 (the
//      last limb of y', ulp(y') = 10^(-12 n1)) by the addition: below 1.01 ulp(y').
// Together the computed 1 - t differs from u by at most about 1.01 10^(-12 n1), which
// y (<= 1) carries into y' unchanged, and the floors add 1.01 ulp; (1) follows.
void NewtonStep(const BigInt& x, BigInt& y, BigInt& t, long n1) {
    const long Nx = x._N;
    const long m = std::min(n1 + 1, Nx);
    BigInt xv;  // x~ cut to m limbs
    xv.SetView(x.Limbs + (Nx - m), m, m, 1 - m);

    BigInt tv;
    tv.SetView(t.Limbs, 1, n1 + 2, 0);
    tv.Limbs[0] = 0;
    // y is the first operand so that its transform can serve the correction product too.
    fft::ReusedFactor byY(y);
    byY.Mul(xv, tv);

    // t = x~ y ~ 1: its distance to 1, and whether y was too large.
    const bool subtract =
        TakeUnitError(tv, "Error in InverseBigInt, the Newton iteration does not converge");
    if (IsZero(tv)) {  // y is exact at this precision
        ExtendDown(y, -n1);
        return;
    }
    // e = |1 - t| cut below position -n1 - 2 (floored).
    BigInt e;
    const long dropE = std::max(0L, (-n1 - 2) - tv.Exp);
    ZEPRIX_CHECK(dropE < tv._N, "Error in InverseBigInt, the Newton iteration does not converge");
    e.SetView(tv.Limbs + dropE, tv._N - dropE, tv._N - dropE, tv.Exp + dropE);

    // corr = y e, its limbs at positions >= -n1 - 2.
    const long topCorr = TopPosition(y) + TopPosition(e);
    const long lenC = std::max(1L, topCorr - (-n1 - 2));
    BigInt corr;
    double* corrLimbs = e.Limbs + e._N + 1;
    ZEPRIX_CHECK(corrLimbs + lenC + 1 <= t.Limbs + t.SizeAlloc + 1,
                 "Error in InverseBigInt, scratch t is too small");
    corr.SetView(corrLimbs, 1, lenC, 0);
    corr.Limbs[0] = 0;
    byY.Mul(e, corr);

    ExtendDown(y, -n1);
    if (subtract)
        numbers::SubstractBigInt(y, corr, y);
    else
        numbers::AddBigInt(y, corr, y);
}

}  // namespace

// The schedule. p is the precision of y in limbs, |1 - x~ y| <= c 10^(-12 p) with c
// close to 1 (at most about 1.11 before the restart, below 10^-11 after it). A step to
// n1 = min(2p + 2, C) limbs gives, by (1) of NewtonStep, precision min(2p, n1 - 2): the
// two guard limbs absorb the floors. The last step runs at n1 = C from a precision
// p >= C/2, so that (1 - x~ y)^2 / x~ stays below one ulp of the C-limb result; its
// remaining error is then at most c^2 + 2.02 ulp < 3 ulp.
//
// Restart: once a step reaches 256 limbs, the remaining precisions are planned down from
// C: T_1 = ceil(C/2), T_(i+1) = ceil(T_i / 2), down to the first T_m <= 240. y is cut to
// T_m + 2 limbs (precision T_m, two guard limbs), then each step goes to n1 = T_i + 2
// limbs for i = m - 1 .. 1 (from p = T_(i+1) >= T_i / 2, so the precision reached is
// exactly T_i), and the last to C from p = T_1 >= C/2. Every y then holds about C / 2^j
// limbs, so that with C a little below a third of a power of two (one FFT block), its
// transforms and the pieces of x~ fill their power-of-two sizes instead of spilling
// just over them, which doubling from a rounded-down base would do.
//
// Starting value (InverseStart): |1 - x~ y| <= 1.0004 10^-12, precision one limb.
void InverseBigInt(const BigInt& x, BigInt& y, BigInt& t) {
    const long C = y.SizeAlloc;
    const long Nx = x._N;
    ZEPRIX_CHECK(C >= 2, "Error in InverseBigInt, the capacity of y is below 2 limbs");
    ZEPRIX_CHECK(Nx >= 1 && x.Limbs[Nx - 1] > 0, "Error in InverseBigInt, x must be positive");
    ZEPRIX_CHECK(t.SizeAlloc >= C + 16, "Error in InverseBigInt, scratch t is too small");
    const long top = Nx - 1 + x.Exp;  // x = x~ 10^(12 top)

    const double a2 = x.Limbs[Nx - 1];
    const double a1 = Nx >= 2 ? x.Limbs[Nx - 2] : 0.0;
    const double a0 = Nx >= 3 ? x.Limbs[Nx - 3] : 0.0;
    const TwoLimbs start = InverseStart(a2, a1, a0);
    y.Limbs[0] = start.lo;
    y.Limbs[1] = start.hi;
    y._N = 2;
    y.Exp = -2;
    y.UpdateBigInt();  // y1 = 10^12 when x~ = 1

    if (C > 2) {
        long p = 1;
        bool restarted = false;
        bool atCapacity = false;  // the previous step ran at n1 = C
        long plan[64];            // after the restart: the precisions still to reach
        int planned = 0;          // (plan[planned - 1] is the next one)
        for (;;) {
            const long n1 = planned > 0 ? plan[--planned] + 2 : std::min(2 * p + 2, C);
            NewtonStep(x, y, t, n1);
            const long before = p;
            p = std::min(2 * p, n1 - 2);
            // Done after a full step from p >= C/2, or after a second full step (C = 3:
            // the first one gives |1 - x~ y| < 4 10^-24 whatever the claimed p).
            if (n1 == C && (2 * before >= C || atCapacity)) break;
            atCapacity = n1 == C;
            if (!restarted && n1 >= kRestartLength && n1 < C) {
                for (long q = (C + 1) / 2;; q = (q + 1) / 2) {
                    plan[planned++] = q;
                    if (q <= kRestartBase) break;
                }
                p = plan[--planned];
                KeepTop(y, p + 2);
                restarted = true;
            }
        }
    }
    y.Exp -= top;
}

}  // namespace zeprix::newton
