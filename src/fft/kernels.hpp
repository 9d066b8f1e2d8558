// Transform kernels: complex FFT passes on split arrays, the weighted half-length transform
// of a real sequence, and the real transforms built from them.
#pragma once

#include "fft/fft_state.hpp"
#include "fft/simd.hpp"

namespace zeprix::fft::kernels {

// Element types of the generic transforms: double, or (AVX2) V4, four independent columns
// in one register. Splat turns a twiddle into an element.
template <class T>
inline T Splat(double x);
template <>
inline double Splat<double>(double x) {
    return x;
}
#if defined(ZEPRIX_FFT_AVX2)
template <>
inline V4 Splat<V4>(double x) {
    return V4{x, x, x, x};
}
#endif

// ---------------------------------------------------------------------------------------
// Complex transforms of length M (a power of two >= 1) on split arrays re[M], im[M].
//
// ComplexForwardGeneric: decimation in frequency, X[k] = sum_j x[j] e^(-2 pi i jk/M),
// X[k] left at slot bitrev(k). ComplexInverseGeneric: the matching decimation in time from
// bit-reversed slots, conjugate twiddles, unnormalised (the result is M times the input).
// Radix-4 sweeps (two levels each) and one radix-2 sweep when log2 M is odd. T is double or
// V4 (four independent transforms, one per lane). Twiddles come from the span table.
// ---------------------------------------------------------------------------------------
template <class T>
void ComplexForwardGeneric(T* re, T* im, long M) {
    const double* wr = State().spanRe;
    const double* wi = State().spanIm;
    long h = M / 2;
    while (h >= 2) {
        // Levels of span h and q = h/2 in one sweep. For k < q, with w1 = e^(-i pi k/h) and
        // w2 = w1^2 = e^(-i pi k/q): x0,x1,x2,x3 at k, k+q, k+h, k+h+q.
        const long q = h / 2;
        for (long b = 0; b < M; b += 2 * h) {
            T* r = re + b;
            T* m = im + b;
            for (long k = 0; k < q; ++k) {
                const T w1r = Splat<T>(wr[h + k]), w1i = Splat<T>(wi[h + k]);
                const T w2r = Splat<T>(wr[q + k]), w2i = Splat<T>(wi[q + k]);
                T x0r = r[k], x0i = m[k], x1r = r[k + q], x1i = m[k + q];
                T x2r = r[k + h], x2i = m[k + h], x3r = r[k + h + q], x3i = m[k + h + q];
                T a0r = x0r + x2r, a0i = x0i + x2i;
                T a1r = x1r + x3r, a1i = x1i + x3i;
                T d2r = x0r - x2r, d2i = x0i - x2i;
                // (x1 - x3) * (-i)
                T d3r = x1i - x3i, d3i = x3r - x1r;
                T a2r = MulSub(d2r, w1r, d2i, w1i), a2i = MulAdd(d2r, w1i, d2i, w1r);
                T a3r = MulSub(d3r, w1r, d3i, w1i), a3i = MulAdd(d3r, w1i, d3i, w1r);
                r[k] = a0r + a1r;
                m[k] = a0i + a1i;
                T e1r = a0r - a1r, e1i = a0i - a1i;
                r[k + q] = MulSub(e1r, w2r, e1i, w2i);
                m[k + q] = MulAdd(e1r, w2i, e1i, w2r);
                r[k + h] = a2r + a3r;
                m[k + h] = a2i + a3i;
                T e3r = a2r - a3r, e3i = a2i - a3i;
                r[k + h + q] = MulSub(e3r, w2r, e3i, w2i);
                m[k + h + q] = MulAdd(e3r, w2i, e3i, w2r);
            }
        }
        h /= 4;
    }
    if (h == 1) {
        for (long b = 0; b < M; b += 2) {
            T ar = re[b], ai = im[b], br = re[b + 1], bi = im[b + 1];
            re[b] = ar + br;
            im[b] = ai + bi;
            re[b + 1] = ar - br;
            im[b + 1] = ai - bi;
        }
    }
}

template <class T>
void ComplexInverseGeneric(T* re, T* im, long M) {
    const double* wr = State().spanRe;
    const double* wi = State().spanIm;
    // Mirror of the forward schedule: the lone radix-2 level (span 1) first when log2 M is
    // odd, then the radix-4 sweeps with spans (q, h) growing.
    long levels = 0;
    while ((1L << levels) < M) ++levels;
    long h;
    if (levels & 1) {
        for (long b = 0; b < M; b += 2) {
            T ar = re[b], ai = im[b], br = re[b + 1], bi = im[b + 1];
            re[b] = ar + br;
            im[b] = ai + bi;
            re[b + 1] = ar - br;
            im[b + 1] = ai - bi;
        }
        h = 4;
    } else {
        h = 2;
    }
    for (; h <= M / 2; h *= 4) {
        const long q = h / 2;
        for (long b = 0; b < M; b += 2 * h) {
            T* r = re + b;
            T* m = im + b;
            for (long k = 0; k < q; ++k) {
                const T w1r = Splat<T>(wr[h + k]), w1i = Splat<T>(-wi[h + k]);
                const T w2r = Splat<T>(wr[q + k]), w2i = Splat<T>(-wi[q + k]);
                T y0r = r[k], y0i = m[k], y1r = r[k + q], y1i = m[k + q];
                T y2r = r[k + h], y2i = m[k + h], y3r = r[k + h + q], y3i = m[k + h + q];
                T t1r = MulSub(y1r, w2r, y1i, w2i), t1i = MulAdd(y1r, w2i, y1i, w2r);
                T t3r = MulSub(y3r, w2r, y3i, w2i), t3i = MulAdd(y3r, w2i, y3i, w2r);
                T a0r = y0r + t1r, a0i = y0i + t1i;
                T a1r = y0r - t1r, a1i = y0i - t1i;
                T a2r = y2r + t3r, a2i = y2i + t3i;
                T a3r = y2r - t3r, a3i = y2i - t3i;
                T b2r = MulSub(a2r, w1r, a2i, w1i), b2i = MulAdd(a2r, w1i, a2i, w1r);
                T b3r = MulSub(a3r, w1r, a3i, w1i), b3i = MulAdd(a3r, w1i, a3i, w1r);
                // b3 * (+i)
                T c3r = -b3i, c3i = b3r;
                r[k] = a0r + b2r;
                m[k] = a0i + b2i;
                r[k + h] = a0r - b2r;
                m[k + h] = a0i - b2i;
                r[k + q] = a1r + c3r;
                m[k + q] = a1i + c3i;
                r[k + h + q] = a1r - c3r;
                m[k + h + q] = a1i - c3i;
            }
        }
    }
}

// Horizontal complex transforms on double arrays: the same transforms as above but with
// a fixed slot order of their own (vectorised last levels); inverse matches forward.
// re and im must be 32-byte aligned when M >= 16.
void ComplexForward(double* re, double* im, long M);
void ComplexInverse(double* re, double* im, long M);

struct GenericFft {
    template <class T>
    void operator()(T* re, T* im, long M) const {
        ComplexForwardGeneric(re, im, M);
    }
};
struct GenericIfft {
    template <class T>
    void operator()(T* re, T* im, long M) const {
        ComplexInverseGeneric(re, im, M);
    }
};
struct FastFft {
    void operator()(double* re, double* im, long M) const { ComplexForward(re, im, M); }
};
struct FastIfft {
    void operator()(double* re, double* im, long M) const { ComplexInverse(re, im, M); }
};

// ---------------------------------------------------------------------------------------
// Real transforms. For a real sequence x, write X_P for its DFT of length P.
//
// Weighted half-length transform (L >= 2): the L/2 values of x (length L) at the roots of
// t^L = -1 with t^(L/2) = -i, i.e. X_2L at frequencies 4k+1 (x zero-padded to 2L):
// z[j] = (x[j] - i x[j + L/2]) e^(-i pi j / L), then a complex transform of length L/2.
// re/im receive the L/2 values; x is left unchanged.
// ---------------------------------------------------------------------------------------
template <class T, class Fft>
void WeightedForward(const T* x, long L, T* re, T* im, Fft fft) {
    const long h = L / 2;
    const double* wr = State().spanRe + L;
    const double* wi = State().spanIm + L;
    for (long j = 0; j < h; ++j) {
        T a = x[j], b = x[j + h];
        re[j] = MulAdd(a, Splat<T>(wr[j]), b, Splat<T>(wi[j]));
        im[j] = MulSub(a, Splat<T>(wi[j]), b, Splat<T>(wr[j]));
    }
    fft(re, im, h);
}

// Inverse of WeightedForward for a product: out[0 .. L) = L * (c mod (t^L + 1)), where the
// L/2 values in re/im are those of c. re/im are overwritten.
template <class T, class Ifft>
void WeightedInverse(T* re, T* im, long L, T* out, Ifft ifft) {
    const long h = L / 2;
    ifft(re, im, h);
    const double* wr = State().spanRe + L;
    const double* wi = State().spanIm + L;
    for (long j = 0; j < h; ++j) {
        T zr = re[j], zi = im[j];
        // z * conj(w) = (L/2) (g[j] - i g[j + L/2]), g = c mod (t^L + 1)
        out[j] = (MulAdd(zr, Splat<T>(wr[j]), zi, Splat<T>(wi[j]))) * Splat<T>(2.0);
        out[j + h] = (MulSub(zr, Splat<T>(wi[j]), zi, Splat<T>(wr[j]))) * Splat<T>(2.0);
    }
}

// Spectrum layout of a real sequence of length M (M >= 2), "real layout", M doubles:
//   the weighted block of level L at [M - 2L, M - L) for L = M/2, M/4, .., 2
//   (L/2 real parts then L/2 imaginary parts), then x mod (t + 1) at M - 2 (highest
//   frequency) and x mod (t - 1) at M - 1 (frequency 0).
// Level L holds the weighted transform of x_2L mod (t^L + 1), x_2L = x mod (t^2L - 1).
// RealForward destroys x (it is folded in place).
template <class T, class Fft>
void RealForward(T* x, long M, T* out, Fft fft) {
    for (long L = M / 2; L >= 2; L /= 2) {
        T* re = out + (M - 2 * L);
        T* im = re + L / 2;
        const long h = L / 2;
        const double* wr = State().spanRe + L;
        const double* wi = State().spanIm + L;
        for (long j = 0; j < h; ++j) {
            T x0 = x[j], x1 = x[j + h], x2 = x[j + L], x3 = x[j + L + h];
            T d0 = x0 - x2, d1 = x1 - x3;
            x[j] = x0 + x2;
            x[j + h] = x1 + x3;
            re[j] = MulAdd(d0, Splat<T>(wr[j]), d1, Splat<T>(wi[j]));
            im[j] = MulSub(d0, Splat<T>(wi[j]), d1, Splat<T>(wr[j]));
        }
        fft(re, im, h);
    }
    out[M - 2] = x[0] - x[1];
    out[M - 1] = x[0] + x[1];
}

// Zero-padded form: x (length m) padded to 2m; the spectrum (2m doubles, real layout of
// length 2m) is that of the padded sequence. Destroys x.
template <class T, class Fft>
void PaddedRealForward(T* x, long m, T* out, Fft fft) {
    WeightedForward(x, m, out, out + m / 2, fft);
    RealForward(x, m, out + m, fft);
}

// Inverse of RealForward for a product: from a real-layout spectrum (M doubles, destroyed)
// out[0 .. M) = M * c, c the cyclic convolution of length M whose spectrum is given.
template <class T, class Ifft>
void RealInverse(T* spectrum, long M, T* out, Ifft ifft) {
    const T nyq = spectrum[M - 2], dc = spectrum[M - 1];
    out[0] = dc + nyq;  // 2 * (c mod (t^2 - 1)), low and high coefficient
    out[1] = dc - nyq;
    for (long L = 2; L <= M / 2; L *= 2) {
        T* re = spectrum + (M - 2 * L);
        T* im = re + L / 2;
        const long h = L / 2;
        ifft(re, im, h);
        const double* wr = State().spanRe + L;
        const double* wi = State().spanIm + L;
        // g = L * (c mod (t^L + 1)); out[0 .. L) holds L * (c mod (t^L - 1)).
        for (long j = 0; j < h; ++j) {
            T zr = re[j], zi = im[j];
            T g0 = (MulAdd(zr, Splat<T>(wr[j]), zi, Splat<T>(wi[j]))) * Splat<T>(2.0);
            T g1 = (MulSub(zr, Splat<T>(wi[j]), zi, Splat<T>(wr[j]))) * Splat<T>(2.0);
            T s0 = out[j], s1 = out[j + h];
            out[j] = s0 + g0;
            out[j + L] = s0 - g0;
            out[j + h] = s1 + g1;
            out[j + h + L] = s1 - g1;
        }
    }
}

// In-place forms with the ascending real layout of length M (M doubles):
//   x mod (t - 1) (frequency 0) at 0, x mod (t + 1) (the highest frequency) at 1, and the
//   weighted block of level L at [L, 2L) for L = 2, 4, .., M/2 (L/2 real parts, then L/2
//   imaginary parts).
// PaddedRealForwardInPlace: buf[0 .. m) holds x (length m, zero-padded to 2m); on return
// buf[0 .. 2m) holds the spectrum in the ascending layout of length 2m. Each level reads
// the four quarters of what is left of x and writes the fold over the low half and the
// weighted values over the high half, element by element, so nothing is overwritten
// before it is read.
template <class T, class Fft>
void PaddedRealForwardInPlace(T* buf, long m, Fft fft) {
    {
        // Level m: the weighted transform of x itself into [m, 2m) (x stays in [0, m)).
        const long h = m / 2;
        const double* wr = State().spanRe + m;
        const double* wi = State().spanIm + m;
        T* re = buf + m;
        T* im = re + h;
        for (long j = 0; j < h; ++j) {
            T a = buf[j], b = buf[j + h];
            re[j] = MulAdd(a, Splat<T>(wr[j]), b, Splat<T>(wi[j]));
            im[j] = MulSub(a, Splat<T>(wi[j]), b, Splat<T>(wr[j]));
        }
        fft(re, im, h);
    }
    // Levels L = m/2 .. 2 of x (length 2L at [0, 2L)): fold into [0, L), block into [L, 2L).
    for (long L = m / 2; L >= 2; L /= 2) {
        const long h = L / 2;
        const double* wr = State().spanRe + L;
        const double* wi = State().spanIm + L;
        T* re = buf + L;
        T* im = re + h;
        for (long j = 0; j < h; ++j) {
            T x0 = buf[j], x1 = buf[j + h], x2 = buf[j + L], x3 = buf[j + L + h];
            T d0 = x0 - x2, d1 = x1 - x3;
            buf[j] = x0 + x2;
            buf[j + h] = x1 + x3;
            re[j] = MulAdd(d0, Splat<T>(wr[j]), d1, Splat<T>(wi[j]));
            im[j] = MulSub(d0, Splat<T>(wi[j]), d1, Splat<T>(wr[j]));
        }
        fft(re, im, h);
    }
    const T x0 = buf[0], x1 = buf[1];
    buf[0] = x0 + x1;
    buf[1] = x0 - x1;
}

// RealInverseInPlace: buf[0 .. M) holds a spectrum in the ascending layout of length M; on
// return it holds M * c, c the cyclic convolution of length M whose spectrum was given.
// Step L reads block [L, 2L) and the partial result [0, L), and writes [0, 2L).
template <class T, class Ifft>
void RealInverseInPlace(T* buf, long M, Ifft ifft) {
    const T dc = buf[0], nyq = buf[1];
    buf[0] = dc + nyq;
    buf[1] = dc - nyq;
    for (long L = 2; L <= M / 2; L *= 2) {
        T* re = buf + L;
        T* im = re + L / 2;
        const long h = L / 2;
        ifft(re, im, h);
        const double* wr = State().spanRe + L;
        const double* wi = State().spanIm + L;
        for (long j = 0; j < h; ++j) {
            T zr = re[j], zi = im[j];
            T g0 = (MulAdd(zr, Splat<T>(wr[j]), zi, Splat<T>(wi[j]))) * Splat<T>(2.0);
            T g1 = (MulSub(zr, Splat<T>(wi[j]), zi, Splat<T>(wr[j]))) * Splat<T>(2.0);
            T s0 = buf[j], s1 = buf[j + h];
            buf[j] = s0 + g0;
            buf[j + L] = s0 - g0;
            buf[j + h] = s1 + g1;
            buf[j + h + L] = s1 - g1;
        }
    }
}

}  // namespace zeprix::fft::kernels
