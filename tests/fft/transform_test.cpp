// Transforms: round trips, the packed spectrum layout against a direct DFT, convolutions
// against exact sums, the point-by-point product, the complex kernels.
#include <cmath>
#include <complex>
#include <cstring>
#include <set>

#include "fft/fft_state.hpp"
#include "fft/digits.hpp"
#include "fft/four_step.hpp"
#include "fft/kernels.hpp"
#include "fft/pointwise.hpp"
#include "bigint_oracle.hpp"
#include "fft_test_util.hpp"

namespace zeprix::fft::test {
namespace {

class TransformTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureFFT(); }
};

// Forward transform of digit values x into buf (2n + spare doubles).
bool Forward(double* buf, const std::vector<double>& x, long n, bool allowSmall) {
    DigitSource src;
    src.digits = x.data();
    return ForwardTransform(buf, n, allowSmall, src);
}
// Inverse into a vector of the 2n values (times 2n).
std::vector<double> Inverse(double* buf, long n, bool small) {
    std::vector<double> v(static_cast<std::size_t>(2 * n));
    DigitSink sink;
    sink.values = v.data();
    InverseTransform(buf, n, small, sink);
    return v;
}

// Forward then inverse of a lone operand: 2n times the digits, zeros above them.
void ExpectRoundTrip(long n, bool allowSmall) {
    AlignedBuffer buf(2 * n + 2 * State().s);
    std::vector<double> x = RandomDigits(n, -10000, 10000);
    const bool small = Forward(buf.p, x, n, allowSmall);
    EXPECT_EQ(small, allowSmall && n <= kSmallPathMax);
    std::vector<double> out = Inverse(buf.p, n, small);
    for (long m = 0; m < 2 * n; ++m) {
        const double v = out[static_cast<std::size_t>(m)] / static_cast<double>(2 * n);
        const double want = m < n ? x[static_cast<std::size_t>(m)] : 0.0;
        ASSERT_LT(std::fabs(v - want), 1e-6) << "n=" << n << " m=" << m << " seed=" << zeprix::test::Seed();
        ASSERT_EQ(std::nearbyint(v), want);
    }
}

TEST_F(TransformTest, ForwardInverse256ReturnsInput) {
    ExpectRoundTrip(256, true);
    ExpectRoundTrip(256, false);
}

TEST_F(TransformTest, RoundTripEverySize) {
    for (long n = 256; n <= kTestNFFT; n *= 2) {
        ExpectRoundTrip(n, true);
        ExpectRoundTrip(n, false);
    }
}

// Every pair of the packed spectrum is the DFT of length 2n of the zero-padded digits at
// one frequency k (or its conjugate at 2n - k), each of 1 .. n-1 exactly once; element 0
// is frequency 0 and element 2n - 1 frequency n.
void ExpectPackedLayout(long n, bool allowSmall) {
    AlignedBuffer buf(2 * n + 2 * State().s);
    std::vector<double> x = RandomDigits(n, -5000, 5000);
    Forward(buf.p, x, n, allowSmall);
    const long N = 2 * n;
    std::vector<std::complex<double>> X(static_cast<std::size_t>(n + 1));
    const long double pi = 3.141592653589793238462643383279502884L;
    for (long k = 0; k <= n; ++k) {
        long double re = 0, im = 0;
        for (long j = 0; j < n; ++j) {
            const long double ang = -2.0L * pi * static_cast<long double>((j * k) % N) / N;
            re += x[static_cast<std::size_t>(j)] * cosl(ang);
            im += x[static_cast<std::size_t>(j)] * sinl(ang);
        }
        X[static_cast<std::size_t>(k)] = {static_cast<double>(re), static_cast<double>(im)};
    }
    const double tol = 1e-7 * static_cast<double>(n) * 5000;
    EXPECT_NEAR(buf.p[0], X[0].real(), tol);
    EXPECT_NEAR(buf.p[N - 1], X[static_cast<std::size_t>(n)].real(), tol);
    // Match every pair to a frequency.
    std::set<long> seen;
    for (long e = 1; e < N - 1; e += 2) {
        const std::complex<double> v(buf.p[e], buf.p[e + 1]);
        long found = -1;
        for (long k = 1; k < n && found < 0; ++k) {
            if (std::abs(v - X[static_cast<std::size_t>(k)]) < tol ||
                std::abs(v - std::conj(X[static_cast<std::size_t>(k)])) < tol)
                if (!seen.count(k)) found = k;
        }
        ASSERT_GE(found, 1) << "pair at element " << e << " matches no free frequency, n=" << n;
        seen.insert(found);
    }
    EXPECT_EQ(static_cast<long>(seen.size()), n - 1);
}

