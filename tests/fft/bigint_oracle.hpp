// GMP oracle for BigInt products at any size: conversions through decimal strings
// (subquadratic in GMP), random and worst-case operands.
#pragma once

#include <gmp.h>

#include <cstdio>
#include <string>

#include "numbers/big_int.hpp"
#include "support/test_support.hpp"

namespace zeprix::fft::test {

using numbers::BigInt;
using zeprix::test::Mpz;

// Mantissa of limbs[0 .. n) (base 10^12, canonical below the top, any sign on top).
inline void LimbsToMpzFast(const double* limbs, long n, mpz_t out) {
    if (n <= 0) {
        mpz_set_ui(out, 0);
        return;
    }
    std::string s;
    s.reserve(static_cast<std::size_t>(12 * n + 1));
    s.push_back('0');
    char buf[32];
    for (long i = n - 2; i >= 0; --i) {
        std::snprintf(buf, sizeof buf, "%012.0f", limbs[i]);
        s += buf;
    }
    mpz_set_str(out, s.c_str(), 10);
    Mpz top, p;
    mpz_set_d(top.v, limbs[n - 1]);
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(12 * (n - 1)));
    mpz_addmul(out, top.v, p.v);
}

inline Mpz Mantissa(const BigInt& a) {
    Mpz r;
    LimbsToMpzFast(a.Limbs, a._N, r.v);
    return r;
}

// Sets r (capacity >= n) to x with exactly n limbs in complement form: the low n - 1
// limbs canonical, the top holding the rest (negative for x < 0). |x| < 10^(12 n).
inline void MpzToBigInt(const mpz_t x, long n, BigInt& r) {
    Mpz c, p;
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(12 * n));
    mpz_set(c.v, x);
    const bool neg = mpz_sgn(x) < 0;
    if (neg) mpz_add(c.v, c.v, p.v);  // c = x + 10^(12 n) in [0, 10^(12 n))
    std::string s(static_cast<std::size_t>(12 * n), '0');
    char* t = mpz_get_str(nullptr, 10, c.v);
    std::string digits(t);
    void (*freefunc)(void*, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freefunc);
    freefunc(t, digits.size() + 1);
    s.replace(s.size() - digits.size(), digits.size(), digits);
    for (long i = 0; i < n; ++i) {
        const std::size_t off = static_cast<std::size_t>(12 * (n - 1 - i));
        r.Limbs[i] = std::stod(s.substr(off, 12));
    }
    if (neg) r.Limbs[n - 1] -= 1e12;
    r._N = n;
    r.Exp = 0;
}

// A BigInt of capacity cap holding x (n limbs).
struct Big {
    BigInt b;
    Big(long cap) { b.Alloc(cap); }
    Big(const mpz_t x, long n, long cap) {
        b.Alloc(cap);
        MpzToBigInt(x, n, b);
    }
    ~Big() { b.Free(); }
    Big(const Big&) = delete;
    Big& operator=(const Big&) = delete;
};

// Random x with exactly n limbs (top limb nonzero); negative at random when allowed.
inline Mpz RandomLimbs(long n, bool allowNegative) {
    Mpz x = zeprix::test::RandomDigits(12 * n - static_cast<long>(zeprix::test::Rng()() % 11));
    if (allowNegative && (zeprix::test::Rng()() & 1)) mpz_neg(x.v, x.v);
    return x;
}

// Operands that drive the convolution to its extremes: every limb 999999999999 (digits
// 10^4, 9999, -1 after the carry) or 500099999999 (digits 9999, 9999, 5000: all positive
// and largest); sign as given.
inline Mpz RepeatedLimb(long n, double limb, bool negative) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%012.0f", limb);
    std::string s;
    s.reserve(static_cast<std::size_t>(12 * n));
    for (long i = 0; i < n; ++i) s += buf;
    Mpz x(s.c_str());
    if (negative) mpz_neg(x.v, x.v);
    return x;
}

}  // namespace zeprix::fft::test
