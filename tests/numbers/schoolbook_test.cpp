// Linear-time and schoolbook BigInt arithmetic against GMP: addition and subtraction
// with exponent alignment, ShortMul, ShortDiv, SmallIntMul, SmallBigIntMul and the
// conversion from SmallInt, with the low-end truncation of full results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "numbers/limbs.hpp"
#include "numbers/schoolbook.hpp"
#include "numbers_test_util.hpp"

namespace zeprix::test {
namespace {

using numbers::BigInt;
using numbers::SmallInt;

constexpr double kB12 = 1e12;

// r holds the value V floored at r's exponent: mantissa(r) = floor(V / 10^(12 (Exp - e0)))
// where V is given at exponent e0 and Exp >= e0; r is canonical and within its capacity,
// and the spare limb beyond the capacity is untouched.
void ExpectTruncated(const BigInt& r, const Mpz& v, long e0, const char* what) {
    ASSERT_GE(r.Exp, e0) << what << SeedNote();
    EXPECT_TRUE(SameValue(MantissaToMpz(r), FloorShift(v, r.Exp - e0))) << what;
    EXPECT_TRUE(IsCanonical(r.Limbs, r._N, kB12)) << what << SeedNote();
    EXPECT_LE(r._N, r.SizeAlloc) << what;
    EXPECT_EQ(r.Limbs[r.SizeAlloc], 0) << what << ": spare limb written" << SeedNote();
}

// BigInt operands of up to maxLimbs limbs: worst cases first, then random.
std::vector<Mpz> BigOperands(long maxLimbs, int randomCount) {
    std::vector<Mpz> v;
    v.emplace_back(0L);
    v.emplace_back(-1L);
    v.push_back(AllNines(12));
    v.push_back(AllNines(12 * maxLimbs));
    Mpz n = AllNines(12 * maxLimbs);
    mpz_neg(n.v, n.v);
    v.push_back(n);
    for (int i = 0; i < randomCount; ++i) {
        v.push_back(CarryHeavy(RandomLong(1, 12 * maxLimbs), true));
        v.push_back(RandomSigned(12 * maxLimbs, true));
    }
    return v;
}

long LimbCount(const Mpz& x) {
    OwnedBigInt t(static_cast<long>(mpz_sizeinbase(x.v, 10)) / 12 + 3);
    FromMpz(x, t.v);
    return t.v._N;
}

TEST(AddSubBigInt, EqualNumbersGiveZero) {
    OwnedBigInt a(4), r(4);
    FromMpz(CarryHeavy(40, false), a.v);
    numbers::SubstractBigInt(a.v, a.v, r.v);
    ASSERT_EQ(r.v._N, 1);
    EXPECT_EQ(r.v[0], 0);
}

TEST(AddSubBigInt, DifferentExponentsAgainstGmp) {
    const auto ops = BigOperands(8, 12);
    for (size_t i = 0; i < ops.size(); ++i) {
        for (size_t j = 0; j < ops.size(); ++j) {
            const long ea = RandomLong(0, 5), eb = RandomLong(0, 5);
            const long e = std::max(ea, eb);
            OwnedBigInt a(10), b(10), r(12);
            FromMpz(ops[i], a.v);
            FromMpz(ops[j], b.v);
            a.v.Exp = ea;
            b.v.Exp = eb;
            Mpz x = FloorShift(MantissaToMpz(a.v), e - ea),
                y = FloorShift(MantissaToMpz(b.v), e - eb);
            Mpz sum, diff;
            mpz_add(sum.v, x.v, y.v);
            mpz_sub(diff.v, x.v, y.v);
            numbers::AddBigInt(a.v, b.v, r.v);
            EXPECT_EQ(r.v.Exp, e);
            ExpectTruncated(r.v, sum, e, "AddBigInt");
            numbers::SubstractBigInt(a.v, b.v, r.v);
            EXPECT_EQ(r.v.Exp, e);
            ExpectTruncated(r.v, diff, e, "SubstractBigInt");
            // In place: r = a, then r = b.
            numbers::AddBigInt(a.v, b.v, a.v);
            ExpectTruncated(a.v, sum, e, "AddBigInt into a");
            FromMpz(ops[i], a.v);
            a.v.Exp = ea;
            numbers::SubstractBigInt(a.v, b.v, b.v);
            ExpectTruncated(b.v, diff, e, "SubstractBigInt into b");
        }
    }
}

// A result with no room for the final carry drops its lowest limb and raises the exponent.
TEST(AddSubBigInt, FullResultTruncatesAtTheLowEnd) {
    for (int trial = 0; trial < 300; ++trial) {
        const long n = RandomLong(1, 10);
        Mpz x = trial < 30 ? AllNines(12 * n) : CarryHeavy(12 * n, trial % 3 == 0);
        Mpz y = trial < 30 ? Mpz(1L) : CarryHeavy(RandomLong(1, 12 * n), trial % 5 == 0);
        OwnedBigInt a(n + 1), b(n + 1);
        FromMpz(x, a.v);
        FromMpz(y, b.v);
        OwnedBigInt r(std::max(a.v._N, b.v._N));
        Mpz sum, diff;
        mpz_add(sum.v, x.v, y.v);
        mpz_sub(diff.v, x.v, y.v);
        numbers::AddBigInt(a.v, b.v, r.v);
        ExpectTruncated(r.v, sum, 0, "AddBigInt full");
        numbers::SubstractBigInt(a.v, b.v, r.v);
        ExpectTruncated(r.v, diff, 0, "SubstractBigInt full");
    }
    OwnedBigInt a(3), b(3), r(3);
    FromMpz(AllNines(36), a.v);
    FromMpz(Mpz(1L), b.v);
    numbers::AddBigInt(a.v, b.v, r.v);
    ASSERT_EQ(r.v._N, 3);
    EXPECT_EQ(r.v.Exp, 1);
    EXPECT_EQ(r.v[2], 1);
}

TEST(AddSubBigInt, SmallResultIsFatal) {
    OwnedBigInt a(5), b(5), r(2);
    FromMpz(AllNines(50), a.v);
    ZEPRIX_EXPECT_FATAL(numbers::SubstractBigInt(a.v, b.v, r.v),
                        "Allocation Problem in SubstractBigInt\n");
}

TEST(ShortMulBigInt, ThresholdsCapacitiesAndAliasing) {
    std::vector<double> ms = {
        0,   1,       -1,           2,    2999, 3000,  -3000,          3001, -3001, 999999,
        1e6, 1e6 + 1, 999999999999, 1e12, 1e15, -1e15, 999999999999999};
    for (int i = 0; i < 12; ++i)
        ms.push_back(static_cast<double>(RandomLong(-1000000000000000L, 1000000000000000L)));
    for (const Mpz& x : BigOperands(12, 5)) {
        const long na = LimbCount(x);
        for (double m : ms) {
            Mpz mm(static_cast<long>(m));
            for (long cap : {na + 3, na, na - 1, na - 3}) {
                if (cap < 1)
                    continue;
                OwnedBigInt a(na + 3), r(cap);
                FromMpz(x, a.v);
                const long cut = std::max(0L, na - cap);
                Mpz v = FloorShift(x, cut);
                mpz_mul(v.v, v.v, mm.v);
                BigInt::ShortMul(a.v, m, r.v);
                ExpectTruncated(r.v, v, cut, "ShortMul");
                // A negative product of |m| up to 10^15 may need three more limbs: two
                // for the carry and the -1 top of the complement form.
                if (cap >= na + 3) {
                    EXPECT_EQ(r.v.Exp, 0);
                }
            }
            OwnedBigInt a(na + 3);
            FromMpz(x, a.v);
            Mpz v;
            mpz_mul(v.v, x.v, mm.v);
            BigInt::ShortMul(a.v, m, a.v);
            ExpectTruncated(a.v, v, 0, "ShortMul in place");
        }
    }
}

TEST(ShortDivBigInt, NamedCaseAndFloorAgainstGmp) {
    OwnedBigInt a(2), r(2);
    a.v[0] = 0;
    a.v[1] = 1;
    a.v._N = 2;
    BigInt::ShortDiv(a.v, 7, r.v);
    ASSERT_EQ(r.v._N, 1);
    EXPECT_EQ(r.v[0], 142857142857.0);
    for (const Mpz& x : BigOperands(20, 10)) {
        for (long m : {1L, 2L, 3L, 7L, 999L, 1000L, -1L, -7L, -1000L, RandomLong(1, 1000),
                       -RandomLong(1, 1000)}) {
            OwnedBigInt b(22), q(22);
            FromMpz(x, b.v);
            Mpz want, mm(m);
            mpz_fdiv_q(want.v, x.v, mm.v);
            BigInt::ShortDiv(b.v, static_cast<double>(m), q.v);
            ExpectTruncated(q.v, want, 0, "ShortDiv");
            BigInt::ShortDiv(b.v, static_cast<double>(m), b.v);
            ExpectTruncated(b.v, want, 0, "ShortDiv in place");
        }
    }
    ZEPRIX_EXPECT_FATAL(BigInt::ShortDiv(a.v, 1000.5, r.v),
                        "WARNING in BigInt::ShortDiv, m is too big");
}

TEST(SmallIntMulBigInt, UpToOneThousandDigitsOfSix) {
    // Worst cases: all nines at 6000 decimal digits (1000 digits of 6), then random sizes,
    // both signs, and results too short for the full product. A negative b is held in
    // complement form, whose -1 top takes a digit of its own: 5994 decimal digits at most.
    for (int trial = 0; trial < 60; ++trial) {
        Mpz y = trial < 4 ? AllNines(6000) : CarryHeavy(RandomLong(1, 6000), false);
        if (trial == 1)
            y = AllNines(5994);
        if (trial == 1 || (trial > 4 && trial % 2 == 0)) {
            mpz_fdiv_q_ui(y.v, y.v, 1000000);
            mpz_neg(y.v, y.v);
        }
        Mpz x = trial < 4 ? AllNines(12 * 40) : CarryHeavy(RandomLong(1, 12 * 60), true);
        SmallInt b;
        FromMpz(y, b);
        const long na = LimbCount(x);
        OwnedBigInt a(na + 1);
        FromMpz(x, a.v);
        const long full = na + (static_cast<long>(mpz_sizeinbase(y.v, 10)) + 11) / 12 + 1;
        for (long cap : {full + 1, full / 2 + 1, 2L}) {
            OwnedBigInt r(cap);
            BigInt::SmallIntMul(a.v, b, r.v);
            Mpz p;
            mpz_mul(p.v, x.v, y.v);
            ExpectTruncated(r.v, p, 0, "SmallIntMul");
            if (cap > full) {
                EXPECT_EQ(r.v.Exp, 0);
            }
        }
    }
}

TEST(SmallIntMulBigInt, FatalCases) {
    OwnedBigInt a(3), r(3000);
    FromMpz(AllNines(30), a.v);
    SmallInt b;
    Mpz y;
    mpz_ui_pow_ui(y.v, 10, 6000);  // 6001 decimal digits: 1001 digits of 6
    FromMpz(y, b);
    ZEPRIX_EXPECT_FATAL(BigInt::SmallIntMul(a.v, b, r.v),
                        "Error in BigInt::SmallIntMul, b is too large");
}

// Raw kernel: r (random limbs up to 2^40, a canary after it) gains floor(a b / 10^(12 cut)).
TEST(SmallBigIntMulKernel, AccumulatesWithCut) {
    std::uniform_int_distribution<long> noise(-(1L << 40), 1L << 40);
    for (int trial = 0; trial < 400; ++trial) {
        const long la = RandomLong(1, trial < 350 ? 12 : 300),
                   lb = RandomLong(1, trial < 350 ? 12 : 300);
        Mpz x = trial < 20 ? AllNines(12 * la) : CarryHeavy(12 * la, true);
        Mpz y = trial < 20 ? AllNines(12 * lb) : RandomSigned(12 * lb, true);
        OwnedBigInt a(la + 2), b(lb + 2);
        FromMpz(x, a.v);
        FromMpz(y, b.v);
        const long n = a.v._N + b.v._N;
        const long cut = RandomLong(0, n + 1);
        const long len = std::max(1L, n - cut);
        std::vector<double> r(static_cast<size_t>(len + 1));
        for (auto& l : r)
            l = static_cast<double>(noise(Rng()));
        r[static_cast<size_t>(len)] = 777.0;
        Mpz before, after, p;
        LimbsToMpz(r.data(), len, kB12, before.v);
        numbers::SmallBigIntMul(a.v.Limbs, a.v._N, b.v.Limbs, b.v._N, r.data(), cut);
        LimbsToMpz(r.data(), len, kB12, after.v);
        mpz_mul(p.v, x.v, y.v);
        Mpz want = FloorShift(p, cut);
        mpz_add(want.v, want.v, before.v);
        EXPECT_TRUE(SameValue(after, want))
            << "Na=" << a.v._N << " Nb=" << b.v._N << " cut=" << cut;
        EXPECT_EQ(r[static_cast<size_t>(len)], 777.0) << "canary" << SeedNote();
        for (long i = 0; i < len; ++i)
            ASSERT_LT(std::fabs(r[static_cast<size_t>(i)]), numbers::kTwo53);
    }
}

TEST(SmallBigIntMulKernel, BigIntOverloadKeepsTheTop) {
    for (int trial = 0; trial < 100; ++trial) {
        Mpz x = CarryHeavy(RandomLong(1, 12 * 80), true), y = RandomSigned(12 * 80, true);
        const long na = LimbCount(x), nb = LimbCount(y);
        OwnedBigInt a(na), b(nb);
        FromMpz(x, a.v);
        FromMpz(y, b.v);
        a.v.Exp = RandomLong(0, 3);
        b.v.Exp = RandomLong(0, 3);
        OwnedBigInt r(RandomLong(1, na + nb + 1));
        numbers::SmallBigIntMul(a.v, b.v, r.v);
        Mpz p;
        mpz_mul(p.v, x.v, y.v);
        ExpectTruncated(r.v, p, a.v.Exp + b.v.Exp, "SmallBigIntMul");
    }
}

TEST(TransformIntoBigInt, CanonicalAndUnnormalisedSmallInts) {
    for (int trial = 0; trial < 300; ++trial) {
        SmallInt s;
        Mpz x;
        if (trial < 200) {
            x = trial < 10 ? AllNines(8 * (trial + 1)) : CarryHeavy(RandomLong(1, 8 * 60), true);
            FromMpz(x, s);
        } else {  // limbs outside [0, 10^8), as a caller may pass before normalising
            const long n = RandomLong(1, 30);
            s.Alloc(n);
            for (long i = 0; i < n; ++i)
                s[i] = static_cast<double>(RandomLong(-(1L << 50), 1L << 50));
            s._N = n;
            x = ToMpz(s);
        }
        OwnedBigInt r(s._N + 2);
        numbers::TransformIntoBigInt(s, r.v);
        EXPECT_EQ(r.v.Exp, 0);
        ExpectTruncated(r.v, x, 0, "TransformIntoBigInt");
    }
    SmallInt s;
    FromMpz(AllNines(8 * 9), s);  // 72 digits: six BigInt limbs
    OwnedBigInt r(5);
    ZEPRIX_EXPECT_FATAL(numbers::TransformIntoBigInt(s, r.v),
                        "Error in TransformIntoBigInt, sizealloc of bigint is too small1\n");
}

}  // namespace
}  // namespace zeprix::test
