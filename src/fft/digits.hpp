// Base-10^12 limbs to balanced base-10^4 FFT digits, and convolution values back to limbs.
#pragma once

namespace zeprix::fft {

// Largest distance from an inverse output to its nearest integer that is accepted; the
// derivation of the budget is in docs/notes/fft_error.md.
inline constexpr double kRoundingGuard = 0.25;

// Writes the digits of limbs[0 .. N) into d[0 .. n), least significant first. A limb x
// becomes d0 + 10^4 d1 + 10^8 d2 + 10^12 c: starting from the floors q0, q1, q2 of x in
// base 10^4, each digit above 5000 is replaced by digit - 10^4 and 1 is carried into the
// next one; the carry c out of d2 is added to the next limb's d0 (digit 3N for the top
// limb). Limbs below the top are canonical ([0, 10^12)); the top limb may be negative
// (> -10^12). Hence every digit lies in [-4999, 5001], except the top limb's d2 of a
// negative number (down to -10^4). Centred digits keep the convolution values, and with
// them the rounding error of the transform, four times smaller than digits in [0, 10^4)
// would (docs/notes/fft_error.md). Needs 3N + 1 <= n; digits 3N + 1 .. n - 1 are set to 0.
void LimbsToDigits(const double* limbs, long N, double* d, long n);

// Rounds the convolution values v[m] = D[m] * scale (m < count; scale a power of two) to
// integers and adds v[m] 10^(4m) into the limbs: limb j (weight 10^(12 j)) of the product
// lives at r[j - cut] when 0 <= j - cut < len. Digit m = 3j + c is split so that no limb
// receives more than it can hold exactly (c = 1: q = round(v / 10^8) into limb j + 1 and
// (v - 10^8 q) 10^4 into limb j; c = 2: q = round(v / 10^4) and (v - 10^4 q) 10^8).
// A limb one above the window (j - cut = len) can only receive a few units (the carry
// digits of the operands); they are added as 10^12 times that into r[len - 1]. Limbs below
// the window are dropped, but their high parts still reach r[0].
// D is overwritten (with the rounded values). Returns the largest distance from
// D[m] * scale to its nearest integer. scale = 0: D already holds the rounded values.
double AddDigitsToLimbs(double* D, long count, double scale, double* r, long cut, long len,
                        double factor = 1.0);

// D[0 .. count) = nearest integers of D * scale; returns the largest distance.
double RoundInPlace(double* D, long count, double scale);

// The digits of a number, produced in order, a run at a time (the four-step staging writes
// them row by row into rotated rows): Next(out, count) writes the next count digits.
class DigitStream {
public:
    DigitStream(const double* limbs, long N) : limbs_(limbs), N_(N) {}
    // A stream whose first digit is digit `first` of the number: the balancing carry into a
    // limb depends on the limb below alone, so any position can be a start.
    DigitStream(const double* limbs, long N, long first);
    void Next(double* out, long count);

private:
    void Refill();
    const double* limbs_;
    long N_;
    long j_ = 0;          // next limb to split
    double carry_ = 0.0;  // balancing carry into the next limb's d0
    double buf_[16];
    long have_ = 0, pos_ = 0;
};

// Rounded convolution values added into a limb window a run of limbs at a time, with the
// rules of AddDigitsToLimbs. The runs must cover the limbs in increasing order without gaps,
// starting at limb 'first' (0, or cut - 1 when that is larger: lower limbs are never kept).
class LimbAccumulator {
public:
    // factor (1 or 2) multiplies every value (exactly: a power of two); the square adds its
    // cross products once, doubled.
    LimbAccumulator(double* r, long cut, long len, long first, double factor = 1.0)
        : r_(r), cut_(cut), len_(len), next_(first), factor_(factor) {}
    long NextLimb() const { return next_; }
    // Adds limbs NextLimb() .. NextLimb() + k - 1, whose digits are D[0 .. 3k).
    void AddLimbs(const double* D, long k);
    // The last high part, the limb above the window (checked, folded) and the guard on
    // anything aimed further up.
    void Finish();

    // Threads that share one window each take a run of limbs: a run that does not start at
    // 'first' begins with the high part of the limb below it, made from that limb's two
    // upper digits (d1, d2) as AddLimbs makes it. What a run aimed above the window is
    // handed to the run that finishes (Absorb) before Finish.
    void StartAbove(double d1, double d2);
    double Over() const { return over_; }
    double Beyond() const { return beyond_; }
    void Absorb(double over, double beyond);

private:
    void AddOne(double lo, double hi);
    double* r_;
    long cut_, len_;
    long next_;
    double factor_;
    double hiPrev_ = 0.0, over_ = 0.0, beyond_ = 0.0;
};

// The always-on exactness guard: fatal (naming the transform size n) when maxDistance is
// above kRoundingGuard.
void CheckRoundingDistance(double maxDistance, long n);

}  // namespace zeprix::fft
