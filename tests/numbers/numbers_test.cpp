// SmallInt (base 10^8) and BigInt (base 10^12) against GMP: normalisation, addition and
// subtraction (BigInt: with exponent alignment and low-end
// truncation of full results), short products and division, schoolbook products and the
// conversion between them. Worst cases first (all nines, carries across limbs, sizes at
// the kernels' thresholds), then random and carry-heavy operands; results aliasing operands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/parallel.hpp"
#include "numbers/big_int.hpp"
#include "numbers/limbs.hpp"
#include "numbers/schoolbook.hpp"
#include "numbers/small_int.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using numbers::BigInt;
using numbers::SmallInt;

Mpz Neg(Mpz x) {
    mpz_neg(x.v, x.v);
    return x;
}

// 0, +-1, limb boundaries, all nines of both signs at several lengths, then random and
// carry-heavy operands of up to maxDigits digits.
std::vector<Mpz> Operands(long maxDigits, int randomCount) {
    std::vector<Mpz> v;
    for (long x : {0L, 1L, -1L, 99999999L, 100000000L, -100000000L, 999999999999L})
        v.emplace_back(x);
    for (long d : {8L, 16L, 40L, maxDigits}) {
        v.push_back(AllNines(d));
        v.push_back(Neg(AllNines(d)));
    }
    for (int i = 0; i < randomCount; ++i) {
        v.push_back(RandomSigned(maxDigits, true));
        v.push_back(CarryHeavy(RandomLong(1, maxDigits), true));
    }
    return v;
}

// Short multipliers at both sides of every kernel threshold (3000 and 10^6 for BigInt,
// 10^7 for SmallInt), 10^8, 10^12 and the limit 10^15; then random ones.
std::vector<double> Multipliers() {
    std::vector<double> ms = {0,    1,       -1,       2,       2999,    3000,    -3000,
                              3001, -3001,   1e6 - 1,  1e6,     1e6 + 1, 1e7 - 1, 1e7,
                              -1e7, 1e7 + 1, -1e7 - 1, 1e8 - 1, 1e8,     1e8 + 1};
    ms.insert(ms.end(), {1e12 - 1, 1e12, 123456789012345, 1e15, -1e15, 1e15 - 1});
    for (int i = 0; i < 12; ++i) {
        ms.push_back(static_cast<double>(RandomLong(-10000000, 10000000)));
        ms.push_back(static_cast<double>(RandomLong(-1000000000000000L, 1000000000000000L)));
    }
    return ms;
}

void ExpectSmall(const SmallInt& r, const Mpz& want, const char* what = "") {
    EXPECT_TRUE(SameValue(ToMpz(r), want)) << what;
    EXPECT_TRUE(IsCanonical(r.Limbs, r._N, 1e8)) << what << SeedNote();
}

// r holds the value V (given at limb exponent e0) floored at r's exponent: canonical,
// within its capacity, nothing written past it.
void ExpectBig(const Big& r, const Mpz& v, long e0, const char* what) {
    ASSERT_GE(r.b.Exp, e0) << what << SeedNote();
    EXPECT_TRUE(SameValue(r.Value(), DropLimbs(v, r.b.Exp - e0))) << what;
    EXPECT_TRUE(IsCanonical(r.b.Limbs, r.b._N, 1e12) && r.b._N <= r.b.SizeAlloc)
        << what << SeedNote();
    EXPECT_TRUE(r.Intact()) << what << ": written past the capacity" << SeedNote();
}

// Raw limbs, any values, into a SmallInt or a BigInt with room for them.
template <class Number>
void Load(Number& r, const std::vector<double>& limbs) {
    std::copy(limbs.begin(), limbs.end(), r.Limbs);
    r._N = static_cast<long>(limbs.size());
}

// n random limbs of either sign below 2^bits in magnitude (all 2^bits - 1 when `largest`).
std::vector<double> RawLimbs(long n, int bits, bool largest = false) {
    std::vector<double> v(static_cast<std::size_t>(n));
    for (double& l : v)
        l = static_cast<double>(largest ? (1L << bits) - 1
                                        : RandomLong(-(1L << bits) + 1, (1L << bits) - 1));
    return v;
}

