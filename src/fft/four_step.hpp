// Forward and inverse transforms of n base-10^4 digits: the small path and the four-step form.
#pragma once

namespace zeprix::fft {

// Rows R and columns C (n = R C) of the four-step form for a transform of size n: R = 8,
// doubled while R * R < n (for n >= 65); C = n / R; for n >= 257, when C is below the column
// count fixed by InitFFT, R is halved.
struct RowsColumns {
    long R;
    long C;
};
RowsColumns SplitRule(long n);

// Largest size transformed by the small path (one real transform in the small buffer).
inline constexpr long kSmallPathMax = 4096;

// Where the forward transform takes its n digits from: a digit array (not overlapping the
// transform array), or the limbs of a number, split on the fly by the rule of
// LimbsToDigits (digits.hpp; 3N + 1 <= n).
struct DigitSource {
    const double* digits = nullptr;
    const double* limbs = nullptr;
    long N = 0;
};

// Where the inverse transform puts the convolution: either the 2n values (times 2n,
// unrounded, natural order) into 'values' (not overlapping the transform array), or,
// when 'values' is null, rounded and added into the limb window (r, cut, len) exactly as
// AddDigitsToLimbs does for the first 'count' digit positions; maxDistance receives the
// largest distance of those positions' values to their nearest integers.
struct DigitSink {
    double* values = nullptr;
    // Called once the digit source has been consumed and before the window is written
    // (the caller may then overwrite the source or clear the window).
    void (*prepare)(void*) = nullptr;
    void* prepareArg = nullptr;
    double* r = nullptr;
    long cut = 0;
    long len = 0;
    long count = 0;
    double factor = 1.0;  // the rounded values are added times this (1 or 2)
    double maxDistance = 0.0;
};

// Forward transform of size n (a power of two, 256 <= n <= NFFT) into data (64-byte
// aligned, 2(n + s) doubles): on return data[0 .. 2n) holds the packed spectrum of the
// digits zero-padded to 2n: element 0 is the value at frequency 0, element 2n - 1 the value
// at frequency n (both real), and the elements between hold the other n - 1 distinct
// frequencies as (real, imaginary) pairs in a fixed order of this implementation.
// Returns true when the small path was taken (allowSmall and n <= kSmallPathMax).
bool ForwardTransform(double* data, long n, bool allowSmall, const DigitSource& src);

// Inverse of ForwardTransform for the spectrum of a product (data is destroyed). small:
// the value that ForwardTransform returned for both factors.
void InverseTransform(double* data, long n, bool small, DigitSink& sink);

// The product with a kept spectrum in one sweep: the forward transform of src into data,
// the point-by-point product with the packed spectrum x (made by ForwardTransform with the
// same n and allowSmall), and the inverse into the sink, as ForwardTransform, MulSpectra
// and InverseTransform would do, but each row's spectrum is multiplied and transformed
// back while it is in cache (data never holds the packed spectrum). Returns the small flag.
bool ForwardMultiplyInverse(double* data, long n, bool allowSmall, const DigitSource& src,
                            const double* x, DigitSink& sink);

// Inverse of the product of two packed spectra x1 and x2 (neither is changed; data, a
// third array of 2(n + s) doubles, is the work space): as MulSpectra into a copy and
// InverseTransform, in one sweep.
void InverseOfProduct(const double* x1, const double* x2, double* data, long n, bool small,
                      DigitSink& sink);

}  // namespace zeprix::fft
