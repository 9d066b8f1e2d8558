// Hypergeometric series definitions: the mode 0 conversion, the checks and their
// messages, the approximate value, and the definition dialogue.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "numbers/big_int.hpp"
#include "oracle.hpp"
#include "shell/fake_constant.hpp"
#include "support/test_support.hpp"
#include "userconst/file_constant.hpp"
#include "userconst/hypergeom.hpp"

namespace zeprix::test {
namespace {

using userconst::Hypergeom;

std::string Str(const userconst::Int& x) { return ToMpz(x.get()).str(); }
std::string Str(const userconst::Fraction& f) { return Str(f.num) + "/" + Str(f.den); }

// A general series from its texts.
std::unique_ptr<Hypergeom> General(long mode, const char* alpha, const char* beta, const char* F,
                                   const char* G, const char* Z) {
    auto h = std::make_unique<Hypergeom>(0);
    h->definitionMode = mode;
    h->textAlpha = std::string(alpha);
    h->textBeta = std::string(beta);
    h->textF = std::string(F);
    h->textG = std::string(G);
    h->textZ = std::string(Z);
    std::string why;
    EXPECT_TRUE(h->BuildFromTexts(why)) << why;
    return h;
}

std::unique_ptr<Hypergeom> OfType(long type, const char* Z) {
    auto h = std::make_unique<Hypergeom>(type);
    h->textZ = std::string(Z);
    std::string why;
    EXPECT_TRUE(h->BuildFromTexts(why)) << why;
    return h;
}

class SeriesTest : public ::testing::Test {
protected:
    void SetUp() override { numbers::InitSmallIntConstants(); }
};

TEST_F(SeriesTest, ModeZeroConversion) {
    // log 1/(1 - 1/2): the first term 1/2 moves into alpha; the product form has
    // F = n (n + 1 - 1 ... ) with ratio n/(n + 1) Z.
    auto h = OfType(3, "1/2");
    EXPECT_EQ(Str(h->beta), "1/2");
    EXPECT_DOUBLE_EQ(h->alpha.Value(), 0.5);
    EXPECT_DOUBLE_EQ(h->Rate(), 2.0);
    EXPECT_NEAR(h->ApproximateValue(), std::log(2.0), 1e-13);
    // arctan(1/5) and arctanh(1/2): Z^2 = 1/25 (negated) and 1/4.
    auto a = OfType(1, "1/5");
    EXPECT_EQ(Str(a->Z), "-1/25");
    EXPECT_NEAR(a->ApproximateValue(), std::atan(0.2), 1e-14);
    auto b = OfType(2, "1/2");
    EXPECT_NEAR(b->ApproximateValue(), std::atanh(0.5), 1e-13);
    EXPECT_DOUBLE_EQ(b->Rate(), 4.0);
    // A definition mode other than 1 (here 7) is mode 0.
    auto g = General(7, "0", "1", "1", "n^2", "1/2");
    EXPECT_NEAR(g->ApproximateValue(), M_PI * M_PI / 12 - std::log(2.0) * std::log(2.0) / 2, 1e-13);
    // Mode 1: sum 1/(n! 2^n) with alpha 0: e^(1/2) - 1, rate 2 in the check's sense...
    // F = 1 and G = n have different degrees, which the check refuses.
    auto e = General(1, "0", "1", "1", "n", "1/2");
    EXPECT_EQ(e->CheckMessage(), "Error, F and G must have the same degree\n");
}

TEST_F(SeriesTest, ProductsBeyondDoublesKeepTheExactForm) {
    // F(n+1) G(n) has coefficients near 10^16: no double form.
    auto h = General(0, "0", "1", "99999999*n + 1", "99999999*n + 2", "1/2");
    EXPECT_EQ(dynamic_cast<userconst::PolynomStandard*>(h->F.get()) != nullptr, true);
    EXPECT_EQ(dynamic_cast<userconst::PolynomStandard*>(h->G.get()) != nullptr, true);
    EXPECT_EQ(h->CheckMessage(), "");
    double s = 0, z = 0.5;
    for (int n = 1; n < 80; ++n, z /= 2) s += (99999999.0 * n + 1) / (99999999.0 * n + 2) * z;
    EXPECT_NEAR(h->ApproximateValue(), s, 1e-13);
    // Small products take the double form.
    auto d = General(0, "0", "1", "n+1", "n+2", "1/2");
    EXPECT_NE(dynamic_cast<userconst::PolynomDouble*>(d->F.get()), nullptr);
}

TEST_F(SeriesTest, ChecksAndTheirMessages) {
    EXPECT_EQ(General(1, "0", "1", "n", "n^2+1", "1/2")->CheckMessage(),
              "Error, F and G must have the same degree\n");
    EXPECT_EQ(General(1, "0", "1", "n", "n+5", "1")->CheckMessage(),
              "Error, the series is not geometrically convergent, rate=1.000000\n");
    EXPECT_EQ(General(1, "0", "1", "3n", "n+5", "1/2")->CheckMessage(),
              "Error, the series is not geometrically convergent, rate=0.666667\n");
    EXPECT_EQ(General(1, "0", "1", "n", "n - 3", "1/2")->CheckMessage(),
              "Error, the polynomial G vanish at the value n=3\n");
    // Zeros beyond n = 10 are found too (they would divide by zero in the series).
    EXPECT_EQ(General(1, "0", "1", "n", "n - 11", "1/2")->CheckMessage(),
              "Error, the polynomial G vanish at the value n=11\n");
    EXPECT_EQ(General(1, "0", "1", "n^2", "(n - 4321)*(n+1)", "1/3")->CheckMessage(),
              "Error, the polynomial G vanish at the value n=4321\n");
    EXPECT_EQ(General(1, "0", "1", "n", "2n - 11", "1/2")->CheckMessage(), "");
    // Mode 0: a zero of F at n + 1 shows as a zero of G at n; F(1) = 0 stops the
    // product form before it starts.
    EXPECT_EQ(General(0, "0", "1", "n - 4", "n^2", "1/2")->CheckMessage(),
              "Error, the polynomial G vanish at the value n=4\n");
    EXPECT_EQ(General(0, "0", "1", "n - 1", "n^2", "1/2")->CheckMessage(),
              "Error, F(1) and G(1) must not be zero in definition mode 0\n");
    // Negative G and Z are fine.
    auto h = General(1, "0", "1", "n", "-2n-1", "-1/2");
    EXPECT_EQ(h->CheckMessage(), "");
    double t = 1, s = 0;
    for (int n = 1; n < 100; ++n) s += (t *= n / (-2.0 * n - 1) * -0.5);
    EXPECT_NEAR(h->ApproximateValue(), s, 1e-14);
    // An invalid type is a series that the checks refuse.
    Hypergeom bad(4);
    EXPECT_EQ(bad.CheckMessage(), "Error, the series type should be 0, 1, 2 or 3\n");
}

TEST_F(SeriesTest, TermCountCoversLateDecay) {
    // prod (i + 100)/i (1/2) = C(n + 100, 100) 2^-n: the terms first grow like n^100.
    auto h = General(1, "0", "1", "n + 100", "n", "1/2");
    h->digits = 10000;
    const double need = -10100 * std::log(10.0);
    auto lnTerm = [](double x) {
        return std::lgamma(x + 101) - std::lgamma(x + 1) - std::lgamma(101) - x * std::log(2.0);
    };
    // The count from the rate alone leaves terms far above 10^-(digits + 100)...
    const double plain = (10000 + 100) * std::log(10.0) / std::log(2.0) + 1;
    EXPECT_GT(lnTerm(plain), need + 100 * std::log(10.0));
    // ...the term count goes on until the terms are below it.
    const double x = h->TermCount();
    EXPECT_LT(lnTerm(x), need);
    EXPECT_LT(x, plain + 2000);
}

// In-process computations whose G is negative, for term counts of both parities (the
// engine needs a positive Q: each term is normalised), compared with GMP.
TEST_F(SeriesTest, ComputeWithNegativeDenominatorsAgreesWithGmp) {
    OracleSeries o;
    o.kind = OracleSeries::Mode1;
    o.alpha = {-1, 1};
    o.F = PolyFn({-1, 3});
    o.G = PolyFn({-1, -4});
    o.Z = {-1, 2};
    std::set<long> parities;
    for (double digits : {10000.0, 10001.0, 10002.0, 10003.0, 10005.0}) {
        auto h = General(1, "-1", "1", "3 n - 1", "-4n-1", "-1/2");
        h->SetParameters(digits, 1024, 0);
        {
            ConsoleCapture io("");
            ASSERT_EQ(h->Compute(), 1);
        }
        parities.insert(static_cast<long>(h->N) % 2);
        std::unique_ptr<numbers::BigInt> r = h->TakeResult();
        ASSERT_NE(r, nullptr);
        // r = M 10^(12 Exp); the oracle gives W = floor(|C| 10^digits).
        std::string w = OracleValue({o}, static_cast<long>(digits));
        const bool negative = w[0] == '-';
        w.erase(std::remove(w.begin(), w.end(), '.'), w.end());
        if (negative) w.erase(0, 1);
        Mpz M = MantissaToMpz(*r), W(w.c_str()), p, d;
        ASSERT_LT(r->Exp, 0);
        if (negative) mpz_neg(W.v, W.v);
        mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(digits));
        mpz_mul(M.v, M.v, p.v);
        mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(-12 * r->Exp));
        mpz_fdiv_q(M.v, M.v, p.v);  // floor(C 10^digits) from the program
        mpz_sub(d.v, M.v, W.v);
        EXPECT_LE(mpz_cmpabs_ui(d.v, 1), 0) << digits << " digits: differs by " << d.str();
    }
    EXPECT_EQ(parities.size(), 2u);
}

