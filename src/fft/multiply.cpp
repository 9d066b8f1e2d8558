// Products of BigInts: SpecialMul and its piece loop, the dispatcher with schoolbook
// leftovers, square, truncated product, join product, FFT setup.
//
// Internally every product is accumulated into a window of raw limbs: limb k of the
// product (weight 10^(12 k) relative to the operands' limb 0) goes to dst[k - cut] when
// 0 <= k - cut < len. Limbs are only added to; the caller zeroes the window before and
// normalises (NormaliseProduct) once after all pieces. Each piece product adds less than
// 3 10^12 + n 5001^2 to a limb, and long piece loops run a carry pass before sums could
// reach 2^52 (docs/notes/fft_error.md), so every limb stays an exact integer.
#include "fft/multiply.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "fft/digits.hpp"
#include "fft/fft_state.hpp"
#include "fft/four_step.hpp"
#include "fft/pointwise.hpp"
#include "numbers/big_int.hpp"
#include "numbers/limbs.hpp"
#include "numbers/schoolbook.hpp"
#include "core/check.hpp"
#include "core/fatal.hpp"

namespace zeprix::fft {

using numbers::AllocLimbBlock;
using numbers::FreeLimbBlock;

namespace {

// The owner token of the product call in progress: the public entry points set it (a
// fresh token, or the token of a ReusedFactor) for the length of the call.
long gCallOwner = 0;

class CallScope {
public:
    explicit CallScope(long owner) : previous_(gCallOwner) { gCallOwner = owner; }
    ~CallScope() { gCallOwner = previous_; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    long previous_;
};

long NewOwnerToken() { return ++State().lastOwner; }

void NoteRounding(double dist) {
    FFTState& st = State();
    if (dist > st.maxRoundingSeen) st.maxRoundingSeen = dist;
}

// Forgets the cached transform (X is about to be overwritten by other data).
void DropCache() {
    FFTState& st = State();
    st.cachedOwner = 0;
    st.cachedLimbs = nullptr;
    st.cachedN = 0;
}

// Digits of limbs a[0 .. Na) transformed (size n) into dst. Returns the small-path flag.
bool TransformLimbs(const double* a, long Na, double* dst, long n) {
    ++State().forwardCount;
    DigitSource src;
    src.limbs = a;
    src.N = Na;
    return ForwardTransform(dst, n, true, src);
}

// X = transform of size n of a[0 .. Na), from the cache when keep is set and X holds it,
// made by the same owner (this call, or an earlier call of the same ReusedFactor).
bool TransformKept(const double* a, long Na, long n, bool keep) {
    FFTState& st = State();
    const bool hit = keep && st.cachedOwner == gCallOwner && st.cachedN == n &&
                     st.cachedLimbs == a && st.cachedNa == Na;
    if (hit) return st.cachedSmall;
    const bool small = TransformLimbs(a, Na, st.X, n);
    st.cachedN = n;
    st.cachedNa = Na;
    st.cachedLimbs = a;
    st.cachedSmall = small;
    st.cachedOwner = gCallOwner;
    return small;
}

// Inverse of the product spectrum in data, rounding guard, accumulation into the window.
// count: digit positions that can be nonzero.
void InverseAndAdd(double* data, long n, bool small, long count, double* dst, long cut,
                   long len, void (*prepare)(void*) = nullptr, void* arg = nullptr) {
    DigitSink sink;
    sink.prepare = prepare;
    sink.prepareArg = arg;
    sink.r = dst;
    sink.cut = cut;
    sink.len = len;
    sink.count = std::min(count, 2 * n);
    InverseTransform(data, n, small, sink);
    NoteRounding(sink.maxDistance);
    CheckRoundingDistance(sink.maxDistance, n);
}

// Forward transform of src into Y, product with X, inverse added into the window (one sweep).
void MultiplyAndAdd(const DigitSource& src, long n, bool small, long count, double* dst, long cut,
                    long len, void (*prepare)(void*) = nullptr, void* arg = nullptr,
                    double factor = 1.0) {
    DigitSink sink;
    sink.factor = factor;
    sink.prepare = prepare;
    sink.prepareArg = arg;
    sink.r = dst;
    sink.cut = cut;
    sink.len = len;
    sink.count = std::min(count, 2 * n);
    ForwardMultiplyInverse(State().Y, n, small, src, State().X, sink);
    NoteRounding(sink.maxDistance);
    CheckRoundingDistance(sink.maxDistance, n);
}

void ZeroWindow(double* dst, long from, long to, long len) {
    from = std::max(from, 0L);
    to = std::min(to, len);
    if (to > from) std::memset(dst + from, 0, sizeof(double) * static_cast<std::size_t>(to - from));
}

// The piece loop of SpecialMul on raw limbs: adds a * b into the window (dst, cut, len).
// When zeroing, the window part that each piece writes first is cleared just before the
// piece's product is added (so dst may be b's own limbs, see SpecialMul).
void SpecialMulRaw(const double* pa, long Na, const double* pb, long Nb, double* dst, long cut,
                   long len, bool zeroing, bool keep, double factor = 1.0) {
    const long n = Upper2Power(3 * Na, State().NFFT);
    const bool small = TransformKept(pa, Na, n, keep);
    const long p = n / 3;
    numbers::BigInt& scratch = ScratchBigInt();
    long hi = Nb;
    bool first = true;
    while (hi > 0) {
        const long lo = std::max(hi - p, 0L);
        const long np = hi - lo;
        const double* piece = first ? pb + lo : scratch.Limbs;
        const bool same = (pb + lo == pa && np == Na);
        // Once the piece's digits are taken: save the next piece (the scratch number may
        // hold the current one until then), then clear the window part this piece opens.
        struct Prepare {
            const double* pb;
            double* scratch;
            long lo, p, nmax;
            double* dst;
            long from, to, len;
            bool zeroing;
            static void Run(void* v) {
                Prepare& q = *static_cast<Prepare*>(v);
                const long nlo = std::max(q.lo - q.p, 0L);
                const long nn = q.lo - nlo;
                if (nn > 0) {
                    if (nn > q.nmax) core::FatalError("PB in SpecialMul, Nb0-Nb00>Nmax/3");
                    std::memmove(q.scratch, q.pb + nlo, sizeof(double) * static_cast<std::size_t>(nn));
                }
                if (q.zeroing) ZeroWindow(q.dst, q.from, q.to, q.len);
            }
        } prep{pb, scratch.Limbs, lo, p, State().NFFT / 3, dst, lo - cut, first ? len : hi - cut, len, zeroing};
        if (same) {
            // The piece is a itself: its kept transform serves as both factors.
            DigitSink sink;
            sink.prepare = &Prepare::Run;
            sink.prepareArg = &prep;
            sink.r = dst;
            sink.cut = cut - lo;
            sink.len = len;
            sink.count = std::min(3 * (np + Na) + 1, 2 * n);
            sink.factor = factor;
            InverseOfProduct(State().X, State().X, State().Y, n, small, sink);
            NoteRounding(sink.maxDistance);
            CheckRoundingDistance(sink.maxDistance, n);
        } else {
            ++State().forwardCount;
            DigitSource src;
            src.limbs = piece;
            src.N = np;
            MultiplyAndAdd(src, n, small, 3 * (np + Na) + 1, dst, cut - lo, len, &Prepare::Run, &prep,
                           factor);
        }
        first = false;
        hi = lo;
    }
}

bool Overlaps(const numbers::BigInt& x, const numbers::BigInt& y) {
    if (!x.Limbs || !y.Limbs) return false;
    const double* x0 = x.Limbs;
    const double* x1 = x.Limbs + std::max(x.SizeAlloc, x._N) + 1;
    const double* y0 = y.Limbs;
    const double* y1 = y.Limbs + std::max(y.SizeAlloc, y._N) + 1;
    return x0 < y1 && y0 < x1;
}

long LeftoverThreshold(long p) { return static_cast<long>(5.0 * std::log(static_cast<double>(p))); }

// Length of the lowest piece by the leftover rule (reduce by p while above t); 0 or the
// whole length when nothing is to be cut off.
long LowestPiece(long N, long p, long t) {
    if (N <= t) return N;
    long rem = N;
    while (rem > t) rem -= p;
    return rem >= 1 ? rem : 0;
}

// Schoolbook a * b added into the window. Exact; the kernel adds every product position
// at or above the cut and the carry of those below into the first window limb, and never
// writes above position Na + Nb - 1, which callers keep inside the window.
void SchoolbookAdd(const double* pa, long Na, const double* pb, long Nb, double* dst, long cut) {
    if (cut >= 0) {
        numbers::SmallBigIntMul(pa, Na, pb, Nb, dst, cut);
    } else {
        numbers::SmallBigIntMul(pa, Na, pb, Nb, dst - cut, 0);
    }
}

// Carry pass over a raw window: every limb but the top brought into [0, 10^12), the top
// receiving the carry (the window holds a product that fits it, so the top stays small).
void NormaliseWindow(double* dst, long len) {
    double carry = 0.0;
    for (long k = 0; k + 1 < len; ++k) {
        double rem;
        carry = numbers::FloorDivExact(dst[k] + carry, 1e12, 1e-12, rem);
        dst[k] = rem;
    }
    if (len >= 1) dst[len - 1] += carry;
}

// FFT product over pieces of a, after the leftover rule (no limb of either operand is
// left for the schoolbook).
// Exactness of the accumulation: one piece product adds to a limb less than
// B = 3 * 10^12 + n * 5001^2 (docs/notes/fft_error.md), and a limb is covered by the
// products of at most two pieces of b per piece of a. Before the sums could reach 2^52,
// the window is carried once, so every limb stays an exact integer.
void PiecesOfA(const double* pa, long Na, const double* pb, long Nb, double* dst, long cut,
               long len, bool keep) {
    long pp = State().NFFT / 3;
    if (Na < State().NFFT / 3) {
        const long m = Upper2Power(3 * Na, State().NFFT);
        if (3 * Na - m / 2 < m / 16) pp = m / 6;
    }
    const double perPiece = 2.0 * (3e12 + static_cast<double>(State().NFFT) * 5001.0 * 5001.0);
    long budget = std::max(1L, static_cast<long>(4503599627370496.0 / perPiece) - 1);
    if (State().carryBudget > 0) budget = State().carryBudget;
    long sinceCarry = 0;
    for (long hi = Na; hi > 0;) {
        const long lo = std::max(hi - pp, 0L);
        // Pieces whose whole product lies below the window contribute nothing.
        if (hi + Nb + 1 > cut) {
            if (sinceCarry == budget) {
                NormaliseWindow(dst, len);
                sinceCarry = 0;
            }
            SpecialMulRaw(pa + lo, hi - lo, pb, Nb, dst, cut - lo, len, false, keep);
            keep = false;
            ++sinceCarry;
        }
        hi = lo;
    }
}

// a^2 over pieces A_i of a (same piece rule as the product): a^2 = sum_i A_i^2 B^(2 lo_i)
// + 2 sum_i A_i U_i B^(lo_i + hi_i), U_i = the limbs of a above A_i. Each A_i is transformed
// once; its square comes from that transform alone and the cross products, added doubled
// (exactly: the rounded values times 2), are computed once instead of twice.
void SquarePieces(const double* pa, long Na, double* dst, long cut, long len, bool keep) {
    long pp = State().NFFT / 3;
    if (Na < State().NFFT / 3) {
        const long m = Upper2Power(3 * Na, State().NFFT);
        if (3 * Na - m / 2 < m / 16) pp = m / 6;
    }
    // Per piece: its square (one product) and at most two doubled products per limb.
    const double perPiece = 5.0 * (3e12 + static_cast<double>(State().NFFT) * 5001.0 * 5001.0);
    long budget = std::max(1L, static_cast<long>(4503599627370496.0 / perPiece) - 1);
    if (State().carryBudget > 0) budget = State().carryBudget;
    long sinceCarry = 0;
    for (long hi = Na; hi > 0;) {
        const long lo = std::max(hi - pp, 0L);
        const long np = hi - lo;
        if (hi + Na + 1 > cut) {
            if (sinceCarry == budget) {
                NormaliseWindow(dst, len);
                sinceCarry = 0;
            }
            const long n = Upper2Power(3 * np, State().NFFT);
            const bool small = TransformKept(pa + lo, np, n, keep);
            keep = false;
            DigitSink sink;
            sink.r = dst;
            sink.cut = cut - 2 * lo;
            sink.len = len;
            sink.count = std::min(6 * np + 1, 2 * n);
            InverseOfProduct(State().X, State().X, State().Y, n, small, sink);
            NoteRounding(sink.maxDistance);
            CheckRoundingDistance(sink.maxDistance, n);
            if (hi < Na) {
                SpecialMulRaw(pa + lo, np, pa + hi, Na - hi, dst, cut - lo - hi, len, false, true,
                              2.0);
            }
            ++sinceCarry;
        }
        hi = lo;
    }
}

// The dispatcher on raw limbs (window zeroed by the caller).
void AddProduct(const double* pa, long Na, const double* pb, long Nb, double* dst, long cut,
                long len, bool keep) {
    const long n = (3 * Na < State().NFFT) ? Upper2Power(3 * Na, State().NFFT) : State().NFFT;
    const long p = n / 3;
    const long t = LeftoverThreshold(p);
    if (Na <= t || Nb <= t) {
        // Too short for a transform to pay.
        SchoolbookAdd(pa, Na, pb, Nb, dst, cut);
        return;
    }
    long rem = LowestPiece(Na, p, t);
    if (rem >= 1 && rem < Na) {
        AddProduct(pa + rem, Na - rem, pb, Nb, dst, cut - rem, len, keep);
        SchoolbookAdd(pa, rem, pb, Nb, dst, cut);
        return;
    }
    rem = LowestPiece(Nb, p, t);
    if (rem >= 1 && rem < Nb) {
        AddProduct(pa, Na, pb + rem, Nb - rem, dst, cut - rem, len, keep);
        SchoolbookAdd(pa, Na, pb, rem, dst, cut);
        return;
    }
    PiecesOfA(pa, Na, pb, Nb, dst, cut, len, keep);
}

// The normalisation of a finished product window, with the result of r.UpdateBigInt()
// (every limb brought into [0, 10^12) by floor division, the last carry appended), but
// faster: UpdateBigInt carries limb by limb through a chain of divisions, while here each
// limb's quotient q and remainder are taken on their own (no dependence between limbs) and
// the chain only carries -1, 0 or +1. Exact: limbs are integers below 2^52 in magnitude,
// so |q| <= 4504, q * 10^12 and v - q * 10^12 are exact, and remainder + previous q +
// carry lies in [-4505, 10^12 + 4505), one correction away from [0, 10^12).
void NormaliseProduct(BigInt& r) {
    double* x = r.Limbs;
    const long N = r._N;
    double qPrev = 0.0, c = 0.0;
    for (long i = 0; i < N; ++i) {
        const double v = x[i];
        double q = std::floor(v * 1e-12);
        double rem = v - q * 1e12;
        if (rem < 0.0) {
            rem += 1e12;
            q -= 1.0;
        } else if (rem >= 1e12) {
            rem -= 1e12;
            q += 1.0;
        }
        double t = rem + (qPrev + c);
        if (t >= 1e12) {
            t -= 1e12;
            c = 1.0;
        } else if (t < 0.0) {
            t += 1e12;
            c = -1.0;
        } else {
            c = 0.0;
        }
        x[i] = t;
        qPrev = q;
    }
    numbers::AppendCarryBigInt(r, qPrev + c);
}

// Target of a product into r: r itself, or a temporary when r overlaps an operand.
struct Target {
    numbers::BigInt temp;
    numbers::BigInt* t;
    numbers::BigInt& r;
    Target(numbers::BigInt& res, bool alias) : t(&res), r(res) {
        if (alias) {
            temp.Alloc(res.SizeAlloc);
            t = &temp;
        }
    }
    void Finish() {
        if (t != &r) {
            temp.CopyTo(r);
            temp.Free();
        }
    }
};

}  // namespace

namespace {

void SpecialMulKeep(const BigInt& a, const BigInt& b, BigInt& r, long L, bool keep) {
    const long Na = a._N, Nb = b._N;
    const long aExp = a.Exp, bExp = b.Exp;
    if (L >= 1) {
        SpecialMulRaw(a.Limbs, Na, b.Limbs, Nb, r.Limbs, Na + Nb - L, L, false, keep);
        return;
    }
    const long len = std::min(Na + Nb, r.SizeAlloc);
    const long cut = Na + Nb - len;
    SpecialMulRaw(a.Limbs, Na, b.Limbs, Nb, r.Limbs, cut, len, true, keep);
    r._N = len;
    r.Exp = aExp + bExp + cut;
    NormaliseProduct(r);
}

}  // namespace

void SpecialMul(const BigInt& a, const BigInt& b, BigInt& r, long L) {
    CallScope scope(NewOwnerToken());
    SpecialMulKeep(a, b, r, L, false);
}

namespace {

void MulKeep(const BigInt& a, const BigInt& b, BigInt& r, bool keep) {
    const long Na = a._N, Nb = b._N;
    const long aExp = a.Exp, bExp = b.Exp;
    const bool alias = Overlaps(r, a) || Overlaps(r, b);
    Target tg(r, alias);
    BigInt& dst = *tg.t;
    const long len = std::min(Na + Nb, dst.SizeAlloc);
    const long cut = Na + Nb - len;
    std::memset(dst.Limbs, 0, sizeof(double) * static_cast<std::size_t>(len));
    AddProduct(a.Limbs, Na, b.Limbs, Nb, dst.Limbs, cut, len, keep);
    dst._N = len;
    dst.Exp = aExp + bExp + cut;
    NormaliseProduct(dst);
    tg.Finish();
}

}  // namespace

void MulBigInt(const BigInt& a, const BigInt& b, BigInt& r) {
    CallScope scope(NewOwnerToken());
    MulKeep(a, b, r, false);
}

void SquareBigInt(const BigInt& a, BigInt& r) {
    CallScope scope(NewOwnerToken());
    const bool keep = false;
    const long Na = a._N;
    const long aExp = a.Exp;
    const bool alias = Overlaps(r, a);
    Target tg(r, alias);
    BigInt& dst = *tg.t;
    const long len = std::min(2 * Na, dst.SizeAlloc);
    const long cut = 2 * Na - len;
    std::memset(dst.Limbs, 0, sizeof(double) * static_cast<std::size_t>(len));
    SquarePieces(a.Limbs, Na, dst.Limbs, cut, len, keep);
    dst._N = len;
    dst.Exp = 2 * aExp + cut;
    NormaliseProduct(dst);
    tg.Finish();
}

namespace {

void TruncatedMulKeep(const BigInt& a, const BigInt& b, BigInt& r, BigInt* scratch2, bool keep) {
    const long Na = a._N, Nb = b._N;
    const long aExp = a.Exp, bExp = b.Exp;
    long n = 256;
    while (n < 3 * Na || n < 3 * Nb) n *= 2;
    if (n <= State().NFFT && r.SizeAlloc >= Na + Nb && Na <= 2 * Nb && Nb <= 2 * Na) {
        // One transform each; both operands are read before r is written.
        const bool small = TransformKept(a.Limbs, Na, n, keep);
        // b's digits are taken before r (which may share limbs with b) is cleared.
        ++State().forwardCount;
        DigitSource src;
        src.limbs = b.Limbs;
        src.N = Nb;
        struct Clear {
            double* r;
            long k;
            static void Run(void* v) {
                Clear& c = *static_cast<Clear*>(v);
                std::memset(c.r, 0, sizeof(double) * static_cast<std::size_t>(c.k));
            }
        } clear{r.Limbs, Na + Nb};
        MultiplyAndAdd(src, n, small, 3 * (Na + Nb) + 1, r.Limbs, 0, Na + Nb, &Clear::Run, &clear);
        r._N = Na + Nb;
        r.Exp = aExp + bExp;
        NormaliseProduct(r);
        return;
    }
    const long m = Upper2Power(3 * Na, State().NFFT);
    const long t = std::lround(5.0 * std::log(static_cast<double>(m)));
    long rem = Nb;
    while (rem > t) rem -= m / 3;
    if (rem >= 1 && rem < Nb && scratch2 && scratch2->SizeAlloc >= Nb - rem) {
        const long len = std::min(Na + Nb, r.SizeAlloc);
        const long cut = Na + Nb - len;
        // a's transform first (kept for the upper part), so that r may share a's limbs.
        TransformKept(a.Limbs, Na, m, keep);
        // Low piece of b times a, exactly, into a temporary (all of its limbs).
        const long lowLen = Na + rem;
        double* low = AllocLimbBlock(lowLen + 1);
        std::memset(low, 0, sizeof(double) * static_cast<std::size_t>(lowLen + 1));
        numbers::SmallBigIntMul(a.Limbs, Na, b.Limbs, rem, low, 0);
        // Upper part of b into the caller's scratch number.
        std::memmove(scratch2->Limbs, b.Limbs + rem, sizeof(double) * static_cast<std::size_t>(Nb - rem));
        scratch2->_N = Nb - rem;
        scratch2->Exp = 0;
        std::memset(r.Limbs, 0, sizeof(double) * static_cast<std::size_t>(len));
        SpecialMulRaw(a.Limbs, Na, scratch2->Limbs, Nb - rem, r.Limbs, cut - rem, len, false, true);
        // Add the low product: its limbs below the cut only pass on their carry.
        double carry = 0.0;
        for (long k = 0; k <= lowLen; ++k) {
            if (k < cut) {
                double rm;
                carry = numbers::FloorDivExact(low[k] + carry, 1e12, 1e-12, rm);
            } else if (k - cut < len) {
                r.Limbs[k - cut] += low[k] + carry;
                carry = 0.0;
            } else {
                ZEPRIX_CHECK(low[k] == 0.0, "Error in TruncatedMulBigInt, product too long");
            }
        }
        FreeLimbBlock(low);
        r._N = len;
        r.Exp = aExp + bExp + cut;
        NormaliseProduct(r);
        return;
    }
    SpecialMulKeep(a, b, r, 0, keep);
}

}  // namespace

void TruncatedMulBigInt(const BigInt& a, const BigInt& b, BigInt& r, BigInt* scratch2) {
    CallScope scope(NewOwnerToken());
    TruncatedMulKeep(a, b, r, scratch2, false);
}

ReusedFactor::ReusedFactor(const BigInt& a) : a_(a), token_(NewOwnerToken()) {}

void ReusedFactor::Mul(const BigInt& b, BigInt& r) {
    CallScope scope(token_);
    MulKeep(a_, b, r, true);
}

void ReusedFactor::TruncatedMul(const BigInt& b, BigInt& r, BigInt* scratch2) {
    CallScope scope(token_);
    TruncatedMulKeep(a_, b, r, scratch2, true);
}

void TwoMulBigInt(const BigInt& a, const BigInt& b, const BigInt& c, const BigInt& d,
                  const BigInt& e, const BigInt* f, BigInt& r1, BigInt& r2, BigInt* r3) {
    CallScope scope(NewOwnerToken());
    const long N = State().NFFT;
    long n = 0;
    for (const BigInt* x : {&a, &b, &c, &d, &e}) n = std::max(n, Upper2Power(3 * x->_N, N));
    if (f) n = std::max(n, Upper2Power(3 * f->_N, N));
    if (n > N / 2) core::FatalError("Error in TwoMulBigInt, BigInts are two large");
    DropCache();  // X and Y receive four transforms of their own
    double* Xa = State().X;
    double* Xc = State().X + 2 * n;
    double* Yb = State().Y;
    double* Yd = State().Y + 2 * n;
    const bool small = TransformLimbs(a.Limbs, a._N, Xa, n);
    TransformLimbs(b.Limbs, b._N, Yb, n);
    TransformLimbs(c.Limbs, c._N, Xc, n);
    TransformLimbs(d.Limbs, d._N, Yd, n);
    // r1 = a c + b d
    MulAddSpectra(Xa, Xc, Yb, Yd, n);
    const long n1 = std::max(a._N + c._N, b._N + d._N);
    std::memset(r1.Limbs, 0, sizeof(double) * static_cast<std::size_t>(n1));
    InverseAndAdd(Yd, n, small, 3 * n1 + 2, r1.Limbs, 0, n1);
    r1._N = n1;
    NormaliseProduct(r1);
    // r2 = a e
    TransformLimbs(e.Limbs, e._N, Xc, n);
    MulSpectra(Xa, Xc, n);
    const long n2 = a._N + e._N;
    std::memset(r2.Limbs, 0, sizeof(double) * static_cast<std::size_t>(n2));
    InverseAndAdd(Xc, n, small, 3 * n2 + 1, r2.Limbs, 0, n2);
    r2._N = n2;
    NormaliseProduct(r2);
    if (f && r3) {
        TransformLimbs(f->Limbs, f->_N, Yd, n);
        MulSpectra(Yb, Yd, n);
        const long n3 = b._N + f->_N;
        std::memset(r3->Limbs, 0, sizeof(double) * static_cast<std::size_t>(n3));
        InverseAndAdd(Yd, n, small, 3 * n3 + 1, r3->Limbs, 0, n3);
        r3->_N = n3;
        NormaliseProduct(*r3);
    }
}

void SetupFFT(long n) {
    InitFFT(n);
    ScratchBigInt();
}

void SetupFFTWithWork(long n) {
    SetupFFT(n);
    FFTWorkArray();
}

double* FFTWorkArray() {
    FFTState& st = State();
    if (!st.workArray) st.workArray = AllocLimbBlock(2 * (st.NFFT / 3) + 1);
    return st.workArray;
}

namespace testing {

double ConvolutionRoundingDistance(const double* da, const double* db, long n, bool guard) {
    DropCache();
    DigitSource sa, sb;
    sa.digits = da;
    sb.digits = db;
    const bool small = ForwardTransform(State().X, n, true, sa);
    ForwardTransform(State().Y, n, true, sb);
    MulSpectra(State().X, State().Y, n);
    std::vector<double> values(static_cast<std::size_t>(2 * n));
    DigitSink sink;
    sink.values = values.data();
    InverseTransform(State().Y, n, small, sink);
    const double scale = 1.0 / static_cast<double>(2 * n);
    double dist = 0.0;
    for (double v : values) {
        const double t = v * scale;
        dist = std::max(dist, std::fabs(t - std::nearbyint(t)));
    }
    if (guard) CheckRoundingDistance(dist, n);
    return dist;
}

long ForwardTransformCount() { return State().forwardCount; }

void SetCarryBudgetForTest(long pieces) { State().carryBudget = pieces; }

double TakeMaxRoundingDistance() {
    const double d = State().maxRoundingSeen;
    State().maxRoundingSeen = 0.0;
    return d;
}

}  // namespace testing

}  // namespace zeprix::fft