long LimbCount(const Mpz& x) {
    return Big(x, static_cast<long>(mpz_sizeinbase(x.v, 10)) / 12 + 3).b._N;
}

TEST(SmallIntSet, EdgeValuesAndTheLimit) {
    for (double x : {0.0, -1.0, -2.0, 99999999.0, 1e8, -1e8, -1e8 - 1, 123456789012345.0, 1e15,
                     -1e15, -4503599627370495.0}) {
        SmallInt s;
        s.Set(x);
        ExpectSmall(s, Mpz(static_cast<long>(x)));
    }
    SmallInt a;
    ZEPRIX_EXPECT_FATAL(a.Set(1e15 + 1), "Error in SmallInt::Set, x is too large");
}

// Limbs of any sign up to 2^52 (the largest first), and named shapes: a carry out of the
// top, -1 tops over zeros and over runs of nines. SmallInt grows; a BigInt with room keeps
// the value and a full one floors it at the low end.
TEST(Update, AnyLimbsBecomeCanonical) {
    const std::vector<std::vector<double>> named = {
        {1e12 - 1, 1e12}, {-1},
        {-1, 0},          {4, 1e12 - 1, 1e12 - 1, -1, 0, 0},
        {0, 0, 0},        {3, 1e8 - 1, 1e8 - 1, -1, 0}};
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<double> limbs = trial < 6 ? named[static_cast<std::size_t>(trial)]
                                              : RawLimbs(RandomLong(1, 30), 52, trial < 40);
        const long n = static_cast<long>(limbs.size());
        SmallInt s;
        s.Alloc(n + 1);
        Load(s, limbs);
        const Mpz small = ToMpz(s);
        s.UpdateSmallInt();
        ExpectSmall(s, small, "UpdateSmallInt");
        const bool full = trial % 2 == 0;
        Big a(full ? n : n + 3);
        Load(a.b, limbs);
        const Mpz v = a.Value();
        a.b.UpdateBigInt();
        EXPECT_TRUE(full || a.b.Exp == 0) << a.b.Exp;
        ExpectBig(a, v, 0, "UpdateBigInt");
    }
}

// a + b, b - a, a - b and -a, into a fresh number and into an operand.
TEST(SmallIntAddSub, AllPairsAgainstGmpWithAliasing) {
    const auto ops = Operands(200, 12);
    for (const Mpz& x : ops) {
        SmallInt a, r;
        FromMpz(x, a);
        NegateSmallInt(a, r);
        ExpectSmall(r, Neg(x), "-a");
        NegateSmallInt(a, a);
        ExpectSmall(a, Neg(x), "-a into a");
        for (const Mpz& y : ops) {
            SmallInt b;
            FromMpz(x, a);
            FromMpz(y, b);
            AddSmallInt(a, b, r);
            ExpectSmall(r, Add(x, y), "a + b");
            SubstractSmallInt(b, a, r);
            ExpectSmall(r, Sub(y, x), "b - a");
            SubstractSmallInt(a, b, b);
            ExpectSmall(b, Sub(x, y), "a - b into b");
            AddSmallInt(a, b, a);
            ExpectSmall(a, Sub(Add(x, x), y), "a + b into a");
        }
    }
    SmallInt g;  // a + a into a full a: the block grows, the value stays
    g.Alloc(10);
    Load(g, std::vector<double>(10, 1e8 - 1));
    const long capacity = g.SizeAlloc;
    AddSmallInt(g, g, g);
    EXPECT_GT(g.SizeAlloc, capacity);
    ExpectSmall(g, Mul(AllNines(80), Mpz(2L)), "a + a into a full a");
}

