// Helpers of the FFT tests: the process-wide FFT size, digit generators, naive convolution.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <vector>

#include "fft/fft_state.hpp"
#include "support/test_support.hpp"

namespace zeprix::fft::test {

// The FFT size of the main test process: small enough that operands of several NFFT/3
// pieces stay cheap, large enough that both the small path (n <= 4096) and the four-step
// form (n = 8192) run. Other sizes run in child processes (death-test style threadsafe).
inline constexpr long kTestNFFT = 8192;

inline void EnsureFFT() { InitFFT(kTestNFFT); }

// Runs the statements in a fresh child process (the test binary re-executed for this test
// alone) so that they may fix their own FFT size. The child's standard output goes to its
// standard error, so that its assertion failures show in the parent's report; the child
// exits with 1 when an assertion failed, 0 otherwise.
#define ZEPRIX_IN_CHILD(...)                                                               \
    do {                                                                                   \
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";                            \
        EXPECT_EXIT((dup2(2, 1), [&] { __VA_ARGS__; }(), std::fflush(stdout),              \
                     std::_Exit(::testing::Test::HasFailure() ? 1 : 0)),                   \
                    ::testing::ExitedWithCode(0), "");                                     \
    } while (0)

// Random digits in [lo, hi].
inline std::vector<double> RandomDigits(long n, long lo, long hi) {
    std::uniform_int_distribution<long> dist(lo, hi);
    std::vector<double> d(static_cast<std::size_t>(n));
    for (auto& x : d) x = static_cast<double>(dist(zeprix::test::Rng()));
    return d;
}

// Exact linear convolution value at index k of two digit sequences of length n.
inline std::int64_t ConvAt(const std::vector<double>& a, const std::vector<double>& b, long k) {
    const long n = static_cast<long>(a.size());
    std::int64_t s = 0;
    for (long i = std::max(0L, k - n + 1); i <= std::min(k, n - 1); ++i)
        s += static_cast<std::int64_t>(a[static_cast<std::size_t>(i)]) *
             static_cast<std::int64_t>(b[static_cast<std::size_t>(k - i)]);
    return s;
}

// 64-byte aligned buffer of doubles.
struct AlignedBuffer {
    double* p = nullptr;
    explicit AlignedBuffer(long n) {
        p = static_cast<double*>(std::aligned_alloc(64, static_cast<std::size_t>((n * 8 + 63) / 64 * 64)));
    }
    ~AlignedBuffer() { std::free(p); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
};

}  // namespace zeprix::fft::test
