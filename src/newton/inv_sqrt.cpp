// Inverse square root of a small whole number by Newton's iteration y <- y + y (1 - a y^2)/2.
// Schedule and error budget: docs/notes/inverse_sqrt.md.
#include "newton/inv_sqrt.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/check.hpp"
#include "core/console.hpp"
#include "core/parallel.hpp"
#include "fft/multiply.hpp"
#include "newton/big_view.hpp"
#include "newton/start.hpp"
#include "newton/step_common.hpp"
#include "numbers/limbs.hpp"
#include "numbers/schoolbook.hpp"

namespace zeprix::newton {

using numbers::BigInt;
using numbers::kBigBase;

namespace {

__extension__ typedef unsigned __int128 u128;
constexpr unsigned long long kB = 1000000000000ULL;
// Bands of y^2 over at least this many limbs of y are summed by all the threads.
constexpr long kParallelBandLimbs = 1L << 16;

// Drops c's limbs below position minExp (a floor, as the alignment of a sum would do), so
// that c is never longer than the number it is added to; c >= 0.
void FloorAt(BigInt& c, long minExp) {
    const long drop = minExp - c.Exp;
    if (drop <= 0) return;
    if (drop >= c._N) {
        c._N = 1;
        c.Limbs[0] = 0;
        c.Exp = minExp;
        return;
    }
    KeepTop(c, c._N - drop);
}

// Digits of precision after adding two error bounds 10^-x and 10^-y (the sum is at most
// twice the larger one).
double SumPrecision(double x, double y) { return std::min(x, y) - std::log10(2.0); }

// One Newton step to n1 limbs with the error from an FFT square. y ~ 1/sqrt(a) < 1 has
// its top limb at position -1; L is its precision in digits: |u| <= 10^-L, u = 1 - a y^2.
// Returns the precision of the new y, which has exponent -n1.
//
// The exact step y' = y (1 + u/2) gives 1 - a y'^2 = 3u^2/4 + u^3/4, at most 0.76 u^2
// (|u| < 10^-15). The computed step differs from it by:
//   1. y^2 is kept at positions >= -n1 - 4 (the dropped carry is a few units there), then
//      multiplied by a exactly: the error term moves by less than 10^-1 units of position
//      -n1 - 3 (a <= 10^7);
//   2. e = |1 - a y^2| is cut below position -n1 - 2: together |e - |u|| < 1.01 B^(-n1-2);
//   3. y e is kept at positions >= -n1 - 3 and halved (two floors there), and y is
//      extended to exponent -n1 and the correction aligned onto it (one floor of 1 ulp).
// So y' is within 1.02 B^-n1 of y (1 + u/2), which moves a y'^2 by at most 2 sqrt(a) 1.02
// B^-n1: |u'| <= 0.76 u^2 + 2.1 sqrt(a) B^-n1, i.e. the precision returned.
double FftStep(long a, BigInt& y, BigInt& t, long n1, double L) {
    BigInt sq;
    sq.SetView(t.Limbs, 1, n1 + 4, 0);
    sq.Limbs[0] = 0;
    fft::SquareBigInt(y, sq);
    sq.SizeAlloc = n1 + 5;  // a y^2 may carry into one more limb
    BigInt::ShortMul(sq, static_cast<double>(a), sq);

    // a y^2 ~ 1: its distance to 1, and whether y was too large.
    const bool subtract =
        TakeUnitError(sq, "Error in InvSqrtBigInt, the Newton iteration does not converge");
    const double sqrtA = std::sqrt(static_cast<double>(a));
    const double reached = 12.0 * static_cast<double>(n1) - std::log10(2.1 * sqrtA);
    const double next = SumPrecision(2 * L - std::log10(0.76), reached);
    if (IsZero(sq)) {  // y is exact at this precision
        ExtendDown(y, -n1);
        return next;
    }
    // e = |1 - a y^2| cut below position -n1 - 2 (floored).
    BigInt e;
    const long dropE = std::max(0L, (-n1 - 2) - sq.Exp);
    ZEPRIX_CHECK(dropE < sq._N, "Error in InvSqrtBigInt, the Newton iteration does not converge");
    e.SetView(sq.Limbs + dropE, sq._N - dropE, sq._N - dropE, sq.Exp + dropE);

    // corr = y e / 2 at positions >= -n1 - 3, in the scratch after e.
    const long topCorr = TopPosition(y) + TopPosition(e);
    const long lenC = std::max(1L, topCorr - (-n1 - 3));
    double* corrLimbs = e.Limbs + e._N + 1;
    ZEPRIX_CHECK(corrLimbs + lenC + 1 <= t.Limbs + t.SizeAlloc + 1,
                 "Error in InvSqrtBigInt, the scratch number is too small");
    BigInt corr;
    corr.SetView(corrLimbs, 1, lenC, 0);
    corr.Limbs[0] = 0;
    fft::MulBigInt(y, e, corr);
    BigInt::ShortDiv(corr, 2, corr);

    ExtendDown(y, -n1);
    FloorAt(corr, y.Exp);
    if (subtract)
        numbers::SubstractBigInt(y, corr, y);
    else
        numbers::AddBigInt(y, corr, y);
    return next;
}

// The last step, at y's full length C (exponent -C), with the error from the band of
// a y^2 at positions lo = -C - 4 .. hi = -floor(L/12) + 1 (<= -1): every higher position of
// a y^2 is that of 1, since |u| <= 10^-L < 10^(12 (hi - 1)), so the band's top limb is 0
// (a y^2 >= 1) or 999999999999 (a y^2 < 1) and the band holds u's limbs. Anything else
// means the FFT steps did not deliver their precision: "PB in try !".
//
// Error: the band is within (1 + a) units of position lo below a y^2 (ScaledSquareBand),
// less than 10^-4 units of position -C - 3; the quadratic term 3u^2/4 is below 10^-(2L);
// the product y e / 2 uses y's limbs down to where they reach position -C - 3 (the others
// contribute below one unit there) and is floored there twice; the alignment onto y
// floors once at -C. So |y' - 1/sqrt(a)| <= 1.02 (1 + small) units of B^-C, and below 2.
void BandStep(long a, BigInt& y, BigInt& t, double L) {
    const long C = y._N;
    const long lo = -C - 4;
    const long hi = std::min(-1L, -static_cast<long>(std::floor(L / 12)) + 1);
    const long w = hi - lo + 1;
    ZEPRIX_CHECK(w + 2 <= t.SizeAlloc, "Error in InvSqrtBigInt, the scratch number is too small");
    double* band = t.Limbs;
    detail::ScaledSquareBand(a, y, lo, w, band);

    const double top = band[w - 1];
    bool subtract;
    if (top == 0) {
        subtract = true;  // a y^2 >= 1: e = the band
    } else if (top == kBigBase - 1) {
        subtract = false;  // a y^2 < 1: e = 10^(12 w) - band, the ten's complement
        long i = 0;
        while (i < w && band[i] == 0) ++i;
        if (i < w) {
            band[i] = kBigBase - band[i];
            for (++i; i < w; ++i) band[i] = kBigBase - 1 - band[i];
        }
    } else {
        core::FatalError("PB in try !");
    }
    BigInt e;
    e.SetView(band, w, w, lo);
    e.TrimBigInt();
    if (IsZero(e)) return;

    // y's limbs that reach position -C - 3 through e: positions >= -C - 3 - top(e).
    const long m = std::min(y._N, std::max(1L, C + 3 + TopPosition(e)));
    BigInt yv;
    yv.SetView(y.Limbs + (y._N - m), m, m, y.Exp + (y._N - m));
    const long lenC = std::max(1L, TopPosition(yv) + TopPosition(e) - (-C - 3));
    BigInt corr;
    corr.SetView(band + w + 1, 1, lenC, 0);
    ZEPRIX_CHECK(w + 1 + lenC + 1 <= t.SizeAlloc + 1,
                 "Error in InvSqrtBigInt, the scratch number is too small");
    numbers::SmallBigIntMul(yv, e, corr);
    BigInt::ShortDiv(corr, 2, corr);
    FloorAt(corr, y.Exp);
    if (subtract)
        numbers::SubstractBigInt(y, corr, y);
    else
        numbers::AddBigInt(y, corr, y);
}

}  // namespace

namespace detail {

// Column k of y^2 (k = i + j over y's limbs) lies at position k + 2 Exp. With N limbs below
// 10^12 < 2^40, a column sums at most N products below 2^80: exact in 128 bits for
// N < 2^47. The columns are carried from the lowest guard column up; the two guard
// columns carry the ignored lower columns' share only partly: those sum to less than
// N B^2 / (B - 1) units of the first guard column, i.e. less than N / B < 1 unit of
// position lo after the carry. Multiplying by a adds a factor a to that shortfall.
void ScaledSquareBand(long a, const BigInt& y, long lo, long w, double* band) {
    const long N = y._N;
    const long kLo = lo - 2 * y.Exp;
    constexpr long kGuard = 2;
    const double* p = y.Limbs;
    // The columns' sums; a long y is cut into one range of i per thread, whose partial sums
    // are added after (integers below 2^128: the total is the same in any order).
    const long k0 = kLo - kGuard, cols = kGuard + w;
    const int parts = N >= kParallelBandLimbs ? core::ThreadCount() : 1;
    std::vector<u128> partial(static_cast<std::size_t>(parts * cols), 0);
    auto sum = [&](long k, long iFrom, long iTo) {
        // i < j = k - i over [iFrom, iTo), doubled, plus the diagonal when i = k / 2 is in it.
        u128 col = 0;
        if (k < 0 || k > 2 * N - 2) return col;
        long i = std::max({0L, k - (N - 1), iFrom});
        const long iEnd = std::min(iTo, (k + 1) / 2);  // i < k - i
        for (; i < iEnd; ++i)
            col += static_cast<u128>(static_cast<unsigned long long>(p[i])) *
                   static_cast<unsigned long long>(p[k - i]);
        col *= 2;
        if (k % 2 == 0 && k / 2 >= iFrom && k / 2 < iTo) {
            const unsigned long long v = static_cast<unsigned long long>(p[k / 2]);
            col += static_cast<u128>(v) * v;
        }
        return col;
    };
    core::ParallelFor(parts, [&](long t, int) {
        const long iFrom = N * t / parts, iTo = N * (t + 1) / parts;
        for (long c = 0; c < cols; ++c)
            partial[static_cast<std::size_t>(t * cols + c)] = sum(k0 + c, iFrom, iTo);
    });
    u128 carry = 0;
    for (long c = 0; c < cols; ++c) {
        u128 col = 0;
        for (int t = 0; t < parts; ++t) col += partial[static_cast<std::size_t>(t * cols + c)];
        const u128 v = col + carry;
        carry = v / kB;
        if (c >= kGuard) band[c - kGuard] = static_cast<double>(static_cast<unsigned long long>(v % kB));
    }
    // times a, modulo 10^(12 w)
    u128 c = 0;
    for (long i = 0; i < w; ++i) {
        const u128 v = static_cast<u128>(static_cast<unsigned long long>(band[i])) *
                           static_cast<unsigned long long>(a) +
                       c;
        band[i] = static_cast<double>(static_cast<unsigned long long>(v % kB));
        c = v / kB;
    }
}

}  // namespace detail

// The schedule, with L the precision in digits (|1 - a y^2| <= 10^-L):
//   - start: d = 1/sqrt(a) in doubles (relative error below 3.4 10^-16 after the two
//     limbs are cut out of it with 10^12 d, whose rounding adds 1.1 10^-16), y1 =
//     floor(10^12 d), y0 = floor(10^12 (10^12 d - y1)) (the difference is exact); the
//     floors cost 10^-24: |u| < 10^-15, L = 15;
//   - steps to n1 = min(C, ceil(2L / 12) + 1) limbs: L' >= 2L - 0.18 (FftStep) until n1
//     reaches C, where L' >= 12 C - 4.2;
//   - restart, once, after the first step that reaches C/16 limbs: h = C halved until
//     h <= L/12 - 3, y cut to h + 3 limbs (L = 12 (h + 3) - log10(2 sqrt(a)) - 0.3).
//     With j halvings, (h + 1) 2^j > C, and j doublings give L > 12 C + 19 2^j: the
//     doublings land on C instead of overshooting it by up to a factor of two;
//   - the band step at C.
void InvSqrtBigInt(long a, BigInt& y, BigInt& t) {
    if (a < 2 || a > kInvSqrtMaxA)
        core::FatalError("Error in InvSqrtBigInt, a must be between 2 and 10^7");
    const long C = y.SizeAlloc;
    ZEPRIX_CHECK(C >= 2, "Error in InvSqrtBigInt, the capacity of y is below 2 limbs");
    ZEPRIX_CHECK(t.SizeAlloc >= C + 24, "Error in InvSqrtBigInt, the scratch number is too small");

    const TwoLimbs start = InvSqrtStart(a);
    y.Limbs[0] = start.lo;
    y.Limbs[1] = start.hi;
    y._N = 2;
    y.Exp = -2;
    if (C == 2) return;

    const double sqrtA = std::sqrt(static_cast<double>(a));
    double L = 15;
    bool restarted = false;
    for (;;) {
        const long n1 = std::min(C, static_cast<long>(std::ceil(2 * L / 12)) + 1);
        L = FftStep(a, y, t, n1, L);
        if (n1 == C && L >= 12.0 * static_cast<double>(C) - 8) break;
        if (!restarted && n1 >= C / 16 && n1 < C) {
            restarted = true;
            long h = C;
            while (h > 0 && static_cast<double>(h) > L / 12 - 3) h >>= 1;
            if (h >= 1 && h + 3 < y._N) {
                KeepTop(y, h + 3);
                L = 12.0 * static_cast<double>(h + 3) - std::log10(2 * sqrtA) - std::log10(2.0);
            }
        }
    }
    ExtendDown(y, -C);
    BandStep(a, y, t, L);
    ZEPRIX_CHECK(y._N == C && y.Exp == -C && y.Limbs[C - 1] > 0,
                 "Error in InvSqrtBigInt, the result is not 1/sqrt(a)");
}

}  // namespace zeprix::newton
