// Newton iterations on DiskInts: y <- y + y (1 - x y) for the reciprocal and
// y <- y + y (1 - a y^2) / 2 for the inverse square root, with doubling precision, and the
// shifted accumulation they share. Schedules and error budgets: docs/notes/disk_newton.md.
#include "disk/disk_newton.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "core/check.hpp"
#include "core/console.hpp"
#include "disk/blocks.hpp"
#include "disk/disk_arith.hpp"
#include "newton/start.hpp"

namespace zeprix::disk {

namespace {

constexpr double kBase = 1e12;
constexpr double kTopLimb = kBase - 1.0;

constexpr const char* kInverseDiverges = "Error in Inverse, the Newton iteration does not converge";
constexpr const char* kInvSqrtDiverges = "Error in InvSqrt, the Newton iteration does not converge";

// The reciprocal's schedule restarts after the first step that reaches this many limbs,
// cutting y to h + 3 limbs, h = the target halved until it is at most kInverseRestartBase;
// the inverse square root does the same with its own two constants (its steps cost a
// square, a small product, a product and a halving).
constexpr long kInverseRestartLength = 512;
constexpr long kInverseRestartBase = 480;
constexpr long kInvSqrtRestartLength = 256;
constexpr long kInvSqrtRestartBase = 240;

// Limbs of one half of the disk work buffer: the block length of the passes below.
long BlockLimbs() {
    const long m = Memory().blockLimbs;
    ZEPRIX_CHECK(m >= 1, "Error, the disk memory is not initialised (InitDiskMemory)");
    return m;
}

double ReadLimb(const DiskInt& d, long i) {
    double v;
    ReadLimbs(d, &v, 1, i);
    return v;
}

// Drops d's k lowest limbs (a floor): the others move down k places, Shift rises by k.
void DropLow(DiskInt& d, long k) {
    if (k <= 0) return;
    if (k >= d._N) {
        const double zero = 0.0;
        WriteLimbs(d, &zero, 1, 0);
        d._N = 1;
        d.Shift += k;
        return;
    }
    const long bl = BlockLimbs();
    double* buf = Memory().work.data();
    for (long p = 0; p < d._N - k; p += bl) {
        const long n = std::min(bl, d._N - k - p);
        ReadLimbs(d, buf, n, p + k);
        WriteLimbs(d, buf, n, p);
    }
    d._N -= k;
    d.Shift += k;
}

// t ~ 1, kept at positions >= t.Shift: either 1.000.. (top limb 1 at position 0) or
// 0.999.. (top limb 999999999998 or 999999999999 at position -1). Replaces t by |1 - t|,
// trimmed, and returns true when t >= 1 (the correction is then subtracted). Anything else
// means the iteration does not converge: fatal `message`.
bool UnitError(DiskInt& t, const char* message) {
    const long topPos = t.Shift + t._N - 1;
    const double top = ReadLimb(t, t._N - 1);
    if (topPos == 0 && top == 1.0) {
        const double zero = 0.0;
        WriteLimbs(t, &zero, 1, t._N - 1);
        Trim(t);
        return true;
    }
    ZEPRIX_CHECK(topPos == -1 && top >= kTopLimb - 1.0, message);
    // 1 - t = 10^(12 N) - T in units of t's last limb (N + Shift = 0): the ten's complement,
    // B - v at the lowest nonzero limb v, B - 1 - v above it.
    const long bl = BlockLimbs();
    double* buf = Memory().work.data();
    bool found = false;
    for (long p = 0; p < t._N; p += bl) {
        const long n = std::min(bl, t._N - p);
        ReadLimbs(t, buf, n, p);
        for (long i = 0; i < n; ++i) {
            if (found) {
                buf[i] = kTopLimb - buf[i];
            } else if (buf[i] != 0.0) {
                buf[i] = kBase - buf[i];
                found = true;
            }
        }
        WriteLimbs(t, buf, n, p);
    }
    Trim(t);
    return false;
}

// The end of a step, shared by both iterations: e = |u| (in t, trimmed, at positions
// >= -n1 - guard), y ~ the current value with |u| <= 10^-digits. Forms the correction
// y e (halved for the square root) at positions >= -n1 - guard, floors it at -n1 and
// adds or subtracts it with y extended to n1 fractional limbs (Shift -n1).
//
// The correction goes to u (Offset 0 on entry and on return). Guard: |u| must not exceed
// the precision the schedule claims, so that a wrong product cannot pass as a converged
// one.
void Correct(DiskInt& y, DiskInt& e, DiskInt& u, long n1, double digits, long guard, bool subtract,
             bool halve, const char* message) {
    u._N = 0;
    u.Shift = 0;
    const bool zero = e._N == 1 && ReadLimb(e, 0) == 0.0;
    if (!zero) {
        ZEPRIX_CHECK(e.Shift + e._N - 1 <= -static_cast<long>(std::floor(digits / 12)), message);
        // Product positions >= -n1 - guard: L limbs below the top of the full product.
        const long L = e.Shift + e._N + y.Shift + y._N + n1 + guard;
        if (L > 0) {
            u.SizeAlloc = L;
            MulDiskInt(e, y, u);
            if (halve) {
                LendWorkBuffer lend;
                HalveDiskInt(u, u);
            }
            // The full product reaches below -n1 - guard (y has at least two limbs and e
            // starts at or below -n1 - guard), so the product was cut there.
            ZEPRIX_CHECK(u.Shift <= -n1, message);
            const long drop = -n1 - u.Shift;
            if (drop >= u._N) {
                u._N = 0;
            } else {
                MoveOffset(u, u.Offset + drop);
            }
        }
    }
    ShiftAndAdd(y, n1 + y.Shift, u, subtract ? -1 : 1);
    y.Shift = -n1;
    if (u.Offset != 0) MoveOffset(u, 0);
}

bool SameFiles(const DiskInt& a, const DiskInt& b) { return std::strcmp(a.Name, b.Name) == 0; }

// The corrections y e of an iteration to C limbs: a DiskInt of their own, named after t
// with "n" appended, whose files are deleted when the iteration ends (on a fatal error
// too, when the exit unwinds).
struct Correction {
    DiskInt u;
    long C;
    Correction(const DiskInt& t, long target) : C(target) {
        u.Init((std::string(t.Name) + "n").c_str(), 0);
    }
    ~Correction() {
        u.SizeAlloc = C + 16;  // every product of the iteration stays below this length
        u.Free();
    }
    Correction(const Correction&) = delete;
    Correction& operator=(const Correction&) = delete;
};

// Keeps y's limbs at positions >= -n (the restart cut, a floor).
void CutTo(DiskInt& y, long n) { DropLow(y, -n - y.Shift); }

// The percentage of the target that y has reached, rounded by the format; a second step at
// the target (small targets) shows 99, so that the display never reaches 100.
void PrintProgress(long n, long C) {
    core::Print("\b\b\b%2.0lf%%",
                std::min(99.0, 100.0 * static_cast<double>(n) / static_cast<double>(C)));
}

}  // namespace

// Phase 1 moves y up (top block first, so nothing is overwritten before it is read);
// phase 2 adds sign u from the bottom over [0, max(N(u), shift)), where the positions below
// shift held no limb of y; phase 3 carries on into y's limbs only while a carry is left,
// in chunks that start small and double. Every sum lies in [-10^12 - 2, 2 10^12), exact.
void ShiftAndAdd(DiskInt& y, long shift, DiskInt& u, int sign) {
    ZEPRIX_CHECK(shift >= 0 && (sign == 1 || sign == -1), "Error in ShiftAndAdd, bad arguments");
    const long ny = y._N, nu = u._N;
    const long n = ny + shift;
    bool reported = n > y.SizeAlloc;
    if (reported) core::Print("\n\nPb in ShiftAndAdd, NN=%ld, SizeAlloc=%ld\n", n, y.SizeAlloc);
    const long bl = BlockLimbs();
    double* by = Memory().work.data();
    double* bu = by + bl;
    if (shift > 0) {
        for (long hi = ny; hi > 0;) {
            const long lo = std::max(0L, hi - bl);
            ReadLimbs(y, by, hi - lo, lo);
            WriteLimbs(y, by, hi - lo, lo + shift);
            hi = lo;
        }
    }
    const long len = std::max(n, nu);
    if (!reported && len > y.SizeAlloc) {
        reported = true;
        core::Print("\n\nPb in ShiftAndAdd, NN=%ld, SizeAlloc=%ld\n", len, y.SizeAlloc);
    }
    const long first = std::max(nu, shift);
    const double s = static_cast<double>(sign);
    double carry = 0.0;
    for (long p = 0; p < first; p += bl) {
        const long k = std::min(bl, first - p);
        // y's limbs at positions [max(p, shift), min(p + k, n)), zeros elsewhere.
        const long y0 = std::max(p, shift), y1 = std::min(p + k, n);
        std::fill(by, by + k, 0.0);
        if (y1 > y0) ReadLimbs(y, by + (y0 - p), y1 - y0, y0);
        const long ku = std::clamp(nu - p, 0L, k);
        ReadLimbs(u, bu, ku, p);
        for (long i = 0; i < k; ++i) {
            double v = by[i] + carry + (i < ku ? s * bu[i] : 0.0);
            carry = NormaliseLimb(v);
            by[i] = v;
        }
        WriteLimbs(y, by, k, p);
    }
    long p = first;
    for (long chunk = 4; carry != 0.0 && p < len; chunk = std::min(2 * chunk, bl)) {
        const long k = std::min(chunk, len - p);
        ReadLimbs(y, by, k, p);
        long i = 0;
        for (; i < k && carry != 0.0; ++i) {
            by[i] += carry;
            carry = NormaliseLimb(by[i]);
        }
        WriteLimbs(y, by, i, p);
        p += i;
    }
    y._N = len;
    if (carry != 0.0) {
        if (!reported && len + 1 > y.SizeAlloc)
            core::Print("\n\nPb in ShiftAndAdd, NN=%ld, SizeAlloc=%ld\n", len + 1, y.SizeAlloc);
        WriteLimbs(y, &carry, 1, len);
        y._N = len + 1;
    }
    Trim(y);
}

namespace detail {

// Precision p in limbs: |1 - x~ y| <= c 10^(-12 p), c close to 1. A step to
// n1 = min(2p + 2, C) limbs reaches min(2p, n1 - 2) (docs/notes/disk_newton.md). The loop
// ends after a step at C from 2p >= C, or after a second step at C (targets of at most 514
// limbs, which have no restart: the first step at C leaves |1 - x~ y| below
// 3 10^(-12 (C - 1)), whatever p claims).
std::vector<NewtonStep> InverseSchedule(long C) {
    std::vector<NewtonStep> steps;
    if (C <= 2) return steps;
    long p = 1;
    bool restarted = false, atCapacity = false;
    for (;;) {
        const long n1 = std::min(2 * p + 2, C);
        NewtonStep st{n1, 0, 12.0 * static_cast<double>(p)};
        const bool done = n1 == C && (2 * p >= C || atCapacity);
        atCapacity = n1 == C;
        p = std::min(2 * p, n1 - 2);
        if (!done && !restarted && n1 >= kInverseRestartLength && n1 < C) {
            long h = C;
            while (h > kInverseRestartBase) h >>= 1;
            st.cut = h + 3;  // precision h + 1: the cut costs less than 10^(-12 (h + 2))
            p = h + 1;
            restarted = true;
        }
        steps.push_back(st);
        if (done) return steps;
    }
}

// Precision L in digits: |1 - a y^2| <= 10^-L. A step to n1 limbs gives
// L' = min(2L - log10 0.76, 12 n1 - log10(2.1 sqrt a)) - log10 2, with
// n1 = min(C, ceil(2L / 12) + 1) (one guard limb: L' >= 2L - 0.18 below the cap). The
// loop ends after the step at C that starts from L >= 6 C.
std::vector<NewtonStep> InvSqrtSchedule(long a, long C) {
    std::vector<NewtonStep> steps;
    if (C <= 2) return steps;
    const double sqrtA = std::sqrt(static_cast<double>(a));
    const double cutLoss = std::log10(2.0 * sqrtA) + std::log10(2.0);
    double L = 15.0;  // InvSqrtStart: |1 - a y^2| < 10^-15
    bool restarted = false;
    for (;;) {
        const long n1 = std::min(C, static_cast<long>(std::ceil(2.0 * L / 12.0)) + 1);
        NewtonStep st{n1, 0, L};
        const bool done = n1 == C && L >= 6.0 * static_cast<double>(C);
        L = std::min(2.0 * L - std::log10(0.76),
                     12.0 * static_cast<double>(n1) - std::log10(2.1 * sqrtA)) -
            std::log10(2.0);
        if (!done && !restarted && n1 >= kInvSqrtRestartLength && n1 < C) {
            long h = C;
            while (h > kInvSqrtRestartBase || 12.0 * static_cast<double>(h + 3) > L) h >>= 1;
            st.cut = h + 3;
            L = 12.0 * static_cast<double>(h + 3) - cutLoss;
            restarted = true;
        }
        steps.push_back(st);
        if (done) return steps;
    }
}

}  // namespace detail

// The iteration runs on the normalised problem: x~ = x's limbs read as a number in
// [1, 10^12) (x's Shift set to 1 - N(x) for the call), y ~ 1/x~ with n fractional limbs
// (Shift -n), its top limb at position -1 (at 0 only if y reaches 1, which the extra limb
// of capacity allows during the call). The exponent of x is put back at the end.
//
// One step to n1 limbs (error budget in docs/notes/disk_newton.md):
//   1. x~ is cut to its top m = n1 + 2 limbs (moving x's Offset);
//   2. t = x~_m y kept at positions >= -n1 - 1 (t's capacity lowered for the product);
//   3. e = |1 - t| and the sign, in place in t;
//   4. y e kept at positions >= -n1 - 2, floored at -n1 and added with y extended.
void Inverse(DiskInt& x, DiskInt& y, DiskInt& t) {
    const long C = y.SizeAlloc;
    const long Nx = x._N;
    ZEPRIX_CHECK(C >= 2, "Error in Inverse, the capacity of y is below 2 limbs");
    ZEPRIX_CHECK(t.SizeAlloc >= C + 16, "Error in Inverse, scratch t is too small");
    Correction corr(t, C);
    ZEPRIX_CHECK(!SameFiles(x, y) && !SameFiles(x, t) && !SameFiles(y, t) &&
                     !SameFiles(x, corr.u) && !SameFiles(y, corr.u),
                 "Error in Inverse, x, y, t and the corrections must have different names");
    ZEPRIX_CHECK(Nx >= 1, "Error in Inverse, x must be positive");
    BlockLimbs();
    double top[3] = {0.0, 0.0, 0.0};  // top[2] = x's top limb
    const long k = std::min(3L, Nx);
    ReadLimbs(x, top + (3 - k), k, Nx - k);
    ZEPRIX_CHECK(top[2] > 0.0 && top[2] < kBase, "Error in Inverse, x must be positive");

    newton::TwoLimbs start = newton::InverseStart(top[2], top[1], top[0]);
    // x~ within 10^-16 of 1 gives hi = 10^12: y = 1 - 10^-24 keeps y below 1 and within
    // the starting precision.
    if (start.hi >= kBase) start = {kTopLimb, kTopLimb};
    const double y2[2] = {start.lo, start.hi};
    WriteLimbs(y, y2, 2, 0);
    y._N = 2;
    y.Shift = -2;

    const long s = x.Shift;
    x.Shift = 1 - Nx;
    const long offset = x.Offset;
    const long tAlloc = t.SizeAlloc;
    y.SizeAlloc = C + 1;
    core::Print("Inverse :  0%%");
    for (const detail::NewtonStep& st : detail::InverseSchedule(C)) {
        PrintProgress(y._N, C);
        const long n1 = st.length;
        const long m = std::min(n1 + 2, Nx);
        MoveOffset(x, offset + (Nx - m));
        t.SizeAlloc = n1 + 2 + (y.Shift + y._N);  // positions >= -n1 - 1
        MulDiskInt(x, y, t);
        t.SizeAlloc = tAlloc;
        MoveOffset(x, offset);
        const bool subtract = UnitError(t, kInverseDiverges);
        Correct(y, t, corr.u, n1, st.digits, 2, subtract, false, kInverseDiverges);
        if (st.cut > 0) CutTo(y, st.cut);
    }
    core::Print("\b\b\b  Done\n");
    y.SizeAlloc = C;
    // y reached 1 (x~ within a few units of 10^(-12 C) of 1): one limb above the
    // fractional ones, the lowest one goes.
    if (y._N > C) DropLow(y, y._N - C);
    x.Shift = s;
    y.Shift -= Nx - 1 + s;
}

// y ~ 1/sqrt(a) in (3.1 10^-4, 0.71): n fractional limbs (Shift -n), top limb at -1.
// One step to n1 limbs:
//   1. t = y^2 kept at positions >= -n1 - 4 (t's capacity lowered for the square), then
//      t = a t exactly;
//   2. e = |1 - a y^2| and the sign, in place in t;
//   3. y e kept at positions >= -n1 - 3, halved, floored at -n1 and added with y
//      extended.
void InvSqrt(long a, DiskInt& y, DiskInt& t) {
    if (a < 2 || a > 10000000) core::FatalError("Error in InvSqrt, a must be between 2 and 10^7");
    const long C = y.SizeAlloc;
    ZEPRIX_CHECK(C >= 2, "Error in InvSqrt, the capacity of y is below 2 limbs");
    ZEPRIX_CHECK(t.SizeAlloc >= C + 16, "Error in InvSqrt, scratch t is too small");
    Correction corr(t, C);
    ZEPRIX_CHECK(!SameFiles(y, t) && !SameFiles(y, corr.u),
                 "Error in InvSqrt, y, t and the corrections must have different names");
    BlockLimbs();
    const newton::TwoLimbs start = newton::InvSqrtStart(a);
    const double y2[2] = {start.lo, start.hi};
    WriteLimbs(y, y2, 2, 0);
    y._N = 2;
    y.Shift = -2;

    const long tAlloc = t.SizeAlloc;
    core::Print("SquareRoot :  0%%");
    for (const detail::NewtonStep& st : detail::InvSqrtSchedule(a, C)) {
        PrintProgress(y._N, C);
        const long n1 = st.length;
        t.SizeAlloc = 2 * (y.Shift + y._N) + n1 + 4;  // positions >= -n1 - 4
        SquareDiskInt(y, t);
        t.SizeAlloc = tAlloc;
        MulDiskIntBySmall(t, static_cast<double>(a), t);
        const bool subtract = UnitError(t, kInvSqrtDiverges);
        Correct(y, t, corr.u, n1, st.digits, 3, subtract, true, kInvSqrtDiverges);
        if (st.cut > 0) CutTo(y, st.cut);
    }
    core::Print("\b\b\b  Done\n");
    ZEPRIX_CHECK(y._N == C && y.Shift == -C, "Error in InvSqrt, the result is not 1/sqrt(a)");
}

}  // namespace zeprix::disk
