// FFT state: sizing rule, InitFFT (tables, memory count, second call), bit reversal, split
// rule, fatal messages, and the exactness guard.
#include <cmath>
#include <cstdio>
#include <vector>

#include "fft/fft_state.hpp"
#include "fft/four_step.hpp"
#include "fft/multiply.hpp"
#include "fft_test_util.hpp"
#include "numbers/big_int.hpp"
#include "numbers/limbs.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"

namespace zeprix::fft::test {
namespace {


TEST(Upper2PowerTest, Bounds) {
    EXPECT_EQ(Upper2Power(1, 1L << 20), 256);
    EXPECT_EQ(Upper2Power(0, 1L << 20), 256);
    EXPECT_EQ(Upper2Power(256, 1L << 20), 256);
    EXPECT_EQ(Upper2Power(257, 1L << 20), 512);
    EXPECT_EQ(Upper2Power(4096, 4096), 4096);
    EXPECT_EQ(Upper2Power(4097, 8192), 8192);
    EXPECT_EQ(Upper2Power(3 * 349525, 1L << 20), 1L << 20);
    EXPECT_EQ(Upper2Power(5, 8), 256);  // p = 8 fits Nmax, then raised to 256
}

TEST(Upper2PowerTest, TooBigIsFatal) {
    ZEPRIX_EXPECT_FATAL(Upper2Power(5000, 4096), "Error in Upper2Power , N=8192 is too big\n");
}

TEST(InitFFTTest, SecondCallSameSizeKeepsTables) {
    ZEPRIX_IN_CHILD({
        InitFFT(1L << 16);
        const double* x = State().X;
        const double* t2 = State().twiddle2;
        const auto mem = numbers::gMemoryCounter;
        InitFFT(1L << 16);
        EXPECT_EQ(State().X, x);
        EXPECT_EQ(State().twiddle2, t2);
        EXPECT_EQ(numbers::gMemoryCounter, mem);
    });
}

TEST(InitFFTTest, SessionsOfOtherSizesCoexist) {
    EnsureFFT();
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
    EXPECT_EQ(State().NFFT, kTestNFFT);
}

// Sizes and memory: 8 (24T + 3b + 4n + 6s + 8192 + 47) bytes in eight blocks of 32 bytes
// overhead each, then the scratch number and the work array of the setup.
void ExpectSizes(long n, long s, long T, long columns) {
    InitFFT(n);
    EXPECT_EQ(State().s, s);
    EXPECT_EQ(State().T, T);
    EXPECT_EQ(State().columnCount, columns);
    const long b = std::max(16 * s, 4096L);
    const std::int64_t tables = 8 * (24 * T + 3 * b + 4 * n + 6 * s + 8192 + 47) + 8 * 32;
    EXPECT_EQ(State().memoryBytes, tables);
    SetupFFTWithWork(n);
    EXPECT_EQ(ScratchBigInt().SizeAlloc, n / 3);
    EXPECT_NE(FFTWorkArray(), nullptr);
}

TEST(InitFFTTest, SizesAndMemory64k) {
    ZEPRIX_IN_CHILD({
        numbers::gMemoryCounter = 12345;
        ExpectSizes(1L << 16, 256, 4096, 256);
        // The split rule with column count 256.
        EXPECT_EQ(SplitRule(1L << 16).R, 256);
        EXPECT_EQ(SplitRule(1L << 16).C, 256);
    });
}

TEST(InitFFTTest, SizesAndMemory1M) {
    ZEPRIX_IN_CHILD({
        ExpectSizes(1L << 20, 1024, 4096, 1024);
        // Column count 1024: 2^16 points get 128 rows of 512.
        EXPECT_EQ(SplitRule(1L << 16).R, 128);
        EXPECT_EQ(SplitRule(1L << 16).C, 512);
        EXPECT_EQ(SplitRule(1L << 20).R, 1024);
        EXPECT_EQ(SplitRule(1L << 20).C, 1024);
    });
}

TEST(InitFFTTest, SizesSmallAndOdd) {
    ZEPRIX_IN_CHILD({
        ExpectSizes(1L << 21, 2048, 4096, 1024);
        EXPECT_EQ(SplitRule(1L << 21).R, 2048);
        EXPECT_EQ(SplitRule(1L << 21).C, 1024);
        EXPECT_EQ(SplitRule(1L << 18).R, 256);  // 512 rows would leave 512 < 1024 columns
        EXPECT_EQ(SplitRule(1L << 18).C, 1024);
    });
}

TEST(RevBinTest, BlocksAreBitReversals) {
    EnsureFFT();
    for (long m = 1; m <= State().T; m *= 2) {
        const std::uint16_t* p = FFTUtilities::GetRevBinArray(m);
        long bits = 0;
        while ((1L << bits) < m) ++bits;
        for (long i = 0; i < m; ++i) {
            long r = 0;
            for (long k = 0; k < bits; ++k)
                if (i & (1L << k)) r |= 1L << (bits - 1 - k);
            ASSERT_EQ(p[i], r) << "m=" << m << " i=" << i;
        }
    }
}

TEST(RevBinTest, TooLargeIsFatal) {
    EnsureFFT();
    ZEPRIX_EXPECT_FATAL(FFTUtilities::GetRevBinArray(2 * State().T),
                        "Error in FFTUtilities::GetRevBinArray, N is too large");
}

TEST(TwoMulTest, TooLargeIsFatal) {
    EnsureFFT();
    numbers::BigInt a, r1, r2;
    a.Alloc(2000);
    r1.Alloc(5000);
    r2.Alloc(5000);
    a._N = 1500;  // 4500 digits: a transform of 8192 > NFFT / 2
    ZEPRIX_EXPECT_FATAL(TwoMulBigInt(a, a, a, a, a, nullptr, r1, r2, nullptr),
                        "Error in TwoMulBigInt, BigInts are two large");
    a.Free();
    r1.Free();
    r2.Free();
}

// The exactness guard: digits of 2^24 in magnitude make a convolution far beyond what a
// double transform rounds exactly; the guard must stop with the FFT size in the message.
TEST(RoundingGuardTest, FiresWhenForced) {
    EnsureFFT();
    std::vector<double> a = RandomDigits(kTestNFFT, -(1L << 24), 1L << 24);
    std::vector<double> b = RandomDigits(kTestNFFT, -(1L << 24), 1L << 24);
    ZEPRIX_EXPECT_FATAL(testing::ConvolutionRoundingDistance(a.data(), b.data(), kTestNFFT, true),
                        "is too large for FFT size 8192");
}

TEST(RoundingGuardTest, QuietOnValidDigits) {
    EnsureFFT();
    for (long n = 256; n <= kTestNFFT; n *= 2) {
        std::vector<double> a = RandomDigits(n, -10000, 10000), b = RandomDigits(n, -10000, 10000);
        const double d = testing::ConvolutionRoundingDistance(a.data(), b.data(), n, true);
        EXPECT_LT(d, 0.01) << n;
        std::vector<double> c(static_cast<std::size_t>(n), 10000.0);
        EXPECT_LT(testing::ConvolutionRoundingDistance(c.data(), c.data(), n, true), 0.01) << n;
    }
}

}  // namespace
}  // namespace zeprix::fft::test
