// Exact integer helpers of the limb arithmetic: floor division by a limb base and the
// int64 digit convolution behind the schoolbook products.
#pragma once

#include <cstdint>

namespace zeprix::numbers::detail {

// floor(t / D) for D > 0 and any int64 t; rem = t - q * D lies in [0, D). With D a
// compile-time constant the division becomes a multiplication.
template <std::int64_t D>
inline std::int64_t FloorDiv(std::int64_t t, std::int64_t& rem) {
    std::int64_t q = t / D;
    std::int64_t r = t - q * D;
    if (r < 0) {
        r += D;
        q -= 1;
    }
    rem = r;
    return q;
}

// Same for a divisor known only at run time (D > 0).
inline std::int64_t FloorDivRt(std::int64_t t, std::int64_t d, std::int64_t& rem) {
    std::int64_t q = t / d;
    std::int64_t r = t - q * d;
    if (r < 0) {
        r += d;
        q -= 1;
    }
    rem = r;
    return q;
}

// Copies n >= 1 limbs into int64 digits with an exact carry pass in base D, so that every
// digit below the top lies in [0, D) whatever the input limbs (integers below 2^53 in
// magnitude); the top digit takes the final carry unsplit. The value is unchanged.
template <std::int64_t D>
inline void LoadDigits(const double* src, long n, std::int64_t* dst) {
    bool canonical = true;  // the common case: a plain conversion, no carry chain
    for (long i = 0; i + 1 < n; ++i) canonical &= (src[i] >= 0) & (src[i] < static_cast<double>(D));
    if (canonical) {
        for (long i = 0; i < n; ++i) dst[i] = static_cast<std::int64_t>(src[i]);
        return;
    }
    std::int64_t c = 0;
    for (long i = 0; i + 1 < n; ++i) {
        std::int64_t rem;
        c = FloorDiv<D>(static_cast<std::int64_t>(src[i]) + c, rem);
        dst[i] = rem;
    }
    dst[n - 1] = static_cast<std::int64_t>(src[n - 1]) + c;
}

// Largest digit magnitude the convolution accepts: with |a[i]|, |b[j]| <= 2^29 every
// product fits a signed 32 x 32 -> 64 multiplication and a group of eight rows of
// products adds up to at most 2^61.
inline constexpr std::int64_t kMaxConvDigit = std::int64_t{1} << 29;

// Extra int64 entries the caller must leave after r[na + nb - 1] (vector overrun room).
inline constexpr long kConvTail = 16;

// r[0 .. na + nb) = the digits of a * b in base `base` (base 1e6 or 1e8): every digit
// below the top in [0, base), the top digit an arbitrary int64 carrying the sign, the
// value exact. a and b are little-endian digit arrays with |digit| <= kMaxConvDigit
// (checked: fatal otherwise); na, nb >= 1. r needs na + nb + kConvTail entries and must
// not overlap a or b. Exactness: see the comment in int_kernels.cpp.
void ConvolveDigits(const std::int64_t* a, long na, const std::int64_t* b, long nb,
                    std::int64_t base, std::int64_t* r);

}  // namespace zeprix::numbers::detail
