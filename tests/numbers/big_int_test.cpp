// BigInt and the MPInt face: allocation, normalisation with low-end truncation, trimming,
// sign, bulk read and the decimal digit window.
#include <gtest/gtest.h>

#include <vector>

#include "numbers/big_int.hpp"
#include "numbers/limbs.hpp"
#include "numbers/mpint.hpp"
#include "numbers/small_int.hpp"
#include "numbers_test_util.hpp"

namespace zeprix::test {
namespace {

using numbers::BigInt;

constexpr double kB12 = 1e12;

void SetLimbs(BigInt& a, const std::vector<double>& limbs, long exp = 0) {
    for (size_t i = 0; i < limbs.size(); ++i)
        a[static_cast<long>(i)] = limbs[i];
    a._N = static_cast<long>(limbs.size());
    a.Exp = exp;
}

TEST(BigIntAlloc, FreshValueAndMemoryCounter) {
    const auto before = numbers::gMemoryCounter;
    {
        OwnedBigInt a(10);
        EXPECT_EQ(numbers::gMemoryCounter - before, 8 * 11 + 32);
        EXPECT_EQ(a.v._N, 1);
        EXPECT_EQ(a.v[0], 0);
        EXPECT_EQ(a.v[10], 0);  // spare limb
        EXPECT_EQ(a.v.Exp, 0);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a.v.Limbs) % 64, 0u);
    }
    EXPECT_EQ(numbers::gMemoryCounter, before);
}

TEST(BigIntUpdate, NamedCases) {
    OwnedBigInt a(2);
    SetLimbs(a.v, {kB12 - 1, kB12}, 7);
    a.v.UpdateBigInt();
    ASSERT_EQ(a.v._N, 2);
    EXPECT_EQ(a.v.Exp, 8);  // the lowest limb is lost
    EXPECT_EQ(a.v[0], 0);
    EXPECT_EQ(a.v[1], 1);
    EXPECT_EQ(a.v[2], 0);  // spare limb untouched
    SetLimbs(a.v, {-1});
    a.v.UpdateBigInt();
    ASSERT_EQ(a.v._N, 1);
    EXPECT_EQ(a.v[0], -1);
    SetLimbs(a.v, {-1, 0});
    a.v.UpdateBigInt();
    ASSERT_EQ(a.v._N, 1);
    EXPECT_EQ(a.v[0], -1);
}

TEST(BigIntTrim, DropsZerosAndFoldsNines) {
    OwnedBigInt a(6);
    SetLimbs(a.v, {4, kB12 - 1, kB12 - 1, -1, 0, 0});
    a.v.TrimBigInt();
    ASSERT_EQ(a.v._N, 2);
    EXPECT_EQ(a.v[0], 4);
    EXPECT_EQ(a.v[1], -1);
    SetLimbs(a.v, {0, 0, 0});
    a.v.TrimBigInt();
    EXPECT_EQ(a.v._N, 1);
}

// Random limbs up to 2^52 in magnitude. With room the value is kept exactly; in a full
// number the value is truncated at the low end: R 10^(12 e) <= V < (R + 1) 10^(12 e).
TEST(BigIntUpdate, RandomLimbsWithAndWithoutRoom) {
    std::uniform_int_distribution<long> limb(-(1L << 52) + 1, (1L << 52) - 1);
    for (int trial = 0; trial < 400; ++trial) {
        const long n = RandomLong(1, 25);
        const bool full = trial % 2 == 1;
        OwnedBigInt a(full ? n : n + 3);
        std::vector<double> limbs(static_cast<size_t>(n));
        for (auto& l : limbs)
            l = static_cast<double>(trial < 40 ? (1L << 52) - 1 : limb(Rng()));
        SetLimbs(a.v, limbs);
        const Mpz v = MantissaToMpz(a.v);
        a.v.UpdateBigInt();
        EXPECT_TRUE(IsCanonical(a.v.Limbs, a.v._N, kB12)) << SeedNote();
        EXPECT_LE(a.v._N, a.v.SizeAlloc);
        if (!full) {
            EXPECT_EQ(a.v.Exp, 0);
        }
        EXPECT_TRUE(SameValue(MantissaToMpz(a.v), FloorShift(v, a.v.Exp)));
        EXPECT_EQ(a.v[a.v.SizeAlloc], 0) << "spare limb written" << SeedNote();
    }
}

