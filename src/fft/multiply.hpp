// Products of BigInts through the FFT: SpecialMul, the dispatcher, square, truncated and
// join products, and the setup that a computation runs before its first product.
#pragma once

namespace zeprix::numbers {
class BigInt;
}

namespace zeprix::fft {

using numbers::BigInt;

// Common to every product: the exactness guard stops the program (fatal, naming the FFT
// size) when an inverse output lies more than 0.25 from its nearest integer. A negative
// result in complement form may need one limb above Na + Nb (its -1 top): in a result of
// capacity Na + Nb the normalisation then drops one more low limb (exponent + 1).

// r = a * b by FFT. a is the operand whose transform a ReusedFactor keeps; b may be
// longer than a and is processed from its top down in pieces of n/3 limbs, n the transform
// size for a (Upper2Power(3 Na, NFFT)).
// L = 0: full product: r gets min(Na + Nb, capacity) limbs (the lowest ones dropped, the
//   exponent raised accordingly) and is normalised.
// L >= 1: r[0 .. L) receive (are added) the top L limbs of a * b, unnormalised; length and
//   exponent are the caller's.
// Aliasing: r may be the same number as b (every piece of b is saved before r is written);
// r may share limbs with a when a's transform is the one kept in the cache.
// Fatal "PB in SpecialMul, Nb0-Nb00>Nmax/3" if a saved piece exceeds the scratch number.
void SpecialMul(const BigInt& a, const BigInt& b, BigInt& r, long L);

// r = a * b for any lengths: schoolbook for the small leftover pieces (and for an operand
// of at most 5 ln(n/3) limbs altogether), FFT for the rest, a in pieces of NFFT/3 limbs.
// r gets min(Na + Nb, capacity) limbs, the lowest dropped; normalised. r may be a or b
// (the product is then formed in a temporary number).
void MulBigInt(const BigInt& a, const BigInt& b, BigInt& r);

// r = a * a: a in pieces as for MulBigInt; each piece is transformed once, its square comes
// from that transform alone and its products with the limbs above it are computed once
// and added doubled. r may be a.
void SquareBigInt(const BigInt& a, BigInt& r);

// r = a * b keeping the most significant limbs up to r's capacity (used by the Newton
// iterations and the series engine, which multiply repeatedly by a and set the
// keep-transform flag). scratch2, when given, holds the upper part of b for the leftover
// rule (capacity at least Nb). r may share limbs with a or b.
void TruncatedMulBigInt(const BigInt& a, const BigInt& b, BigInt& r, BigInt* scratch2 = nullptr);

// Join product: r1 = a c + b d, r2 = a e and, when f is given, r3 = b f; the transforms of
// a and b are each used twice. Operands are integers (exponent 0); results are written
// from limb 0, their exponents untouched, capacities the caller's to provide.
// Fatal "Error in TwoMulBigInt, BigInts are two large" when a transform would exceed NFFT/2.
void TwoMulBigInt(const BigInt& a, const BigInt& b, const BigInt& c, const BigInt& d,
                  const BigInt& e, const BigInt* f, BigInt& r1, BigInt& r2, BigInt* r3);

// Products by one factor a whose transform is made by the first product and reused by the
// next ones while this object lives (the transform cache belongs to it: a product of any
// other caller in between only costs a new transform). a's limbs must not change while the
// object is used; r may share limbs with a as in the plain calls.
class ReusedFactor {
public:
    explicit ReusedFactor(const BigInt& a);
    // MulBigInt(a, b, r).
    void Mul(const BigInt& b, BigInt& r);
    // TruncatedMulBigInt(a, b, r, scratch2).
    void TruncatedMul(const BigInt& b, BigInt& r, BigInt* scratch2 = nullptr);
    // The raw limbs of factor * a * b[0 .. Nb) that fall in a window: limb k of the product
    // (weight 10^(12 k) relative to the limbs a[0], b[0]) is added to dst[k - cut] when
    // 0 <= k - cut < len; nothing is normalised, limbs below the cut pass no carry.
    // factor is 1 or 2 (exact). a has at most NFFT / 3 limbs; b any length (pieces of a's
    // transform third); when pb is a's own limbs (and Nb = Na) the square comes from a's
    // transform alone. dst must not overlap a or b. Each product adds less than
    // factor (3 10^12 + NFFT 5001^2) to a limb of the window (docs/notes/fft_error.md).
    void AddWindow(const double* pb, long Nb, double* dst, long cut, long len, double factor = 1.0);
    const BigInt& factor() const { return a_; }

private:
    const BigInt& a_;
    long token_;
};

// A process-long FFT state of n points with its scratch BigInt of capacity n / 3, for code
// outside any FFTSession (tests, benchmarks).
void SetupFFT(long n);

namespace testing {
// Runs the full transform path (split-free) on two digit sequences of n entries each
// (n a transform size <= NFFT) and returns the largest distance of the inverse outputs to
// their nearest integers; with guard set, the exactness guard applies as in every product.
// Lets tests force the guard with digits far outside the balanced range.
double ConvolutionRoundingDistance(const double* da, const double* db, long n, bool guard);
// Largest rounding distance seen by products since the last call (then reset).
double TakeMaxRoundingDistance();
// Number of operand transforms made so far (the cache tests count them).
long ForwardTransformCount();
// Pieces of a accumulated between two carry passes over the result window (0: the
// automatic budget, which only large FFT sizes reach).
void SetCarryBudgetForTest(long pieces);
}  // namespace testing

}  // namespace zeprix::fft
