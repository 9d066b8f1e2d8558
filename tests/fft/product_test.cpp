// BigInt products against GMP: every path of the dispatcher at sizes around its thresholds,
// truncation, aliasing, squares, the transform cache, the truncated and join products, and
// the four-step form at 64k to 1M points.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "core/parallel.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "numbers/big_int.hpp"
#include "support/test_support.hpp"

namespace zeprix::fft::test {
namespace {

using namespace zeprix::test;

// With NFFT = 8192: piece p = 2730 limbs, leftover threshold t = trunc(5 ln 2730) = 39,
// small-path limit 1365 limbs (4095 digits).
constexpr long kNFFT = 8192;
constexpr long kP = kNFFT / 3;
constexpr long kT = 39;

// Operands in the short-top form (a negative top limb in (-10^12, 0) rather than a -1 limb
// above): n random limbs take exactly n limbs whatever the sign, so sizes hit thresholds.
struct Op : Big {
    explicit Op(long capacity) : Big(capacity) {}
    Op(const Mpz& x, long capacity) : Big(x, capacity, true) {}
};

class ProductTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitFFT(kNFFT);
        testing::TakeMaxRoundingDistance();
    }
    // The guard never comes near on valid products.
    void TearDown() override { EXPECT_LT(testing::TakeMaxRoundingDistance(), 0.05); }
};

// r holds exact = a b (exponents ea, eb, lengths Na, Nb) truncated to its capacity:
// exponent ea + eb + dropped limbs, canonical, the mantissa the exact top limbs (within the
// carries of the dropped limbs when some were dropped). A negative product in complement
// form may need one limb more than Na + Nb, so a full result may drop one more limb.
void ExpectProduct(const Mpz& exact, long Na, long Nb, long ea, long eb, const numbers::BigInt& r,
                   const char* what) {
    const long len = std::min(Na + Nb, r.SizeAlloc), cut = Na + Nb - len, dropped = r.Exp - ea - eb;
    SCOPED_TRACE(::testing::Message() << what << " Na=" << Na << " Nb=" << Nb << " cap="
                                      << r.SizeAlloc << " exponent " << r.Exp << SeedNote());
    ASSERT_TRUE(dropped == cut ||
                (dropped == cut + 1 && mpz_sgn(exact.v) < 0 && len == r.SizeAlloc));
    ASSERT_TRUE(IsCanonical(r.Limbs, r._N, 1e12));
    const Mpz d = Sub(MantissaToMpz(r), DropLimbs(exact, dropped));
    ASSERT_LE(mpz_cmpabs_ui(d.v, cut == 0 ? 0 : 1000000UL), 0) << "off by " << d.str();
}

long LimbCount(const Mpz& x) { return static_cast<long>(mpz_sizeinbase(x.v, 10)) / 12 + 1; }

void CheckMul(const Mpz& x, const Mpz& y, long cap, bool exps = false) {
    Op a(x, LimbCount(x) + 1), b(y, LimbCount(y) + 1), r(cap);
    a.b.Exp = exps ? 3 : 0;
    b.b.Exp = exps ? 2 : 0;
    MulBigInt(a.b, b.b, r.b);
    ExpectProduct(Mul(x, y), a.b._N, b.b._N, a.b.Exp, b.b.Exp, r.b, "MulBigInt");
    EXPECT_TRUE(r.Intact()) << "written past the capacity " << cap << SeedNote();
}

// Sizes at 1 limb, the leftover threshold, the small-path limit, the piece size and
// multiples, leftovers just above them; then random lengths, capacities and exponents.
TEST_F(ProductTest, SizesAroundEveryThreshold) {
    const long sizes[] = {1,      2,       kT - 1,      kT,         kT + 1,     85,
                          86,     1364,    1365,        1366,       kP - 1,     kP,
                          kP + 1, kP + kT, kP + kT + 1, 2 * kP + 7, 3 * kP + 40};
    for (long na : sizes)
        for (long nb : sizes) CheckMul(RandomLimbs(na, true), RandomLimbs(nb, true), na + nb);
    for (int i = 0; i < 60; ++i) {
        const long na = RandomLong(1, 4 * kP), nb = RandomLong(1, 4 * kP);
        CheckMul(RandomLimbs(na, true), RandomLimbs(nb, true), na + nb + i % 3, i % 2 == 0);
    }
}

