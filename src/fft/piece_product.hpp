// Products by transform, on raw limbs: the FFT's part of every product. The product layer
// (multiply.cpp) cuts operands into pieces, owns the windows they are added into, carries
// them and normalises the result; these routines transform, multiply and add one piece's
// product into a window, and keep the transform cache.
//
// A window is a run of raw limbs: limb k of a product (weight 10^(12 k) relative to the
// operands' limb 0) is added to dst[k - cut] when 0 <= k - cut < len. Each piece product
// adds less than 3 10^12 + n 5001^2 to a limb (docs/notes/fft_error.md). Every inverse
// output passes the rounding guard (fatal above 0.25 from its integer).
#pragma once

namespace zeprix::fft {

// The owner of the product call in progress: every public product sets it for its length
// (a fresh token, or the token of a ReusedFactor). A cached transform is reused only by
// its owner.
long NewOwnerToken();
class CallScope {
public:
    explicit CallScope(long owner);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    long previous_;
};

// Forgets the cached transform (X and Y are about to hold other data).
void DropCache();

// The digits of limbs a[0 .. Na) transformed (size n) into dst; returns the small-path flag.
bool TransformLimbs(const double* a, long Na, double* dst, long n);

// X = the transform of size n of a[0 .. Na): from the cache when keep is set and X holds it
// for the call's owner, else made and cached. Returns the small-path flag.
bool PrepareTransform(const double* a, long Na, long n, bool keep);

// Inverse of the product spectrum in data (size n), added into the window; count: the digit
// positions that can be nonzero.
void InverseAndAdd(double* data, long n, bool small, long count, double* dst, long cut, long len);

// a * b added into the window (dst, cut, len) through one transform of a (size
// Upper2Power(3 Na, NFFT), from the cache when keep is set) and b in pieces of n/3 limbs
// from its top down, each product multiplied by factor (1 or 2, exact). With zeroing, the
// window part that each piece reaches first is cleared just before its product is added,
// so dst may be b's own limbs (every piece of b is saved before the window is written).
void AddPieceProducts(const double* pa, long Na, const double* pb, long Nb, double* dst, long cut,
                      long len, bool zeroing, bool keep, double factor = 1.0);

// a^2 added into the window from one transform of a (size Upper2Power(3 Na, NFFT), from
// the cache when keep is set); the transform stays cached for the call's owner.
void AddPieceSquare(const double* pa, long Na, double* dst, long cut, long len, bool keep);

// r[0 .. Na + Nb) = a * b through one transform each, of size n (3 Na and 3 Nb at most n,
// n <= NFFT); a's from the cache when keep is set. Both operands are read before r is
// cleared and written, so r may share limbs with b. Not normalised.
void AddBalancedProduct(const double* pa, long Na, const double* pb, long Nb, double* r, long n,
                        bool keep);

}  // namespace zeprix::fft