// Every pair at random exponents (equal a third of the time), into a fresh number, into
// either operand, and into a number of the longer operand's length, which drops its lowest
// limb when the carry needs one more.
TEST(BigIntAddSub, AlignedExponentsAndFullResults) {
    const auto ops = Operands(96, 12);
    for (const Mpz& x0 : ops) {
        for (const Mpz& y0 : ops) {
            const long ea = RandomLong(0, 5), eb = RandomLong(0, 2) ? RandomLong(0, 5) : ea,
                       e = std::max(ea, eb);
            Big a(x0, 10), b(y0, 10), r(12);
            a.b.Exp = ea;
            b.b.Exp = eb;
            Big full(std::max(a.b._N, b.b._N));
            const Mpz x = DropLimbs(x0, e - ea), y = DropLimbs(y0, e - eb);
            const Mpz sum = Add(x, y), diff = Sub(x, y);
            for (Big* out : {&r, &full}) {
                numbers::AddBigInt(a.b, b.b, out->b);
                EXPECT_TRUE(out == &full || r.b.Exp == e) << r.b.Exp;
                ExpectBig(*out, sum, e, "AddBigInt");
                numbers::SubstractBigInt(a.b, b.b, out->b);
                EXPECT_TRUE(out == &full || r.b.Exp == e) << r.b.Exp;
                ExpectBig(*out, diff, e, "SubstractBigInt");
            }
            numbers::SubstractBigInt(a.b, b.b, b.b);
            ExpectBig(b, diff, e, "SubstractBigInt into b");
            FromMpz(y0.v, b.b);
            b.b.Exp = eb;
            numbers::AddBigInt(a.b, b.b, a.b);
            ExpectBig(a, sum, e, "AddBigInt into a");
        }
    }
    Big a(AllNines(50), 5), b(5), r(2);
    ZEPRIX_EXPECT_FATAL(numbers::SubstractBigInt(a.b, b.b, r.b),
                        "Allocation Problem in SubstractBigInt\n");
}

// Sums, short products and short quotients long enough to go in one block per thread:
// carries and borrows that ripple through every block, random operands of both signs,
// results into either operand (and into an operand read a few limbs up), in three blocks.
TEST(BigIntAddSub, LongOperandsCarriedInBlocks) {
    const long n = 70001;  // limbs
    const Mpz big = Pow10(12 * n), nines = AllNines(12 * n);
    const Mpz pairs[][2] = {{nines, Mpz(1)},
                            {big, Mpz(-1)},
                            {RandomDigits(12 * n), Neg(RandomDigits(12 * n - 30))},
                            {Neg(nines), CarryHeavy(12 * n, true)}};
    for (int threads : {3}) {
        core::SetThreadCount(threads);
        for (const auto& p : pairs) {
            Big a(p[0], n + 3), b(p[1], n + 3), r(n + 3);
            numbers::AddBigInt(a.b, b.b, r.b);
            ExpectBig(r, Add(p[0], p[1]), 0, "long AddBigInt");
            numbers::SubstractBigInt(a.b, b.b, r.b);
            ExpectBig(r, Sub(p[0], p[1]), 0, "long SubstractBigInt");
            numbers::SubstractBigInt(b.b, a.b, b.b);
            ExpectBig(b, Sub(p[1], p[0]), 0, "long SubstractBigInt into b");
            numbers::AddBigInt(a.b, b.b, a.b);
            ExpectBig(a, p[1], 0, "long AddBigInt into a");
            Big c(p[0], n + 3), d(p[1], n + 3);
            d.b.Exp = 2;  // c is read two limbs up, into its own limbs
            numbers::SubstractBigInt(c.b, d.b, c.b);
            ExpectBig(c, Sub(DropLimbs(p[0], 2), p[1]), 2, "long SubstractBigInt, shifted");
            // The right half of a giant step lies just above the left half's limbs, which
            // receive the sum of the left half's product and the right half.
            Big whole(2 * n + 8);
            BigInt right;
            right.SetView(whole.b.Limbs + n / 2, 1, n / 2 + 2, 0);
            FromMpz(DropLimbs(p[1], n / 2 + 4).v, right);
            const Mpz rv = MantissaToMpz(right);
            numbers::AddBigInt(a.b, right, whole.b);  // a holds p[1]
            ExpectBig(whole, Add(p[1], rv), 0, "long AddBigInt from just above");
            for (double m : {999999999999999.0, -123456789012345.0}) {
                Big e(p[1], n + 3);
                BigInt::ShortMul(a.b, m, r.b);  // a holds p[1] by now
                ExpectBig(r, Mul(p[1], Mpz(static_cast<long>(m))), 0, "long ShortMul");
                BigInt::ShortMul(e.b, m, e.b);
                ExpectBig(e, Mul(p[1], Mpz(static_cast<long>(m))), 0, "long ShortMul in place");
            }
            // Divisors of 10^12 go in blocks; 7 keeps the single chain.
            for (long m : {2L, -1000L, 7L}) {
                Big e(p[1], n + 3), q(n + 3);
                const Mpz want = FloorDiv(p[1], Mpz(m));
                BigInt::ShortDiv(e.b, static_cast<double>(m), q.b);
                ExpectBig(q, want, 0, "long ShortDiv");
                BigInt::ShortDiv(e.b, static_cast<double>(m), e.b);
                ExpectBig(e, want, 0, "long ShortDiv in place");
            }
        }
    }
    core::SetThreadCount(1);
}

