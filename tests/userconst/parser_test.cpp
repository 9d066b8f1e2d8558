// The expression parser (accepted texts, rejected texts with the caret position, limits),
// fractions, and the two polynomial forms against GMP.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/fake_constant.hpp"
#include "support/test_support.hpp"
#include "userconst/parser.hpp"

namespace zeprix::test {
namespace {

using userconst::Fraction;
using userconst::Int;
using userconst::ParseExpressionText;
using userconst::PolynomStandard;

std::string Str(const Int& x) { return ToMpz(x.get()).str(); }

// Coefficients c_0 .. c_d as decimal texts.
std::vector<std::string> Coefs(const PolynomStandard& p) {
    std::vector<std::string> v;
    for (const Int& c : p.c) v.push_back(Str(c));
    return v;
}

class ParserTest : public ::testing::Test {
protected:
    void SetUp() override { numbers::InitSmallIntConstants(); }
};

struct Accepted {
    const char* text;
    std::vector<std::string> coefs;
};

TEST_F(ParserTest, AcceptedTexts) {
    const Accepted cases[] = {
        {"n", {"0", "1"}},
        {"7", {"7"}},
        {"2n+1", {"1", "2"}},
        {"2 n + 1", {"1", "2"}},
        {"n ", {"0", "1"}},
        {"2 n", {"0", "2"}},
        {"(n+1)^3", {"1", "3", "3", "1"}},
        {"3(n-1)*n", {"0", "-3", "3"}},
        {"-n^2", {"0", "0", "-1"}},
        {"12 34", {"1234"}},
        {"(n+1)*(n+2)", {"2", "3", "1"}},
        {"n^0", {"1"}},              // x^0 is the polynomial 1
        {"(2n+5)^0*3", {"3"}},
        {"n^1", {"0", "1"}},
        {"-(n - 1)^2 + 5", {"4", "2", "-1"}},
        {"n - n + 4", {"4"}},        // leading zeros are dropped: degree 0
        {"((((n))))", {"0", "1"}},
        {"123456789012345678901234567890*n", {"0", "123456789012345678901234567890"}},
        {"-99999999*99999999", {"-9999999800000001"}},
    };
    for (const Accepted& c : cases) {
        const userconst::ParseResult r = ParseExpressionText(c.text, 'n');
        ASSERT_TRUE(r.ok) << c.text << " error at " << r.errorPos;
        EXPECT_EQ(Coefs(r.poly), c.coefs) << c.text;
        EXPECT_EQ(r.poly.Degree(), static_cast<long>(c.coefs.size()) - 1) << c.text;
    }
}

struct Rejected {
    const char* text;
    long errorPos;  // -1 or 0 both put the caret under the first column
};

TEST_F(ParserTest, RejectedTextsAndCaretPositions) {
    const Rejected cases[] = {
        {" n", 0},           {"", 0},         {"n^1000001", 9}, {"n^-1", 2},
        {"(n+1)(n+2)", 5},   {"n+", 2},       {"n*", 2},        {"(n", 2},
        {"-", 1},            {"2^3", 1},      {"n n", 2},       {"x", 0},
        {"n+1)", 3},         {"n^", 2},       {"n^ 2 +", 6},    {"(n+1)^3 *", 9},
        {"3 + -n", 4},       {"n/2", 1},
    };
    for (const Rejected& c : cases) {
        const userconst::ParseResult r = ParseExpressionText(c.text, 'n');
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(std::max(r.errorPos, 0L), c.errorPos) << c.text;
    }
}

TEST_F(ParserTest, SyntaxErrorReportPutsTheCaretUnderTheError) {
    ConsoleCapture io("");
    EXPECT_EQ(userconst::ParsePolynomial("(n+1)(n+2)"), nullptr);
    EXPECT_EQ(userconst::ParsePolynomial(" n"), nullptr);
    EXPECT_EQ(io.Output(),
              "Syntax error in your expression : \n\n(n+1)(n+2)\n     ^^^...\n"
              "Syntax error in your expression : \n\n n\n^^^...\n");
}

TEST_F(ParserTest, LimitsRefuseHugeExpressionsQuickly) {
    for (const char* t : {"n^101", "n^1000000", "(n+1)^1000000", "(n^50)*(n^51)",
                          "(99999999999999999999)^200"}) {
        const userconst::ParseResult r = ParseExpressionText(t, 'n');
        EXPECT_FALSE(r.ok) << t;
        EXPECT_FALSE(r.reason.empty()) << t;
    }
    const std::string deep = std::string(200, '(') + "n" + std::string(200, ')');
    EXPECT_FALSE(ParseExpressionText(deep, 'n').ok);
    EXPECT_FALSE(ParseExpressionText(std::string(3000, '9'), 'n').ok);
    // The largest power allowed, checked against GMP's binomials.
    const userconst::ParseResult r = ParseExpressionText("(n+1)^100", 'n');
    ASSERT_TRUE(r.ok);
    for (unsigned long k = 0; k <= 100; k += 7) {
        Mpz b;
        mpz_bin_uiui(b.v, 100, k);
        EXPECT_EQ(Str(r.poly.c[k]), b.str()) << k;
    }
}

TEST_F(ParserTest, Fractions) {
    ConsoleCapture io("");
    Fraction f;
    ASSERT_TRUE(userconst::ParseFraction("1/3", f));
    EXPECT_EQ(Str(f.num) + "/" + Str(f.den), "1/3");
    ASSERT_TRUE(userconst::ParseFraction("2", f));
    EXPECT_EQ(Str(f.num) + "/" + Str(f.den), "2/1");
    ASSERT_TRUE(userconst::ParseFraction("-3 / (2*5-12)", f));
    EXPECT_EQ(Str(f.Normalised().num) + "/" + Str(f.Normalised().den), "3/2");
    EXPECT_DOUBLE_EQ(f.Value(), 1.5);
    EXPECT_EQ(io.Output(), "");
    // The letter % is the variable of fractions: refused without a message.
    EXPECT_FALSE(userconst::ParseFraction("%/2", f));
    EXPECT_FALSE(userconst::ParseFraction("1/(%+1)", f));
    EXPECT_EQ(io.Output(), "");
    // n is not a variable of fractions: a syntax error with its report.
    EXPECT_FALSE(userconst::ParseFraction("n/2", f));
    EXPECT_FALSE(userconst::ParseFraction("1/", f));
    EXPECT_FALSE(userconst::ParseFraction("1/0", f));
    EXPECT_EQ(io.Output(),
              "Syntax error in your expression : \n\nn/2\n^^^...\n"
              "Syntax error in your expression : \n\n1/\n  ^^^...\n"
              "Error, the denominator of a fraction cannot be zero\n");
    // Sum and product, not reduced.
    const Fraction a(Int(1), Int(6)), b(Int(-3), Int(4));
    const Fraction s = a + b, p = a * b;
    EXPECT_EQ(Str(s.num) + "/" + Str(s.den), "-14/24");
    EXPECT_EQ(Str(p.num) + "/" + Str(p.den), "-3/24");
}

TEST_F(ParserTest, DoubleFormOnlyBelowTenToTheFifteen) {
    auto form = [](const char* t) { return ParseExpressionText(t, 'n').poly.Simplify() != nullptr; };
    EXPECT_FALSE(form("1000000000000000"));
    EXPECT_FALSE(form("-1000000000000000*n"));
    EXPECT_TRUE(form("999999999999999*n-999999999999999"));
    EXPECT_TRUE(form("n^2+1"));
}

// Random polynomials in both forms: Evaluate, Shift and LogValue against GMP's Horner.
TEST_F(ParserTest, EvaluateAndShiftAgreeWithGmp) {
    std::mt19937_64& rng = Rng();
    for (int trial = 0; trial < 60; ++trial) {
        const int degree = static_cast<int>(rng() % 7);
        const long digits = trial % 2 ? 14 : 40;  // double form, then exact form
        std::string text;
        std::vector<Mpz> c;
        for (int i = 0; i <= degree; ++i) {
            c.push_back(RandomSigned(digits, true));
            // `+` first on its own: g++ 12 gives a false-positive -Wrestrict for
            // `const char* + std::string` (in std::string's inlined insert).
            if (i) text += '+';
            text += std::string("(") + (mpz_sgn(c.back().v) < 0 ? "0" : "") + c.back().str() +
                    ")*n^" + std::to_string(i);
        }
        const userconst::ParseResult r = ParseExpressionText(text, 'n');
        ASSERT_TRUE(r.ok) << text << " seed " << Seed();
        const auto p = userconst::BestForm(r.poly);
        const auto shifted = p->Shift(1);
        for (double x : {1.0, 2.0, 999.0, 123456789.0, 1e12}) {
            Mpz want, want1, xx, x1;
            mpz_set_d(xx.v, x);
            mpz_set_d(x1.v, x + 1);
            for (int i = degree; i >= 0; --i) {
                mpz_mul(want.v, want.v, xx.v);
                mpz_add(want.v, want.v, c[static_cast<std::size_t>(i)].v);
                mpz_mul(want1.v, want1.v, x1.v);
                mpz_add(want1.v, want1.v, c[static_cast<std::size_t>(i)].v);
            }
            EXPECT_EQ(Str(p->Value(x)), want.str()) << text << " at " << x << " seed " << Seed();
            EXPECT_EQ(Str(shifted->Value(x)), want1.str()) << text << " at " << x;
            if (mpz_sgn(want.v) != 0) {
                Mpz a;
                mpz_abs(a.v, want.v);
                long e = 0;
                const double m = mpz_get_d_2exp(&e, a.v);
                EXPECT_GE(p->LogValue(x) + 1e-9, std::log(m) + static_cast<double>(e) * std::log(2.0));
            }
        }
    }
}

TEST_F(ParserTest, NegativePowerIsFatal) {
    const PolynomStandard n = PolynomStandard::Variable();
    ZEPRIX_EXPECT_FATAL(n.Power(-1), "Error in PolynomStandard::Power, power should be positive");
}

}  // namespace
}  // namespace zeprix::test
