// Transforms and the FFT state: convolutions against exact sums, transform sizes, FFT
// sessions of several sizes, and the exactness guard. (The digit split: the products
// against GMP, with operands at the extremes of the digit range.)
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "fft/digits.hpp"
#include "fft/fft_state.hpp"
#include "fft/four_step.hpp"
#include "fft/multiply.hpp"
#include "fft/pointwise.hpp"
#include "numbers/big_int.hpp"
#include "support/test_support.hpp"

namespace zeprix::fft::test {
namespace {

using namespace zeprix::test;

// The main process's FFT size: both the small path (n <= 4096) and the four-step form run.
constexpr long kNFFT = 8192;

std::vector<double> Digits(long n, long lo, long hi) {
    std::vector<double> d(static_cast<std::size_t>(n));
    for (auto& x : d) x = static_cast<double>(RandomLong(lo, hi));
    return d;
}

class TransformTest : public ::testing::Test {
protected:
    void SetUp() override { InitFFT(kNFFT); }
};

// Forward, MulSpectra and inverse give the exact convolution (every index for small n,
// sampled beyond) on both paths at every size, random digits and a long run at the
// extreme of the range. (An error in any frequency of the spectrum, or a transform pair
// that is not a DFT pair, shows here.)
TEST_F(TransformTest, ConvolutionIsExact) {
    // n, the small path allowed, the digit range, the indices sampled (0: all)
    std::vector<std::tuple<long, bool, long, long, long>> cases = {
        {kNFFT, true, -5000, 10000, 4000},
        {4096, true, 9999, 10000, 2000},
        {4096, false, -5000, 5000, 2000}};
    for (long n = 256; n <= 2048; n *= 2)
        for (bool allowSmall : {true, false}) cases.push_back({n, allowSmall, -5000, 5000, 0});
    for (const auto& [n, allowSmall, lo, hi, samples] : cases) {
        // 64-byte aligned, canaries after
        Big sx(2 * n + 2 * State().s), sy(2 * n + 2 * State().s);
        const std::vector<double> a = Digits(n, lo, hi), b = Digits(n, lo, hi);
        DigitSource da{.digits = a.data()}, db{.digits = b.data()};
        const bool small = ForwardTransform(sx.b.Limbs, n, allowSmall, da);
        ForwardTransform(sy.b.Limbs, n, allowSmall, db);
        MulSpectra(sx.b.Limbs, sy.b.Limbs, n);
        std::vector<double> out(static_cast<std::size_t>(2 * n));
        DigitSink sink{.values = out.data()};
        InverseTransform(sy.b.Limbs, n, small, sink);
        EXPECT_TRUE(sx.Intact() && sy.Intact()) << "n=" << n;
        for (long s = 0; s < (samples ? samples : 2 * n); ++s) {
            const long k = samples ? RandomLong(0, 2 * n - 1) : s;
            std::int64_t exact = 0;
            for (long i = std::max(0L, k - n + 1); i <= std::min(k, n - 1); ++i)
                exact += static_cast<std::int64_t>(a[static_cast<std::size_t>(i)]) *
                         static_cast<std::int64_t>(b[static_cast<std::size_t>(k - i)]);
            const double v = out[static_cast<std::size_t>(k)] / static_cast<double>(2 * n);
            ASSERT_LT(std::fabs(v - std::nearbyint(v)), 0.05) << "n=" << n << " k=" << k;
            ASSERT_EQ(static_cast<std::int64_t>(std::nearbyint(v)), exact)
                << "n=" << n << " k=" << k << SeedNote();
        }
    }
}

// Digits of 2^24 in magnitude make a convolution far beyond what a double transform rounds
// exactly: the guard must stop with the FFT size in the message.
TEST_F(TransformTest, RoundingGuardFiresWhenForced) {
    const std::vector<double> a = Digits(kNFFT, -(1L << 24), 1L << 24),
                              b = Digits(kNFFT, -(1L << 24), 1L << 24);
    ZEPRIX_EXPECT_FATAL(testing::ConvolutionRoundingDistance(a.data(), b.data(), kNFFT, true),
                        "is too large for FFT size 8192");
}

// States of several sizes coexist, the innermost session's current; a product too large
// for the FFT size is fatal, with its transform size.
TEST(FFTSizes, SessionsCoexistAndTooLargeTransforms) {
    ZEPRIX_EXPECT_FATAL(Upper2Power(5000, 4096), "Error in Upper2Power , N=8192 is too big\n");
    InitFFT(kNFFT);
    FFTState* outer = &State();
    {
        FFTSession big(1L << 16);
        EXPECT_EQ(State().NFFT, 1L << 16);
        {
            FFTSession small(4096);
            EXPECT_EQ(State().NFFT, 4096);
        }
        EXPECT_EQ(&State(), &big.state());
    }
    EXPECT_EQ(&State(), outer);
}

}  // namespace
}  // namespace zeprix::fft::test
