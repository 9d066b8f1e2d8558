// Bellard's formula against binary digits of Pi from an independent GMP computation, the
// printing of binary digits, and the checked range of the Pi check.
#include <gtest/gtest.h>

#include <cmath>

#include "support/test_support.hpp"
#include "verify/bellard.hpp"
#include "verify/check_pi.hpp"

namespace zeprix::test {
namespace {

// floor(Pi 2^w) by Machin's formula Pi = 16 atan(1/5) - 4 atan(1/239) in fixed point with
// 64 guard bits; every truncated division errs by less than one unit, far below the guard.
Mpz PiFixed(unsigned long w) {
    const unsigned long g = w + 64;
    auto atanInv = [g](unsigned long x) {
        Mpz sum, term, t;
        mpz_set_ui(term, 1);
        mpz_mul_2exp(term, term, g);
        mpz_tdiv_q_ui(term, term, x);  // 2^g / x^(2k+1)
        for (unsigned long k = 0; mpz_sgn(term.v) != 0; ++k) {
            mpz_tdiv_q_ui(t, term, 2 * k + 1);
            if (k & 1)
                mpz_sub(sum, sum, t);
            else
                mpz_add(sum, sum, t);
            mpz_tdiv_q_ui(term, term, x * x);
        }
        return sum;
    };
    Mpz a = atanInv(5), b = atanInv(239), pi;
    mpz_mul_ui(a, a, 16);
    mpz_mul_ui(b, b, 4);
    mpz_sub(pi, a, b);
    mpz_fdiv_q_2exp(pi, pi, 64);
    return pi;
}

// The 53 bits of frac(2^p Pi) from floor(Pi 2^w), w >= p + 53 + 16.
double FracFromFixed(const Mpz& pi, unsigned long w, unsigned long p) {
    Mpz t;
    mpz_fdiv_q_2exp(t, pi, w - p - 53);
    mpz_fdiv_r_2exp(t, t, 53);
    return std::ldexp(static_cast<double>(mpz_get_ui(t)), -53);
}

TEST(Bellard, FractionMatchesMachinOracle) {
    // Around the places where the series switch from modular to plain terms (e = 0, the
    // -64 and -128 fixed-point limits), tiny and large positions, and the 1000-digit check.
    const long positions[] = {0,  1,   2,   5,   6,    7,    31,    32,    33,     58,    64,
                              70, 122, 128, 134, 1000, 3229, 10007, 65536, 123456, 200003};
    const unsigned long w = 200003 + 53 + 32;
    const Mpz pi = PiFixed(w);
    for (long p : positions) {
        ConsoleCapture io("");
        const double got = verify::BellardFraction(p);
        const double want = FracFromFixed(pi, w, static_cast<unsigned long>(p));
        // Distance modulo 1: within a few units of the last place.
        double d = std::fabs(got - want);
        d = std::min(d, 1 - d);
        EXPECT_LT(d, 0x1p-50) << "p=" << p << " got " << got << " want " << want;
        EXPECT_TRUE(got >= 0 && got < 1) << p;
        EXPECT_EQ(io.Output(), "......\n") << p;
    }
}

TEST(Bellard, PrintBinaryDigits) {
    const std::tuple<double, long, const char*> cases[] = {
        {0.625, 6, "101000\n"},
        {0, 3, "000\n"},
        {0.5, 1, "1\n"},
        {1 - 0x1p-53, 53, "11111111111111111111111111111111111111111111111111111\n"},
        {0x1p-24, 24, "000000000000000000000001\n"},
        {0.3, 0, "\n"},
    };
    for (const auto& [x, n, want] : cases) {
        ConsoleCapture io("");
        verify::PrintBinaryDigits(x, n);
        EXPECT_EQ(io.Output(), want) << x;
    }
}

// The checked digits stay 100 below the end and are a multiple of 36; the position is the
// bit length of 10^checked, so that 2^(p-1) < 10^checked < 2^p.
TEST(CheckPi, IndexClamping) {
    const std::tuple<double, double, double> cases[] = {
        // index, file digits, checked
        {1000, 1e6, 972},
        {1e6, 1e6, 999900},
        {5e9, 1e6, 999900},
        {35, 1e6, 0},
        {36, 1e6, 36},
        {71, 1e6, 36},
        {10000, 10000, 9900},
        {9937, 10000, 9900},
        {9899, 10000, 9864},
        {136, 136, 36},
        {1e9 + 7, 2e9, 999999972},
        {123456789, 1e9, 123456780},
    };
    for (const auto& [index, digits, checked] : cases) {
        const verify::CheckRange r = verify::ClampCheckIndex(index, digits);
        EXPECT_EQ(r.checked, checked) << index << " of " << digits;
        if (checked == 0 || checked > 1e6) continue;  // 10^checked kept small
        Mpz ten = Pow10(static_cast<long>(checked));
        EXPECT_EQ(r.position, static_cast<long>(mpz_sizeinbase(ten, 2))) << index;
    }
    EXPECT_EQ(verify::ClampCheckIndex(1000, 1e6).position, 3229);
}

}  // namespace
}  // namespace zeprix::test
