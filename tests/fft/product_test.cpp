// BigInt products against GMP: every path of the dispatcher, truncation, aliasing, squares,
// the transform cache, the truncated and join products.
#include <algorithm>
#include <cstring>

#include "bigint_oracle.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "fft_test_util.hpp"

namespace zeprix::fft::test {
namespace {

// With NFFT = 8192: piece p = 2730 limbs, leftover threshold t = trunc(5 ln 2730) = 39.
constexpr long kP = kTestNFFT / 3;
constexpr long kT = 39;

class ProductTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureFFT();
        testing::TakeMaxRoundingDistance();
    }
    void TearDown() override {
        // The guard never comes near on valid products.
        EXPECT_LT(testing::TakeMaxRoundingDistance(), 0.05);
    }
};

// floor(x / 10^(12 k))
Mpz DropLimbs(const Mpz& x, long k) {
    Mpz p, q;
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(12 * k));
    mpz_fdiv_q(q.v, x.v, p.v);
    return q;
}

// r holds a * b (operand exponents ea, eb) truncated to its capacity: exponent
// ea + eb + dropped, canonical, and the mantissa equal to the exact top limbs (within the
// carries that dropped limbs would have passed on, when the transform dropped some).
// A negative product in complement form may need one limb more than Na + Nb (its top -1),
// so a full result may drop one more limb, exactly (UpdateBigInt's low-end truncation).
void ExpectProductValue(const Mpz& exact, long Na, long Nb, long ea, long eb, const BigInt& r,
                        const char* what) {
    const long len = std::min(Na + Nb, r.SizeAlloc);
    const long cut = Na + Nb - len;
    const long dropped = r.Exp - ea - eb;
    if (!(dropped == cut || (dropped == cut + 1 && mpz_sgn(exact.v) < 0 && len == r.SizeAlloc)))
        FAIL() << what << " exponent " << r.Exp << " expected " << ea + eb + cut << " Na=" << Na
               << " Nb=" << Nb;
    ASSERT_TRUE(zeprix::test::IsCanonical(r.Limbs, r._N, 1e12)) << what << " Na=" << Na << " Nb=" << Nb;
    Mpz got = Mantissa(r);
    Mpz want = DropLimbs(exact, dropped), d;
    if (cut == 0) {
        ASSERT_EQ(mpz_cmp(got.v, want.v), 0)
            << what << " Na=" << Na << " Nb=" << Nb << " seed=" << zeprix::test::Seed();
    } else {
        mpz_sub(d.v, got.v, want.v);
        mpz_abs(d.v, d.v);
        ASSERT_LE(mpz_cmp_ui(d.v, 1000000UL), 0)
            << what << " Na=" << Na << " Nb=" << Nb << " cut=" << cut << " seed=" << zeprix::test::Seed();
    }
}

void CheckMul(const Mpz& x, long Na, const Mpz& y, long Nb, long cap, bool exps = false) {
    Big a(x, Na, Na), b(y, Nb, Nb), r(cap);
    if (exps) {
        a.b.Exp = 3;
        b.b.Exp = 2;
    }
    MulBigInt(a.b, b.b, r.b);
    Mpz exact;
    mpz_mul(exact.v, x.v, y.v);
    ExpectProductValue(exact, Na, Nb, a.b.Exp, b.b.Exp, r.b, "MulBigInt");
}

TEST_F(ProductTest, SizesAroundEveryThreshold) {
    // 1 limb, the leftover threshold, the small-path limit (1365 limbs: 4095 digits), the
    // piece size and its multiples, leftovers just above them.
    const long sizes[] = {1, 2, kT - 1, kT, kT + 1, 85, 86, 1364, 1365, 1366, kP - 1, kP, kP + 1,
                          kP + kT, kP + kT + 1, 2 * kP + 7, 3 * kP + 40};
    for (long na : sizes)
        for (long nb : sizes) {
            Mpz x = RandomLimbs(na, true), y = RandomLimbs(nb, true);
            CheckMul(x, na, y, nb, na + nb);
            if (HasFatalFailure()) return;
        }
}