// SmallInt: r = a m in place and not. BigInt: results with room, exactly full and shorter
// than a (only a's top limbs used), and in place. The raw 8-digit kernel writes at most
// Na + 2 limbs. The floor of a / m for short m, in place and not.
TEST(ShortMulAndDiv, BothTypesAroundTheThresholds) {
    const std::vector<double> ms = Multipliers();
    for (const Mpz& x : Operands(144, 6)) {
        const long na = LimbCount(x);
        for (double m : ms) {
            const Mpz want = Mul(x, Mpz(static_cast<long>(m)));
            SmallInt a, r;
            FromMpz(x, a);
            std::vector<double> out(static_cast<std::size_t>(a._N + 2 + kCanaryLimbs));
            SetCanaries(out.data() + a._N + 2);
            const long count = numbers::LongShortMul8(out.data(), a.Limbs, a._N, m);
            ASSERT_LE(count, a._N + 2);
            EXPECT_TRUE(CanariesIntact(out.data() + a._N + 2)) << SeedNote();
            EXPECT_TRUE(SameValue(LimbsToMpz(out.data(), count, 1e8), want)) << "m=" << m;
            ShortMulSmallInt(a, m, r);
            ExpectSmall(r, want, "ShortMulSmallInt");
            ShortMulSmallInt(a, m, a);
            ExpectSmall(a, want, "ShortMulSmallInt in place");
            for (long cap : {na + 3, na, na - 1, na - 3}) {
                if (cap < 1) continue;
                Big b(x, na + 3), rb(cap);
                const long cut = std::max(0L, na - cap);
                BigInt::ShortMul(b.b, m, rb.b);
                ExpectBig(rb, Mul(DropLimbs(x, cut), Mpz(static_cast<long>(m))), cut, "ShortMul");
                EXPECT_TRUE(cap < na + 3 || rb.b.Exp == 0)
                    << rb.b.Exp;  // a negative product: 3 limbs more at most
            }
            Big b(x, na + 3);
            BigInt::ShortMul(b.b, m, b.b);
            ExpectBig(b, want, 0, "ShortMul in place");
        }
        for (long m : {1L, 2L, 3L, 7L, 999L, 1000L, -1L, -7L, -1000L, RandomLong(1, 1000),
                       -RandomLong(1, 1000)}) {
            Big b(x, na + 3), q(na + 3);
            const Mpz want = FloorDiv(x, Mpz(m));
            BigInt::ShortDiv(b.b, static_cast<double>(m), q.b);
            ExpectBig(q, want, 0, "ShortDiv");
            BigInt::ShortDiv(b.b, static_cast<double>(m), b.b);
            ExpectBig(b, want, 0, "ShortDiv in place");
        }
    }
}

TEST(ShortMulAndDiv, DivisorTooLarge) {
    Big a(Pow10(12), 2), r(2);
    ZEPRIX_EXPECT_FATAL(BigInt::ShortDiv(a.b, 1000.5, r.b),
                        "WARNING in BigInt::ShortDiv, m is too big");
}

