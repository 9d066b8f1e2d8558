// Hypergeometric series definitions: the checks and their messages, and computations in
// process against GMP. (The built-in types and both definition modes: the example files and
// the constants defined through menu 5, computed by the program against GMP.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

#include "numbers/big_int.hpp"
#include "oracle.hpp"
#include "support/test_support.hpp"
#include "userconst/hypergeom.hpp"

namespace zeprix::test {
namespace {

using userconst::Hypergeom;

// A general series (type 0, beta 1) from its texts.
std::unique_ptr<Hypergeom> General(long mode, const std::string& F, const std::string& G,
                                   const std::string& Z, const std::string& alpha = "0") {
    auto h = std::make_unique<Hypergeom>(0);
    h->definitionMode = mode;
    std::tie(h->textAlpha, h->textBeta, h->textF, h->textG, h->textZ) =
        std::make_tuple(alpha, "1", F, G, Z);
    std::string why;
    EXPECT_TRUE(h->BuildFromTexts(why)) << why;
    return h;
}

TEST(Series, ChecksAndTheirMessages) {
    const std::string degree =
                          "Error, the series diverges: the degree of F is above the degree of G\n",
                      rate = "Error, the series is not geometrically convergent, rate=",
                      vanish = "Error, the polynomial G vanish at the value n=";
    const std::string cases[][5] = {
        // mode, F, G, Z, message
        {"1", "1", "n", "1/2", ""},  // exp(1/2): faster than geometric
        {"1", "n", "n^2+1", "-7", ""},
        {"1", "n^2", "n+1", "1/2", degree},
        {"1", "n", "n+5", "1", rate + "1.000000\n"},
        {"1", "3n", "n+5", "1/2", rate + "0.666667\n"},
        {"1", "n", "n - 3", "1/2", vanish + "3\n"},
        {"1", "n", "n - 11", "1/2", vanish + "11\n"},  // beyond 10 too
        {"1", "n^2", "(n - 4321)*(n+1)", "1/3", vanish + "4321\n"},
        {"1", "n", "2n - 11", "1/2", ""},
        // Mode 0: a zero of F at n + 1 shows as a zero of G at n; F(1) = 0 stops the
        // product form before it starts.
        {"0", "n - 4", "n^2", "1/2", vanish + "4\n"},
        {"0", "n - 1", "n^2", "1/2",
         "Error, F(1) and G(1) must not be zero in definition mode 0\n"}};
    for (const auto& c : cases)
        EXPECT_EQ(General(std::stol(c[0]), c[1], c[2], c[3])->CheckMessage(), c[4])
            << c[1] << " / " << c[2];
    EXPECT_EQ(Hypergeom(4).CheckMessage(), "Error, the series type should be 0, 1, 2 or 3\n");
}

// floor(|C| 10^digits) of a series computed in process, as the oracle writes it.
std::string ComputedValue(Hypergeom& h, long digits, long fft) {
    h.SetParameters(static_cast<double>(digits), fft, 0);
    {
        ConsoleCapture io("");
        EXPECT_EQ(h.Compute(), 1);
    }
    std::unique_ptr<numbers::BigInt> r(h.TakeResult());
    if (!r || r->Exp >= 0) return "no result";
    Mpz M = Mul(MantissaToMpz(*r), Pow10(digits));
    mpz_tdiv_q(M.v, M.v, Pow10(-12 * r->Exp).v);
    const char* sign = mpz_sgn(M.v) < 0 ? "-" : "";
    mpz_abs(M.v, M.v);
    std::string s = M.str();
    if (s.size() <= static_cast<std::size_t>(digits))
        s.insert(0, static_cast<std::size_t>(digits) + 1 - s.size(), '0');
    const std::size_t point = s.size() - static_cast<std::size_t>(digits);
    return sign + s.substr(0, point) + "." + s.substr(point);
}

// The last digit may differ by one unit (the oracle truncates each term).
void ExpectSameDigits(std::string got, std::string want, const std::string& what) {
    for (std::string* t : {&got, &want}) t->erase(std::remove(t->begin(), t->end(), '.'), t->end());
    Mpz d(got.c_str());
    mpz_sub(d.v, d.v, Mpz(want.c_str()).v);
    EXPECT_LE(mpz_cmpabs_ui(d.v, 1), 0) << what << ": differs by " << d.str();
}

// A mode 1 series with alpha 1 (or `alpha`) computed in process at each of `digits` and
// FFT sizes, against a direct GMP summation of `o`.
void ExpectComputed(const char* F, const char* G, const char* Z, const OracleSeries& o,
                    const std::vector<long>& digits, const std::vector<long>& ffts,
                    const char* alpha = "1") {
    for (long d : digits) {
        const std::string want = OracleValue({o}, d);
        for (long fft : ffts) {
            auto h = General(1, F, G, Z, alpha);
            EXPECT_EQ(h->CheckMessage(), "");
            ExpectSameDigits(ComputedValue(*h, d, fft), want,
                             std::string(F) + " / " + G + ", Z = " + Z + ", " + std::to_string(d) +
                                 " digits, FFT " + std::to_string(fft));
        }
    }
}

// In process against GMP: a negative G, for term counts of both parities (the engine
// needs a positive Q: each term is normalised); terms that first grow like n^100 (the
// count from the rate alone would stop while they are far above 10^-digits); terms that
// fall faster than geometrically: exp(1/2), exp(-3/7), exp(5) (the terms first grow),
// exp(-30) (terms up to 10^11 that cancel down to 10^-13), cosh(1) = sum 1/(2n)! and
// I0(1) = sum (1/4)^n / (n!)^2.
TEST(Series, ComputationsAgreeWithGmp) {
    ExpectComputed("3 n - 1", "-4n-1", "-1/2", M1({1, 1}, {-1, 1}, {-1, 2}, {-1, 3}, {-1, -4}),
                   {10000, 10001, 10002, 10003, 10005}, {1024}, "-1");
    ExpectComputed("n + 100", "n", "1/2", M1({1, 1}, {1, 1}, {1, 2}, {100, 1}, {0, 1}), {10000},
                   {1024});
    const std::tuple<const char*, const char*, Rat, std::vector<long>> fast[] = {
        {"n", "1/2", {1, 2}, {0, 1}},
        {"n", "-3/7", {-3, 7}, {0, 1}},
        {"n", "5", {5, 1}, {0, 1}},
        {"n", "-30", {-30, 1}, {0, 1}},
        {"(2n-1)*2n", "1", {1, 1}, {0, -2, 4}},
        {"n^2", "1/4", {1, 4}, {0, 0, 1}}};
    for (const auto& [G, Z, z, g] : fast)
        ExpectComputed("1", G, Z, M1({1, 1}, {1, 1}, z, {1}, g), {10000, 23456}, {1024});
}

// 1 + sum_n prod_{i<=n} i^d / (2 (i + 1)^d) = 1 + sum_n 2^-n / (n + 1)^d: the series of
// every degree computes, whatever its step layout. Late steps reach only a few limbs of
// the result; cut to one limb, a truncated product could keep only a zero top limb and
// the pair became 0 / 0 (for d = 24, 30, 33, ... at 10^4 digits and 1 k points).
TEST(Series, TelescopingSeriesOfEveryDegreeSlow) {
    for (unsigned long d : {1ul, 2ul, 5ul, 23ul, 24ul, 30ul, 33ul}) {
        auto power = [d](long shift) {
            return [shift, d](long n, mpz_t out) {
                mpz_ui_pow_ui(out, static_cast<unsigned long>(n + shift), d);
            };
        };
        const std::string F = "n^" + std::to_string(d), G = "(n+1)^" + std::to_string(d);
        ExpectComputed(F.c_str(), G.c_str(), "1/2",
                       {OracleSeries::Mode1, {1, 1}, {1, 1}, {1, 1}, {1, 2}, power(0), power(1)},
                       d == 30 ? std::vector<long>{10000, 12345} : std::vector<long>{10000},
                       {1024, 2048});
    }
}

}  // namespace
}  // namespace zeprix::test
