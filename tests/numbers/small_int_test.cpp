// SmallInt: set, normalisation, addition, subtraction, negation, short and schoolbook
// products, checked against GMP.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numbers/limbs.hpp"
#include "numbers/small_int.hpp"
#include "numbers_test_util.hpp"

namespace zeprix::test {
namespace {

using numbers::SmallInt;

constexpr double kB8 = 1e8;
constexpr double kCanary = 4242.0;

void ExpectSmall(const SmallInt& r, const Mpz& want, bool canonical = true) {
    EXPECT_TRUE(SameValue(ToMpz(r), want));
    if (canonical) {
        EXPECT_TRUE(IsCanonical(r.Limbs, r._N, kB8)) << SeedNote();
    }
}

// Operands of the randomised tests: worst cases first, then random and carry-heavy ones.
std::vector<Mpz> Operands(long maxDigits, int randomCount) {
    std::vector<Mpz> v;
    v.emplace_back(0L);
    v.emplace_back(1L);
    v.emplace_back(-1L);
    v.emplace_back(99999999L);
    v.emplace_back(-100000000L);
    for (long d : {8L, 16L, 40L, maxDigits}) {
        v.push_back(AllNines(d));
        Mpz n = AllNines(d);
        mpz_neg(n.v, n.v);
        v.push_back(n);
    }
    for (int i = 0; i < randomCount; ++i) {
        v.push_back(RandomSigned(maxDigits, true));
        v.push_back(CarryHeavy(RandomLong(1, maxDigits), true));
    }
    return v;
}

TEST(SmallIntSet, EdgeValues) {
    SmallInt a;
    a.Set(-1);
    ASSERT_EQ(a._N, 1);
    EXPECT_EQ(a[0], -1);
    a.Set(1e15);
    ASSERT_EQ(a._N, 2);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[1], 1e7);
    for (double x : {0.0, -2.0, 99999999.0, 1e8, -1e8, -1e8 - 1, 123456789012345.0, -1e15,
                     -4503599627370495.0}) {
        SmallInt s;
        s.Set(x);
        ExpectSmall(s, Mpz(static_cast<long>(x)));
    }
}

TEST(SmallIntSet, TooLargeIsFatal) {
    SmallInt a;
    ZEPRIX_EXPECT_FATAL(a.Set(1e15 + 1), "Error in SmallInt::Set, x is too large");
}

TEST(SmallIntAlloc, ViewsAndCopies) {
    SmallInt a;
    a.Alloc(10);
    for (int i = 0; i < 10; ++i)
        a[i] = i + 1;
    a._N = 10;
    a.Realloc(20);  // keeps the contents
    EXPECT_GE(a.SizeAlloc, 20);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(a[i], i + 1);
    SmallInt v;
    v.AllocSpecial(a, 3);
    EXPECT_EQ(v.Limbs, a.Limbs + 3);
    EXPECT_TRUE(v.IsView());
    ZEPRIX_EXPECT_FATAL(v.Alloc(100), "Error, Alloc cannot be used on a NoDelete SmallInt");
    double buf[3] = {7, 7, 7};
    a.WriteBuffer(buf, 0, 0);  // count 0 copies nothing
    EXPECT_EQ(buf[0], 7);
    a.WriteBuffer(buf, 2, 4);
    EXPECT_EQ(buf[0], 5);
    EXPECT_EQ(buf[1], 6);
}

TEST(SmallIntAlloc, MemoryCounterBalances) {
    const auto before = numbers::gMemoryCounter;
    {
        SmallInt a;
        a.Alloc(100);
        EXPECT_EQ(numbers::gMemoryCounter - before, 8 * 101 + 32);
        a.Realloc(200);
        EXPECT_EQ(numbers::gMemoryCounter - before, 8 * 201 + 32);
    }
    EXPECT_EQ(numbers::gMemoryCounter, before);
}

TEST(SmallIntUpdate, ArbitraryLimbsBecomeCanonical) {
    for (int trial = 0; trial < 300; ++trial) {
        const long n = RandomLong(1, 30);
        SmallInt a;
        a.Alloc(n + 1);
        std::uniform_int_distribution<long> limb(-(1L << 52) + 1, (1L << 52) - 1);
        for (long i = 0; i < n; ++i)
            a[i] = static_cast<double>(trial < 20 ? (1L << 52) - 1 : limb(Rng()));
        a._N = n;
        Mpz want = ToMpz(a);
        a.UpdateSmallInt();
        ExpectSmall(a, want);
    }
}

TEST(SmallIntTrim, FoldsNinesUnderMinusOne) {
    SmallInt a;
    a.Alloc(5);
    a[0] = 3;
    a[1] = kB8 - 1;
    a[2] = kB8 - 1;
    a[3] = -1;
    a[4] = 0;
    a._N = 5;
    a.Trim();
    ASSERT_EQ(a._N, 2);
    EXPECT_EQ(a[0], 3);
    EXPECT_EQ(a[1], -1);
}

TEST(SmallIntAddSub, NamedCases) {
    SmallInt z, one, r;
    z.Set(0);
    one.Set(1);
    SubstractSmallInt(z, one, r);
    ASSERT_EQ(r._N, 1);
    EXPECT_EQ(r[0], -1);
    SmallInt big;
    big.Set(1e8);
    SubstractSmallInt(one, big, r);
    ASSERT_EQ(r._N, 2);
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(r[1], -1);
    SmallInt n9;
    n9.Set(99999999);
    AddSmallInt(n9, one, r);
    ASSERT_EQ(r._N, 2);
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], 1);
    // a + a into a reallocates and keeps the value.
    SmallInt a;
    a.Alloc(10);
    for (long i = 0; i < 10; ++i)
        a[i] = kB8 - 1;
    a._N = 10;
    Mpz x = AllNines(80);
    const long capBefore = a.SizeAlloc;
    AddSmallInt(a, a, a);
    EXPECT_GT(a.SizeAlloc, capBefore);
    Mpz want;
    mpz_mul_2exp(want.v, x.v, 1);
    ExpectSmall(a, want);
}

