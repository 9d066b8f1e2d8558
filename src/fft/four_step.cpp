// Forward and inverse transforms: small path, column pass, twiddled row pass (four-step).
//
// The digits x (n of them, zero-padded to 2n) are read as R rows of C columns (digit
// m = r C + c). Writing X for the DFT of length 2n = 2R C and k = k1 + 2R k2:
//   X[k] = sum_c e^(-i pi c k1 / n) e^(-2 pi i c k2 / C) Xcol_c[k1],
// where Xcol_c is the DFT of length 2R of column c zero-padded. So:
//   1. column pass: every column gets its zero-padded real transform (real layout, see
//      kernels.hpp), sixteen columns at a time; row q of the matrix then holds, for every
//      column, one real number of that layout (2R rows of C doubles);
//   2. row pass: each pair of rows holding one complex column frequency k1 (not 0 or R)
//      is multiplied by e^(-i pi c k1 / n) and transformed (length C); rows k1 = 0 and
//      k1 = R are real: the first gets the real transform of length C, the second, whose
//      twiddle is e^(-i pi c / C), the weighted half-length transform. The results are
//      written as the packed spectrum (element 0: frequency 0, element 2n - 1: frequency n).
// The row pass works in place: the packed output of a row pair sits one double below the
// pair's rows, so the pairs are taken in increasing order (inverse: decreasing).
// Between the two passes the rows are stored rotated (see Rot) so that the column pass,
// which touches two cache lines in every row, does not fight over a few cache sets. The
// digits are staged into rotated rows directly, and the inverse reads the rounded values
// back row by row into the limbs, so no pass over the array is spent on the rotation.
// For a product with a kept transform (ForwardMultiplyInverse, InverseOfProduct) each
// row's spectrum is multiplied and transformed back while it is in cache.
#include "fft/four_step.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/parallel.hpp"
#include "fft/digits.hpp"
#include "fft/fft_state.hpp"
#include "fft/kernels.hpp"
#include "fft/pointwise.hpp"
#include "fft/simd.hpp"

