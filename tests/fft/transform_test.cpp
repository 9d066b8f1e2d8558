// The FFT state: transform sizes, FFT sessions of several sizes, and the exactness guard.
// (The transforms and the digit split: the products against GMP, with operands at the
// extremes of the digit range.)
#include <gtest/gtest.h>

#include <vector>

#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "support/test_support.hpp"

namespace zeprix::fft::test {
namespace {

using namespace zeprix::test;

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