TEST(SmallIntAddSub, RandomAgainstGmpWithAliasing) {
    const auto ops = Operands(200, 25);
    for (size_t i = 0; i < ops.size(); ++i) {
        for (size_t j = 0; j < ops.size(); j += 3) {
            SmallInt a, b, r;
            FromMpz(ops[i], a);
            FromMpz(ops[j], b);
            Mpz sum, diff;
            mpz_add(sum.v, ops[i].v, ops[j].v);
            mpz_sub(diff.v, ops[i].v, ops[j].v);
            AddSmallInt(a, b, r);
            ExpectSmall(r, sum);
            SubstractSmallInt(a, b, r);
            ExpectSmall(r, diff);
            SubstractSmallInt(b, a, r);
            Mpz ndiff;
            mpz_neg(ndiff.v, diff.v);
            ExpectSmall(r, ndiff);
            // r = a and r = b.
            SmallInt a2, b2;
            FromMpz(ops[i], a2);
            FromMpz(ops[j], b2);
            AddSmallInt(a2, b2, a2);
            ExpectSmall(a2, sum);
            FromMpz(ops[i], a2);
            SubstractSmallInt(a2, b2, b2);
            ExpectSmall(b2, diff);
        }
    }
}

TEST(SmallIntNegate, RandomAgainstGmp) {
    for (const Mpz& x : Operands(300, 30)) {
        SmallInt a, r;
        FromMpz(x, a);
        Mpz want;
        mpz_neg(want.v, x.v);
        NegateSmallInt(a, r);
        ExpectSmall(r, want);
        NegateSmallInt(a, a);
        ExpectSmall(a, want);
    }
}