TEST_F(TransformTest, PackedSpectrumLayoutSmallPath) { ExpectPackedLayout(256, true); }
TEST_F(TransformTest, PackedSpectrumLayoutFourStep) { ExpectPackedLayout(256, false); }
TEST_F(TransformTest, PackedSpectrumLayoutFourStep1024) { ExpectPackedLayout(1024, false); }

// Convolution of two digit sequences through forward, product and inverse equals the
// exact sums (checked everywhere for small n, at sampled indices beyond).
void ExpectConvolution(long n, bool allowSmall, long lo, long hi, long samples) {
    AlignedBuffer bx(2 * n + 2 * State().s), by(2 * n + 2 * State().s);
    std::vector<double> a = RandomDigits(n, lo, hi), b = RandomDigits(n, lo, hi);
    const bool small = Forward(bx.p, a, n, allowSmall);
    Forward(by.p, b, n, allowSmall);
    MulSpectra(bx.p, by.p, n);
    std::vector<double> out = Inverse(by.p, n, small);
    std::uniform_int_distribution<long> pick(0, 2 * n - 1);
    for (long s = 0; s < (samples ? samples : 2 * n); ++s) {
        const long k = samples ? pick(zeprix::test::Rng()) : s;
        const double v = out[static_cast<std::size_t>(k)] / static_cast<double>(2 * n);
        ASSERT_LT(std::fabs(v - std::nearbyint(v)), 0.05) << "n=" << n << " k=" << k;
        ASSERT_EQ(static_cast<std::int64_t>(std::nearbyint(v)), ConvAt(a, b, k))
            << "n=" << n << " k=" << k << " seed=" << zeprix::test::Seed();
    }
}

TEST_F(TransformTest, ConvolutionExactSmallSizes) {
    for (long n = 256; n <= 2048; n *= 2) {
        ExpectConvolution(n, true, -5000, 5000, 0);
        ExpectConvolution(n, false, -5000, 5000, 0);
    }
}

TEST_F(TransformTest, ConvolutionExactLargestSize) {
    ExpectConvolution(kTestNFFT, true, -5000, 10000, 4000);
    ExpectConvolution(4096, true, 9999, 10000, 2000);  // a long run at the extreme
}

TEST_F(TransformTest, PointwiseHandlesEndsAsReals) {
    const long n = 256;
    std::vector<double> x(2 * n), y(2 * n);
    for (long e = 0; e < 2 * n; ++e) {
        x[static_cast<std::size_t>(e)] = static_cast<double>(e % 7 - 3);
        y[static_cast<std::size_t>(e)] = static_cast<double>(e % 5 - 2);
    }
    std::vector<double> want(2 * n);
    want[0] = x[0] * y[0];
    want[2 * n - 1] = x[2 * n - 1] * y[2 * n - 1];
    for (long e = 1; e < 2 * n - 1; e += 2) {
        const std::complex<double> p = std::complex<double>(x[e], x[e + 1]) * std::complex<double>(y[e], y[e + 1]);
        want[static_cast<std::size_t>(e)] = p.real();
        want[static_cast<std::size_t>(e + 1)] = p.imag();
    }
    MulSpectra(x.data(), y.data(), n);
    for (long e = 0; e < 2 * n; ++e) EXPECT_EQ(y[static_cast<std::size_t>(e)], want[static_cast<std::size_t>(e)]) << e;
}

// The vectorised complex transform against the generic one (same values, own slot order):
// both round trips return M times the input, and the multiset of outputs agrees.
TEST_F(TransformTest, ComplexKernelsAgree) {
    for (long M = 1; M <= 4096; M *= 2) {
        AlignedBuffer r1(M + 8), i1(M + 8), r2(M + 8), i2(M + 8);
        std::vector<double> xr = RandomDigits(M, -1000, 1000), xi = RandomDigits(M, -1000, 1000);
        std::memcpy(r1.p, xr.data(), sizeof(double) * static_cast<std::size_t>(M));
        std::memcpy(i1.p, xi.data(), sizeof(double) * static_cast<std::size_t>(M));
        std::memcpy(r2.p, xr.data(), sizeof(double) * static_cast<std::size_t>(M));
        std::memcpy(i2.p, xi.data(), sizeof(double) * static_cast<std::size_t>(M));
        kernels::ComplexForward(r1.p, i1.p, M);
        kernels::ComplexForwardGeneric(r2.p, i2.p, M);
        std::multiset<std::pair<long, long>> s1, s2;
        for (long k = 0; k < M; ++k) {
            s1.insert({std::lround(r1.p[k] * 64), std::lround(i1.p[k] * 64)});
            s2.insert({std::lround(r2.p[k] * 64), std::lround(i2.p[k] * 64)});
        }
        EXPECT_EQ(s1, s2) << "M=" << M;
        kernels::ComplexInverse(r1.p, i1.p, M);
        const double scale = static_cast<double>(M);
        for (long k = 0; k < M; ++k) {
            ASSERT_NEAR(r1.p[k], scale * xr[static_cast<std::size_t>(k)], 1e-6 * scale) << M;
            ASSERT_NEAR(i1.p[k], scale * xi[static_cast<std::size_t>(k)], 1e-6 * scale) << M;
        }
    }
}

}  // namespace
}  // namespace zeprix::fft::test