// Lengths far apart, results from 1 limb to full (the lowest limbs dropped); long runs at
// the extremes of the digit range, as Newton steps produce.
TEST_F(ProductTest, UnbalancedTruncatedAndExtremeDigits) {
    const long pairs[][2] = {
        {1, 9000}, {5, 20000}, {kT + 1, 9000},        {300, 20000},   {kP, 17000}, {20000, 45},
        {50, 60},  {kP, kP},   {3 * kP + 40, 2 * kP}, {kT + 3, 5000}, {1000, 7}};
    for (const auto& [na, nb] : pairs)
        for (long cap : {na + nb, na + nb - 1, (na + nb) / 2, na + nb - kP, 2L, 1L})
            if (cap >= 1) CheckMul(RandomLimbs(na, true), RandomLimbs(nb, true), cap, true);
    for (long n : {500L, kP, 2 * kP + 100})
        for (double limb : {999999999999.0, 500050005000.0, 500050005001.0, 500099999999.0, 1.0})
            for (bool neg : {false, true}) {
                const Mpz x = RepeatedLimb(n, limb, neg),
                          y = RepeatedLimb(n + 17, 999999999999.0, false);
                CheckMul(x, y, 2 * n + 17);
                CheckMul(x, x, 2 * n);
            }
}

// The carry pass that keeps long accumulations exact (forced after every piece of a).
TEST_F(ProductTest, CarryPassBetweenPieces) {
    testing::SetCarryBudgetForTest(1);
    for (long na : {3 * kP + 40, 5 * kP}) {
        const Mpz x = RandomLimbs(na, true), y = RandomLimbs(2 * kP + 9, true);
        CheckMul(x, y, na + 2 * kP + 9);
        CheckMul(x, y, na);
        Op a(x, na + 1), r(2 * na + 2);
        SquareBigInt(a.b, r.b);
        ExpectProduct(Mul(x, x), a.b._N, a.b._N, 0, 0, r.b, "square with carry passes");
    }
    testing::SetCarryBudgetForTest(0);
}

// r = a, r = b, r = a = b; squares at the thresholds, truncated and in place; SpecialMul in
// place (r = b, b in several pieces) and into r, with and without dropped low limbs.
TEST_F(ProductTest, ResultSameAsOperandAndSquares) {
    for (long na : {30L, 700L, kP + 100, 2 * kP + 60}) {
        const long nb = na / 2 + 45;
        const Mpz x = RandomLimbs(na, true), y = RandomLimbs(nb, true);
        Op a(x, na + nb), b(y, nb), a2(x, na), b2(y, na + nb), sq(x, 2 * na);
        MulBigInt(a.b, b.b, a.b);
        ExpectProduct(Mul(x, y), na, nb, 0, 0, a.b, "r=a");
        MulBigInt(a2.b, b2.b, b2.b);
        ExpectProduct(Mul(x, y), na, nb, 0, 0, b2.b, "r=b");
        MulBigInt(sq.b, sq.b, sq.b);
        ExpectProduct(Mul(x, x), na, na, 0, 0, sq.b, "r=a=b");
    }
    for (long n : {1L, 10L, kT + 1, 1365L, 1366L, kP, kP + 1, 2 * kP + 3, 3 * kP + 100}) {
        const Mpz x = RandomLimbs(n, true);
        for (long cap : {2 * n, 2 * n - 1, n}) {
            Op a(x, n), r(cap);
            a.b.Exp = 1;
            SquareBigInt(a.b, r.b);
            ExpectProduct(Mul(x, x), n, n, 1, 1, r.b, "square");
        }
        Op in(x, 2 * n);
        SquareBigInt(in.b, in.b);
        ExpectProduct(Mul(x, x), n, n, 0, 0, in.b, "square in place");
    }
    for (long na : {100L, 1365L, kP})
        for (long nb : {na, 3 * kP + 11, 5 * kP})
            for (long extra : {0L, -na / 2}) {
                const Mpz x = RandomLimbs(na, true), y = RandomLimbs(nb, true);
                Op a(x, na), b(y, na + nb + extra), b2(y, nb), r(na + nb + extra);
                SpecialMul(a.b, b.b, b.b, 0);
                ExpectProduct(Mul(x, y), a.b._N, nb, 0, 0, b.b, "SpecialMul r=b");
                SpecialMul(a.b, b2.b, r.b, 0);
                ExpectProduct(Mul(x, y), a.b._N, nb, 0, 0, r.b, "SpecialMul");
                if (HasFatalFailure()) return;
            }
}