TEST(SmallIntShortMul, BothKernelsAroundTheThreshold) {
    std::vector<double> ms = {
        0,          1,        -1,  2,       9999999,         1e7,  -1e7,  1e7 + 1,
        -(1e7 + 1), 99999999, 1e8, 1e8 + 1, 123456789012345, 1e15, -1e15, 999999999999999};
    for (int i = 0; i < 20; ++i) {
        ms.push_back(static_cast<double>(RandomLong(-10000000, 10000000)));
        ms.push_back(static_cast<double>(RandomLong(-1000000000000000L, 1000000000000000L)));
    }
    for (const Mpz& x : Operands(120, 6)) {
        for (double m : ms) {
            SmallInt a, r;
            FromMpz(x, a);
            Mpz want;
            mpz_mul_si(want.v, x.v, static_cast<long>(m));
            ShortMulSmallInt(a, m, r);
            ExpectSmall(r, want);
            ShortMulSmallInt(a, m, a);  // in place
            ExpectSmall(a, want);
        }
    }
}

TEST(SmallIntShortMul, LongShortMul8RawWithCanary) {
    for (int trial = 0; trial < 200; ++trial) {
        const long n = RandomLong(1, 40);
        Mpz x = trial < 10 ? AllNines(8 * n) : CarryHeavy(8 * n, true);
        SmallInt a;
        FromMpz(x, a);
        const long na = a._N;
        std::vector<double> out(static_cast<size_t>(na + 3), kCanary);
        const double m =
            trial < 10 ? 1e15
                       : static_cast<double>(RandomLong(-1000000000000000L, 1000000000000000L));
        const long count = numbers::LongShortMul8(out.data(), a.Limbs, na, m);
        ASSERT_LE(count, na + 2);
        EXPECT_EQ(out[static_cast<size_t>(na + 2)], kCanary);
        Mpz got, want;
        LimbsToMpz(out.data(), count, kB8, got.v);
        mpz_mul_si(want.v, x.v, static_cast<long>(m));
        EXPECT_TRUE(SameValue(got, want)) << "m=" << m;
    }
}

// MulSmallInt through one call: value against GMP, canonical limbs, canary after the
// Na + Nb limbs of r; normalise == 0 then UpdateSmallInt gives the same value.
void CheckMul(const Mpz& x, const Mpz& y) {
    SmallInt a, b;
    FromMpz(x, a);
    FromMpz(y, b);
    Mpz want;
    mpz_mul(want.v, x.v, y.v);
    const long n = a._N + b._N;
    SmallInt r;
    r.Alloc(n + 2);
    for (long i = n; i < n + 2; ++i)
        r[i] = kCanary;
    MulSmallInt(a, b, r, 1);
    ExpectSmall(r, want);
    EXPECT_EQ(r[n], kCanary) << "Na=" << a._N << " Nb=" << b._N << SeedNote();
    EXPECT_EQ(r[n + 1], kCanary);
    SmallInt r0;
    MulSmallInt(a, b, r0, 0);
    EXPECT_EQ(r0._N, n);
    EXPECT_TRUE(SameValue(ToMpz(r0), want));
    for (long i = 0; i < r0._N; ++i)
        ASSERT_LT(std::fabs(r0[i]), numbers::kTwo53);
    r0.UpdateSmallInt();
    ExpectSmall(r0, want);
}

TEST(SmallIntMul, WorstCaseAllNines) {
    // The kernel adds rows of the shorter operand in groups of 8; 456 rows of 99999999^2
    // fill one accumulation block, so a shorter operand of 457 limbs or more needs the
    // carry pass between blocks (and 913 two of them).
    for (long la : {1L, 2L, 3L, 7L, 8L, 9L, 455L, 456L, 457L, 912L, 913L, 1000L})
        for (long lb : {1L, 4L, 8L, 456L, 457L, 1000L})
            CheckMul(AllNines(8 * la), AllNines(8 * lb));
}

TEST(SmallIntMul, RandomSignedAgainstGmp) {
    for (int trial = 0; trial < 160; ++trial) {
        const long la = RandomLong(1, trial < 100 ? 60 : trial < 150 ? 1200 : 4500);
        const long lb = RandomLong(1, trial < 100 ? 60 : trial < 150 ? 1200 : 4500);
        CheckMul(CarryHeavy(8 * la, true), RandomSigned(8 * lb, true));
    }
}

