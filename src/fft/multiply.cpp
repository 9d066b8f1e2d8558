// The product layer: every product of BigInts (SpecialMul, the dispatcher with schoolbook
// leftovers, square, truncated and join products), written once above the transforms.
//
// Every product is accumulated into a window of raw limbs: limb k of the product (weight
// 10^(12 k) relative to the operands' limb 0) goes to dst[k - cut] when 0 <= k - cut < len.
// Limbs are only added to; the window is zeroed before and normalised (NormaliseProduct)
// once after all pieces. The transforms (piece_product.hpp) add each piece's product; here
// the operands are cut into pieces (leftover rule, piece length), the pieces are counted
// against the carry budget, and aliasing between result and operands is resolved.
#include "fft/multiply.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/check.hpp"
#include "core/fatal.hpp"
#include "core/parallel.hpp"
#include "fft/digits.hpp"
#include "fft/fft_state.hpp"
#include "fft/four_step.hpp"
#include "fft/piece_product.hpp"
#include "fft/pointwise.hpp"
#include "numbers/big_int.hpp"
#include "numbers/limbs.hpp"
#include "numbers/schoolbook.hpp"

namespace zeprix::fft {

using numbers::AllocLimbBlock;
using numbers::FreeLimbBlock;

namespace {

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

// Length of the pieces of an operand of Na limbs: one transform's third (NFFT / 3), or for
// an operand shorter than that whose transform would be little more than half full, a
// sixth of its own transform size.
long PieceLength(long Na) {
    const long N = State().NFFT;
    if (Na < N / 3) {
        const long m = Upper2Power(3 * Na, N);
        if (3 * Na - m / 2 < m / 16) return m / 6;
    }
    return N / 3;
}

// The carry budget of a piece loop. Each piece adds at most `products` piece products to a
// limb of the window, each less than 3 10^12 + NFFT 5001^2 (docs/notes/fft_error.md): the
// window is carried (NormaliseWindow) before the sums could reach 2^52, so that every limb
// stays an exact integer whatever the number of pieces. A test may set a smaller budget in
// the FFT state to reach the carry passes with small operands.
class CarryBudget {
public:
    CarryBudget(int products, double* dst, long len) : dst_(dst), len_(len) {
        const double perPiece =
            products * (3e12 + static_cast<double>(State().NFFT) * 5001.0 * 5001.0);
        budget_ = std::max(1L, static_cast<long>(4503599627370496.0 / perPiece) - 1);
        if (State().carryBudget > 0) budget_ = State().carryBudget;
    }
    // Called before each piece's products are added.
    void BeforePiece() {
        if (pieces_ == budget_) {
            NormaliseWindow(dst_, len_);
            pieces_ = 0;
        }
        ++pieces_;
    }

private:
    double* dst_;
    long len_;
    long budget_ = 1;
    long pieces_ = 0;
};

// FFT product over pieces of a, after the leftover rule (no limb of either operand is
// left for the schoolbook).
// Exactness of the accumulation: one piece product adds to a limb less than
// B = 3 * 10^12 + n * 5001^2 (docs/notes/fft_error.md), and a limb is covered by the
// products of at most two pieces of b per piece of a. Before the sums could reach 2^52,
// the window is carried once, so every limb stays an exact integer.
void PiecesOfA(const double* pa, long Na, const double* pb, long Nb, double* dst, long cut,
               long len, bool keep) {
    const long pp = PieceLength(Na);
    CarryBudget budget(2, dst, len);
    for (long hi = Na; hi > 0;) {
        const long lo = std::max(hi - pp, 0L);
        // Pieces whose whole product lies below the window contribute nothing.
        if (hi + Nb + 1 > cut) {
            budget.BeforePiece();
            AddPieceProducts(pa + lo, hi - lo, pb, Nb, dst, cut - lo, len, false, keep);
            keep = false;
        }
        hi = lo;
    }
}

// a^2 over pieces A_i of a (same piece rule as the product): a^2 = sum_i A_i^2 B^(2 lo_i)
// + 2 sum_i A_i U_i B^(lo_i + hi_i), U_i = the limbs of a above A_i. Each A_i is transformed
// once; its square comes from that transform alone and the cross products, added doubled
// (exactly: the rounded values times 2), are computed once instead of twice.
void SquarePieces(const double* pa, long Na, double* dst, long cut, long len, bool keep) {
    const long pp = PieceLength(Na);
    // Per piece: its square (one product) and at most two doubled products per limb.
    CarryBudget budget(5, dst, len);
    for (long hi = Na; hi > 0;) {
        const long lo = std::max(hi - pp, 0L);
        const long np = hi - lo;
        if (hi + Na + 1 > cut) {
            budget.BeforePiece();
            AddPieceSquare(pa + lo, np, dst, cut - 2 * lo, len, keep);
            keep = false;
            if (hi < Na) {
                AddPieceProducts(pa + lo, np, pa + hi, Na - hi, dst, cut - lo - hi, len, false,
                                 true, 2.0);
            }
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
namespace {

// t (in [-10^12, 2 10^12)) brought into [0, 10^12) by one correction; c receives the carry.
inline double Settle(double t, double& c) {
    c = t >= 1e12 ? 1.0 : (t < 0.0 ? -1.0 : 0.0);
    return t - c * 1e12;
}

// Limbs [i0, i1) of a product window normalised as NormaliseProduct does, starting from
// the quotient qPrev of the limb below and no carry; returns the carry (-1, 0, +1) and
// sets qPrev to the last limb's quotient.
double NormaliseRun(double* x, long i0, long i1, double& qPrev) {
    double c = 0.0;
    for (long i = i0; i < i1; ++i) {
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
        x[i] = Settle(rem + (qPrev + c), c);
        qPrev = q;
    }
    return c;
}

// The quotient of one limb as NormaliseRun takes it.
double LimbQuotient(double v) {
    double q = std::floor(v * 1e-12);
    const double rem = v - q * 1e12;
    if (rem < 0.0) q -= 1.0;
    if (rem >= 1e12) q += 1.0;
    return q;
}

// Windows of at least this many limbs are normalised by all the threads.
constexpr long kParallelMinLimbs = 1L << 16;

}  // namespace

// Long windows: every thread normalises a run of limbs starting from the quotient of the
// limb below it (read before any run writes) and no carry; each run's carry (-1, 0 or +1)
// is then added at the start of the next run and rippled while a limb leaves
// [0, 10^12), which is the serial chain's own result since the chain's state between two
// limbs is just that quotient and that carry.
void NormaliseProduct(BigInt& r) {
    double* x = r.Limbs;
    const long N = r._N;
    const int parts = N >= kParallelMinLimbs ? core::ThreadCount() : 1;
    if (parts == 1) {
        double qPrev = 0.0;
        const double c = NormaliseRun(x, 0, N, qPrev);
        numbers::AppendCarryBigInt(r, qPrev + c);
        return;
    }
    std::vector<long> bound(static_cast<std::size_t>(parts) + 1);
    std::vector<double> qStart(static_cast<std::size_t>(parts)), carry(bound.size() - 1);
    double qTop = 0.0;
    for (int k = 0; k <= parts; ++k) bound[static_cast<std::size_t>(k)] = N * k / parts;
    for (int k = 0; k < parts; ++k) {
        const long i0 = bound[static_cast<std::size_t>(k)];
        qStart[static_cast<std::size_t>(k)] = i0 == 0 ? 0.0 : LimbQuotient(x[i0 - 1]);
    }
    core::ParallelFor(parts, [&](long k, int) {
        const auto u = static_cast<std::size_t>(k);
        double q = qStart[u];
        carry[u] = NormaliseRun(x, bound[u], bound[u + 1], q);
        if (u + 1 == carry.size()) qTop = q;
    });
    double c = carry[0];
    for (std::size_t k = 1; k < carry.size(); ++k) {
        for (long i = bound[k]; i < bound[k + 1] && c != 0.0; ++i) x[i] = Settle(x[i] + c, c);
        c += carry[k];
    }
    numbers::AppendCarryBigInt(r, qTop + c);
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

void SpecialMulKeep(const BigInt& a, const BigInt& b, BigInt& r, long L, bool keep) {
    const long Na = a._N, Nb = b._N;
    const long aExp = a.Exp, bExp = b.Exp;
    if (L >= 1) {
        AddPieceProducts(a.Limbs, Na, b.Limbs, Nb, r.Limbs, Na + Nb - L, L, false, keep);
        return;
    }
    const long len = std::min(Na + Nb, r.SizeAlloc);
    const long cut = Na + Nb - len;
    AddPieceProducts(a.Limbs, Na, b.Limbs, Nb, r.Limbs, cut, len, true, keep);
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
    numbers::ZeroLimbs(dst.Limbs, len);
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
    numbers::ZeroLimbs(dst.Limbs, len);
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
        AddBalancedProduct(a.Limbs, Na, b.Limbs, Nb, r.Limbs, n, keep);
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
        PrepareTransform(a.Limbs, Na, m, keep);
        // Low piece of b times a, exactly, into a temporary (all of its limbs).
        const long lowLen = Na + rem;
        double* low = AllocLimbBlock(lowLen + 1);
        numbers::ZeroLimbs(low, lowLen + 1);
        numbers::SmallBigIntMul(a.Limbs, Na, b.Limbs, rem, low, 0);
        // Upper part of b into the caller's scratch number.
        numbers::CopyLimbs(scratch2->Limbs, b.Limbs + rem, Nb - rem);
        scratch2->_N = Nb - rem;
        scratch2->Exp = 0;
        numbers::ZeroLimbs(r.Limbs, len);
        AddPieceProducts(a.Limbs, Na, scratch2->Limbs, Nb - rem, r.Limbs, cut - rem, len, false,
                         true);
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

void ReusedFactor::AddWindow(const double* pb, long Nb, double* dst, long cut, long len,
                             double factor) {
    CallScope scope(token_);
    AddPieceProducts(a_.Limbs, a_._N, pb, Nb, dst, cut, len, false, true, factor);
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
    numbers::ZeroLimbs(r1.Limbs, n1);
    InverseAndAdd(Yd, n, small, 3 * n1 + 2, r1.Limbs, 0, n1);
    r1._N = n1;
    NormaliseProduct(r1);
    // r2 = a e
    TransformLimbs(e.Limbs, e._N, Xc, n);
    MulSpectra(Xa, Xc, n);
    const long n2 = a._N + e._N;
    numbers::ZeroLimbs(r2.Limbs, n2);
    InverseAndAdd(Xc, n, small, 3 * n2 + 1, r2.Limbs, 0, n2);
    r2._N = n2;
    NormaliseProduct(r2);
    if (f && r3) {
        TransformLimbs(f->Limbs, f->_N, Yd, n);
        MulSpectra(Yb, Yd, n);
        const long n3 = b._N + f->_N;
        numbers::ZeroLimbs(r3->Limbs, n3);
        InverseAndAdd(Yd, n, small, 3 * n3 + 1, r3->Limbs, 0, n3);
        r3->_N = n3;
        NormaliseProduct(*r3);
    }
}

void SetupFFT(long n) {
    InitFFT(n);
    ScratchBigInt();
}

}  // namespace zeprix::fft
