// Largest rounding distance of the FFT product (the quantity the exactness guard watches) for
// worst-case and random operands, at full transform size, for each FFT size given in k points.
// Each size runs in its own child process (the FFT size is fixed once per process).
// Usage: fft_error_scan [size_k ...]   (default: 1024 2048 4096 8192 16384 32768)
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "fft/digits.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"

namespace {

// Operand of n/3 limbs (full transform of n digits) by pattern.
std::vector<double> Operand(long limbs, int pattern, std::uint64_t seed) {
    std::vector<double> x(static_cast<std::size_t>(limbs));
    std::mt19937_64 g(seed);
    for (auto& v : x) {
        switch (pattern) {
            case 0: v = static_cast<double>(g() % 1000000000000ULL); break;  // random
            case 1: v = 500050005000.0; break;   // digits 5000, 5000, 5000: all largest positive
            case 2: v = 500050005001.0; break;   // digits -4998, -4999, -4999: all most negative
            default: v = 999999999999.0; break;  // runs of nines (digits -1, 0, 0)
        }
    }
    return x;
}

int Scan(long sizeK) {
    const long n = sizeK * 1024;
    zeprix::fft::InitFFT(n);
    const long limbs = n / 3;
    const char* names[] = {"random x random", "all 500050005000 squared",
                           "all 500050005001 squared", "all 999999999999 squared"};
    for (int pattern = 0; pattern < 4; ++pattern) {
        std::vector<double> a = Operand(limbs, pattern, 1),
                            b = Operand(limbs, pattern, pattern == 0 ? 2 : 1);
        std::vector<double> da(static_cast<std::size_t>(n)), db(static_cast<std::size_t>(n));
        zeprix::fft::LimbsToDigits(a.data(), limbs, da.data(), n);
        zeprix::fft::LimbsToDigits(b.data(), limbs, db.data(), n);
        const double d =
            zeprix::fft::testing::ConvolutionRoundingDistance(da.data(), db.data(), n, false);
        std::printf("FFT %6ld k  %-28s max distance %.6f%s\n", sizeK, names[pattern], d,
                    d > zeprix::fft::kRoundingGuard ? "  (guard would stop)" : "");
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes = {1024, 2048, 4096, 8192, 16384, 32768};
    for (long k : sizes) {
        std::fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) return Scan(k);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return 0;
}
