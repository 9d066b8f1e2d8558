// Transform kernels: vectorised complex transforms of rows (AVX2) with a portable fallback.
#include "fft/kernels.hpp"

#include "fft/simd.hpp"

namespace zeprix::fft::kernels {

#if defined(ZEPRIX_FFT_AVX2)
namespace {

// One radix-2 level of span h (h >= 4), decimation in frequency.
void Radix2Forward(double* re, double* im, long M, long h) {
    const double* wr = State().spanRe + h;
    const double* wi = State().spanIm + h;
    for (long b = 0; b < M; b += 2 * h) {
        double* r = re + b;
        double* m = im + b;
        for (long k = 0; k < h; k += 4) {
            V4 ar = Load4(r + k), ai = Load4(m + k), br = Load4(r + k + h), bi = Load4(m + k + h);
            V4 w_r = Load4(wr + k), w_i = Load4(wi + k);
            Store4(r + k, ar + br);
            Store4(m + k, ai + bi);
            V4 dr = ar - br, di = ai - bi;
            Store4(r + k + h, MulSub(dr, w_r, di, w_i));
            Store4(m + k + h, MulAdd(dr, w_i, di, w_r));
        }
    }
}

void Radix2Inverse(double* re, double* im, long M, long h) {
    const double* wr = State().spanRe + h;
    const double* wi = State().spanIm + h;
    for (long b = 0; b < M; b += 2 * h) {
        double* r = re + b;
        double* m = im + b;
        for (long k = 0; k < h; k += 4) {
            V4 ar = Load4(r + k), ai = Load4(m + k), br = Load4(r + k + h), bi = Load4(m + k + h);
            V4 w_r = Load4(wr + k), w_i = Load4(wi + k);
            // b * conj(w)
            V4 tr = MulAdd(br, w_r, bi, w_i), ti = MulSub(bi, w_r, br, w_i);
            Store4(r + k, ar + tr);
            Store4(m + k, ai + ti);
            Store4(r + k + h, ar - tr);
            Store4(m + k + h, ai - ti);
        }
    }
}

// Levels of span h and h/2 in one sweep (h >= 8), as in ComplexForwardGeneric.
void Radix4Forward(double* re, double* im, long M, long h) {
    const long q = h / 2;
    const double* w1rp = State().spanRe + h;
    const double* w1ip = State().spanIm + h;
    const double* w2rp = State().spanRe + q;
    const double* w2ip = State().spanIm + q;
    for (long b = 0; b < M; b += 2 * h) {
        double* r = re + b;
        double* m = im + b;
        for (long k = 0; k < q; k += 4) {
            V4 w1r = Load4(w1rp + k), w1i = Load4(w1ip + k);
            V4 w2r = Load4(w2rp + k), w2i = Load4(w2ip + k);
            V4 x0r = Load4(r + k), x0i = Load4(m + k);
            V4 x1r = Load4(r + k + q), x1i = Load4(m + k + q);
            V4 x2r = Load4(r + k + h), x2i = Load4(m + k + h);
            V4 x3r = Load4(r + k + h + q), x3i = Load4(m + k + h + q);
            V4 a0r = x0r + x2r, a0i = x0i + x2i;
            V4 a1r = x1r + x3r, a1i = x1i + x3i;
            V4 d2r = x0r - x2r, d2i = x0i - x2i;
            V4 d3r = x1i - x3i, d3i = x3r - x1r;
            V4 a2r = MulSub(d2r, w1r, d2i, w1i), a2i = MulAdd(d2r, w1i, d2i, w1r);
            V4 a3r = MulSub(d3r, w1r, d3i, w1i), a3i = MulAdd(d3r, w1i, d3i, w1r);
            Store4(r + k, a0r + a1r);
            Store4(m + k, a0i + a1i);
            V4 e1r = a0r - a1r, e1i = a0i - a1i;
            Store4(r + k + q, MulSub(e1r, w2r, e1i, w2i));
            Store4(m + k + q, MulAdd(e1r, w2i, e1i, w2r));
            Store4(r + k + h, a2r + a3r);
            Store4(m + k + h, a2i + a3i);
            V4 e3r = a2r - a3r, e3i = a2i - a3i;
            Store4(r + k + h + q, MulSub(e3r, w2r, e3i, w2i));
            Store4(m + k + h + q, MulAdd(e3r, w2i, e3i, w2r));
        }
    }
}

void Radix4Inverse(double* re, double* im, long M, long h) {
    const long q = h / 2;
    const double* w1rp = State().spanRe + h;
    const double* w1ip = State().spanIm + h;
    const double* w2rp = State().spanRe + q;
    const double* w2ip = State().spanIm + q;
    for (long b = 0; b < M; b += 2 * h) {
        double* r = re + b;
        double* m = im + b;
        for (long k = 0; k < q; k += 4) {
            // conjugate twiddles
            V4 w1r = Load4(w1rp + k), w1i = -Load4(w1ip + k);
            V4 w2r = Load4(w2rp + k), w2i = -Load4(w2ip + k);
            V4 y0r = Load4(r + k), y0i = Load4(m + k);
            V4 y1r = Load4(r + k + q), y1i = Load4(m + k + q);
            V4 y2r = Load4(r + k + h), y2i = Load4(m + k + h);
            V4 y3r = Load4(r + k + h + q), y3i = Load4(m + k + h + q);
            V4 t1r = MulSub(y1r, w2r, y1i, w2i), t1i = MulAdd(y1r, w2i, y1i, w2r);
            V4 t3r = MulSub(y3r, w2r, y3i, w2i), t3i = MulAdd(y3r, w2i, y3i, w2r);
            V4 a0r = y0r + t1r, a0i = y0i + t1i;
            V4 a1r = y0r - t1r, a1i = y0i - t1i;
            V4 a2r = y2r + t3r, a2i = y2i + t3i;
            V4 a3r = y2r - t3r, a3i = y2i - t3i;
            V4 b2r = MulSub(a2r, w1r, a2i, w1i), b2i = MulAdd(a2r, w1i, a2i, w1r);
            V4 b3r = MulSub(a3r, w1r, a3i, w1i), b3i = MulAdd(a3r, w1i, a3i, w1r);
            V4 c3r = -b3i, c3i = b3r;
            Store4(r + k, a0r + b2r);
            Store4(m + k, a0i + b2i);
            Store4(r + k + h, a0r - b2r);
            Store4(m + k + h, a0i - b2i);
            Store4(r + k + q, a1r + c3r);
            Store4(m + k + q, a1i + c3i);
            Store4(r + k + h + q, a1r - c3r);
            Store4(m + k + h + q, a1i - c3i);
        }
    }
}

// Levels of span 2 and 1 on blocks of 16 points: the four groups of four are transposed
// into registers, transformed across registers, and stored without transposing back, so
// slot 16b + 4j + g holds output j of group g. Radix4LastInverse reads that order.
void Radix4LastForward(double* re, double* im, long M) {
    for (long b = 0; b < M; b += 16) {
        V4 x0r = Load4(re + b), x1r = Load4(re + b + 4), x2r = Load4(re + b + 8),
           x3r = Load4(re + b + 12);
        V4 x0i = Load4(im + b), x1i = Load4(im + b + 4), x2i = Load4(im + b + 8),
           x3i = Load4(im + b + 12);
        Transpose4(x0r, x1r, x2r, x3r);
        Transpose4(x0i, x1i, x2i, x3i);
        V4 a0r = x0r + x2r, a0i = x0i + x2i;
        V4 a2r = x0r - x2r, a2i = x0i - x2i;
        V4 a1r = x1r + x3r, a1i = x1i + x3i;
        V4 a3r = x1i - x3i, a3i = x3r - x1r;  // (x1 - x3) * (-i)
        Store4(re + b, a0r + a1r);
        Store4(im + b, a0i + a1i);
        Store4(re + b + 4, a0r - a1r);
        Store4(im + b + 4, a0i - a1i);
        Store4(re + b + 8, a2r + a3r);
        Store4(im + b + 8, a2i + a3i);
        Store4(re + b + 12, a2r - a3r);
        Store4(im + b + 12, a2i - a3i);
    }
}

void Radix4LastInverse(double* re, double* im, long M) {
    for (long b = 0; b < M; b += 16) {
        V4 y0r = Load4(re + b), y1r = Load4(re + b + 4), y2r = Load4(re + b + 8),
           y3r = Load4(re + b + 12);
        V4 y0i = Load4(im + b), y1i = Load4(im + b + 4), y2i = Load4(im + b + 8),
           y3i = Load4(im + b + 12);
        V4 a0r = y0r + y1r, a0i = y0i + y1i;
        V4 a1r = y0r - y1r, a1i = y0i - y1i;
        V4 a2r = y2r + y3r, a2i = y2i + y3i;
        V4 a3r = y2r - y3r, a3i = y2i - y3i;
        V4 c3r = -a3i, c3i = a3r;  // a3 * (+i)
        V4 x0r = a0r + a2r, x0i = a0i + a2i;
        V4 x2r = a0r - a2r, x2i = a0i - a2i;
        V4 x1r = a1r + c3r, x1i = a1i + c3i;
        V4 x3r = a1r - c3r, x3i = a1i - c3i;
        Transpose4(x0r, x1r, x2r, x3r);
        Transpose4(x0i, x1i, x2i, x3i);
        Store4(re + b, x0r);
        Store4(re + b + 4, x1r);
        Store4(re + b + 8, x2r);
        Store4(re + b + 12, x3r);
        Store4(im + b, x0i);
        Store4(im + b + 4, x1i);
        Store4(im + b + 8, x2i);
        Store4(im + b + 12, x3i);
    }
}

int Log2(long M) {
    int l = 0;
    while ((1L << l) < M) ++l;
    return l;
}

}  // namespace

void ComplexForward(double* re, double* im, long M) {
    if (M < 16) {
        ComplexForwardGeneric(re, im, M);
        return;
    }
    // Levels of spans M/2 .. 4 vectorised along k, then spans 2 and 1 in registers.
    const int upper = Log2(M) - 2;
    long h = M / 2;
    if (upper & 1) {
        Radix2Forward(re, im, M, h);
        h /= 2;
    }
    for (; h >= 8; h /= 4) Radix4Forward(re, im, M, h);
    Radix4LastForward(re, im, M);
}

void ComplexInverse(double* re, double* im, long M) {
    if (M < 16) {
        ComplexInverseGeneric(re, im, M);
        return;
    }
    const int upper = Log2(M) - 2;
    Radix4LastInverse(re, im, M);
    long h = 8;
    const long top = (upper & 1) ? M / 4 : M / 2;
    for (; h <= top; h *= 4) Radix4Inverse(re, im, M, h);
    if (upper & 1) Radix2Inverse(re, im, M, M / 2);
}

#else

void ComplexForward(double* re, double* im, long M) { ComplexForwardGeneric(re, im, M); }
void ComplexInverse(double* re, double* im, long M) { ComplexInverseGeneric(re, im, M); }

#endif

}  // namespace zeprix::fft::kernels