namespace zeprix::fft::test {
namespace {

// The digit split (vectorised four limbs at a time, scalar for the rest) represents the
// number, keeps every digit in range, and carries out of the top limb into digit 3N.
TEST(DigitSplitTest, DigitsRepresentTheNumber) {
    EnsureFFT();
    for (long N : {1L, 2L, 3L, 4L, 5L, 9L, 40L}) {
        for (int kind = 0; kind < 4; ++kind) {
            std::vector<double> limbs(static_cast<std::size_t>(N));
            std::uniform_int_distribution<long> any(0, 999999999999L);
            const double pattern[] = {999999999999.0, 500000000000.0, 500099999999.0, 500000000001.0};
            for (long j = 0; j < N; ++j)
                limbs[static_cast<std::size_t>(j)] =
                    kind == 0 ? static_cast<double>(any(zeprix::test::Rng())) : pattern[(j + kind) % 4];
            if (kind == 3) limbs[static_cast<std::size_t>(N - 1)] = -999999999999.0;  // negative top
            if (kind == 2) limbs[static_cast<std::size_t>(N - 1)] = -1.0;
            const long n = 3 * N + 1 + 24;
            std::vector<double> d(static_cast<std::size_t>(n));
            LimbsToDigits(limbs.data(), N, d.data(), n);
            // The digits represent the number: sum d_m 10^(4m) == sum limb_j 10^(12 j).
            Mpz fromDigits, fromLimbs;
            zeprix::test::LimbsToMpz(d.data(), n, 1e4, fromDigits.v);
            zeprix::test::LimbsToMpz(limbs.data(), N, 1e12, fromLimbs.v);
            ASSERT_EQ(mpz_cmp(fromDigits.v, fromLimbs.v), 0) << "N=" << N << " kind=" << kind;
            for (long m = 0; m < n; ++m) {
                const double v = d[static_cast<std::size_t>(m)];
                if (m == 3 * N - 1 && limbs[static_cast<std::size_t>(N - 1)] < 0) {
                    ASSERT_TRUE(v >= -10000 && v <= 0) << m;  // top digit of a negative number
                } else {
                    ASSERT_TRUE(v >= -4999 && v <= 5001) << "m=" << m << " v=" << v;
                    if (m % 3 != 0) {
                        ASSERT_LE(v, 5000) << m;
                    }
                }
            }
        }
    }
}

TEST(DigitSplitTest, BalancedDigitsCarry) {
    // 6000 * 10^8: top digit 6000 > 5000 becomes -4000 and carries 1 into digit 3.
    const double limb = 600000000000.0;
    double d[8];
    LimbsToDigits(&limb, 1, d, 8);
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[1], 0);
    EXPECT_EQ(d[2], -4000);
    EXPECT_EQ(d[3], 1);
    EXPECT_EQ(d[4], 0);
    const double l2[2] = {999999999999.0, 5.0};
    LimbsToDigits(l2, 2, d, 8);
    // 999999999999 = -1 + 10^12: digits -1, 0, 0 and a carry into the next limb.
    EXPECT_EQ(d[0], -1);
    EXPECT_EQ(d[1], 0);
    EXPECT_EQ(d[2], 0);
    EXPECT_EQ(d[3], 6);  // 5 + carry
    const double l3[2] = {500050005000.0, 500150015001.0};
    LimbsToDigits(l3, 2, d, 8);
    // 5000s stay; 5001, 5001, 5001 become -4999, -4998, -4998 and carry 1 above the top.
    const double want[8] = {5000, 5000, 5000, -4999, -4998, -4998, 1, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(d[i], want[i]) << i;
}

}  // namespace
}  // namespace zeprix::fft::test