namespace zeprix::fft {

// Lane type of the column pass: four columns per AVX2 register, or one column (portable).
#if defined(ZEPRIX_FFT_AVX2)
using Lane = V4;
constexpr long kLane = 4;
inline Lane LoadLane(const double* p) { return Load4(p); }
inline void StoreLane(double* p, Lane v) { Store4(p, v); }
#else
using Lane = double;
constexpr long kLane = 1;
inline Lane LoadLane(const double* p) { return *p; }
inline void StoreLane(double* p, Lane v) { *p = v; }
#endif
constexpr long kWidth = 16;               // columns per group of the column pass
constexpr long kGroups = kWidth / kLane;  // lane sets per group

#if defined(ZEPRIX_FFT_AVX2)
inline Lane RoundLane(Lane t) {
    return Lane(_mm256_round_pd(__m256d(t), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
}
inline Lane AbsLane(Lane t) { return Lane(_mm256_andnot_pd(_mm256_set1_pd(-0.0), __m256d(t))); }
inline Lane MaxLane(Lane a, Lane b) { return Lane(_mm256_max_pd(__m256d(a), __m256d(b))); }
inline double HorizontalMax(Lane v) {
    double m = v[0];
    for (int i = 1; i < 4; ++i) m = v[i] > m ? v[i] : m;
    return m;
}
#else
inline Lane RoundLane(Lane t) { return std::nearbyint(t); }
inline Lane AbsLane(Lane t) { return std::fabs(t); }
inline Lane MaxLane(Lane a, Lane b) { return a > b ? a : b; }
inline double HorizontalMax(Lane v) { return v; }
#endif

RowsColumns SplitRule(long n) {
    long R = 8;
    if (n >= 65)
        while (R * R < n) R *= 2;
    long C = n / R;
    if (n >= 257 && C < State().columnCount) {
        R /= 2;
        C = n / R;
    }
    return {R, C};
}

namespace {

// Column frequency k1 (in 0 .. 2R-1) of complex row pair p of the column real layout of
// length 2R: pair p = (R - L) + i is slot i of the weighted block of level L, whose
// complex transform (generic, bit-reversed slots) has length L/2; that slot holds the
// value at 4 bitrev(i) + 1 of level L, i.e. at (R / L)(4 bitrev(i) + 1) of length 2R.
long PairFrequency(long p, long R) {
    long L = R;
    while (p >= L / 2) {
        p -= L / 2;
        L /= 2;
    }
    const long h = L / 2;
    const long rev = (h >= 2) ? FFTUtilities::GetRevBinArray(h)[p] : 0;
    return (R / L) * (4 * rev + 1);
}

// Copies a real layout's weighted blocks (length M: blocks of levels M/2 .. 2) as
// interleaved pairs into dst (M/2 - 1 pairs), and back.
void BlocksToPairs(const double* layout, long M, double* dst) {
    for (long L = M / 2; L >= 2; L /= 2) {
        const double* re = layout + (M - 2 * L);
        const double* im = re + L / 2;
        for (long i = 0; i < L / 2; ++i) {
            dst[2 * i] = re[i];
            dst[2 * i + 1] = im[i];
        }
        dst += L;
    }
}
void PairsToBlocks(const double* src, long M, double* layout) {
    for (long L = M / 2; L >= 2; L /= 2) {
        double* re = layout + (M - 2 * L);
        double* im = re + L / 2;
        for (long i = 0; i < L / 2; ++i) {
            re[i] = src[2 * i];
            im[i] = src[2 * i + 1];
        }
        src += L;
    }
}

// Split (re, im) arrays of C values <-> interleaved pairs at dst (any alignment).
void SplitToPairs(const double* re, const double* im, long C, double* dst) {
    long c = 0;
#if defined(ZEPRIX_FFT_AVX2)
    for (; c + 4 <= C; c += 4) {
        V4 p0, p1;
        Interleave4(Load4(re + c), Load4(im + c), p0, p1);
        StoreU4(dst + 2 * c, p0);
        StoreU4(dst + 2 * c + 4, p1);
    }
#endif
    for (; c < C; ++c) {
        dst[2 * c] = re[c];
        dst[2 * c + 1] = im[c];
    }
}
void PairsToSplit(const double* src, long C, double* re, double* im) {
    long c = 0;
#if defined(ZEPRIX_FFT_AVX2)
    for (; c + 4 <= C; c += 4) {
        V4 r, i;
        Deinterleave4(LoadU4(src + 2 * c), LoadU4(src + 2 * c + 4), r, i);
        Store4(re + c, r);
        Store4(im + c, i);
    }
#endif
    for (; c < C; ++c) {
        re[c] = src[2 * c];
        im[c] = src[2 * c + 1];
    }
}

// Twiddles e^(-i pi c k1 / n), c < C, as products A[c mod 16] * B[c / 16]; the two small
// tables come from the four-step tables (each entry one rounded product of two correctly
// rounded values), so every twiddle is within a few units in the last place.
struct RowTwiddles {
    double* ar;  // 16
    double* ai;  // 16
    double* br;  // C / 16
    double* bi;  // C / 16
};

void MakeRowTwiddles(long k1, long n, long C, RowTwiddles& t) {
    const long mask = 2 * n - 1;  // angles modulo 2 pi: t modulo 2n
    const long ratio = State().NFFT / n;
    for (long c = 0; c < 16; ++c) FourStepTwiddle((c * k1) & mask, ratio, t.ar[c], t.ai[c]);
    for (long u = 0; u < C / 16; ++u)
        FourStepTwiddle((16 * u * k1) & mask, ratio, t.br[u], t.bi[u]);
}

// Real and imaginary rows of C values seen as C / 16 blocks of sixteen: block u starts at
// base + ((16 u + rot) mod C); rot = 0 for a plain array, Rot(q, C) for matrix row q (see
// Rot below).
struct RowView {
    const double* re;
    const double* im;
    long rotRe, rotIm;
    const double* Re(long u, long C) const { return re + ((16 * u + rotRe) & (C - 1)); }
    const double* Im(long u, long C) const { return im + ((16 * u + rotIm) & (C - 1)); }
};

// dst = src * twiddle (conjugate when inverse), blockwise; src and dst are either the same
// plain arrays or one of them is a rotated matrix row and the other a plain array, so the
// row pass reads its rows from the matrix and writes them back without separate copies.
void ApplyRowTwiddles(RowView src, RowView dst, long C, const RowTwiddles& t, bool inverse) {
    const double sign = inverse ? -1.0 : 1.0;
    for (long u = 0; u < C / 16; ++u) {
        const double* sr = src.Re(u, C);
        const double* si = src.Im(u, C);
        double* r = const_cast<double*>(dst.Re(u, C));
        double* m = const_cast<double*>(dst.Im(u, C));
        const double bR = t.br[u], bI = sign * t.bi[u];
#if defined(ZEPRIX_FFT_AVX2)
        const V4 vbr = Splat4(bR), vbi = Splat4(bI), vs = Splat4(sign);
        for (long c = 0; c < 16; c += 4) {
            V4 aR = Load4(t.ar + c), aI = Load4(t.ai + c) * vs;
            V4 wR = MulSub(aR, vbr, aI, vbi), wI = MulAdd(aR, vbi, aI, vbr);
            V4 xr = Load4(sr + c), xi = Load4(si + c);
            Store4(r + c, MulSub(xr, wR, xi, wI));
            Store4(m + c, MulAdd(xr, wI, xi, wR));
        }
#else
        for (long c = 0; c < 16; ++c) {
            const double aR = t.ar[c], aI = sign * t.ai[c];
            const double wR = MulSub(aR, bR, aI, bI), wI = MulAdd(aR, bI, aI, bR);
            const double xr = sr[c], xi = si[c];
            r[c] = MulSub(xr, wR, xi, wI);
            m[c] = MulAdd(xr, wI, xi, wR);
        }
#endif
    }
}

// Matrix rows between the column and the row pass are stored rotated: row q starts its
// columns at physical column Rot(q) (cyclically), two cache lines further per row, so that
// the sixteen columns of a group do not all fall into the same few cache sets (the row
// length is a power of two). A group's sixteen doubles stay contiguous in every row.
inline long Rot(long q, long C) { return (kWidth * q) & (C - 1); }
inline double* RowGroup(double* data, long q, long C, long c0) {
    return data + q * C + ((c0 + Rot(q, C)) & (C - 1));
}

// Asks for the two cache lines of row q's group at column c0 (the group the column pass
// takes next): the rows lie C doubles apart (8 KB at 1024 k points), too far apart for the
// hardware prefetchers, and without this every row of a group waits for memory in turn.
inline void PrefetchGroup(const double* data, long q, long C, long c0) {
    const double* d = data + q * C + ((c0 + Rot(q, C)) & (C - 1));
    __builtin_prefetch(d, 1, 3);
    __builtin_prefetch(d + 8, 1, 3);
}

// Views of a plain pair of arrays and of matrix rows q (real parts) and q + 1 (imaginary).
inline RowView Plain(const double* re, const double* im) { return RowView{re, im, 0, 0}; }
inline RowView MatrixPair(const double* data, long q, long C) {
    return RowView{data + q * C, data + (q + 1) * C, Rot(q, C), Rot(q + 1, C)};
}

// Copies matrix row q (rotated) into dst[0 .. C) in column order, and back.
void ReadRow(const double* data, long q, long C, double* dst) {
    const long rot = Rot(q, C);
    const double* row = data + q * C;
    std::memcpy(dst, row + rot, sizeof(double) * static_cast<std::size_t>(C - rot));
    std::memcpy(dst + (C - rot), row, sizeof(double) * static_cast<std::size_t>(rot));
}
void WriteRow(double* data, long q, long C, const double* src) {
    const long rot = Rot(q, C);
    double* row = data + q * C;
    std::memcpy(row + rot, src, sizeof(double) * static_cast<std::size_t>(C - rot));
    std::memcpy(row, src + (C - rot), sizeof(double) * static_cast<std::size_t>(rot));
}

// Column pass, forward: sixteen columns at a time (kGroups sets of kLane columns, two cache
// lines of every row), each column's zero-padded real transform in place (generic complex
// transforms, so that PairFrequency describes the slots), scattered back as 2R rows: row 0
// frequency 0, row 1 frequency R, rows 2 + 2p and 3 + 2p the real and imaginary parts of
// pair p (level L = R, R/2, .., 2, slot i: p = R - L + i).
// Columns c0 .. c1 - 1 (multiples of kWidth), with buf (kGroups x 2R lanes) as scratch.
void ColumnsForward(double* data, long R, long C, long c0Begin, long c1, double* scratch) {
    const long M = 2 * R;
    Lane* buf = reinterpret_cast<Lane*>(scratch);
    for (long c0 = c0Begin; c0 < c1; c0 += kWidth) {
        const bool next = c0 + kWidth < c1;
        for (long r = 0; r < R; ++r) {
            if (next) {
                PrefetchGroup(data, r, C, c0 + kWidth);      // read next
                PrefetchGroup(data, r + R, C, c0 + kWidth);  // written next
            }
            const double* d = RowGroup(data, r, C, c0);
            for (long g = 0; g < kGroups; ++g) buf[g * M + r] = LoadLane(d + g * kLane);
        }
        for (long g = 0; g < kGroups; ++g)
            kernels::PaddedRealForwardInPlace(buf + g * M, R, kernels::GenericFft{});
        auto put = [&](long q, long slot) {
            double* d = RowGroup(data, q, C, c0);
            for (long g = 0; g < kGroups; ++g) StoreLane(d + g * kLane, buf[g * M + slot]);
        };
        put(0, 0);
        put(1, 1);
        long row = 2;
        for (long L = R; L >= 2; L /= 2) {
            for (long i = 0; i < L / 2; ++i) {
                put(row, L + i);
                put(row + 1, L + L / 2 + i);
                row += 2;
            }
        }
    }
}

// Column pass, inverse: gathers the 2R rows back into the real layout of every column,
// inverts (2R times the columns of the convolution) and writes the values back in place,
// rounded (largest distance to the nearest integer returned) unless 'raw'.
double ColumnsInverse(double* data, long n, long R, long C, bool raw, long c0Begin, long c1,
                      double* scratch) {
    const long M = 2 * R;
    Lane* buf = reinterpret_cast<Lane*>(scratch);  // kGroups x 2R
    Lane* out = buf;
    const Lane scale = kernels::Splat<Lane>(1.0 / static_cast<double>(2 * n));
    Lane dist = kernels::Splat<Lane>(0.0);
    for (long c0 = c0Begin; c0 < c1; c0 += kWidth) {
        const bool next = c0 + kWidth < c1;
        auto get = [&](long q, long slot) {
            if (next) PrefetchGroup(data, q, C, c0 + kWidth);
            const double* d = RowGroup(data, q, C, c0);
            for (long g = 0; g < kGroups; ++g) buf[g * M + slot] = LoadLane(d + g * kLane);
        };
        get(0, 0);
        get(1, 1);
        long row = 2;
        for (long L = R; L >= 2; L /= 2) {
            for (long i = 0; i < L / 2; ++i) {
                get(row, L + i);
                get(row + 1, L + L / 2 + i);
                row += 2;
            }
        }
        for (long g = 0; g < kGroups; ++g)
            kernels::RealInverseInPlace(buf + g * M, M, kernels::GenericIfft{});
        for (long r = 0; r < M; ++r) {
            double* d = RowGroup(data, r, C, c0);
            for (long g = 0; g < kGroups; ++g) {
                Lane v = out[g * M + r];
                if (!raw) {
                    const Lane t = v * scale;
                    v = RoundLane(t);
                    dist = MaxLane(dist, AbsLane(t - v));
                }
                StoreLane(d + g * kLane, v);
            }
        }
    }
    return HorizontalMax(dist);
}

}  // namespace

namespace {

// Transforms of at least this many points share their passes among the threads; below it
// a pass is too short to pay for handing it over.
constexpr long kParallelMinPoints = 1L << 15;

int PartsFor(long n) { return n >= kParallelMinPoints ? core::ThreadCount() : 1; }

// Scratch blocks of the thread in `slot` (slot 0: the state's own).
double* Gather1(int slot) { return slot == 0 ? State().gather1 : State().slots[slot].gather1; }
double* Gather2(int slot) { return slot == 0 ? State().gather2 : State().slots[slot].gather2; }

// A thread's scratch for row pairs of C values: the twiddle tables and the pair's halves.
struct PairWork {
    RowTwiddles tw;
    double* re;
    double* im;
};
PairWork PairScratch(int slot, long C) {
    double* g1 = Gather1(slot);
    double* g2 = Gather2(slot);
    return {{g1, g1 + 16, g1 + 32, g1 + 32 + C / 16}, g2, g2 + C};
}

// Bound k of `parts` consecutive ranges of [0, count), multiples of unit (count is one).
inline long PartBound(long count, long unit, int parts, long k) {
    return count / unit * k / parts * unit;
}

// Runs fn(lo, hi, part, slot) over `parts` consecutive ranges of [0, count), each part on
// whichever thread claims it; with one part, fn(0, count, 0, 0) on the caller alone.
template <class F>
void ForParts(long count, long unit, int parts, F&& fn) {
    if (parts == 1) {
        fn(0L, count, 0L, 0);
        return;
    }
    State().EnsureSlots(parts);
    core::ParallelFor(parts, [&](long k, int slot) {
        fn(PartBound(count, unit, parts, k), PartBound(count, unit, parts, k + 1), k, slot);
    });
}

void ColumnsForwardPass(double* data, long n, long R, long C) {
    ForParts(C, kWidth, PartsFor(n), [&](long lo, long hi, long, int slot) {
        ColumnsForward(data, R, C, lo, hi, Gather2(slot));
    });
}

double ColumnsInversePass(double* data, long n, long R, long C, bool raw) {
    const int parts = PartsFor(n);
    std::vector<double> dist(static_cast<std::size_t>(parts), 0.0);
    ForParts(C, kWidth, parts, [&](long lo, long hi, long k, int slot) {
        dist[static_cast<std::size_t>(k)] =
            ColumnsInverse(data, n, R, C, raw, lo, hi, Gather2(slot));
    });
    return *std::max_element(dist.begin(), dist.end());
}

// Product of split values (re, im)[0 .. count) by the interleaved pairs at x.
void MulByPairs(double* re, double* im, long count, const double* x) {
    long c = 0;
#if defined(ZEPRIX_FFT_AVX2)
    for (; c + 4 <= count; c += 4) {
        V4 xr, xi;
        Deinterleave4(LoadU4(x + 2 * c), LoadU4(x + 2 * c + 4), xr, xi);
        const V4 yr = Load4(re + c), yi = Load4(im + c);
        Store4(re + c, MulSub(xr, yr, xi, yi));
        Store4(im + c, MulAdd(xr, yi, xi, yr));
    }
#endif
    for (; c < count; ++c) {
        const double xr = x[2 * c], xi = x[2 * c + 1], yr = re[c], yi = im[c];
        re[c] = MulSub(xr, yr, xi, yi);
        im[c] = MulAdd(xr, yi, xi, yr);
    }
}

// Writes the n digits of src into the first R rows of data (rotated), row by row; the
// threads each take a run of rows (a digit stream can start at any digit).
void StageDigits(double* data, long n, long R, long C, const DigitSource& src) {
    ForParts(R, 1, PartsFor(n), [&](long r0, long r1, long, int) {
        if (src.limbs) {
            // The digits go straight into the rotated rows: columns 0 .. C - rot - 1 from
            // physical column rot on, the rest from column 0.
            DigitStream stream(src.limbs, src.N, r0 * C);
            for (long r = r0; r < r1; ++r) {
                const long rot = Rot(r, C);
                double* row = data + r * C;
                stream.Next(row + rot, C - rot);
                if (rot) stream.Next(row, rot);
            }
        } else {
            for (long r = r0; r < r1; ++r) WriteRow(data, r, C, src.digits + r * C);
        }
    });
}

// Copies digits a .. b - 1 of the rotated matrix (digit m: row m / C, column m mod C).
void ReadDigits(const double* data, long C, long a, long b, double* dst) {
    while (a < b) {
        const long q = a / C, c = a % C;
        const long phys = (c + Rot(q, C)) & (C - 1);
        const long run = std::min({b - a, C - c, C - phys});
        std::memcpy(dst, data + q * C + phys, sizeof(double) * static_cast<std::size_t>(run));
        dst += run;
        a += run;
    }
}

// The rounded digits added into the limb window, one thread: rows unrotated into a staging
// buffer; a limb whose digits straddle two rows waits (at most two digits) for the next row.
void AddRowsToLimbs(double* data, long R, long C, DigitSink& sink) {
    const long count = sink.count;
    const long first = std::max(sink.cut - 1, 0L);
    LimbAccumulator acc(sink.r, sink.cut, sink.len, first, sink.factor);
    double* buf = State().gather1;  // C + 3 digits
    long have = 0;                  // digits in buf, starting at digit 3 * acc.NextLimb()
    long rFirst = (3 * first) / C;
    long skip = 3 * first - rFirst * C;  // digits of row rFirst below limb 'first'
    for (long r = rFirst; r * C < count && r < 2 * R; ++r) {
        ReadRow(data, r, C, buf + have);
        long got = C;
        if (skip) {
            std::memmove(buf + have, buf + have + skip,
                         sizeof(double) * static_cast<std::size_t>(C - skip));
            got -= skip;
            skip = 0;
        }
        const long base = 3 * acc.NextLimb();  // digit index of buf[0]
        long avail = have + got;
        if (base + avail > count) avail = count - base;
        const long k = avail / 3;
        if (k > 0) acc.AddLimbs(buf, k);
        have = avail - 3 * k;
        for (long i = 0; i < have; ++i) buf[i] = buf[3 * k + i];
        if (base + 3 * k + have >= count) {
            // the last digits: a partial limb padded with zeros
            if (have) {
                for (long i = have; i < 3; ++i) buf[i] = 0.0;
                acc.AddLimbs(buf, 1);
                have = 0;
            }
            break;
        }
    }
    acc.Finish();
}

// The same with the limbs shared among the threads: each takes a run of limbs, starting
// with the high part of the limb below its run; limbs are written by one thread each, and
// what lies above the window is gathered for the final check.
void AddRowsToLimbsParallel(double* data, long n, long C, DigitSink& sink, int parts) {
    const long count = std::min(sink.count, 2 * n);
    const long first = std::max(sink.cut - 1, 0L);
    const long end = (count + 2) / 3;  // limbs with a digit below count
    auto digit = [&](long m) {
        double d = 0.0;
        if (m < count) ReadDigits(data, C, m, m + 1, &d);
        return d;
    };
    std::vector<double> over(static_cast<std::size_t>(parts), 0.0);
    std::vector<double> beyond(static_cast<std::size_t>(parts), 0.0);
    ForParts(end - first, 1, parts, [&](long lo, long hi, long k, int slot) {
        if (lo == hi) return;
        const long j0 = first + lo, j1 = first + hi;
        LimbAccumulator acc(sink.r, sink.cut, sink.len, j0, sink.factor);
        if (j0 > first) acc.StartAbove(digit(3 * j0 - 2), digit(3 * j0 - 1));
        double* buf = Gather1(slot);  // 3 C digits
        for (long j = j0; j < j1; j += C) {
            const long m = std::min(C, j1 - j);
            const long a = 3 * j, b = std::min(3 * (j + m), count);
            ReadDigits(data, C, a, b, buf);
            for (long i = b - a; i < 3 * m; ++i) buf[i] = 0.0;  // the partial top limb
            acc.AddLimbs(buf, m);
        }
        over[static_cast<std::size_t>(k)] = acc.Over();
        beyond[static_cast<std::size_t>(k)] = acc.Beyond();
    });
    // The high part of the last limb goes one limb up, as the single run's Finish does.
    LimbAccumulator top(sink.r, sink.cut, sink.len, end, sink.factor);
    top.StartAbove(digit(3 * end - 2), digit(3 * end - 1));
    double sum = 0.0, most = 0.0;
    for (int k = 0; k < parts; ++k) {
        sum += over[static_cast<std::size_t>(k)];
        most = std::max(most, beyond[static_cast<std::size_t>(k)]);
    }
    top.Absorb(sum, most);
    top.Finish();
}

// Rounds the inverse column pass output into the sink: raw values in natural order, or
// the rounded digits added into the limb window.
void FinishInverse(double* data, long n, long R, long C, DigitSink& sink) {
    const bool raw = sink.values != nullptr;
    const double dist = ColumnsInversePass(data, n, R, C, raw);
    if (raw) {
        ForParts(2 * R, 1, PartsFor(n), [&](long r0, long r1, long, int) {
            for (long r = r0; r < r1; ++r) ReadRow(data, r, C, sink.values + r * C);
        });
        return;
    }
    if (sink.prepare) sink.prepare(sink.prepareArg);
    const int parts = PartsFor(n);
    const long first = std::max(sink.cut - 1, 0L);
    if (parts > 1 && (std::min(sink.count, 2 * n) + 2) / 3 - first >= 4 * C)
        AddRowsToLimbsParallel(data, n, C, sink, parts);
    else
        AddRowsToLimbs(data, R, C, sink);
    sink.maxDistance = dist;
}

// Forward row pass over the complex pairs p0 .. p1 - 1, in increasing order. The packed
// output of a pair lies one double below its rows; with 'held', pair p0's output goes
// there instead, since its first double is the last of the pair below, which another
// thread may not have read yet.
void ForwardPairs(double* data, long n, long R, long C, long p0, long p1, int slot, double* held) {
    auto [tw, re, im] = PairScratch(slot, C);
    for (long p = p0; p < p1; ++p) {
        MakeRowTwiddles(PairFrequency(p, R), n, C, tw);
        ApplyRowTwiddles(MatrixPair(data, 2 + 2 * p, C), Plain(re, im), C, tw, false);
        kernels::ComplexForward(re, im, C);
        SplitToPairs(re, im, C, p == p0 && held ? held : data + (2 * C - 1) + 2 * C * p);
    }
}

// Inverse row pass over the pairs p1 - 1 down to p0: the rows of a pair lie one double
// above its packed input; with 'held', pair p1 - 1's inverse (before its twiddles) goes
// there instead, since its rows reach the first double of the pair above.
void InversePairs(double* data, long n, long R, long C, long p0, long p1, int slot, double* held) {
    auto [tw, re, im] = PairScratch(slot, C);
    for (long p = p1 - 1; p >= p0; --p) {
        PairsToSplit(data + (2 * C - 1) + 2 * C * p, C, re, im);
        kernels::ComplexInverse(re, im, C);
        if (p == p1 - 1 && held) {
            std::memcpy(held, re, sizeof(double) * static_cast<std::size_t>(2 * C));
            continue;
        }
        MakeRowTwiddles(PairFrequency(p, R), n, C, tw);
        ApplyRowTwiddles(Plain(re, im), MatrixPair(data, 2 + 2 * p, C), C, tw, true);
    }
}

// The complex pairs of a product with the kept spectrum x: each pair's rows are read and
// written in place, so the pairs are independent.
void MultiplyPairs(double* data, long n, long R, long C, const double* x, long p0, long p1,
                   int slot) {
    auto [tw, re, im] = PairScratch(slot, C);
    for (long p = p0; p < p1; ++p) {
        MakeRowTwiddles(PairFrequency(p, R), n, C, tw);
        ApplyRowTwiddles(MatrixPair(data, 2 + 2 * p, C), Plain(re, im), C, tw, false);
        kernels::ComplexForward(re, im, C);
        MulByPairs(re, im, C, x + (2 * C - 1) + 2 * C * p);
        kernels::ComplexInverse(re, im, C);
        ApplyRowTwiddles(Plain(re, im), MatrixPair(data, 2 + 2 * p, C), C, tw, true);
    }
}

}  // namespace

bool ForwardMultiplyInverse(double* data, long n, bool allowSmall, const DigitSource& src,
                            const double* x, DigitSink& sink) {
    if (allowSmall && n <= kSmallPathMax) {
        ForwardTransform(data, n, true, src);
        MulSpectra(x, data, n);
        InverseTransform(data, n, true, sink);
        return true;
    }
    const RowsColumns rc = SplitRule(n);
    const long R = rc.R, C = rc.C;
    FFTUtilities::GetRevBinArray(R / 4 > 0 ? R / 4 : 1);
    StageDigits(data, n, R, C, src);
    ColumnsForwardPass(data, n, R, C);

    // Rows of frequency 0 and R: forward, product, inverse.
    {
        double* rowU = State().gather1;
        double* rowV = State().gather1 + C;
        double* outU = State().gather2;     // real layout of length C
        double* vre = State().gather2 + C;  // C/2 + C/2
        ReadRow(data, 0, C, rowU);
        ReadRow(data, 1, C, rowV);
        kernels::RealForward(rowU, C, outU, kernels::FastFft{});
        kernels::WeightedForward(rowV, C, vre, vre + C / 2, kernels::FastFft{});
        outU[C - 1] *= x[0];
        outU[C - 2] *= x[2 * n - 1];
        const double* xp = x + 1;
        for (long L = C / 2; L >= 2; L /= 2) {
            double* re = outU + (C - 2 * L);
            MulByPairs(re, re + L / 2, L / 2, xp);
            xp += L;
        }
        MulByPairs(vre, vre + C / 2, C / 2, xp);
        kernels::RealInverse(outU, C, rowU, kernels::FastIfft{});
        kernels::WeightedInverse(vre, vre + C / 2, C, rowV, kernels::FastIfft{});
        WriteRow(data, 0, C, rowU);
        WriteRow(data, 1, C, rowV);
    }

    // Complex row pairs: twiddle, transform, product with x's row, inverse, twiddle back.
    ForParts(R - 1, 1, PartsFor(n), [&](long p0, long p1, long, int slot) {
        MultiplyPairs(data, n, R, C, x, p0, p1, slot);
    });
    FinishInverse(data, n, R, C, sink);
    return false;
}

void InverseOfProduct(const double* x1, const double* x2, double* data, long n, bool small,
                      DigitSink& sink) {
    if (small) {
        std::memcpy(data, x2, sizeof(double) * static_cast<std::size_t>(2 * n));
        MulSpectra(x1, data, n);
        InverseTransform(data, n, true, sink);
        return;
    }
    const RowsColumns rc = SplitRule(n);
    const long R = rc.R, C = rc.C;
    // The spectra are read from x1 and x2 and the rows written into data: the pairs are
    // independent.
    ForParts(R - 1, 1, PartsFor(n), [&](long p0, long p1, long, int slot) {
        auto [tw, re, im] = PairScratch(slot, C);
        for (long p = p0; p < p1; ++p) {
            const long off = (2 * C - 1) + 2 * C * p;
            PairsToSplit(x1 + off, C, re, im);
            MulByPairs(re, im, C, x2 + off);
            kernels::ComplexInverse(re, im, C);
            MakeRowTwiddles(PairFrequency(p, R), n, C, tw);
            ApplyRowTwiddles(Plain(re, im), MatrixPair(data, 2 + 2 * p, C), C, tw, true);
        }
    });
    // Rows of frequency 0 and R.
    double* spectrumU = State().gather2;  // real layout of length C
    double* vre = State().gather2 + C;
    double* rowU = State().gather1;
    double* rowV = State().gather1 + C;
    spectrumU[C - 1] = x1[0] * x2[0];
    spectrumU[C - 2] = x1[2 * n - 1] * x2[2 * n - 1];
    PairsToBlocks(x1 + 1, C, spectrumU);
    const double* xp = x2 + 1;
    for (long L = C / 2; L >= 2; L /= 2) {
        double* b = spectrumU + (C - 2 * L);
        MulByPairs(b, b + L / 2, L / 2, xp);
        xp += L;
    }
    PairsToSplit(x1 + 1 + (C - 2), C / 2, vre, vre + C / 2);
    MulByPairs(vre, vre + C / 2, C / 2, xp);
    kernels::RealInverse(spectrumU, C, rowU, kernels::FastIfft{});
    kernels::WeightedInverse(vre, vre + C / 2, C, rowV, kernels::FastIfft{});
    WriteRow(data, 0, C, rowU);
    WriteRow(data, 1, C, rowV);
    FinishInverse(data, n, R, C, sink);
}

bool ForwardTransform(double* data, long n, bool allowSmall, const DigitSource& src) {
    if (allowSmall && n <= kSmallPathMax) {
        // One zero-padded real transform of the n digits, then packed.
        if (src.limbs) {
            LimbsToDigits(src.limbs, src.N, data, n);
        } else if (src.digits != data) {
            std::memmove(data, src.digits, sizeof(double) * static_cast<std::size_t>(n));
        }
        double* layout = State().smallBuffer;
        kernels::PaddedRealForward(data, n, layout, kernels::FastFft{});
        const long M = 2 * n;
        const double dc = layout[M - 1], top = layout[M - 2];
        BlocksToPairs(layout, M, data + 1);
        data[0] = dc;
        data[M - 1] = top;
        return true;
    }
    const RowsColumns rc = SplitRule(n);
    const long R = rc.R, C = rc.C;
    FFTUtilities::GetRevBinArray(R / 4 > 0 ? R / 4 : 1);  // the column transform's table
    StageDigits(data, n, R, C, src);
    ColumnsForwardPass(data, n, R, C);

    // Rows of frequency 0 and R.
    double* work = State().gather2;  // 2C doubles: one row pair
    double* outU = work;             // real layout of length C
    double* vre = work + C;          // weighted transform of length C: C/2 + C/2
    double* rowU = State().gather1;
    double* rowV = State().gather1 + C;
    ReadRow(data, 0, C, rowU);
    ReadRow(data, 1, C, rowV);
    kernels::RealForward(rowU, C, outU, kernels::FastFft{});
    kernels::WeightedForward(rowV, C, vre, vre + C / 2, kernels::FastFft{});
    const double x0 = outU[C - 1], xn = outU[C - 2];
    data[0] = x0;
    BlocksToPairs(outU, C, data + 1);
    SplitToPairs(vre, vre + C / 2, C / 2, data + 1 + (C - 2));

    // Complex row pairs, in increasing order within each thread's run; the first output
    // of every run but the lowest waits until all runs have read their rows.
    const int parts = PartsFor(n);
    ForParts(R - 1, 1, parts, [&](long p0, long p1, long k, int slot) {
        ForwardPairs(data, n, R, C, p0, p1, slot, k > 0 ? State().slots[k].hold : nullptr);
    });
    for (long k = 1; k < parts; ++k) {
        const long p = PartBound(R - 1, 1, parts, k);
        if (p < PartBound(R - 1, 1, parts, k + 1))
            std::memcpy(data + (2 * C - 1) + 2 * C * p, State().slots[k].hold,
                        sizeof(double) * static_cast<std::size_t>(2 * C));
    }
    data[2 * n - 1] = xn;
    return false;
}

void InverseTransform(double* data, long n, bool small, DigitSink& sink) {
    if (small) {
        double* layout = State().smallBuffer;
        const long M = 2 * n;
        layout[M - 1] = data[0];
        layout[M - 2] = data[M - 1];
        PairsToBlocks(data + 1, M, layout);
        if (sink.values) {
            kernels::RealInverse(layout, M, sink.values, kernels::FastIfft{});
        } else {
            kernels::RealInverse(layout, M, data, kernels::FastIfft{});
            if (sink.prepare) sink.prepare(sink.prepareArg);
            sink.maxDistance = AddDigitsToLimbs(data, sink.count, 1.0 / static_cast<double>(M),
                                                sink.r, sink.cut, sink.len, sink.factor);
        }
        return;
    }
    const RowsColumns rc = SplitRule(n);
    const long R = rc.R, C = rc.C;
    const double xn = data[2 * n - 1];

    // Complex row pairs, in decreasing order within each thread's run; the last pair of
    // every run but the highest is twiddled into its rows once all runs have read theirs.
    const int parts = PartsFor(n);
    ForParts(R - 1, 1, parts, [&](long p0, long p1, long k, int slot) {
        InversePairs(data, n, R, C, p0, p1, slot, k + 1 < parts ? State().slots[k].hold : nullptr);
    });
    {
        RowTwiddles tw{State().gather1, State().gather1 + 16, State().gather1 + 32,
                       State().gather1 + 32 + C / 16};
        for (long k = 0; k + 1 < parts; ++k) {
            const long p0 = PartBound(R - 1, 1, parts, k), p1 = PartBound(R - 1, 1, parts, k + 1);
            if (p0 == p1) continue;
            const double* held = State().slots[k].hold;
            MakeRowTwiddles(PairFrequency(p1 - 1, R), n, C, tw);
            ApplyRowTwiddles(Plain(held, held + C), MatrixPair(data, 2 + 2 * (p1 - 1), C), C, tw,
                             true);
        }
    }

    // Rows of frequency 0 and R: C times their values.
    double* work = State().gather2;
    double* spectrumU = work;  // real layout of length C
    double* vre = work + C;
    double* rowU = State().gather1;
    double* rowV = State().gather1 + C;
    spectrumU[C - 1] = data[0];
    spectrumU[C - 2] = xn;
    PairsToBlocks(data + 1, C, spectrumU);
    PairsToSplit(data + 1 + (C - 2), C / 2, vre, vre + C / 2);
    kernels::RealInverse(spectrumU, C, rowU, kernels::FastIfft{});
    kernels::WeightedInverse(vre, vre + C / 2, C, rowV, kernels::FastIfft{});
    WriteRow(data, 0, C, rowU);
    WriteRow(data, 1, C, rowV);

    FinishInverse(data, n, R, C, sink);
}

}  // namespace zeprix::fft