TEST_F(ProductTest, RandomLengthsAndSigns) {
    std::uniform_int_distribution<long> len(1, 4 * kP);
    for (int i = 0; i < 60; ++i) {
        const long na = len(zeprix::test::Rng()), nb = len(zeprix::test::Rng());
        Mpz x = RandomLimbs(na, true), y = RandomLimbs(nb, true);
        CheckMul(x, na, y, nb, na + nb + (i % 3), i % 2 == 0);
        if (HasFatalFailure()) return;
    }
}

// The carry pass that keeps long accumulations exact (forced after every piece of a).
TEST_F(ProductTest, CarryPassBetweenPieces) {
    testing::SetCarryBudgetForTest(1);
    for (long na : {3 * kP + 40, 5 * kP}) {
        Mpz x = RandomLimbs(na, true), y = RandomLimbs(2 * kP + 9, true);
        CheckMul(x, na, y, 2 * kP + 9, na + 2 * kP + 9);
        CheckMul(x, na, y, 2 * kP + 9, na);  // truncated window
        Mpz e;
        mpz_mul(e.v, x.v, x.v);
        Big a(x, na, na), r(2 * na + 1);
        SquareBigInt(a.b, r.b);
        ExpectProductValue(e, na, na, 0, 0, r.b, "square with carry passes");
    }
    testing::SetCarryBudgetForTest(0);
}

TEST_F(ProductTest, OneOperandMuchLonger) {
    const long pairs[][2] = {{1, 9000}, {5, 20000}, {kT + 1, 9000}, {300, 20000}, {kP, 17000}, {20000, 45}};
    for (auto& pr : pairs) {
        Mpz x = RandomLimbs(pr[0], true), y = RandomLimbs(pr[1], true);
        CheckMul(x, pr[0], y, pr[1], pr[0] + pr[1]);
    }
}

TEST_F(ProductTest, ExtremeDigitRuns) {
    // Long runs at the extremes of the digit range, as Newton steps produce.
    for (long n : {500L, kP, 2 * kP + 100}) {
        for (double limb : {999999999999.0, 500050005000.0, 500050005001.0, 500099999999.0, 1.0}) {
            for (bool neg : {false, true}) {
                Mpz x = RepeatedLimb(n, limb, neg), y = RepeatedLimb(n + 17, 999999999999.0, false);
                CheckMul(x, n, y, n + 17, 2 * n + 17);
                CheckMul(x, n, x, n, 2 * n);
            }
        }
    }
}

TEST_F(ProductTest, TruncatedResultsDropLowLimbs) {
    const long pairs[][2] = {{50, 60}, {kP, kP}, {3 * kP + 40, 2 * kP}, {kT + 3, 5000}, {1000, 7}};
    for (auto& pr : pairs) {
        const long full = pr[0] + pr[1];
        for (long cap : {1L, 2L, full / 2, full - kP, full - 1}) {
            if (cap < 1) continue;
            Mpz x = RandomLimbs(pr[0], true), y = RandomLimbs(pr[1], true);
            CheckMul(x, pr[0], y, pr[1], cap, true);
            if (HasFatalFailure()) return;
        }
    }
}

// A result placed between canary limbs: nothing outside its kept limbs is written.
TEST_F(ProductTest, CanariesAroundTheResult) {
    const long na = 2 * kP + 50, nb = kP + 3, cap = na + nb - 10;
    Mpz x = RandomLimbs(na, true), y = RandomLimbs(nb, true);
    Big a(x, na, na), b(y, nb, nb), block(cap + 40);
    for (long i = 0; i < cap + 41; ++i) block.b.Limbs[i] = -7.0;
    BigInt r;
    r.Limbs = block.b.Limbs + 16;
    r.SizeAlloc = cap;
    MulBigInt(a.b, b.b, r);
    for (long i = 0; i < 16; ++i) ASSERT_EQ(block.b.Limbs[i], -7.0) << i;
    for (long i = 16 + cap; i < cap + 41; ++i) ASSERT_EQ(block.b.Limbs[i], -7.0) << i;
    Mpz exact;
    mpz_mul(exact.v, x.v, y.v);
    ExpectProductValue(exact, na, nb, 0, 0, r, "canary");
}