// A ReusedFactor transforms its factor once (b's 4 pieces transformed, not a); a product of
// anyone else in between costs a new transform, and plain calls never reuse one: a changed
// in place, or another operand of the same length, is transformed again. SpecialMul(a, a)
// transforms a once.
TEST_F(ProductTest, ReusedFactorOwnsTheTransformCache) {
    const long na = 1000, nb = 5000;  // n = 4096: b in 4 pieces of 1365 limbs
    const Mpz x = RandomLimbs(na, false), x2 = RandomLimbs(na, false), y = RandomLimbs(nb, true);
    const Mpz z = RandomLimbs(20, true);
    Op a(x, na), b(y, nb), r(na + nb + 1), other(x2, na), c(z, 20), small(na + 21);
    {
        ReusedFactor byA(a.b);
        byA.Mul(b.b, r.b);
        long before = testing::ForwardTransformCount();
        byA.Mul(b.b, r.b);
        EXPECT_EQ(testing::ForwardTransformCount() - before, 4);
        ExpectProduct(Mul(x, y), na, nb, 0, 0, r.b, "cache reused");
        // Products of other callers in between, schoolbook (c: 20 limbs, below the
        // leftover threshold 36 of n = 4096) and by transform.
        MulBigInt(a.b, c.b, small.b);
        SpecialMul(other.b, b.b, r.b, 0);
        before = testing::ForwardTransformCount();
        byA.Mul(b.b, r.b);
        EXPECT_EQ(testing::ForwardTransformCount() - before, 5);
        ExpectProduct(Mul(x, y), na, nb, 0, 0, r.b, "after other products");
    }
    const long before = testing::ForwardTransformCount();  // a square transforms a once
    SpecialMul(a.b, a.b, r.b, 0);
    EXPECT_EQ(testing::ForwardTransformCount() - before, 1);
    ExpectProduct(Mul(x, x), na, na, 0, 0, r.b, "square by SpecialMul");
    MulBigInt(a.b, b.b, r.b);
    FromMpz(x2.v, a.b);  // same address and length, new limbs
    SpecialMul(a.b, b.b, r.b, 0);
    ExpectProduct(Mul(x2, y), na, nb, 0, 0, r.b, "a changed in place");
    SpecialMul(other.b, b.b, r.b, 0);
    ExpectProduct(Mul(x2, y), na, nb, 0, 0, r.b, "other operand");
}

// Balanced with room; a leftover of b (5470 = 4 * 1365 + 10 with m = 4096) with and
// without the caller's scratch; the destination a view on a's or b's block.
TEST_F(ProductTest, TruncatedProductPaths) {
    // Na, Nb, capacity, the block of r (0: its own, 1: a's, 2: b's), scratch given
    const std::tuple<long, long, long, int, bool> cases[] = {
        {1000, 1300, 2300, 0, false}, {1000, 5470, 6470, 0, true},  {1000, 5470, 6470, 0, false},
        {1000, 5470, 3000, 0, true},  {1000, 5470, 3000, 0, false}, {1200, 1500, 2700, 1, false},
        {1200, 1500, 2000, 2, false}, {1200, 5470, 4000, 1, true}};
    for (const auto& [na, nb, cap, share, scratch] : cases) {
        const Mpz x = RandomLimbs(na, true), y = RandomLimbs(nb, true);
        Op a(x, share == 1 ? cap : na + 1), b(y, share == 2 ? cap : nb + 1), own(cap), s2(nb + 1);
        numbers::BigInt view;
        view.Limbs = share == 1 ? a.b.Limbs : share == 2 ? b.b.Limbs : own.b.Limbs;
        view.SizeAlloc = cap;
        TruncatedMulBigInt(a.b, b.b, view, scratch ? &s2.b : nullptr);
        ExpectProduct(Mul(x, y), a.b._N, b.b._N, 0, 0, view, "TruncatedMulBigInt");
    }
}

