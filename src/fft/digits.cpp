// Digit split of limbs into balanced base-10^4 digits; rounding and recombination into limbs.
#include "fft/digits.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/check.hpp"
#include "core/fatal.hpp"
#include "fft/fft_state.hpp"
#include "fft/simd.hpp"

namespace zeprix::fft {

#if defined(ZEPRIX_FFT_AVX2)
namespace {

// Balanced split of four limbs (|x| < 10^12) into twelve digits, least significant first,
// with carryIn (0 or 1) from the limb below added to the first d0; returns the carry out
// of the fourth limb. Exact: see SplitLimb.
inline double Split4(const double* x4, double carryIn, double* out12) {
    const __m256d x = _mm256_loadu_pd(x4);
    const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
    const __m256d e8 = _mm256_set1_pd(1e8), e4 = _mm256_set1_pd(1e4);
    __m256d q2 = _mm256_floor_pd(_mm256_mul_pd(x, _mm256_set1_pd(1e-8)));
    __m256d r = _mm256_sub_pd(x, _mm256_mul_pd(q2, e8));
    __m256d lo = _mm256_and_pd(_mm256_cmp_pd(r, zero, _CMP_LT_OQ), one);
    __m256d hi = _mm256_and_pd(_mm256_cmp_pd(r, e8, _CMP_GE_OQ), one);
    q2 = _mm256_add_pd(q2, _mm256_sub_pd(hi, lo));
    r = _mm256_add_pd(r, _mm256_mul_pd(_mm256_sub_pd(lo, hi), e8));
    __m256d q1 = _mm256_floor_pd(_mm256_mul_pd(r, _mm256_set1_pd(1e-4)));
    __m256d q0 = _mm256_sub_pd(r, _mm256_mul_pd(q1, e4));
    lo = _mm256_and_pd(_mm256_cmp_pd(q0, zero, _CMP_LT_OQ), one);
    hi = _mm256_and_pd(_mm256_cmp_pd(q0, e4, _CMP_GE_OQ), one);
    q1 = _mm256_add_pd(q1, _mm256_sub_pd(hi, lo));
    q0 = _mm256_add_pd(q0, _mm256_mul_pd(_mm256_sub_pd(lo, hi), e4));
    // Balance every digit into [-4999, 5000], carrying 1 upwards; the carry out of d2 goes
    // to the next limb's d0 (which is then at most 5001).
    const __m256d half = _mm256_set1_pd(5000.0);
    const __m256d b0 = _mm256_and_pd(_mm256_cmp_pd(q0, half, _CMP_GT_OQ), one);
    q0 = _mm256_sub_pd(q0, _mm256_mul_pd(b0, e4));
    q1 = _mm256_add_pd(q1, b0);
    const __m256d b1 = _mm256_and_pd(_mm256_cmp_pd(q1, half, _CMP_GT_OQ), one);
    q1 = _mm256_sub_pd(q1, _mm256_mul_pd(b1, e4));
    q2 = _mm256_add_pd(q2, b1);
    const __m256d big = _mm256_and_pd(_mm256_cmp_pd(q2, half, _CMP_GT_OQ), one);
    const __m256d d2 = _mm256_sub_pd(q2, _mm256_mul_pd(big, e4));
    const __m256d cin =
        _mm256_blend_pd(_mm256_permute4x64_pd(big, 0x90), _mm256_set1_pd(carryIn), 0x1);
    const __m256d d0 = _mm256_add_pd(q0, cin);
    const __m256d t0 = _mm256_unpacklo_pd(d0, q1);  // a0 b0 a2 b2
    const __m256d t1 = _mm256_unpackhi_pd(d0, q1);  // a1 b1 a3 b3
    const __m256d u = _mm256_unpacklo_pd(d2, t1);   // c0 a1 c2 a3
    const __m256d v = _mm256_unpackhi_pd(t1, d2);   // b1 c1 b3 c3
    _mm256_storeu_pd(out12, _mm256_permute2f128_pd(t0, u, 0x20));
    _mm256_storeu_pd(out12 + 4, _mm256_permute2f128_pd(v, t0, 0x30));
    _mm256_storeu_pd(out12 + 8, _mm256_permute2f128_pd(u, v, 0x31));
    alignas(32) double b4[4];
    _mm256_store_pd(b4, big);
    return b4[3];
}

}  // namespace
#endif

void LimbsToDigits(const double* limbs, long N, double* d, long n) {
    ZEPRIX_ASSERT(3 * N + 1 <= n);
    double carry = 0.0;
    long j = 0;
#if defined(ZEPRIX_FFT_AVX2)
    for (; j + 4 <= N; j += 4) carry = Split4(limbs + j, carry, d + 3 * j);
#endif
    // Branch-free (the balancing test is a coin toss for random limbs): every comparison
    // becomes a 0/1 factor. Exact floors: |x| < 10^12, so x * 10^-8 is within one unit of
    // the quotient's floor and the corrections bring the remainder into [0, 10^8).
    for (; j < N; ++j) {
        const double x = limbs[j];
        double d2 = std::floor(x * 1e-8);
        double r = x - d2 * 1e8;  // exact: |d2 * 10^8| < 2^53
        const double lowR = r < 0.0 ? 1.0 : 0.0;
        const double highR = r >= 1e8 ? 1.0 : 0.0;
        d2 += highR - lowR;
        r += (lowR - highR) * 1e8;
        double d1 = std::floor(r * 1e-4);
        double d0 = r - d1 * 1e4;
        const double low0 = d0 < 0.0 ? 1.0 : 0.0;
        const double high0 = d0 >= 1e4 ? 1.0 : 0.0;
        d1 += high0 - low0;
        d0 += (low0 - high0) * 1e4;
        const double b0 = d0 > 5000.0 ? 1.0 : 0.0;
        d0 -= b0 * 1e4;
        d1 += b0;
        const double b1 = d1 > 5000.0 ? 1.0 : 0.0;
        d1 -= b1 * 1e4;
        d2 += b1;
        const double big = d2 > 5000.0 ? 1.0 : 0.0;
        d[3 * j] = d0 + carry;          // -4999 .. 5001
        d[3 * j + 1] = d1;              // -4999 .. 5000
        d[3 * j + 2] = d2 - big * 1e4;  // -4999 .. 5000 (top limb: down to -10^4)
        carry = big;
    }
    long m = 3 * N;
    if (m < n) d[m++] = carry;
    if (m < n) std::memset(d + m, 0, sizeof(double) * static_cast<std::size_t>(n - m));
}

namespace {

// Nearest integer of t (|t| < 2^52): one rounding instruction.
inline double RoundNearest(double t) { return std::nearbyint(t); }
inline double Max(double a, double b) { return a > b ? a : b; }

}  // namespace

double RoundInPlace(double* D, long count, double scale) {
    long m = 0;
    double maxDist = 0.0;
#if defined(ZEPRIX_FFT_AVX2)
    __m256d vmax = _mm256_setzero_pd();
    const __m256d vs = _mm256_set1_pd(scale);
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    for (; m + 4 <= count; m += 4) {
        const __m256d t = _mm256_mul_pd(_mm256_loadu_pd(D + m), vs);
        const __m256d v = _mm256_round_pd(t, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        vmax = _mm256_max_pd(vmax, _mm256_and_pd(_mm256_sub_pd(t, v), absMask));
        _mm256_storeu_pd(D + m, v);
    }
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, vmax);
    maxDist = Max(Max(lanes[0], lanes[1]), Max(lanes[2], lanes[3]));
#endif
    for (; m < count; ++m) {
        const double t = D[m] * scale;
        const double v = RoundNearest(t);
        maxDist = Max(maxDist, std::fabs(t - v));
        D[m] = v;
    }
    return maxDist;
}

void DigitStream::Refill() {
    have_ = 0;
    pos_ = 0;
#if defined(ZEPRIX_FFT_AVX2)
    if (j_ + 4 <= N_) {
        carry_ = Split4(limbs_ + j_, carry_, buf_);
        j_ += 4;
        have_ = 12;
        return;
    }
#endif
    if (j_ < N_) {
        double d[8];
        LimbsToDigits(limbs_ + j_, 1, d, 4);  // one limb: its digits and its carry
        buf_[0] = d[0] + carry_;
        buf_[1] = d[1];
        buf_[2] = d[2];
        carry_ = d[3];
        ++j_;
        have_ = 3;
        return;
    }
    // Beyond the top: the carry digit, then zeros.
    buf_[0] = carry_;
    carry_ = 0.0;
    for (int i = 1; i < 12; ++i) buf_[i] = 0.0;
    have_ = 12;
}

DigitStream::DigitStream(const double* limbs, long N, long first) : limbs_(limbs), N_(N) {
    j_ = std::min(first / 3, N);
    if (j_ > 0 && j_ - 1 < N) {
        double d[8];
        LimbsToDigits(limbs + j_ - 1, 1, d, 4);
        carry_ = d[3];
    }
    if (first / 3 > N) {  // above the carry digit: zeros only
        carry_ = 0.0;
        return;
    }
    double skip[3];
    Next(skip, first - 3 * j_);
}

void DigitStream::Next(double* out, long count) {
    while (count > 0) {
        if (pos_ < have_) {
            const long k = std::min(count, have_ - pos_);
            for (long i = 0; i < k; ++i) out[i] = buf_[pos_ + i];
            out += k;
            pos_ += k;
            count -= k;
            continue;
        }
#if defined(ZEPRIX_FFT_AVX2)
        // Whole blocks straight into the output.
        while (count >= 12 && j_ + 4 <= N_) {
            carry_ = Split4(limbs_ + j_, carry_, out);
            j_ += 4;
            out += 12;
            count -= 12;
        }
        if (count == 0) break;
#endif
        if (j_ >= N_ && carry_ == 0.0) {  // nothing left but zeros
            std::memset(out, 0, sizeof(double) * static_cast<std::size_t>(count));
            return;
        }
        Refill();
    }
}

inline void LimbAccumulator::AddOne(double lo, double hi) {
    const long k = next_ - cut_;
    const double here = (lo + hiPrev_) * factor_;
    if (k >= 0 && k < len_) {
        r_[k] += here;
    } else if (k == len_) {
        over_ += here;
    } else if (k > len_) {
        beyond_ = Max(beyond_, std::fabs(here));
    }
    hiPrev_ = hi;
    ++next_;
}

void LimbAccumulator::AddLimbs(const double* D, long k) {
    long i = 0;
    // Leading limbs below the window, then one by one until a block of four fits.
    auto scalar = [&](long ii) {
        const double v0 = D[3 * ii], v1 = D[3 * ii + 1], v2 = D[3 * ii + 2];
        const double q1 = RoundNearest(v1 * 1e-8);
        const double q2 = RoundNearest(v2 * 1e-4);
        // |v1 - 10^8 q1| <= 5 10^7 + 1 and |v2 - 10^4 q2| <= 5001: both products exact.
        AddOne(v0 + (v1 - q1 * 1e8) * 1e4 + (v2 - q2 * 1e4) * 1e8, q1 + q2);
    };
    for (; i < k && next_ < cut_; ++i) scalar(i);
#if defined(ZEPRIX_FFT_AVX2)
    // Four limbs at a time while all four are kept.
    const __m256d e8 = _mm256_set1_pd(1e8), e4 = _mm256_set1_pd(1e4);
    const __m256d i8 = _mm256_set1_pd(1e-8), i4 = _mm256_set1_pd(1e-4);
    for (; i + 4 <= k && next_ + 4 - cut_ <= len_; i += 4) {
        const double* p = D + 3 * i;
        const __m256d w0 = _mm256_loadu_pd(p), w1 = _mm256_loadu_pd(p + 4),
                      w2 = _mm256_loadu_pd(p + 8);
        // de-interleave the digits d0, d1, d2 of four limbs
        const __m256d a =
            _mm256_permute4x64_pd(_mm256_blend_pd(_mm256_blend_pd(w0, w1, 0x4), w2, 0x2), 0x6C);
        const __m256d b =
            _mm256_permute4x64_pd(_mm256_blend_pd(_mm256_blend_pd(w0, w1, 0x9), w2, 0x4), 0xB1);
        const __m256d c =
            _mm256_permute4x64_pd(_mm256_blend_pd(_mm256_blend_pd(w0, w1, 0x2), w2, 0x9), 0xC6);
        const __m256d q1 =
            _mm256_round_pd(_mm256_mul_pd(b, i8), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        const __m256d q2 =
            _mm256_round_pd(_mm256_mul_pd(c, i4), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        const __m256d lo = _mm256_add_pd(
            _mm256_add_pd(a, _mm256_mul_pd(_mm256_sub_pd(b, _mm256_mul_pd(q1, e8)), e4)),
            _mm256_mul_pd(_mm256_sub_pd(c, _mm256_mul_pd(q2, e4)), e8));
        const __m256d hi = _mm256_add_pd(q1, q2);
        // high parts move one limb up: (hiPrev, hi0, hi1, hi2)
        const __m256d up =
            _mm256_blend_pd(_mm256_permute4x64_pd(hi, 0x90), _mm256_set1_pd(hiPrev_), 0x1);
        double* rk = r_ + (next_ - cut_);
        const __m256d add = _mm256_mul_pd(_mm256_add_pd(lo, up), _mm256_set1_pd(factor_));
        _mm256_storeu_pd(rk, _mm256_add_pd(_mm256_loadu_pd(rk), add));
        alignas(32) double h4[4];
        _mm256_store_pd(h4, hi);
        hiPrev_ = h4[3];
        next_ += 4;
    }
#endif
    for (; i < k; ++i) scalar(i);
}

void LimbAccumulator::Finish() {
    AddOne(0.0, 0.0);  // the limb above the last one receives the last high part (scaled)
    ZEPRIX_CHECK(beyond_ == 0.0, "Error in FFT product, digits beyond the result");
    if (over_ != 0.0) {
        // Only the carry digits of the operands reach here: a few units.
        ZEPRIX_CHECK(std::fabs(over_) <= 1000.0 && len_ >= 1,
                     "Error in FFT product, digits beyond the result");
        r_[len_ - 1] += over_ * 1e12;
        over_ = 0.0;
    }
}

void LimbAccumulator::StartAbove(double d1, double d2) {
    hiPrev_ = RoundNearest(d1 * 1e-8) + RoundNearest(d2 * 1e-4);
}

void LimbAccumulator::Absorb(double over, double beyond) {
    over_ += over;
    beyond_ = Max(beyond_, beyond);
}

double AddDigitsToLimbs(double* D, long count, double scale, double* r, long cut, long len,
                        double factor) {
    const double maxDist = scale == 0.0 ? 0.0 : RoundInPlace(D, count, scale);
    const long first = std::max(cut - 1, 0L);
    LimbAccumulator acc(r, cut, len, first, factor);
    const long full = count / 3;  // limbs whose three digits are all below count
    if (full > first) acc.AddLimbs(D + 3 * first, full - first);
    if (count - 3 * full > 0 && full >= first) {
        double t[3] = {0.0, 0.0, 0.0};
        for (long m = 3 * full; m < count; ++m) t[m - 3 * full] = D[m];
        acc.AddLimbs(t, 1);
    }
    acc.Finish();
    return maxDist;
}

void CheckRoundingDistance(double maxDistance, long n) {
    if (maxDistance > kRoundingGuard) [[unlikely]] {
        char msg[160];
        std::snprintf(msg, sizeof msg,
                      "Error in FFT product, rounding error %.4f is too large for FFT size %ld "
                      "(%ld k)",
                      maxDistance, n, n / 1024);
        core::FatalError(msg);
    }
}

}  // namespace zeprix::fft
