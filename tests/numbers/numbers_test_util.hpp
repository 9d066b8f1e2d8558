// Helpers shared by the tests of the integer layer: owned BigInts, GMP value checks with
// the seed in the message, carry-heavy operands, fatal-path assertions.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "numbers/big_int.hpp"
#include "numbers/small_int.hpp"
#include "core/fatal.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {

// A BigInt that releases its block when it goes out of scope.
struct OwnedBigInt {
    numbers::BigInt v;
    explicit OwnedBigInt(long capacity) { v.Alloc(capacity); }
    ~OwnedBigInt() { v.Free(); }
};

inline std::string SeedNote() {
    return " (ZEPRIX_TEST_SEED=" + std::to_string(Seed()) + ")";
}

inline ::testing::AssertionResult SameValue(const Mpz& got, const Mpz& want) {
    if (mpz_cmp(got.v, want.v) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got " << got.str() << "\nwant " << want.str() << SeedNote();
}

// 10^(12 k) for k >= 0.
inline Mpz BigPow(long k) {
    Mpz p;
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(12 * k));
    return p;
}

// floor(x / 10^(12 k)).
inline Mpz FloorShift(const Mpz& x, long k) {
    Mpz q;
    mpz_fdiv_q(q.v, x.v, BigPow(k).v);
    return q;
}

// A number of `digits` decimal digits made of runs of 9s, runs of 0s and random digits,
// the operands that stress carry chains; negative at random when allowNegative.
inline Mpz CarryHeavy(long digits, bool allowNegative) {
    std::string s;
    std::uniform_int_distribution<int> kind(0, 2), run(1, 40), d(0, 9);
    while (static_cast<long>(s.size()) < digits) {
        const int k = kind(Rng());
        const int n = run(Rng());
        for (int i = 0; i < n && static_cast<long>(s.size()) < digits; ++i)
            s.push_back(k == 0 ? '9' : k == 1 ? '0' : static_cast<char>('0' + d(Rng())));
    }
    s[0] = s[0] == '0' ? '9' : s[0];
    Mpz r(s.c_str());
    if (allowNegative && (Rng()() & 1))
        mpz_neg(r.v, r.v);
    return r;
}

inline long RandomLong(long lo, long hi) {
    return std::uniform_int_distribution<long>(lo, hi)(Rng());
}

}  // namespace zeprix::test

