// Exact int64 digit convolution: the inner loop of every schoolbook product.
//
// Exactness, for digits |a[i]| <= Ma, |b[j]| <= Mb with Ma, Mb <= 2^29 and base >= 10^6:
//   1. Every product a[i] * b[j] is computed exactly by a signed 32 x 32 -> 64 multiply
//      (|a[i] * b[j]| <= 2^58).
//   2. Rows of a are added in blocks of L rows, L the largest multiple of 8 with
//      L * Ma * Mb <= 2^62 (L >= 8 by 1.). A block adds at most 2^62 in magnitude to any
//      column.
//   3. After each block the columns it touched, [i0, hi), are carried in base `base`
//      with exact floors (CarryRange), the carry going into column hi, which no block
//      has touched yet (or into the top column, which receives carries only). Hence
//      before a block every column holds less than 2^45 in magnitude: a normalised digit
//      is below base, a carry is below 2^63 / base + 2 < 2^45.
//   4. So no column ever exceeds 2^62 + 2^45 < 2^63 - 2^46 in magnitude, and a final
//      carry pass leaves digits in [0, base) below the top and the exact top digit.
#include "numbers/int_kernels.hpp"

#include <algorithm>
#include <cstdlib>
#include <vector>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "core/fatal.hpp"

namespace zeprix::numbers::detail {

namespace {

constexpr long kFrontPad = 8;  // zero digits before b[0] (the kernel reads b[-7 ..])
constexpr long kBackPad = 24;  // zero digits after b[nb - 1]

// One group of kRows rows: for k in [0, nb + kRows - 1),
//   r[k] += a8[0] b[k] + a8[1] b[k - 1] + ... + a8[7] b[k - 7].
// b is padded (b[-7 .. nb + 16) readable, zero outside [0, nb)); r has room for nb + 16.
constexpr long kRows = 8;

inline void AddRowGroup(const std::int64_t* a8, const std::int64_t* b, long nb, std::int64_t* r) {
#if defined(__AVX2__)
    auto load = [](const std::int64_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    };
    __m256i x[kRows];
    for (long s = 0; s < kRows; ++s) x[s] = _mm256_set1_epi64x(a8[s]);
    for (long k = 0; k < nb + kRows - 1; k += 4) {
        // _mm256_mul_epi32 multiplies the low signed 32 bits of each 64-bit lane; the
        // digits fit in them (|digit| <= 2^29), so each product is exact. Two partial
        // sums shorten the dependency chain.
        __m256i s0 = load(r + k);
        __m256i s1 = _mm256_mul_epi32(x[0], load(b + k));
        for (long s = 1; s + 1 < kRows; s += 2) {
            s0 = _mm256_add_epi64(s0, _mm256_mul_epi32(x[s], load(b + k - s)));
            s1 = _mm256_add_epi64(s1, _mm256_mul_epi32(x[s + 1], load(b + k - s - 1)));
        }
        s0 = _mm256_add_epi64(s0, _mm256_mul_epi32(x[kRows - 1], load(b + k - (kRows - 1))));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r + k), _mm256_add_epi64(s0, s1));
    }
#else
    for (long k = 0; k < nb + kRows - 1; ++k) {
        std::int64_t acc = r[k];
        for (long s = 0; s < kRows; ++s) acc += a8[s] * b[k - s];
        r[k] = acc;
    }
#endif
}