TEST_F(ProductTest, ResultSameAsOperand) {
    for (long na : {30L, 700L, kP + 100, 2 * kP + 60}) {
        const long nb = na / 2 + 45;
        Mpz x = RandomLimbs(na, true), y = RandomLimbs(nb, true), exact;
        mpz_mul(exact.v, x.v, y.v);
        {
            Big a(x, na, na + nb), b(y, nb, nb);
            MulBigInt(a.b, b.b, a.b);  // r = a
            ExpectProductValue(exact, na, nb, 0, 0, a.b, "r=a");
        }
        {
            Big a(x, na, na), b(y, nb, na + nb);
            MulBigInt(a.b, b.b, b.b);  // r = b
            ExpectProductValue(exact, na, nb, 0, 0, b.b, "r=b");
        }
        {
            Big a(x, na, 2 * na), ex(x, na, na);
            mpz_mul(exact.v, x.v, x.v);
            MulBigInt(a.b, a.b, a.b);  // r = a = b
            ExpectProductValue(exact, na, na, 0, 0, a.b, "r=a=b");
        }
    }
}

// SpecialMul in place (r the same number as b), b in several pieces, with and without
// dropped low limbs.
TEST_F(ProductTest, SpecialMulInPlace) {
    for (long na : {100L, 1365L, kP}) {
        for (long nb : {na, 3 * kP + 11, 5 * kP}) {
            for (long extra : {0L, -na / 2}) {
                Mpz x = RandomLimbs(na, true), y = RandomLimbs(nb, true), exact;
                mpz_mul(exact.v, x.v, y.v);
                Big a(x, na, na), b(y, nb, na + nb + extra);
                SpecialMul(a.b, b.b, b.b, 0);
                ExpectProductValue(exact, na, nb, 0, 0, b.b, "SpecialMul r=b");
                Big b2(y, nb, nb), r(na + nb + extra);
                SpecialMul(a.b, b2.b, r.b, 0);
                ExpectProductValue(exact, na, nb, 0, 0, r.b, "SpecialMul");
                if (HasFatalFailure()) return;
            }
        }
    }
}

// SpecialMul with L >= 1 adds the top L limbs (unnormalised) into r.
TEST_F(ProductTest, SpecialMulAccumulatesTopLimbs) {
    const long na = 400, nb = 3000, L = 1000;
    Mpz x = RandomLimbs(na, false), y = RandomLimbs(nb, false), exact;
    mpz_mul(exact.v, x.v, y.v);
    Big a(x, na, na), b(y, nb, nb), r(L + 1);
    for (long i = 0; i < L; ++i) r.b.Limbs[i] = 5.0;  // added to, not overwritten
    SpecialMul(a.b, b.b, r.b, L);
    r.b._N = L;
    r.b.UpdateBigInt();
    Mpz want = DropLimbs(exact, na + nb - L), fives, d;
    Mpz five(5);
    for (long i = 0; i < L; ++i) {
        mpz_mul_ui(fives.v, fives.v, 1000000000000UL);
        mpz_add(fives.v, fives.v, five.v);
    }
    mpz_add(want.v, want.v, fives.v);
    Mpz got = Mantissa(r.b);
    mpz_sub(d.v, got.v, want.v);
    mpz_abs(d.v, d.v);
    EXPECT_LE(mpz_cmp_ui(d.v, 1000000UL), 0);
}

