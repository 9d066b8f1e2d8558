// Binary digits of Pi at a chosen position, by Bellard's digit-extraction formula.
#include "verify/bellard.hpp"

#include <cstdint>

#include "core/console.hpp"

namespace zeprix::verify {

namespace {

using U64 = std::uint64_t;
__extension__ typedef unsigned __int128 U128;

// 2^e mod m, for e >= 0 and m >= 1, left to right over the bits of e. The residue r stays
// below m, so r^2 < m^2 and 2r < 2m: with m < 2^32 both fit 64 bits, otherwise (m < 2^64)
// they fit 128 bits. Every step is integer arithmetic, hence exact.
U64 Pow2Mod(U64 e, U64 m) {
    if (m == 1) return 0;
    int top = 63;
    while (top > 0 && !((e >> top) & 1)) --top;
    U64 r = 1;
    for (int bit = top; bit >= 0; --bit) {
        if (m < (U64{1} << 32))
            r = r * r % m;
        else
            r = static_cast<U64>(static_cast<U128>(r) * r % m);
        if ((e >> bit) & 1) {
            r <<= 1;  // below 2m < 2^64
            if (r >= m) r -= m;
        }
    }
    return r;
}

// floor(x 2^64 / m) for x < 2^64 and m >= 1 when the quotient is below 2^128: two steps
// of schoolbook division by a one-word divisor, each quotient digit below 2^64 once the
// first remainder is below m.
U128 ShiftDivide64(U64 x, U64 m) {
    const U64 q1 = x / m;
    const U64 r1 = x % m;
    const U64 q0 = static_cast<U64>((static_cast<U128>(r1) << 64) / m);
    return (static_cast<U128>(q1) << 64) | q0;
}

// floor(2^128 r / m) for 0 <= r < m: the fraction r / m in 128-bit fixed point.
U128 Fraction128(U64 r, U64 m) {
    const U128 hi = (static_cast<U128>(r) << 64) / m;  // < 2^64 since r < m
    const U64 rem = static_cast<U64>((static_cast<U128>(r) << 64) % m);
    return (hi << 64) | static_cast<U64>((static_cast<U128>(rem) << 64) / m);
}

// floor(2^128 2^e / m) for -128 < e < 0 and m >= 1: the term 2^e / m < 1 in fixed point.
U128 SmallTerm128(long e, U64 m) {
    if (e >= -64) return ShiftDivide64(U64{1} << (64 + e), m);  // 2^(64+e) < 2^64
    return (static_cast<U128>(1) << (128 + e)) / m;
}

// frac(sum over n >= 0 of (-1)^n 2^(k + p - 6 - 10 n) / (a n + b)), times 2^128, modulo
// 2^128 (wrapping unsigned arithmetic is arithmetic modulo 1 on the fraction). A term
// with e >= 0 contributes frac(2^e / m) = (2^e mod m) / m; a term with e < 0 is below 1
// itself; terms with e <= -128 are left out.
U128 Series(long k, long p, U64 a, U64 b) {
    U128 s = 0;
    long e = k + p - 6;
    for (U64 n = 0; e > -128; ++n, e -= 10) {
        const U64 m = a * n + b;
        const U128 term =
            e >= 0 ? Fraction128(Pow2Mod(static_cast<U64>(e), m), m) : SmallTerm128(e, m);
        s = (n & 1) ? s - term : s + term;
    }
    return s;
}

}  // namespace

// Bellard's formula:
//   Pi = 2^-6 sum_n (-1)^n 2^(-10 n) (-2^5/(4n+1) - 1/(4n+3) + 2^8/(10n+1) - 2^6/(10n+3)
//                                     - 2^2/(10n+5) - 2^2/(10n+7) + 1/(10n+9)),
// so frac(2^p Pi) is the fractional part of a signed sum of seven series, each
// sum_n (-1)^n 2^(k + p - 6 - 10 n) / (a n + b).
//
// Exactness:
// 1. Each residue 2^e mod m is exact (Pow2Mod): m = a n + b < p + 140, since n < p / 10 +
//    13, stays far below 2^63 (p is a bit position of digits on a disk, below 2^50).
// 2. Each term enters as floor(2^128 t) for its fractional part t, too small by less than
//    2^-128. The terms left out (e <= -128) alternate in sign and decrease, so together
//    they are smaller than the first of them, below 2^-128.
// 3. Sums and differences modulo 2^128 are exact, and modulo 1 on the fractions they are
//    the fractional part of the signed total.
// With N < p / 10 + 14 terms per series, the fixed-point total is within
// 7 (N + 1) 2^-128 < 2^-60 of frac(2^p Pi) (modulo 1); its top 53 bits, exact in a double,
// lose less than 2^-53 more.
double BellardFraction(long p) {
    struct Term {
        long k;
        U64 a, b;
        bool negative;
    };
    static const Term kTerms[7] = {{5, 4, 1, true},  {0, 4, 3, true},  {8, 10, 1, false},
                                   {6, 10, 3, true}, {2, 10, 5, true}, {2, 10, 7, true},
                                   {0, 10, 9, false}};
    U128 total = 0;
    for (int i = 0; i < 7; ++i) {
        const Term& t = kTerms[i];
        const U128 s = Series(t.k, p, t.a, t.b);
        total = t.negative ? total - s : total + s;
        core::Print("%s", i < 6 ? "." : "\n");
    }
    return static_cast<double>(static_cast<U64>(total >> 75)) * 0x1p-53;
}

// Doubling and subtracting 1 are exact on a double in [0, 1): each step shifts the binary
// expansion by one place.
void PrintBinaryDigits(double x, long n) {
    for (long i = 0; i < n; ++i) {
        x *= 2;
        if (x < 1) {
            core::Print("0");
        } else {
            core::Print("1");
            x -= 1;
        }
    }
    core::Print("\n");
}

}  // namespace zeprix::verify
