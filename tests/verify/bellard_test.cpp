// Bellard's formula against binary digits of Pi from GMP (support/gmp_constants), and the
// checked range of the Pi check.
#include <gtest/gtest.h>

#include <cmath>

#include "support/gmp_constants.hpp"
#include "support/test_support.hpp"
#include "verify/bellard.hpp"
#include "verify/check_pi.hpp"

namespace zeprix::test {
namespace {

// floor(Pi 2^w) from D decimals of Pi by GMP, D far beyond w log10(2): the truncation
// touches only bits far below those used.
Mpz PiFixed(unsigned long w) {
    const long D = static_cast<long>(static_cast<double>(w) * 0.30103) + 40;
    std::string digits = GmpPi(D);
    digits.erase(1, 1);  // the point
    Mpz pi(digits.c_str());
    mpz_mul_2exp(pi, pi, w);
    return DropDigits(pi, D);
}

// The 53 bits of frac(2^p Pi) from floor(Pi 2^w), w >= p + 53 + 16.
double FracFromFixed(const Mpz& pi, unsigned long w, unsigned long p) {
    Mpz t;
    mpz_fdiv_q_2exp(t, pi, w - p - 53);
    mpz_fdiv_r_2exp(t, t, 53);
    return std::ldexp(static_cast<double>(mpz_get_ui(t)), -53);
}

TEST(Bellard, FractionMatchesGmpDigitsOfPi) {
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

// The checked digits stay 100 below the end and are a multiple of 36; the position is the
// bit length of 10^checked, so that 2^(p-1) < 10^checked < 2^p.
TEST(CheckPi, IndexClamping) {
    const std::tuple<double, double, double> cases[] = {
        // index, file digits, checked
        {1000, 1e6, 972},    {5e9, 1e6, 999900},  {35, 1e6, 0},   {71, 1e6, 36},
        {9937, 10000, 9900}, {9899, 10000, 9864}, {136, 136, 36}, {1e9 + 7, 2e9, 999999972}};
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