TEST_F(ProductTest, Squares) {
    for (long n : {1L, 10L, kT + 1, 1365L, 1366L, kP, kP + 1, 2 * kP + 3, 3 * kP + 100}) {
        Mpz x = RandomLimbs(n, true), exact;
        mpz_mul(exact.v, x.v, x.v);
        for (long cap : {2 * n, 2 * n - 1, n}) {
            Big a(x, n, n), r(cap);
            a.b.Exp = 1;
            SquareBigInt(a.b, r.b);
            ExpectProductValue(exact, n, n, 1, 1, r.b, "square");
        }
        Big a(x, n, 2 * n);
        SquareBigInt(a.b, a.b);
        ExpectProductValue(exact, n, n, 0, 0, a.b, "square in place");
        if (HasFatalFailure()) return;
    }
}

TEST_F(ProductTest, SquareTransformsOnce) {
    const long n = 1000;
    Mpz x = RandomLimbs(n, true), exact;
    mpz_mul(exact.v, x.v, x.v);
    Big a(x, n, n), r(2 * n);
    const long before = testing::ForwardTransformCount();
    SpecialMul(a.b, a.b, r.b, 0);
    EXPECT_EQ(testing::ForwardTransformCount() - before, 1);
    ExpectProductValue(exact, n, n, 0, 0, r.b, "square by SpecialMul");
}

// A ReusedFactor transforms its factor once; a product of anyone else in between, or a
// factor of the same address and length outside it, never reuses that transform.
TEST_F(ProductTest, ReusedFactorOwnsTheTransformCache) {
    const long na = 1000, nb = 5000, nc = 20;  // n = 4096: b in pieces of 1365 limbs -> 4 pieces
    Mpz x = RandomLimbs(na, true), y1 = RandomLimbs(nb, true), y2 = RandomLimbs(nb, true);
    Mpz z = RandomLimbs(nc, true);
    Big a(x, na, na), b1(y1, nb, nb), b2(y2, nb, nb), c(z, nc, nc), r1(na + nb), r2(na + nb),
        r3(na + nb), small(na + nc);
    Mpz e1, e2;
    mpz_mul(e1.v, x.v, y1.v);
    mpz_mul(e2.v, x.v, y2.v);
    {
        ReusedFactor byA(a.b);
        byA.Mul(b1.b, r1.b);
        long before = testing::ForwardTransformCount();
        byA.Mul(b2.b, r2.b);
        EXPECT_EQ(testing::ForwardTransformCount() - before, 4);  // b's pieces only
        ExpectProductValue(e1, na, nb, 0, 0, r1.b, "first product");
        ExpectProductValue(e2, na, nb, 0, 0, r2.b, "cache reused");
        // Another caller's products in between (schoolbook and FFT) cost a new transform.
        MulBigInt(a.b, c.b, small.b);
        MulBigInt(b1.b, b2.b, r3.b);
        before = testing::ForwardTransformCount();
        byA.Mul(b1.b, r1.b);
        EXPECT_EQ(testing::ForwardTransformCount() - before, 5);
        ExpectProductValue(e1, na, nb, 0, 0, r1.b, "after other products");
    }
    // Plain calls never reuse: a changed in place is transformed again.
    MulBigInt(a.b, b1.b, r1.b);
    Mpz x2 = RandomLimbs(na, true), e3;
    MpzToBigInt(x2.v, na, a.b);
    MulBigInt(a.b, b2.b, r3.b);
    mpz_mul(e3.v, x2.v, y2.v);
    ExpectProductValue(e3, na, nb, 0, 0, r3.b, "a changed in place");
}

