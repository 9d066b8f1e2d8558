// The expression parser (accepted texts, rejected texts with the caret position, limits),
// fractions, and the two polynomial forms against GMP.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/test_support.hpp"
#include "userconst/parser.hpp"

namespace zeprix::test {
namespace {

using userconst::Fraction;
using userconst::Int;
using userconst::ParseExpressionText;

std::string Str(const Int& x) { return ToMpz(x.get()).str(); }
std::string Str(const Fraction& f) { return Str(f.num) + "/" + Str(f.den); }

// The user-constant code needs the SmallInt constants: set once for the whole program.
struct SmallIntConstants : ::testing::Environment {
    void SetUp() override { numbers::InitSmallIntConstants(); }
};
::testing::Environment* const kConstants =
    ::testing::AddGlobalTestEnvironment(new SmallIntConstants);

// The coefficients of n^0, n^1, .. of an accepted text.
std::string Coefficients(const char* text) {
    const userconst::ParseResult r = ParseExpressionText(text, 'n');
    std::string got;
    for (const Int& c : r.poly.c) got.append(" ").append(Str(c));
    return r.ok ? got.erase(0, 1) : "refused";
}

TEST(Parser, AcceptedTextsGiveTheirCoefficients) {
    const std::pair<const char*, const char*> cases[] = {
        {"n", "0 1"},           {"7", "7"},
        {"2n+1", "1 2"},        {"2 n + 1", "1 2"},
        {"n ", "0 1"},          {"(n+1)^3", "1 3 3 1"},
        {"3(n-1)*n", "0 -3 3"}, {"-n^2", "0 0 -1"},
        {"12 34", "1234"},      {"(n+1)*(n+2)", "2 3 1"},
        {"n^0", "1"},           {"(2n+5)^0*3", "3"},
        {"n^1", "0 1"},         {"-(n - 1)^2 + 5", "4 2 -1"},
        {"n - n + 4", "4"},     {"((((n))))", "0 1"}};
    for (const auto& [text, coefs] : cases) EXPECT_EQ(Coefficients(text), coefs) << text;
    EXPECT_EQ(Coefficients("-99999999*99999999"), "-9999999800000001");
    EXPECT_EQ(Coefficients("123456789012345678901234567890*n"), "0 123456789012345678901234567890");
}

// errorPos -1 or 0 both put the caret under the first column.
TEST(Parser, RejectedTextsAndCaretPositions) {
    const std::pair<const char*, long> cases[] = {
        {" n", 0},   {"", 0},   {"n^1000001", 9}, {"n^-1", 2},      {"(n+1)(n+2)", 5}, {"n+", 2},
        {"n*", 2},   {"(n", 2}, {"-", 1},         {"2^3", 1},       {"n n", 2},        {"x", 0},
        {"n+1)", 3}, {"n^", 2}, {"n^ 2 +", 6},    {"(n+1)^3 *", 9}, {"3 + -n", 4},     {"n/2", 1}};
    for (const auto& [text, pos] : cases) {
        const userconst::ParseResult r = ParseExpressionText(text, 'n');
        EXPECT_FALSE(r.ok) << text;
        EXPECT_EQ(std::max(r.errorPos, 0L), pos) << text;
    }
    ConsoleCapture io("");
    EXPECT_EQ(userconst::ParsePolynomial("(n+1)(n+2)"), nullptr);
    EXPECT_EQ(userconst::ParsePolynomial(" n"), nullptr);
    EXPECT_EQ(io.Output(), "Syntax error in your expression : \n\n(n+1)(n+2)\n     ^^^...\n"
                           "Syntax error in your expression : \n\n n\n^^^...\n");
}

// Degree, nesting and size limits refuse with a reason; the largest power allowed is
// exact (GMP's binomials).
TEST(Parser, LimitsRefuseHugeExpressions) {
    for (const std::string& t :
         {std::string("(n^50)*(n^51)"), std::string("(99999999999999999999)^200"),
          std::string(200, '(') + "n" + std::string(200, ')')}) {
        const userconst::ParseResult r = ParseExpressionText(t, 'n');
        EXPECT_TRUE(!r.ok && !r.reason.empty()) << t.substr(0, 40);
    }
    const userconst::ParseResult r = ParseExpressionText("(n+1)^100", 'n');
    ASSERT_TRUE(r.ok);
    for (unsigned long k = 0; k <= 100; k += 7) {
        Mpz b;
        mpz_bin_uiui(b.v, 100, k);
        EXPECT_EQ(Str(r.poly.c[k]), b.str()) << k;
    }
}

TEST(Parser, Fractions) {
    ConsoleCapture io("");
    Fraction f;
    for (const auto& [text, value] :
         {std::pair{"1/3", "1/3"}, std::pair{"2", "2/1"}, std::pair{"-3 / (2*5-12)", "-3/-2"}}) {
        ASSERT_TRUE(userconst::ParseFraction(text, f)) << text;
        EXPECT_EQ(Str(f), value);
    }
    EXPECT_EQ(Str(f.Normalised()), "3/2");
    EXPECT_DOUBLE_EQ(f.Value(), 1.5);
    // The letter % (the variable of fractions) is refused without a message, n with the
    // syntax report, a zero denominator with a note.
    for (const char* refused : {"%/2", "1/(%+1)", "n/2", "1/", "1/0"})
        EXPECT_FALSE(userconst::ParseFraction(refused, f)) << refused;
    EXPECT_EQ(io.Output(), "Syntax error in your expression : \n\nn/2\n^^^...\n"
                           "Syntax error in your expression : \n\n1/\n  ^^^...\n"
                           "Error, the denominator of a fraction cannot be zero\n");
    const Fraction a(Int(1), Int(6)), b(Int(-3), Int(4));  // sum and product, not reduced
    EXPECT_EQ(Str(a + b), "-14/24");
    EXPECT_EQ(Str(a * b), "-3/24");
}

// Random polynomials with coefficients of 14 digits (the double form, which holds values
// below 10^15 only) and 40 digits (the exact form): Value, Shift and LogValue against GMP.
TEST(Parser, BothFormsAgreeWithGmp) {
    for (const auto& [text, doubleForm] :
         {std::pair{"1000000000000000", false}, std::pair{"-1000000000000000*n", false},
          std::pair{"999999999999999*n-999999999999999", true}})
        EXPECT_EQ(ParseExpressionText(text, 'n').poly.Simplify() != nullptr, doubleForm) << text;
    for (int trial = 0; trial < 60; ++trial) {
        const long degree = RandomLong(0, 6);
        std::string text;
        std::vector<Mpz> c;
        for (long i = 0; i <= degree; ++i) {
            c.push_back(RandomSigned(trial % 2 ? 14 : 40, true));
            text += (i ? "+(" : "(") + std::string(mpz_sgn(c.back().v) < 0 ? "0" : "") +
                    c.back().str() + ")*n^" + std::to_string(i);
        }
        const userconst::ParseResult r = ParseExpressionText(text, 'n');
        ASSERT_TRUE(r.ok) << text << SeedNote();
        const auto p = userconst::BestForm(r.poly);
        const auto shifted = p->Shift(1);
        auto horner = [&](double x) {
            Mpz v, xx;
            mpz_set_d(xx.v, x);
            for (long i = degree; i >= 0; --i) {
                mpz_mul(v.v, v.v, xx.v);
                mpz_add(v.v, v.v, c[static_cast<std::size_t>(i)].v);
            }
            return v;
        };
        for (double x : {1.0, 2.0, 999.0, 123456789.0, 1e12}) {
            const Mpz want = horner(x);
            SCOPED_TRACE(text + " at " + std::to_string(x) + SeedNote());
            EXPECT_EQ(Str(p->Value(x)), want.str());
            EXPECT_EQ(Str(shifted->Value(x)), horner(x + 1).str());
            long e = 0;
            const double m = mpz_get_d_2exp(&e, want.v);
            EXPECT_TRUE(m == 0 ||
                        p->LogValue(x) + 1e-9 >=
                            std::log(std::fabs(m)) + static_cast<double>(e) * std::log(2.0));
        }
    }
}

}  // namespace
}  // namespace zeprix::test