TEST(BigIntCopy, CopiesValueAndExponent) {
    OwnedBigInt a(5), r(5);
    SetLimbs(a.v, {1, 2, 3}, 4);
    a.v.CopyTo(r.v);
    ASSERT_EQ(r.v._N, 3);
    EXPECT_EQ(r.v.Exp, 4);
    EXPECT_EQ(r.v[2], 3);
}

TEST(MPIntSign, ZeroPositiveNegative) {
    OwnedBigInt a(4);
    SetLimbs(a.v, {0, 0});
    EXPECT_EQ(a.v.Sign(), 0);  // an untrimmed zero is zero
    SetLimbs(a.v, {0});
    EXPECT_EQ(a.v.Sign(), 0);
    SetLimbs(a.v, {5});
    EXPECT_EQ(a.v.Sign(), 1);
    SetLimbs(a.v, {kB12 - 1, -1});
    EXPECT_EQ(a.v.Sign(), -1);
    SetLimbs(a.v, {0, 1, 0});
    EXPECT_EQ(a.v.Sign(), 1);
    // Random values through the shared implementation, against GMP.
    for (int trial = 0; trial < 200; ++trial) {
        Mpz x = CarryHeavy(RandomLong(1, 60), true);
        OwnedBigInt b(8);
        FromMpz(x, b.v);
        EXPECT_EQ(b.v.Sign(), mpz_sgn(x.v)) << x.str() << SeedNote();
    }
}

TEST(MPIntWriteBuffer, BaseClassIsFatal) {
    struct Bare : numbers::MPInt {
        int TypeCode() const override { return 3; }
        int DigitsPerLimb() const override { return 12; }
    } bare;
    double buf[1];
    ZEPRIX_EXPECT_FATAL(bare.WriteBuffer(buf, 1, 0),
                        "Error, this type of MPInt cannot write to a buffer");
}

// digits pos + 1 .. pos + 10 after the decimal point of mantissa * 10^(d e).
long ExpectedWindow(const Mpz& mantissa, long d, long e, long pos) {
    Mpz x = mantissa, p;
    const long shift = d * e + pos + 10;  // x * 10^shift, floored
    if (shift >= 0) {
        mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(shift));
        mpz_mul(x.v, x.v, p.v);
    } else {
        mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(-shift));
        mpz_fdiv_q(x.v, x.v, p.v);
    }
    return static_cast<long>(mpz_fdiv_ui(x.v, 10000000000UL));
}

TEST(MPIntDigitWindow, BigIntFractionAndSmallIntInteger) {
    for (int trial = 0; trial < 30; ++trial) {
        const long n = RandomLong(3, 12);
        OwnedBigInt a(n);
        Mpz m = RandomDigits(12 * n);
        FromMpz(m, a.v);
        a.v.Exp = -n;  // a value in [0.1, 1)
        // Valid positions: limbs q - 2 .. q exist, q = floor((-e d - pos) / d).
        for (long pos = 1; pos <= 12 * (n - 2); pos += RandomLong(1, 7)) {
            const double got = a.v.DigitWindow(static_cast<double>(pos));
            EXPECT_EQ(static_cast<long>(got), ExpectedWindow(m, 12, -n, pos))
                << "pos=" << pos << SeedNote();
        }
    }
    numbers::SmallInt s;
    Mpz m = RandomDigits(8 * 6);
    FromMpz(m, s);
    for (long pos = -47; pos <= -16; ++pos)
        EXPECT_EQ(static_cast<long>(s.DigitWindow(static_cast<double>(pos))),
                  ExpectedWindow(m, 8, 0, pos))
            << "pos=" << pos;
    OwnedBigInt a(4);
    SetLimbs(a.v, {1, 2, 3, 4}, -4);
    ZEPRIX_EXPECT_FATAL(a.v.DigitWindow(40),
                        "Error in MPInt::DigitWindow, the digits asked for lie outside the number");
}

}  // namespace
}  // namespace zeprix::test