// Carries columns [lo, hi) of r in base D with exact floors; the carry goes into r[hi].
// Columns hold less than 2^63 - 2^46 in magnitude, so t = r[k] + carry never overflows
// (|carry| < 2^63 / D + 1). A single carry chain puts a division on the critical path of
// every column; here four chains run interleaved over four consecutive segments, each
// starting with carry 0, and the carry out of each segment is then added into the next
// one and rippled only while it is nonzero (usually a few columns).
template <std::int64_t D>
void CarryRange(std::int64_t* r, long lo, long hi) {
    const long n = hi - lo;
    if (n <= 0) return;
    constexpr int kChains = 4;
    const long seg = n / kChains;
    std::int64_t c[kChains] = {0, 0, 0, 0};
    std::int64_t* base[kChains];
    for (int j = 0; j < kChains; ++j) base[j] = r + lo + j * seg;
    for (long k = 0; k < seg; ++k) {
        for (int j = 0; j < kChains; ++j) {
            std::int64_t rem;
            c[j] = FloorDiv<D>(base[j][k] + c[j], rem);
            base[j][k] = rem;
        }
    }
    // The last segment also takes the n - 4 seg leftover columns.
    for (long k = lo + kChains * seg; k < hi; ++k) {
        std::int64_t rem;
        c[kChains - 1] = FloorDiv<D>(r[k] + c[kChains - 1], rem);
        r[k] = rem;
    }
    // Ripple the carry out of segment j - 1 into segment j.
    std::int64_t carry = c[0];
    for (int j = 1; j < kChains; ++j) {
        const long end = (j == kChains - 1) ? hi : lo + (j + 1) * seg;
        for (long k = lo + j * seg; k < end && carry != 0; ++k) {
            std::int64_t rem;
            carry = FloorDiv<D>(r[k] + carry, rem);
            r[k] = rem;
        }
        carry += c[j];
    }
    r[hi] += carry;
}

std::int64_t MaxAbs(const std::int64_t* x, long n) {
    std::int64_t m = 0;
    for (long i = 0; i < n; ++i) m = std::max(m, x[i] < 0 ? -x[i] : x[i]);
    return m;
}

// Rows run over the shorter operand so that the vector loop runs over the longer one.
template <std::int64_t D>
void Convolve(const std::int64_t* a, long na, const std::int64_t* b, long nb, std::int64_t* r) {
    if (na > nb) {
        std::swap(a, b);
        std::swap(na, nb);
    }
    const std::int64_t ma = MaxAbs(a, na), mb = MaxAbs(b, nb);
    if (ma > kMaxConvDigit || mb > kMaxConvDigit)
        core::FatalError("Error in the schoolbook product, a limb is out of range");

    thread_local std::vector<std::int64_t> padded;
    const std::size_t need = static_cast<std::size_t>(nb + kFrontPad + kBackPad);
    if (padded.size() < need) padded.resize(need);
    std::int64_t* bp = padded.data() + kFrontPad;
    std::fill(bp - kFrontPad, bp, std::int64_t{0});
    std::copy(b, b + nb, bp);
    std::fill(bp + nb, bp + nb + kBackPad, std::int64_t{0});

    const long nr = na + nb;
    std::fill(r, r + nr + kConvTail, std::int64_t{0});

    // Rows per block (step 2 of the exactness argument).
    long rowsPerBlock = na + kRows;
    const std::int64_t prodMax = ma * mb;  // <= 2^58
    if (prodMax > 0) {
        const std::int64_t lim = (std::int64_t{1} << 62) / prodMax;  // >= 16
        if (lim < rowsPerBlock) rowsPerBlock = static_cast<long>(lim);
    }
    rowsPerBlock = std::max(kRows, rowsPerBlock / kRows * kRows);

    for (long i0 = 0; i0 < na; i0 += rowsPerBlock) {
        const long i1 = std::min(na, i0 + rowsPerBlock);
        for (long i = i0; i < i1; i += kRows) {
            std::int64_t a8[kRows];
            for (long s = 0; s < kRows; ++s) a8[s] = (i + s < na) ? a[i + s] : 0;
            AddRowGroup(a8, bp, nb, r + i);
        }
        if (i1 < na) CarryRange<D>(r, i0, std::min(i1 + nb - 1, nr - 1));
    }
    CarryRange<D>(r, 0, nr - 1);
}

}  // namespace

void ConvolveDigits(const std::int64_t* a, long na, const std::int64_t* b, long nb,
                    std::int64_t base, std::int64_t* r) {
    if (base == 100000000)
        Convolve<100000000>(a, na, b, nb, r);
    else if (base == 1000000)
        Convolve<1000000>(a, na, b, nb, r);
    else
        core::FatalError("Error in ConvolveDigits, unsupported base");
}

}  // namespace zeprix::numbers::detail
