// Linear-time and small-operand arithmetic on BigInt: addition and subtraction with
// exponent alignment, products and quotients by a small integer, schoolbook products
// with a SmallInt or a short BigInt, and the conversion from SmallInt.
#include "numbers/schoolbook.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/check.hpp"
#include "core/fatal.hpp"
#include "core/parallel.hpp"
#include "numbers/int_kernels.hpp"
#include "numbers/limbs.hpp"

namespace zeprix::numbers {

using detail::FloorDiv;
using std::int64_t;

namespace {

constexpr int64_t kB = 1000000000000;  // 10^12
constexpr double kBd = 1e12;
constexpr int64_t kHalf = 1000000;  // 10^6, half a limb

// Returns s mod 10^12 and sets c = floor(s / 10^12), s an integer below 2^52 in magnitude.
// Canonical operands give s in [-10^12, 2 * 10^12), one comparison away.
inline double CarryStep(double s, double& c) {
    if (s >= 0) {
        if (s < kBd) {
            c = 0;
            return s;
        }
        if (s < 2 * kBd) {
            c = 1;
            return s - kBd;
        }
    } else if (s >= -kBd) {
        c = -1;
        return s + kBd;
    }
    double rem;
    c = FloorDivExact(s, kBd, kBigInvBase, rem);
    return rem;
}

// Aligned view of an operand at limb exponent e >= x.Exp: its limbs from e - x.Exp on.
// When every limb lies below e, the dropped value floored is 0, or -1 for a negative
// operand, which is then read as the single limb -1. Dropping the canonical low limbs of
// any other operand floors it as well, so the aligned operand is floor(x / 10^(12 (e - Exp))).
struct Aligned {
    const double* limbs;
    long n;
};
constexpr double kMinusOne = -1.0;

Aligned AlignAt(const BigInt& x, long e) {
    const long drop = e - x.Exp;
    if (drop < x._N) return {x.Limbs + drop, x._N - drop};
    if (x.Limbs[x._N - 1] < 0) return {&kMinusOne, 1};
    return {x.Limbs, 0};
}

// Limbs lo .. hi - 1 of x + Sign y (absent limbs read as zero) carried into pr from carry
// c; returns the carry out. pr[i] is written after x[i] and y[i] are read.
template <int Sign>
double CarryRun(const Aligned& x, const Aligned& y, double* pr, long lo, long hi, double c) {
    const long common = std::min(x.n, y.n);
    long i = lo;
    for (const long end = std::min(hi, common); i < end; ++i)
        pr[i] = CarryStep(c + x.limbs[i] + Sign * y.limbs[i], c);
    for (const long end = std::min(hi, x.n); i < end; ++i) pr[i] = CarryStep(c + x.limbs[i], c);
    for (const long end = std::min(hi, y.n); i < end; ++i)
        pr[i] = CarryStep(c + Sign * y.limbs[i], c);
    return c;
}

// Sums of at least this many limbs are carried by all the threads.
constexpr long kParallelMinLimbs = 1L << 16;
// Limbs of an operand read ahead of the result that are copied at a block boundary.
constexpr long kMaxCopied = 4096;

// An operand can be read by one thread while another writes r when it is r's own limbs at
// the same positions, or lies apart from them.
bool SafeBeside(const double* x, long xn, const double* pr, long n) {
    const auto xb = reinterpret_cast<std::uintptr_t>(x);
    const auto rb = reinterpret_cast<std::uintptr_t>(pr);
    return x == pr || xb + sizeof(double) * static_cast<std::uintptr_t>(xn) <= rb ||
           rb + sizeof(double) * static_cast<std::uintptr_t>(n) <= xb;
}
bool SafeBeside(const Aligned& x, const double* pr, long n) {
    return SafeBeside(x.limbs, x.n, pr, n);
}

// d > 0 when x is r's own limbs d positions up (r is that operand, its low limbs dropped
// by the alignment), else 0.
long AheadOf(const Aligned& x, const double* pr, long n) {
    const auto xb = reinterpret_cast<std::uintptr_t>(x.limbs);
    const auto rb = reinterpret_cast<std::uintptr_t>(pr);
    if (xb <= rb || xb >= rb + sizeof(double) * static_cast<std::uintptr_t>(n)) return 0;
    return static_cast<long>((xb - rb) / sizeof(double));
}

// Adds the carry of each block (limbs bound[b] .. bound[b + 1] - 1, carried from no carry)
// at the start of the next block and ripples it while a limb leaves [0, 10^12); returns
// the carry above the last block. Carries are integers below 2^51 in magnitude.
double RippleCarries(double* pr, const std::vector<long>& bound, const std::vector<double>& carry) {
    double c = carry[0];
    for (std::size_t b = 1; b < carry.size(); ++b) {
        for (long i = bound[b]; i < bound[b + 1] && c != 0.0; ++i) pr[i] = CarryStep(pr[i] + c, c);
        c += carry[b];
    }
    return c;
}

// pr[0 .. n) = x + Sign y carried; returns the final carry. Long sums run in one block per
// thread from no carry; each block's carry is then added at the start of the next block and
// rippled while a limb leaves [0, 10^12). Every limb ends in [0, 10^12) and the carry
// holds the rest, which fixes both: the result is the serial chain's, limb for limb.
// An operand d limbs ahead of r (r's own limbs read d positions up) is read by each block
// in the block's own limbs, which the block overwrites only after reading them, except in
// its last d limbs: those read the first d limbs of the block above, so they are copied
// before any block starts (d up to kMaxCopied and a quarter of a block). When d is at
// least an eighth of the sum, the limbs go in rounds of d instead, each round in blocks: a
// round reads only limbs of the rounds above. Any other overlap keeps the single chain.
template <int Sign>
double CarrySum(const Aligned& x, const Aligned& y, double* pr, long n) {
    const int parts = n >= kParallelMinLimbs ? core::ThreadCount() : 1;
    const long dx = AheadOf(x, pr, n), dy = AheadOf(y, pr, n), d = std::max(dx, dy);
    const bool copies = d <= kMaxCopied && 4 * parts * d <= n;  // and d == 0: one round
    const bool safe = (dx == 0 || dy == 0) && (dx > 0 || SafeBeside(x, pr, n)) &&
                      (dy > 0 || SafeBeside(y, pr, n)) && (copies || 8 * d >= n);
    if (parts == 1 || !safe) return CarryRun<Sign>(x, y, pr, 0, n, 0.0);
    const long width = copies ? n : d, tail = copies ? d : 0;
    std::vector<long> bound;  // the blocks, `round` of them a round
    long round = parts;
    if (d == 0) {
        // Limbs with both operands cost more than limbs with one: each range gets its own
        // blocks, which the threads claim in turn.
        const long common = std::min(x.n, y.n);
        for (long k = 0; k < parts; ++k) bound.push_back(common * k / parts);
        for (long k = 0; k < parts; ++k) bound.push_back(common + (n - common) * k / parts);
        round = 2 * parts;
    } else {
        for (long r0 = 0; r0 < n; r0 += width)
            for (long k = 0, w = std::min(width, n - r0); k < parts; ++k)
                bound.push_back(r0 + w * k / parts);
    }
    bound.push_back(n);
    const long blocks = static_cast<long>(bound.size()) - 1;
    auto at = [&](long b) { return bound[static_cast<std::size_t>(b)]; };
    const Aligned& ahead = dx > 0 ? x : y;
    std::vector<double> saved(static_cast<std::size_t>(tail * blocks));  // tail limbs a block
    for (long b = 0; b + 1 < blocks; ++b)
        for (long j = 0, i = at(b + 1) - tail; j < tail; ++j, ++i)
            saved[static_cast<std::size_t>(b * tail + j)] = i < ahead.n ? ahead.limbs[i] : 0.0;
    std::vector<double> carry(static_cast<std::size_t>(blocks));
    for (long first = 0; first < blocks; first += round) {
        core::ParallelFor(round, [&](long k, int) {
            const long b = first + k, hi = at(b + 1), mid = b + 1 < blocks ? hi - tail : hi;
            double c = CarryRun<Sign>(x, y, pr, at(b), mid, 0.0);
            for (long i = mid; i < hi; ++i) {
                const double copy = saved[static_cast<std::size_t>(b * tail + i - mid)];
                const double xv = dx > 0 ? copy : (i < x.n ? x.limbs[i] : 0.0);
                const double yv = dy > 0 ? copy : (i < y.n ? y.limbs[i] : 0.0);
                pr[i] = CarryStep(c + xv + Sign * yv, c);
            }
            carry[static_cast<std::size_t>(b)] = c;
        });
    }
    return RippleCarries(pr, bound, carry);
}

// fn(lo, hi) over [0, n) in one block per thread for long ranges, else at once.
template <class Fn>
void ForLimbBlocks(long n, Fn fn) {
    const int parts = n >= kParallelMinLimbs ? core::ThreadCount() : 1;
    if (parts == 1) {
        if (n > 0) fn(0L, n);
        return;
    }
    core::ParallelFor(parts, [&](long k, int) { fn(n * k / parts, n * (k + 1) / parts); });
}

}  // namespace

void CopyLimbs(double* dst, const double* src, long n) {
    if (dst == src || n <= 0) return;
    if (!SafeBeside(src, n, dst, n)) {  // overlapping blocks: one move
        std::memmove(dst, src, sizeof(double) * static_cast<std::size_t>(n));
        return;
    }
    ForLimbBlocks(n, [&](long lo, long hi) {
        std::memcpy(dst + lo, src + lo, sizeof(double) * static_cast<std::size_t>(hi - lo));
    });
}

void ZeroLimbs(double* dst, long n) {
    ForLimbBlocks(n, [&](long lo, long hi) {
        std::memset(dst + lo, 0, sizeof(double) * static_cast<std::size_t>(hi - lo));
    });
}

// Alignment: the result's exponent e is the larger exponent, raised further when the
// aligned length of the higher operand exceeds r's capacity; both operands are then read
// floored to exponent e (AlignAt). Writing r[i] after reading limbs i + offset >= i lets
// r be a or b. r's capacity is normally the longer aligned length plus one; with less,
// a final carry drops r's lowest limb (AppendCarryBigInt).
void AddBigInt(const BigInt& a0, const BigInt& b0, BigInt& r) {
    const bool aHigher = a0._N + a0.Exp >= b0._N + b0.Exp;
    const BigInt& a = aHigher ? a0 : b0;
    const BigInt& b = aHigher ? b0 : a0;
    long e = std::max(a.Exp, b.Exp);
    const long la0 = a._N - (e - a.Exp);  // >= 1: a's top position is the higher
    if (la0 > r.SizeAlloc) e += la0 - r.SizeAlloc;
    const Aligned x = AlignAt(a, e), y = AlignAt(b, e);
    const long n = std::max(x.n, y.n);
    const double c = CarrySum<1>(x, y, r.Limbs, n);
    r._N = std::max(n, 1L);
    if (n == 0) r.Limbs[0] = 0;
    r.Exp = e;
    AppendCarryBigInt(r, c);
}

void SubstractBigInt(const BigInt& a, const BigInt& b, BigInt& r) {
    if (r.SizeAlloc < a._N || r.SizeAlloc < b._N)
        core::FatalError("Allocation Problem in SubstractBigInt\n");
    const long e = std::max(a.Exp, b.Exp);
    const Aligned x = AlignAt(a, e), y = AlignAt(b, e);
    const long n = std::max(x.n, y.n);
    const double c = CarrySum<-1>(x, y, r.Limbs, n);
    r._N = std::max(n, 1L);
    if (n == 0) r.Limbs[0] = 0;
    r.Exp = e;
    AppendCarryBigInt(r, c);
}

// |m| <= 3000: each a[i] * m is below 3 * 10^15 < 2^53, exact in a double.
// Otherwise, in int64 with m = mh 10^6 + ml and a[i] = ah 10^6 + al (ml, al in [0, 10^6),
// |ah| <= 10^6 for canonical limbs, |mh| <= 10^9):
//   mid = al mh + ah ml              |mid| <= 10^15 + 10^12
//   mid = mq 10^6 + mr               mr in [0, 10^6)
//   t = al ml + mr 10^6 + c          |t| < 2 * 10^12 + |c|
//   r[i] = t mod 10^12, c = ah mh + mq + floor(t / 10^12)    |c| < 1.01 * 10^15
// The final carry is appended above the top (dropping low limbs of a full r).
void BigInt::ShortMul(const BigInt& a, double m, BigInt& r) {
    if (std::fabs(m) > 1e15) core::FatalError("ERROR in BigInt::ShortMul, m is too big");
    ZEPRIX_ASSERT(m == std::floor(m));
    const long cut = std::max(0L, a._N - r.SizeAlloc);
    const long n = a._N - cut;
    const long e = a.Exp + cut;
    const double* pa = a.Limbs + cut;
    double* pr = r.Limbs;
    if (std::fabs(m) <= 3000) {
        for (long i = 0; i < n; ++i) pr[i] = pa[i] * m;
        r._N = n;
        r.Exp = e;
        r.UpdateBigInt();
        return;
    }
    int64_t ml;
    const int64_t mh = FloorDiv<kHalf>(static_cast<int64_t>(m), ml);
    // Limbs lo .. hi - 1 of a m from carry c; returns the carry out.
    auto run = [&](long lo, long hi, int64_t c) {
        for (long i = lo; i < hi; ++i) {
            ZEPRIX_ASSERT(std::fabs(pa[i]) < kBd);
            int64_t al;
            const int64_t ah = FloorDiv<kHalf>(static_cast<int64_t>(pa[i]), al);
            int64_t mr;
            const int64_t mq = FloorDiv<kHalf>(al * mh + ah * ml, mr);
            int64_t rem;
            const int64_t q = FloorDiv<kB>(al * ml + mr * kHalf + c, rem);
            pr[i] = static_cast<double>(rem);
            c = ah * mh + mq + q;
        }
        return c;
    };
    // Long numbers: one block per thread from no carry, then each block's carry added at
    // the start of the next and rippled (|carry| < 1.01 10^15 leaves a few limbs at most
    // out of [0, 10^12)). Limbs in [0, 10^12) and the carry above them fix the result:
    // it is the serial chain's.
    const int parts =
        n >= kParallelMinLimbs && SafeBeside(pa, n, pr, n) ? core::ThreadCount() : 1;
    double c = 0.0;
    if (parts == 1) {
        c = static_cast<double>(run(0, n, 0));
    } else {
        std::vector<long> bound;
        for (long k = 0; k <= parts; ++k) bound.push_back(n * k / parts);
        std::vector<double> carry(static_cast<std::size_t>(parts));
        core::ParallelFor(parts, [&](long k, int) {
            const auto b = static_cast<std::size_t>(k);
            carry[b] = static_cast<double>(run(bound[b], bound[b + 1], 0));
        });
        c = RippleCarries(pr, bound, carry);
    }
    r._N = n;
    r.Exp = e;
    AppendCarryBigInt(r, c);
}

// r = floor(a / m) on a's limbs (the remainder is discarded), m a nonzero whole number
// with |m| <= 1000. From the top down, with remainder rho in [0, |m|):
// t = rho 10^12 + a[i] (|t| < 1001 * 10^12, int64), r[i] = floor(t / |m|), which lies in
// [0, 10^12) below the top. A negative m negates the quotient by |m| and subtracts one
// when the remainder is nonzero. r may be a.
// When |m| divides 10^12, rho 10^12 is a multiple of |m|, so the remainder after limb i
// is a[i] mod |m| whatever lies above: long numbers then go in one block per thread, each
// starting from the floor-mod of the limb above it (read before any block writes), which
// is the single chain's remainder there.
void BigInt::ShortDiv(const BigInt& a, double m, BigInt& r) {
    if (a._N > r.SizeAlloc)
        core::FatalError("ERROR in BigInt::ShortDiv, allocation of r is too small\n");
    if (std::fabs(m) * 1e12 > 1e15) core::FatalError("WARNING in BigInt::ShortDiv, m is too big");
    if (m == 0 || m != std::floor(m))
        core::FatalError("Error in BigInt::ShortDiv, m must be a nonzero whole number");
    const int64_t mu = static_cast<int64_t>(std::fabs(m));
    const long n = a._N;
    const double* pa = a.Limbs;
    double* pr = r.Limbs;
    auto chain = [&](long lo, long hi, int64_t rho) {
        for (long i = hi - 1; i >= lo; --i) {
            const int64_t t = rho * kB + static_cast<int64_t>(pa[i]);
            pr[i] = static_cast<double>(detail::FloorDivRt(t, mu, rho));
        }
        return rho;
    };
    const int parts = kB % mu == 0 && n >= kParallelMinLimbs && SafeBeside(pa, n, pr, n)
                          ? core::ThreadCount()
                          : 1;
    int64_t rho = 0;
    if (parts == 1) {
        rho = chain(0, n, 0);
    } else {
        std::vector<int64_t> start(static_cast<std::size_t>(parts));
        for (int k = 0; k < parts; ++k) {
            const long hi = n * (k + 1) / parts;
            int64_t rem = 0;
            if (hi < n) detail::FloorDivRt(static_cast<int64_t>(pa[hi]), mu, rem);
            start[static_cast<std::size_t>(k)] = rem;
        }
        core::ParallelFor(parts, [&](long k, int) {
            const int64_t last =
                chain(n * k / parts, n * (k + 1) / parts, start[static_cast<std::size_t>(k)]);
            if (k == 0) rho = last;
        });
    }
    r._N = n;
    r.Exp = a.Exp;
    if (m < 0) {
        for (long i = 0; i < n; ++i) pr[i] = -pr[i];
        if (rho != 0) pr[0] -= 1;
        r.UpdateBigInt();
        return;
    }
    r.TrimBigInt();
}

namespace {

// b's value in base-10^6 digits (little-endian, every digit below the top in [0, 10^6)),
// without high zero digits and with a -1 top folded over 999999 digits. The base-10^8
// limbs are first carried exactly; the digits are then peeled off an accumulator holding
// fewer than six pending decimal digits.
void SmallIntToHalfDigits(const SmallInt& b, std::vector<int64_t>& out) {
    const long nb = b._N;
    std::vector<int64_t> s(static_cast<std::size_t>(nb));
    detail::LoadDigits<100000000>(b.Limbs, nb, s.data());
    if (s[nb - 1] >= (int64_t{1} << 40) || s[nb - 1] <= -(int64_t{1} << 40))
        core::FatalError("Error in BigInt::SmallIntMul, b is too large");
    out.clear();
    int64_t acc = 0, scale = 1;  // acc < scale = 10^(pending digits) <= 10^4 below the top
    for (long i = 0; i < nb; ++i) {
        acc += s[i] * scale;  // |s[nb - 1] * 10^4| < 2^54
        scale *= 100000000;
        while (scale >= kHalf) {
            if (i == nb - 1 && scale == kHalf) break;  // the top digit stays in acc
            int64_t d;
            acc = FloorDiv<kHalf>(acc, d);
            out.push_back(d);
            scale /= kHalf;
        }
    }
    while (acc >= kHalf || acc <= -kHalf) {
        int64_t d;
        acc = FloorDiv<kHalf>(acc, d);
        out.push_back(d);
    }
    out.push_back(acc);
    while (out.size() > 1 && out.back() == 0) out.pop_back();
    while (out.size() > 1 && out.back() == -1 && out[out.size() - 2] == kHalf - 1) {
        out.pop_back();  // complement form: a 999999 digit under a -1 top folds into it
        out.back() = -1;
    }
}

}  // namespace

// b is rewritten as K base-10^6 digits, paired into base-10^12 limbs, and multiplied by
// the schoolbook kernel; the low limbs beyond r's capacity are cut (exponent raised).
void BigInt::SmallIntMul(const BigInt& a, const SmallInt& b, BigInt& r) {
    if (&r == &a) core::FatalError("Error in BigInt::SmallIntMul, a and r are equal");
    thread_local std::vector<int64_t> digits;
    SmallIntToHalfDigits(b, digits);
    const long K = static_cast<long>(digits.size());
    if (static_cast<double>(K) * 1e12 > 1e15)
        core::FatalError("Error in BigInt::SmallIntMul, b is too large");
    const long nbp = (K + 1) / 2;
    std::vector<double> pairs(static_cast<std::size_t>(nbp));
    for (long j = 0; j < nbp; ++j) {
        const int64_t hi = (2 * j + 1 < K) ? digits[2 * j + 1] : 0;
        pairs[j] = static_cast<double>(digits[2 * j] + hi * kHalf);
    }
    const long full = a._N + nbp;
    const long kept = std::min(full, r.SizeAlloc);
    const long cut = full - kept;
    std::fill(r.Limbs, r.Limbs + kept, 0.0);
    SmallBigIntMul(a.Limbs, a._N, pairs.data(), nbp, r.Limbs, cut);
    r._N = kept;
    r.Exp = a.Exp + cut;
    r.UpdateBigInt();
}

// Exactness: a and b are split into base-10^6 digits (2 Na and 2 Nb of them, carried so
// that every digit below the top lies in [0, 10^6)); the int64 convolution returns the
// product's canonical base-10^6 digits; pairs of them give product limbs P_k in
// [0, 10^12) below the top limb P_{n-1}, n = Na + Nb. Since P_0 .. P_{cut-1} are
// canonical, the carry out of the positions below the cut is 0 when cut < n; for
// cut >= n it is floor(P_{n-1} / 10^(12 (cut - n + 1))), 0 or -1 for a top below 10^12.
// Each r limb grows by less than 10^12 in magnitude. work is not needed (the kernel keeps
// its own scratch); the parameter stays for callers that pass a buffer.
void SmallBigIntMul(const double* a, long Na, const double* b, long Nb, double* r, long cut,
                    double* /*work*/) {
    if (Na < 1 || Nb < 1) return;
    thread_local std::vector<int64_t> scratch;
    const long na = 2 * Na, nb = 2 * Nb, nr = na + nb;
    scratch.resize(static_cast<std::size_t>(na + nb + nr + detail::kConvTail));
    int64_t* da = scratch.data();
    int64_t* db = da + na;
    int64_t* dr = db + nb;
    auto split = [](const double* x, long n, int64_t* d) {
        int64_t c = 0;
        for (long i = 0; i < n; ++i) {
            int64_t lo;
            const int64_t hi = FloorDiv<kHalf>(static_cast<int64_t>(x[i]), lo);
            int64_t rem;
            c = FloorDiv<kHalf>(lo + c, rem);
            d[2 * i] = rem;
            if (i + 1 < n) {
                c = FloorDiv<kHalf>(hi + c, rem);
                d[2 * i + 1] = rem;
            } else {
                d[2 * i + 1] = hi + c;
            }
        }
    };
    split(a, Na, da);
    split(b, Nb, db);
    detail::ConvolveDigits(da, na, db, nb, kHalf, dr);
    const long n = Na + Nb;
    if (cut >= n) {
        int64_t c = dr[nr - 2] + dr[nr - 1] * kHalf;
        for (long s = 0; s <= cut - n && c != 0 && c != -1; ++s) {
            int64_t rem;
            c = FloorDiv<kB>(c, rem);
        }
        r[0] += static_cast<double>(c);
        return;
    }
    for (long k = std::max(cut, 0L); k < n; ++k)
        r[k - cut] += static_cast<double>(dr[2 * k] + dr[2 * k + 1] * kHalf);
}

void SmallBigIntMul(const BigInt& a, const BigInt& b, BigInt& r) {
    if (&r == &a || &r == &b) core::FatalError("Error in SmallBigIntMul, r must not be an operand");
    const long full = a._N + b._N;
    const long kept = std::min(full, r.SizeAlloc);
    const long cut = full - kept;
    std::fill(r.Limbs, r.Limbs + kept, 0.0);
    SmallBigIntMul(a.Limbs, a._N, b.Limbs, b._N, r.Limbs, cut);
    r._N = kept;
    r.Exp = a.Exp + b.Exp + cut;
    r.UpdateBigInt();
}

// Three SmallInt limbs s0, s1, s2 (24 digits) make two BigInt limbs:
// s0 + (s1 mod 10^4) 10^8 and floor(s1 / 10^4) + s2 10^4. The SmallInt is carried exactly
// first, so every BigInt limb below the top is canonical; a top outside (-10^12, 10^12)
// is split further. The length is checked after trimming.
void TransformIntoBigInt(const SmallInt& a, BigInt& r) {
    long na = a._N;
    std::vector<int64_t> s(static_cast<std::size_t>(na), 0);
    detail::LoadDigits<100000000>(a.Limbs, na, s.data());
    while (s.back() >= 100000000 || s.back() <= -100000000) {  // a top beyond one limb
        int64_t rem;
        const int64_t q = FloorDiv<100000000>(s.back(), rem);
        s.back() = rem;
        s.push_back(q);
    }
    na = static_cast<long>(s.size());
    s.resize(s.size() + 2, 0);
    std::vector<int64_t> out;
    out.reserve(static_cast<std::size_t>((2 * na) / 3 + 4));
    for (long i = 0; i < na; i += 3) {
        int64_t s1lo;
        const int64_t s1hi = FloorDiv<10000>(s[i + 1], s1lo);
        out.push_back(s[i] + s1lo * 100000000);
        if (i + 1 < na) out.push_back(s1hi + s[i + 2] * 10000);
    }
    // Only the last element can be outside [0, 10^12) (it holds the top limb of a, which
    // is below 10^8 in magnitude), and only below zero; the loop is a safeguard.
    while (out.back() >= kB || out.back() <= -kB) {
        int64_t rem;
        const int64_t q = FloorDiv<kB>(out.back(), rem);
        out.back() = rem;
        out.push_back(q);
    }
    while (out.size() > 1 && out.back() == 0) out.pop_back();
    while (out.size() > 1 && out.back() == -1 && out[out.size() - 2] == kB - 1) {
        out.pop_back();
        out.back() = -1;
    }
    const long n = static_cast<long>(out.size());
    if (n > r.SizeAlloc)
        core::FatalError("Error in TransformIntoBigInt, sizealloc of bigint is too small1\n");
    for (long i = 0; i < n; ++i) r.Limbs[i] = static_cast<double>(out[i]);
    r._N = n;
    r.Exp = 0;
}

}  // namespace zeprix::numbers