// MulSmallInt: the value, canonical limbs, nothing written past Na + Nb limbs, r = a,
// r = b, r = a = b; with normalise == 0 the Na + Nb limbs stay below 2^53 and normalise to
// the same value.
void CheckMul(const Mpz& x, const Mpz& y) {
    SmallInt a, b, r, r0;
    FromMpz(x, a);
    FromMpz(y, b);
    const Mpz want = Mul(x, y);
    const long n = a._N + b._N;
    r.Alloc(n + kCanaryLimbs);
    SetCanaries(r.Limbs + n);
    MulSmallInt(a, b, r, 1);
    ExpectSmall(r, want);
    EXPECT_TRUE(CanariesIntact(r.Limbs + n)) << "Na=" << a._N << " Nb=" << b._N << SeedNote();
    MulSmallInt(a, b, r0, 0);
    ASSERT_EQ(r0._N, n);
    for (long i = 0; i < n; ++i) ASSERT_LT(std::fabs(r0[i]), numbers::kTwo53);
    r0.UpdateSmallInt();
    ExpectSmall(r0, want, "normalise 0");
    MulSmallInt(a, b, b, 1);
    ExpectSmall(b, want, "r = b");
    MulSmallInt(a, a, a, 1);
    ExpectSmall(a, Mul(x, x), "r = a = b");
    FromMpz(x, a);
    FromMpz(y, b);
    MulSmallInt(a, b, a, 1);
    ExpectSmall(a, want, "r = a");
}

