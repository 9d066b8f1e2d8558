// Vector types of the transform kernels: AVX2 through GCC/Clang vector extensions, or none.
#pragma once

#if defined(__AVX2__) && !defined(ZEPRIX_PORTABLE)
#define ZEPRIX_FFT_AVX2 1
#include <immintrin.h>
#endif

namespace zeprix::fft {

#if defined(ZEPRIX_FFT_AVX2)
// Four doubles in one AVX register; arithmetic by the usual operators (each one rounded
// operation, no contraction: the build disables it).
typedef double V4 __attribute__((vector_size(32)));

inline V4 Load4(const double* p) { return *reinterpret_cast<const V4*>(p); }
inline void Store4(double* p, V4 v) { *reinterpret_cast<V4*>(p) = v; }
inline V4 LoadU4(const double* p) { return V4(_mm256_loadu_pd(p)); }
inline void StoreU4(double* p, V4 v) { _mm256_storeu_pd(p, __m256d(v)); }
inline V4 Splat4(double x) { return V4{x, x, x, x}; }

// Halves of a complex product: MulSub(a, b, c, d) = a b - c d, MulAdd(a, b, c, d) = a b + c d.
// With FMA (written here on purpose, the build never contracts by itself) c d is rounded
// once and the fused a b -/+ (c d) once: two roundings instead of three, so each half has
// an error of at most 1 ulp of c d plus 1/2 ulp of the result, no more than the unfused
// form, and the complex product stays within the usual bound of a few ulp that the
// rounding-error analysis (docs/notes/fft_error.md) assumes.
#if defined(__FMA__)
inline V4 MulSub(V4 a, V4 b, V4 c, V4 d) {
    return V4(_mm256_fmsub_pd(__m256d(a), __m256d(b), __m256d(c * d)));
}
inline V4 MulAdd(V4 a, V4 b, V4 c, V4 d) {
    return V4(_mm256_fmadd_pd(__m256d(a), __m256d(b), __m256d(c * d)));
}
#else
inline V4 MulSub(V4 a, V4 b, V4 c, V4 d) { return a * b - c * d; }
inline V4 MulAdd(V4 a, V4 b, V4 c, V4 d) { return a * b + c * d; }
#endif

// In-place transpose of the 4x4 matrix whose rows are a, b, c, d.
inline void Transpose4(V4& a, V4& b, V4& c, V4& d) {
    __m256d t0 = _mm256_unpacklo_pd(__m256d(a), __m256d(b));
    __m256d t1 = _mm256_unpackhi_pd(__m256d(a), __m256d(b));
    __m256d t2 = _mm256_unpacklo_pd(__m256d(c), __m256d(d));
    __m256d t3 = _mm256_unpackhi_pd(__m256d(c), __m256d(d));
    a = V4(_mm256_permute2f128_pd(t0, t2, 0x20));
    b = V4(_mm256_permute2f128_pd(t1, t3, 0x20));
    c = V4(_mm256_permute2f128_pd(t0, t2, 0x31));
    d = V4(_mm256_permute2f128_pd(t1, t3, 0x31));
}

// (re, im) split vectors -> two vectors of interleaved pairs (r0 i0 r1 i1), (r2 i2 r3 i3).
inline void Interleave4(V4 re, V4 im, V4& p0, V4& p1) {
    __m256d lo = _mm256_unpacklo_pd(__m256d(re), __m256d(im));
    __m256d hi = _mm256_unpackhi_pd(__m256d(re), __m256d(im));
    p0 = V4(_mm256_permute2f128_pd(lo, hi, 0x20));
    p1 = V4(_mm256_permute2f128_pd(lo, hi, 0x31));
}

// Inverse of Interleave4.
inline void Deinterleave4(V4 p0, V4 p1, V4& re, V4& im) {
    __m256d lo = _mm256_permute2f128_pd(__m256d(p0), __m256d(p1), 0x20);
    __m256d hi = _mm256_permute2f128_pd(__m256d(p0), __m256d(p1), 0x31);
    re = V4(_mm256_unpacklo_pd(lo, hi));
    im = V4(_mm256_unpackhi_pd(lo, hi));
}
#endif

// Scalar forms (portable path and scalar tails): unfused, as the build compiles them.
inline double MulSub(double a, double b, double c, double d) { return a * b - c * d; }
inline double MulAdd(double a, double b, double c, double d) { return a * b + c * d; }

}  // namespace zeprix::fft