TEST_F(ProductTest, TruncatedProductPaths) {
    // Balanced lengths with room: one transform each, exact.
    {
        Mpz x = RandomLimbs(1000, true), y = RandomLimbs(1300, true), e;
        mpz_mul(e.v, x.v, y.v);
        Big a(x, 1000, 1000), b(y, 1300, 1300), r(2300);
        TruncatedMulBigInt(a.b, b.b, r.b);
        ExpectProductValue(e, 1000, 1300, 0, 0, r.b, "truncated, balanced");
    }
    // Leftover of b (5470 = 4 * 1365 + 10 with m = 4096) through the caller's scratch.
    for (long cap : {6470L, 3000L}) {
        Mpz x = RandomLimbs(1000, true), y = RandomLimbs(5470, true), e;
        mpz_mul(e.v, x.v, y.v);
        Big a(x, 1000, 1000), b(y, 5470, 5470), r(cap), s2(5470);
        TruncatedMulBigInt(a.b, b.b, r.b, &s2.b);
        ExpectProductValue(e, 1000, 5470, 0, 0, r.b, "truncated, leftover");
        Big r2(cap);
        TruncatedMulBigInt(a.b, b.b, r2.b);  // no scratch: SpecialMul does it all
        ExpectProductValue(e, 1000, 5470, 0, 0, r2.b, "truncated, no scratch");
    }
    // The destination shares its limbs with an operand (a view on a's block, then b's).
    {
        Mpz x = RandomLimbs(1200, true), y = RandomLimbs(1500, true), e;
        mpz_mul(e.v, x.v, y.v);
        Big a(x, 1200, 2700), b(y, 1500, 1500);
        BigInt view;
        view.Limbs = a.b.Limbs;
        view.SizeAlloc = 2700;
        TruncatedMulBigInt(a.b, b.b, view);
        ExpectProductValue(e, 1200, 1500, 0, 0, view, "truncated, r shares a");
        Big a2(x, 1200, 1200), b2(y, 1500, 2000);
        BigInt view2;
        view2.Limbs = b2.b.Limbs;
        view2.SizeAlloc = 2000;
        TruncatedMulBigInt(a2.b, b2.b, view2);
        ExpectProductValue(e, 1200, 1500, 0, 0, view2, "truncated, r shares b");
        Big a3(x, 1200, 1200), b3(y, 1500, 1500), s3(1500);
        Mpz y3 = RandomLimbs(5470, true), e3;
        mpz_mul(e3.v, x.v, y3.v);
        Big a4(x, 1200, 4000), b4(y3, 5470, 5470);
        BigInt view4;
        view4.Limbs = a4.b.Limbs;
        view4.SizeAlloc = 4000;
        Big s4(5470);
        TruncatedMulBigInt(a4.b, b4.b, view4, &s4.b);
        ExpectProductValue(e3, 1200, 5470, 0, 0, view4, "truncated leftover, r shares a");
    }
}

TEST_F(ProductTest, JoinProductWithAndWithoutF) {
    for (bool withF : {false, true}) {
        const long na = 700, nb = 650, nc = 900, nd = 1200, ne = 1365, nf = 40;
        Mpz xa = RandomLimbs(na, true), xb = RandomLimbs(nb, true), xc = RandomLimbs(nc, true),
            xd = RandomLimbs(nd, true), xe = RandomLimbs(ne, true), xf = RandomLimbs(nf, true);
        Big a(xa, na, na), b(xb, nb, nb), c(xc, nc, nc), d(xd, nd, nd), e(xe, ne, ne), f(xf, nf, nf);
        Big r1(nb + nd + 1), r2(na + ne + 1), r3(nb + nf + 1);
        for (long i = 0; i < nb + nd + 1; ++i) r1.b.Limbs[i] = 3.0;  // written, not added to
        TwoMulBigInt(a.b, b.b, c.b, d.b, e.b, withF ? &f.b : nullptr, r1.b, r2.b, withF ? &r3.b : nullptr);
        Mpz w1, t, w2, w3;
        mpz_mul(w1.v, xa.v, xc.v);
        mpz_mul(t.v, xb.v, xd.v);
        mpz_add(w1.v, w1.v, t.v);
        mpz_mul(w2.v, xa.v, xe.v);
        mpz_mul(w3.v, xb.v, xf.v);
        EXPECT_EQ(mpz_cmp(Mantissa(r1.b).v, w1.v), 0);
        EXPECT_EQ(mpz_cmp(Mantissa(r2.b).v, w2.v), 0);
        if (withF) {
            EXPECT_EQ(mpz_cmp(Mantissa(r3.b).v, w3.v), 0);
        }
    }
}

}  // namespace
}  // namespace zeprix::fft::test