// r1 = a c + b d, r2 = a e, r3 = b f; r1 written, not added to.
void CheckJoin(long na, long nb, long nc, long nd, long ne, long nf, bool withF) {
    const Mpz xa = RandomLimbs(na, true), xb = RandomLimbs(nb, true), xc = RandomLimbs(nc, true),
              xd = RandomLimbs(nd, true), xe = RandomLimbs(ne, true), xf = RandomLimbs(nf, true);
    Op a(xa, na + 1), b(xb, nb + 1), c(xc, nc + 1), d(xd, nd + 1), e(xe, ne + 1), f(xf, nf + 1);
    Op r1(std::max(na + nc, nb + nd) + 2), r2(na + ne + 2), r3(nb + nf + 2);
    for (long i = 0; i < r1.b.SizeAlloc; ++i) r1.b.Limbs[i] = 3.0;
    TwoMulBigInt(a.b, b.b, c.b, d.b, e.b, withF ? &f.b : nullptr, r1.b, r2.b,
                 withF ? &r3.b : nullptr);
    EXPECT_TRUE(SameValue(r1.Value(), Add(Mul(xa, xc), Mul(xb, xd))));
    EXPECT_TRUE(SameValue(r2.Value(), Mul(xa, xe)));
    EXPECT_TRUE(!withF || SameValue(r3.Value(), Mul(xb, xf)));
}

TEST_F(ProductTest, JoinProduct) {
    CheckJoin(700, 650, 900, 1200, 1365, 40, false);
    CheckJoin(700, 650, 900, 1200, 1365, 40, true);
    Op a(RandomLimbs(1500, false), 2000), r1(5000), r2(5000);  // 4500 digits: 8192 > NFFT / 2
    ZEPRIX_EXPECT_FATAL(TwoMulBigInt(a.b, a.b, a.b, a.b, a.b, nullptr, r1.b, r2.b, nullptr),
                        "Error in TwoMulBigInt, BigInts are two large");
}

// Exact products at other FFT sizes (the four-step form with 16384- to 2^20-point
// transforms): x y, or x^2 by SquareBigInt when y is x itself.
void ExpectExactMul(const Mpz& x, const Mpz& y) {
    const long na = LimbCount(x), nb = LimbCount(y);
    Op a(x, na + 1), b(y, nb + 1), r(na + nb + 2);
    &x == &y ? SquareBigInt(a.b, r.b) : MulBigInt(a.b, b.b, r.b);
    ASSERT_EQ(r.b.Exp, 0);
    ASSERT_TRUE(SameValue(r.Value(), Mul(x, y))) << "na=" << na << " nb=" << nb;
}
void ExpectExactMul(long na, long nb) {
    ExpectExactMul(RandomLimbs(na, true), RandomLimbs(nb, true));
}
void ExpectExactSquare(long n) {
    const Mpz x = RandomLimbs(n, true);
    ExpectExactMul(x, x);
}

TEST(LargeFFT, Products1MSlow) {
    FFTSession session(1L << 20);
    const long p = (1L << 20) / 3;  // 349525 limbs per piece: 4.2 million digits
    ExpectExactMul(p + 1000, p - 3);
    ExpectExactSquare(p + 1000);
    ExpectExactMul(RepeatedLimb(p, 999999999999.0, false), RepeatedLimb(p, 500050005000.0, true));
    EXPECT_LT(testing::TakeMaxRoundingDistance(), 0.1);
}

// Transforms from 32 k points share their passes among the threads (held-back row pairs,
// digit streams and limb runs that start mid-number, normalisation in runs with a rippled
// carry): every path, on 1, 2, 3 and 8 threads (more than this machine's cores), exact.
TEST(LargeFFT, ProductsOnEveryThreadCount) {
    ThreadCountRestored restore;
    for (int threads : {1, 2, 3, 8}) {
        SCOPED_TRACE(threads);
        core::SetThreadCount(threads);
        FFTSession session(1L << 17);
        const long p = (1L << 17) / 3;
        ExpectExactMul(p, p - 7);          // kept transform: multiply in one sweep
        ExpectExactSquare(p - 1000);       // square from one transform
        ExpectExactMul(2 * p + 3, 12000);  // 32 k-point pieces
        CheckJoin(20000, 21000, 21845, 19000, 21000, 500, true);  // separate transforms
        // All nines: the product is 10^k - 2 10^j + 1, carries across every run boundary.
        const Mpz x = RepeatedLimb(p, 999999999999.0, false);
        ExpectExactMul(x, x);
        const Mpz y = RandomLimbs(p, true);
        Op b(y, p + 1), t(p / 2);  // truncated: the top of the window only
        TruncatedMulBigInt(b.b, b.b, t.b);
        ExpectProduct(Mul(y, y), b.b._N, b.b._N, 0, 0, t.b, "TruncatedMulBigInt");
        EXPECT_LT(testing::TakeMaxRoundingDistance(), 0.1);
    }
}

}  // namespace
}  // namespace zeprix::fft::test
