// Products at FFT sizes other than the main process's, each in a fresh child process (the
// FFT size is fixed once per process): the four-step form at 64k and 1M points against GMP.
#include <algorithm>

#include "bigint_oracle.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "fft_test_util.hpp"

namespace zeprix::fft::test {
namespace {

// Exact product check (capacity for the whole product plus the sign limb).
void ExpectExactMul(long na, long nb, bool square) {
    Mpz x = RandomLimbs(na, true), y = square ? x : RandomLimbs(nb, true), e;
    mpz_mul(e.v, x.v, y.v);
    Big a(x, na, na), b(y, nb, nb), r(na + nb + 1);
    if (square)
        SquareBigInt(a.b, r.b);
    else
        MulBigInt(a.b, b.b, r.b);
    ASSERT_EQ(r.b.Exp, 0);
    ASSERT_EQ(mpz_cmp(Mantissa(r.b).v, e.v), 0) << "na=" << na << " nb=" << nb << " seed=" << zeprix::test::Seed();
}

TEST(LargeFFTTest, Products64k) {
    ZEPRIX_IN_CHILD({
        InitFFT(1L << 16);
        const long p = (1L << 16) / 3;  // 21845 limbs per piece
        ExpectExactMul(p, p, false);
        ExpectExactMul(3 * p + 77, 2 * p + 5, false);
        ExpectExactMul(3 * p + 77, 3 * p + 77, true);
        ExpectExactMul(5000, 4 * p, false);   // a: 16384-point transforms, b in many pieces
        ExpectExactMul(p / 2 + 10, 3 * p, false);  // a just above half a piece: two halves
        // Join product with four-step transforms (n = 32768).
        const long m = 10000;
        Mpz xa = RandomLimbs(m, true), xb = RandomLimbs(m, true), xc = RandomLimbs(m, true),
            xd = RandomLimbs(m - 7, true), xe = RandomLimbs(m, true), xf = RandomLimbs(300, true);
        Big a(xa, m, m), b(xb, m, m), c(xc, m, m), d(xd, m - 7, m), e(xe, m, m), f(xf, 300, 300);
        Big r1(2 * m + 1), r2(2 * m + 1), r3(m + 301);
        TwoMulBigInt(a.b, b.b, c.b, d.b, e.b, &f.b, r1.b, r2.b, &r3.b);
        Mpz w1, t, w2, w3;
        mpz_mul(w1.v, xa.v, xc.v);
        mpz_mul(t.v, xb.v, xd.v);
        mpz_add(w1.v, w1.v, t.v);
        mpz_mul(w2.v, xa.v, xe.v);
        mpz_mul(w3.v, xb.v, xf.v);
        EXPECT_EQ(mpz_cmp(Mantissa(r1.b).v, w1.v), 0);
        EXPECT_EQ(mpz_cmp(Mantissa(r2.b).v, w2.v), 0);
        EXPECT_EQ(mpz_cmp(Mantissa(r3.b).v, w3.v), 0);
        EXPECT_LT(testing::TakeMaxRoundingDistance(), 0.05);
    });
}

TEST(LargeFFTTest, Products1M) {
    ZEPRIX_IN_CHILD({
        InitFFT(1L << 20);
        const long p = (1L << 20) / 3;  // 349525 limbs per piece: 4.2 million digits
        ExpectExactMul(p + 1000, p - 3, false);
        ExpectExactMul(p + 1000, p + 1000, true);
        // Runs of nines and of the largest digits, as Newton steps produce.
        Mpz x = RepeatedLimb(p, 999999999999.0, false), y = RepeatedLimb(p, 500050005000.0, true), e;
        mpz_mul(e.v, x.v, y.v);
        Big a(x, p, p), b(y, p, p), r(2 * p + 1);
        MulBigInt(a.b, b.b, r.b);
        EXPECT_EQ(mpz_cmp(Mantissa(r.b).v, e.v), 0);
        EXPECT_LT(testing::TakeMaxRoundingDistance(), 0.1);
    });
}

}  // namespace
}  // namespace zeprix::fft::test