TEST(SmallIntMul, LowZeroLimbsAreStripped) {
    SmallInt a, b, r;
    a.Alloc(3);
    a[0] = 0;
    a[1] = 0;
    a[2] = 1;
    a._N = 3;  // 10^16
    b.Alloc(2);
    b[0] = 0;
    b[1] = 1;
    b._N = 2;  // 10^8
    MulSmallInt(a, b, r, 1);
    ASSERT_EQ(r._N, 4);
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], 0);
    EXPECT_EQ(r[2], 0);
    EXPECT_EQ(r[3], 1);
    SmallInt zero;
    zero.Set(0);
    MulSmallInt(a, zero, r, 1);
    ASSERT_EQ(r._N, 1);
    EXPECT_EQ(r[0], 0);
    // Random operands shifted by random counts of zero limbs, negative ones included.
    for (int trial = 0; trial < 60; ++trial) {
        Mpz x = CarryHeavy(RandomLong(1, 200), true), y = RandomSigned(RandomLong(1, 200), true);
        Mpz px, py;
        mpz_ui_pow_ui(px.v, 10, static_cast<unsigned long>(8 * RandomLong(0, 30)));
        mpz_ui_pow_ui(py.v, 10, static_cast<unsigned long>(8 * RandomLong(0, 30)));
        mpz_mul(x.v, x.v, px.v);
        mpz_mul(y.v, y.v, py.v);
        CheckMul(x, y);
    }
}

TEST(SmallIntMul, ResultMayBeAnOperand) {
    for (int trial = 0; trial < 40; ++trial) {
        Mpz x = CarryHeavy(RandomLong(1, 300), true), y = RandomSigned(300, true);
        Mpz want;
        mpz_mul(want.v, x.v, y.v);
        SmallInt a, b;
        FromMpz(x, a);
        FromMpz(y, b);
        MulSmallInt(a, b, a, 1);
        ExpectSmall(a, want);
        FromMpz(x, a);
        MulSmallInt(a, b, b, 1);
        ExpectSmall(b, want);
        FromMpz(x, a);
        Mpz sq;
        mpz_mul(sq.v, x.v, x.v);
        MulSmallInt(a, a, a, 1);
        ExpectSmall(a, sq);
    }
}

TEST(SmallIntMul, BeyondFourThousandLimbsWarnsAndStaysExact) {
    SmallInt a, b, r;
    Mpz x = AllNines(8 * 4001), y = CarryHeavy(8 * 2500 - 1, false);
    mpz_mul_ui(y.v, y.v, 10);
    mpz_add_ui(y.v, y.v, 7);  // limb 0 nonzero: no low zero limbs to strip
    FromMpz(x, a);
    FromMpz(y, b);
    testing::internal::CaptureStdout();
    MulSmallInt(a, b, r, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Problem in MulSmallInt, SmallInt are too large, Na=4001, Nb=2500\n"),
              std::string::npos)
        << out;
    Mpz want;
    mpz_mul(want.v, x.v, y.v);
    ExpectSmall(r, want);
}

TEST(SmallIntSign, ExactFromTheTop) {
    SmallInt a;
    a.Alloc(4);
    a[0] = 5;
    a[1] = 0;
    a[2] = 0;
    a._N = 3;
    EXPECT_EQ(a.Sign(), 1);
    a[0] = 0;
    EXPECT_EQ(a.Sign(), 0);
    a.Set(-3);
    EXPECT_EQ(a.Sign(), -1);
    // Limbs of either sign below a top of 1: the value 10^8 - 10^8 + 1 = 1.
    a[0] = 1;
    a[1] = -1e8;
    a[2] = 1;
    a._N = 3;
    EXPECT_EQ(a.Sign(), 1);
    a[0] = -1;
    EXPECT_EQ(a.Sign(), -1);
}

}  // namespace
}  // namespace zeprix::test