TEST_F(SeriesTest, DialogueAsksAgainAfterBadInput) {
    // Type 9, then a syntax error, then a fraction with the variable, then a zero
    // denominator, then a good series; the check fails once (rate) and the series is asked again.
    ConsoleCapture io(
        "9\n"                                   // not a type: refused
        "0\n1\n1/0\n1/2\n1\nn+\n n\n n\n(n+1)\nn+7\n1\n"  // rate 1: refused
        "0\n1\n1\n1\nn\n2n+1\n1\n");             // good
    std::unique_ptr<Hypergeom> h;
    int rounds = 0;
    for (;;) {
        ++rounds;
        h = Hypergeom::ChooseSeries();
        if (h->CheckDefinition() == 1) break;
    }
    EXPECT_EQ(rounds, 3);
    const std::string out = io.Output();
    EXPECT_NE(out.find("Error, the series type should be 0, 1, 2 or 3\n"), std::string::npos);
    EXPECT_NE(out.find("Error, the denominator of a fraction cannot be zero\n"), std::string::npos);
    EXPECT_NE(out.find("\nn+\n  ^^^...\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n n\n^^^...\n"), std::string::npos);
    EXPECT_NE(out.find("Error, the series is not geometrically convergent, rate=1.000000\n"),
              std::string::npos);
    EXPECT_EQ(h->textF, "n");
    EXPECT_EQ(h->textG, "2n+1");
    EXPECT_NEAR(h->ApproximateValue(), M_PI / 2, 1e-14);
}

}  // namespace
}  // namespace zeprix::test
