// Point-by-point product of packed spectra (vectorised over pairs).
#include "fft/pointwise.hpp"

#include "core/parallel.hpp"
#include "fft/simd.hpp"

namespace zeprix::fft {

namespace {

// Spectra of at least this many points are multiplied by all the threads, in runs of
// whole pairs; the products are the same whoever computes them.
constexpr long kParallelMinPoints = 1L << 15;

// Runs fn(e0, e1) over runs of pair offsets covering [1, 2n - 1) (odd bounds).
template <class F>
void ForPairRuns(long n, F&& fn) {
    const int parts = n >= kParallelMinPoints ? core::ThreadCount() : 1;
    if (parts == 1) {
        fn(1L, 2 * n - 1);
        return;
    }
    const long pairs = n - 1;
    core::ParallelFor(parts, [&](long k, int) {
        fn(1 + 2 * (pairs * k / parts), 1 + 2 * (pairs * (k + 1) / parts));
    });
}

// y[e0 .. e1) = x * y, pairs as complex numbers.
void MulPairs(const double* x, double* y, long e0, long e1) {
    long e = e0;
#if defined(ZEPRIX_FFT_AVX2)
    // Four pairs per step: (a + bi)(c + di) = (ac - bd) + (ad + bc) i.
    for (; e + 8 <= e1; e += 8) {
        for (int u = 0; u < 8; u += 4) {
            __m256d xv = _mm256_loadu_pd(x + e + u);
            __m256d yv = _mm256_loadu_pd(y + e + u);
            __m256d xr = _mm256_movedup_pd(xv);       // a a
            __m256d xi = _mm256_permute_pd(xv, 0xF);  // b b
            __m256d ys = _mm256_permute_pd(yv, 0x5);  // d c
            __m256d q = _mm256_mul_pd(xi, ys);        // bd bc
#if defined(__FMA__)
            // ac - bd, ad + bc with the first products fused (two roundings each, on purpose)
            _mm256_storeu_pd(y + e + u, _mm256_fmaddsub_pd(xr, yv, q));
#else
            __m256d p = _mm256_mul_pd(xr, yv);  // ac ad
            _mm256_storeu_pd(y + e + u, _mm256_addsub_pd(p, q));
#endif
        }
    }
#endif
    for (; e < e1; e += 2) {
        const double a = x[e], b = x[e + 1], c = y[e], d = y[e + 1];
        y[e] = a * c - b * d;
        y[e + 1] = a * d + b * c;
    }
}

}  // namespace

void MulSpectra(const double* x, double* y, long n) {
    const long last = 2 * n - 1;
    const double y0 = x[0] * y[0];
    const double yl = x[last] * y[last];
    ForPairRuns(n, [&](long e0, long e1) { MulPairs(x, y, e0, e1); });
    y[0] = y0;
    y[last] = yl;
}

void MulAddSpectra(const double* x1, const double* y1, const double* x2, double* y2, long n) {
    const long last = 2 * n - 1;
    y2[0] = x1[0] * y1[0] + x2[0] * y2[0];
    y2[last] = x1[last] * y1[last] + x2[last] * y2[last];
    ForPairRuns(n, [&](long e0, long e1) {
        for (long e = e0; e < e1; e += 2) {
            const double a = x1[e], b = x1[e + 1], c = y1[e], d = y1[e + 1];
            const double g = x2[e], h = x2[e + 1], k = y2[e], l = y2[e + 1];
            y2[e] = (a * c - b * d) + (g * k - h * l);
            y2[e + 1] = (a * d + b * c) + (g * l + h * k);
        }
    });
}

}  // namespace zeprix::fft