TEST(SmallIntMul, AllNinesAtBlockSizesAndRandom) {
    // Rows of the shorter operand go in groups of 8; 456 rows of 99999999^2 fill one
    // accumulation block, so 457 limbs need a carry pass between blocks (913 two of them).
    for (long la : {1L, 2L, 3L, 7L, 8L, 9L, 455L, 456L, 457L, 912L, 913L, 1000L})
        for (long lb : {1L, 4L, 8L, 456L, 457L, 1000L})
            CheckMul(AllNines(8 * la), AllNines(8 * lb));
    // Random signed operands of up to 4500 limbs, some with runs of zero low limbs (which
    // the product strips), and zero.
    CheckMul(Pow10(16), Pow10(8));
    CheckMul(Pow10(16), Mpz(0L));
    for (int trial = 0; trial < 220; ++trial) {
        const long max = trial < 100 ? 60 : trial < 150 ? 1200 : trial < 160 ? 4000 : 200;
        const long zx = trial < 160 ? 0 : RandomLong(0, 30),
                   zy = trial < 160 ? 0 : RandomLong(0, 30);
        CheckMul(Mul(CarryHeavy(8 * RandomLong(1, max), true), Pow10(8 * zx)),
                 Mul(RandomSigned(8 * RandomLong(1, max), true), Pow10(8 * zy)));
    }
    // Beyond 4000 limbs: a warning, and the product stays exact.
    SmallInt a, b, r;  // y's limb 0 nonzero: no low zero limbs to strip
    const Mpz y = Add(Mul(CarryHeavy(8 * 2500 - 1, false), Mpz(10L)), Mpz(7L));
    FromMpz(AllNines(8 * 4001), a);
    FromMpz(y, b);
    testing::internal::CaptureStdout();
    MulSmallInt(a, b, r, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(
        Contains(out, "Problem in MulSmallInt, SmallInt are too large, Na=4001, Nb=2500\n"));
    ExpectSmall(r, Mul(AllNines(8 * 4001), y));
}

// b up to its limit of 1000 digits of 6 (6000 decimal digits; a negative b's -1 top takes
// a digit of its own: 5994 then), both signs, results too short for the full product.
TEST(SmallIntMulBigInt, UpToOneThousandDigitsOfSix) {
    for (int trial = 0; trial < 60; ++trial) {
        const bool negative = trial == 1 || (trial > 4 && trial % 2 == 0);
        const long most = negative ? 5994 : 6000;
        const Mpz y = Mul(trial < 4 ? AllNines(most) : CarryHeavy(RandomLong(1, most), false),
                          Mpz(negative ? -1L : 1L));
        const Mpz x = trial < 4 ? AllNines(12 * 40) : CarryHeavy(RandomLong(1, 12 * 60), true);
        SmallInt b;
        FromMpz(y, b);
        const long na = LimbCount(x),
                   full = na + (static_cast<long>(mpz_sizeinbase(y.v, 10)) + 11) / 12 + 1;
        Big a(x, na + 1);
        for (long cap : {full + 1, full / 2 + 1, 2L}) {
            Big r(cap);
            BigInt::SmallIntMul(a.b, b, r.b);
            ExpectBig(r, Mul(x, y), 0, "SmallIntMul");
            EXPECT_TRUE(cap <= full || r.b.Exp == 0) << r.b.Exp;
        }
    }
    Big a(AllNines(30), 3), r(3000);
    SmallInt b;
    FromMpz(Pow10(6000), b);  // 6001 decimal digits: 1001 digits of 6
    ZEPRIX_EXPECT_FATAL(BigInt::SmallIntMul(a.b, b, r.b),
                        "Error in BigInt::SmallIntMul, b is too large");
}

// The raw kernel: r (random limbs up to 2^40) gains floor(a b / 10^(12 cut)) in its
// Na + Nb - cut limbs, which stay below 2^53, and nothing after them; the BigInt form
// keeps the top limbs that fit, at the operands' exponents.
TEST(SmallBigIntMul, KernelAccumulatesWithCut) {
    for (int trial = 0; trial < 400; ++trial) {
        const long la = RandomLong(1, trial < 350 ? 12 : 300),
                   lb = RandomLong(1, trial < 350 ? 12 : 300);
        const Mpz x = trial < 20 ? AllNines(12 * la) : CarryHeavy(12 * la, true);
        const Mpz y = trial < 20 ? AllNines(12 * lb) : RandomSigned(12 * lb, true);
        Big a(x, la + 2), b(y, lb + 2);
        const long n = a.b._N + b.b._N, cut = RandomLong(0, n + 1), len = std::max(1L, n - cut);
        Big r(len);
        Load(r.b, RawLimbs(len, 40));
        const Mpz want = Add(r.Value(), DropLimbs(Mul(x, y), cut));
        numbers::SmallBigIntMul(a.b.Limbs, a.b._N, b.b.Limbs, b.b._N, r.b.Limbs, cut);
        EXPECT_TRUE(SameValue(r.Value(), want))
            << "Na=" << a.b._N << " Nb=" << b.b._N << " cut=" << cut;
        EXPECT_TRUE(r.Intact()) << SeedNote();
        for (long i = 0; i < len; ++i) ASSERT_LT(std::fabs(r.b.Limbs[i]), numbers::kTwo53);
    }
    for (int trial = 0; trial < 100; ++trial) {
        const Mpz x = CarryHeavy(RandomLong(1, 12 * 80), true), y = RandomSigned(12 * 80, true);
        const long na = LimbCount(x), nb = LimbCount(y);
        Big a(x, na), b(y, nb), r(RandomLong(1, na + nb + 1));
        a.b.Exp = RandomLong(0, 3);
        b.b.Exp = RandomLong(0, 3);
        numbers::SmallBigIntMul(a.b, b.b, r.b);
        ExpectBig(r, Mul(x, y), a.b.Exp + b.b.Exp, "SmallBigIntMul");
    }
}

// Canonical SmallInts (all nines first) and limbs outside [0, 10^8) as a caller may pass.
TEST(TransformIntoBigInt, CanonicalAndUnnormalisedSmallInts) {
    for (int trial = 0; trial < 300; ++trial) {
        SmallInt s;
        if (trial < 200) {
            FromMpz(trial < 10 ? AllNines(8 * (trial + 1))
                               : CarryHeavy(RandomLong(1, 8 * 60), true),
                    s);
        } else {
            s.Alloc(30);
            Load(s, RawLimbs(RandomLong(1, 30), 50));
        }
        Big r(s._N + 2);
        numbers::TransformIntoBigInt(s, r.b);
        EXPECT_EQ(r.b.Exp, 0);
        ExpectBig(r, ToMpz(s), 0, "TransformIntoBigInt");
    }
    SmallInt s;
    FromMpz(AllNines(8 * 9), s);  // 72 digits: six BigInt limbs
    Big r(5);
    ZEPRIX_EXPECT_FATAL(numbers::TransformIntoBigInt(s, r.b), "sizealloc of bigint is too small");
}

}  // namespace
}  // namespace zeprix::test
