// Process-wide FFT state: the size fixed by InitFFT, its tables, buffers and transform cache.
#pragma once

#include <cstdint>
#include <memory>

namespace zeprix::numbers {
class BigInt;
}

namespace zeprix::fft {

// One instance per process (gFFT), built by InitFFT and never released.
//
// Sizes, for NFFT = n: s = smallest power of two >= 4 with s * s >= n (2 when n <= 4),
// T = max(2s, 4096), b = max(16s, 4096). Every double block below comes from the limb-block
// allocator and is counted in the memory counter; the bit-reversal table is ordinary heap.
struct FFTState {
    bool initialised = false;
    long NFFT = 0;
    long s = 0;
    long columnCount = 0;  // NFFT / s: the split rule halves its rows below this
    long T = 0;
    long fineBits = 0;  // log2(2T): the fine four-step table has 2T entries

    // 16-bit bit-reversal permutations of 0 .. m-1 for m = T, T/2, .., 1, one block after
    // the other (2T entries); revBinT is the T it was built for.
    std::uint16_t* revBin = nullptr;
    long revBinT = 0;

    // twiddle2 (4T doubles): span twiddles e^(-i pi k / h), k < h, for h = 1, 2, .., T;
    //   real parts at spanRe[h + k], imaginary parts at spanIm[h + k].
    double* twiddle2 = nullptr;
    const double* spanRe = nullptr;
    const double* spanIm = nullptr;
    // twiddle4 (6T doubles): fine four-step table e^(-i pi t / NFFT), t < 2T, as pairs.
    double* twiddle4 = nullptr;
    // twiddle8 (14T doubles): coarse four-step table e^(-i pi 2T u / NFFT), u < NFFT / T,
    //   as pairs.
    double* twiddle8 = nullptr;

    double* smallBuffer = nullptr;  // 8192 doubles, then the row buffer of 2s doubles
    double* rowBuffer = nullptr;
    double* gather1 = nullptr;  // b + 47 doubles
    double* gather2 = nullptr;  // 2b doubles
    long gatherSize = 0;        // b
    double* X = nullptr;        // 2 (NFFT + s) doubles: transform of the kept operand
    double* Y = nullptr;        // 2 (NFFT + s) doubles: transform of the other operand

    // Transform cache: X holds the transform of size cachedN of the operand whose first
    // limb is at cachedLimbs (with cachedNa limbs). Reused by the next product call only
    // when keepTransform is set by its caller; every product entry point clears the flag.
    bool keepTransform = false;
    long cachedN = 0;
    long cachedNa = 0;
    const double* cachedLimbs = nullptr;
    bool cachedSmall = false;

    // Scratch number of capacity NFFT / 3 (FFT setup, or first use) and the optional work
    // array of 2 (NFFT / 3) + 1 doubles of the second setup form.
    std::unique_ptr<numbers::BigInt> scratch;
    double* workArray = nullptr;
};

extern FFTState gFFT;

// Memory of the FFT layer for a transform of F points, in bytes: the estimate every
// constant adds to its own arrays.
double FFTMemory(double F);

// Fixes the FFT size and builds every table and buffer; resets the memory counter first.
// A second call with the same n does nothing; with another n it is fatal
// ("Error in InitFFT, NFFT is not compatible with previous value"). n: a power of two >= 4.
void InitFFT(long n);

// Transform size for N digits: the smallest power of two p >= max(N, 4), raised to 256.
// Fatal "Error in Upper2Power , N=%ld is too big\n" (with p) when p > Nmax.
long Upper2Power(long N, long Nmax);

// Sets the keep-transform flag for the very next product call (SpecialMul, MulBigInt,
// SquareBigInt, TruncatedMulBigInt, TwoMulBigInt), which clears it on entry whatever path it
// takes: that call reuses X when its first operand is the one transformed last (same
// limbs, same length, same transform size).
void KeepTransform();
// Forgets the cached transform (the kept operand's limbs are about to change).
void InvalidateTransformCache();

// Returns the scratch BigInt (capacity NFFT / 3), creating it on first use.
numbers::BigInt& ScratchBigInt();

struct FFTUtilities {
    // The bit-reversal permutation of 0 .. N-1 (N a power of two <= T) inside the table.
    // Fatal "Error in FFTUtilities::GetRevBinArray, N is too large" when N > T.
    static const std::uint16_t* GetRevBinArray(long N);
};

// e^(-i pi t / n) for 0 <= t < 2n, n a power of two with 256 <= n <= NFFT, from the fine and
// coarse four-step tables (one rounded product of two correctly rounded table entries).
// ratio = NFFT / n.
inline void FourStepTwiddle(long t, long ratio, double& re, double& im) {
    const long tp = t * ratio;  // t / n = tp / NFFT, tp = hi * 2T + lo
    const long lo = tp & (2 * gFFT.T - 1);
    const long hi = tp >> gFFT.fineBits;
    const double ar = gFFT.twiddle4[2 * lo], ai = gFFT.twiddle4[2 * lo + 1];
    const double br = gFFT.twiddle8[2 * hi], bi = gFFT.twiddle8[2 * hi + 1];
    re = ar * br - ai * bi;
    im = ar * bi + ai * br;
}

}  // namespace zeprix::fft
