// User constants end to end: the example files and constants defined through menu 5 are
// computed by the program (menu 6) in a temporary directory, and their digits compared
// with a direct GMP summation of the same formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "oracle.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using S = OracleSeries;

// scale f(Z) for the log, arctan and arctanh types; scale arctan(1/q), scale arctanh(1/q);
// a mode 0 series (scale 1, alpha 0).
S Typed(S::Kind kind, Rat scale, Rat Z) { return {kind, scale, {0, 1}, {1, 1}, Z, {}, {}}; }
S At(long scale, long q) { return Typed(S::Arctan, {scale, 1}, {1, q}); }
S Ath(long scale, long q) { return Typed(S::Arctanh, {scale, 1}, {1, q}); }
S M0(Rat Z, std::vector<long> F, std::vector<long> G) {
    return {S::Mode0, {1, 1}, {0, 1}, {1, 1}, Z, PolyFn(F), PolyFn(G)};
}

struct Example {
    const char *file, *name, *result;  // in examples/ without the suffix; constant; result file
    std::vector<S> oracle;
};
const Example kExamples[] = {
    {"pi_machin", "Pi", "Pi.txt", {At(16, 5), At(-4, 239)}},
    {"ln2", "ln2", "ln2.txt", {Typed(S::Log, {1, 1}, {1, 2})}},
    {"ln10", "ln10", "ln10.txt", {Ath(46, 31), Ath(34, 49), Ath(20, 161)}},
    {"li2_half", "Li2(1/2)", "Li2(1_2).txt", {M0({1, 2}, {1}, {0, 0, 1})}},
    {"pi_euler", "Pi by Euler", "Pi by Euler.txt", {M1({2, 1}, {1, 1}, {1, 1}, {0, 1}, {1, 2})}},
    {"sqrt2_binomial", "sqrt(2)", "sqrt(2).txt", {M1({1, 1}, {1, 1}, {1, 2}, {-1, 2}, {0, 2})}},
    {"exp_half", "exp(1/2)", "exp(1_2).txt", {M1({1, 1}, {1, 1}, {1, 2}, {1}, {0, 1})}},
    {"cosh1", "cosh(1)", "cosh(1).txt", {M1({1, 1}, {1, 1}, {1, 1}, {1}, {0, -2, 4})}},
    {"i0_1", "I0(1)", "I0(1).txt", {M1({1, 1}, {1, 1}, {1, 4}, {1}, {0, 0, 1})}},
    {"zeta3",
     "zeta(3)",
     "zeta(3).txt",
     {M1({1, 1}, {77, 64}, {1, 1}, {0, 0, 0, 0, 0, -77, -250, -205},
         {1024, 5120, -3680, -57280, -65280, 147968, 360960, 209920}, {77, 64})}}};

// (example, digits, FFT size in k)
using Run = std::tuple<int, long, long>;

class ExampleFiles : public ::testing::TestWithParam<Run> {};

TEST_P(ExampleFiles, DigitsAgreeWithGmp) {
    const auto [i, digits, fftK] = GetParam();
    const Example& e = kExamples[i];
    TempWorkDir dir;
    std::filesystem::copy_file(std::string(ZEPRIX_EXAMPLES) + "/" + e.file + ".zeprix",
                               std::string(e.file) + ".zeprix");
    // The name typed without the suffix: the program adds it.
    const ProgramRun r =
        RunProgram(ZEPRIX_EXE, "6\n" + std::string(e.file) + "\n0\n" + std::to_string(digits) +
                                   "\n" + std::to_string(fftK) + "\n0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Computation mode : standard (no disk swapping mode available)\n"));
    EXPECT_TRUE(Contains(r.out, "*              Constant file loaded               *\n"));
    EXPECT_TRUE(
        SameText(ResultValue(ReadFile(e.result), e.name, digits), OracleValue(e.oracle, digits)));
}

std::string RunName(const ::testing::TestParamInfo<Run>& p) {
    const auto [i, digits, fftK] = p.param;
    std::string n = kExamples[i].file;
    std::replace(n.begin(), n.end(), '_', 'X');
    return n + std::to_string(digits) + "Fft" + std::to_string(fftK) + "k" +
           (digits >= 100000 ? "Slow" : "");
}
// 10^4 digits of each, then 10^5 at the fastest FFT size and at smaller ones (more steps).
const Run kRuns[] = {{0, 10000, 1},   {1, 10000, 1},   {2, 10000, 1},   {3, 10000, 1},
                     {4, 10000, 1},   {5, 10000, 1},   {6, 10000, 1},   {7, 10000, 1},
                     {8, 10000, 1},   {0, 100000, 16}, {1, 100000, 4},  {2, 100000, 16},
                     {3, 100000, 16}, {4, 100000, 2},  {5, 100000, 16}, {6, 100000, 16},
                     {8, 100000, 2},  {9, 10000, 1}};
INSTANTIATE_TEST_SUITE_P(Examples, ExampleFiles, ::testing::ValuesIn(kRuns), RunName);

// Menu 5 defines a constant with every series type and both modes (blanks inside the
// expressions and the name, a negative beta_i, a negative Z); menu 6 reads the file back
// and computes it.
TEST(DefinedConstant, DefinitionThenComputationAgreesWithGmp) {
    TempWorkDir dir;
    const std::string define =
        "5\n"
        "My constant\n"
        "first comment line\n"
        "\n"
        "second line : with a colon\n"
        ".\n"
        "5\n"
        // beta_0 = -1/3, log type with Z = -1/3
        "-1/3\n3\n-1/3\n"
        // beta_1 = 2, arctan(1/7)
        "2\n1\n1/7\n"
        // beta_2 = 1, arctanh(2/9)
        "1\n2\n2/9\n"
        // beta_3 = 5/7, general mode 0: 1/2 + 3 sum (n + 1)/(2 n^2 + 3) (-2/5)^n
        "5/7\n0\n0\n1/2\n3\nn + 1\n2 n^2 + 3\n-2/5\n"
        // beta_4 = 1, general mode 1 with G < 0: -1 + sum prod (3i - 1)/(-4i - 1) (-1/2)
        "1\n0\n1\n-1\n1\n3 n - 1\n-4n-1\n-1/2\n"
        "mine\n";
    ProgramRun r = RunProgram(ZEPRIX_EXE, define);
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_TRUE(Contains(r.out, "File mine.zeprix saved.\n"));
    const std::string file = ReadFile("mine.zeprix");
    EXPECT_TRUE(Contains(file, "Constant name : My constant\n"));
    EXPECT_TRUE(
        Contains(file, "Comments :\nfirst comment line\nsecond line : with a colon\n\n.\n"));
    EXPECT_TRUE(Contains(file, "Polynomial G : 2 n^2 + 3\n"));

    const long digits = 10000;
    r = RunProgram(ZEPRIX_EXE, "6\nmine.zeprix\n0\n10000\n1\n0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "=====> COMPUTING SERIES NUMBER 4 <=====\n"));

    const std::string want =
        OracleValue({Typed(S::Log, {-1, 3}, {-1, 3}),
                     At(2, 7),
                     Typed(S::Arctanh, {1, 1}, {2, 9}),
                     {S::Mode0, {5, 7}, {1, 2}, {3, 1}, {-2, 5}, PolyFn({1, 1}), PolyFn({3, 0, 2})},
                     M1({1, 1}, {-1, 1}, {-1, 2}, {-1, 3}, {-1, -4})},
                    digits);
    EXPECT_TRUE(SameText(ResultValue(ReadFile("My constant.txt"), "My constant", digits), want));
}

// A negative constant: its digits follow a minus sign. Compressed output is refused for a
// name that the decompression could not read back (a blank), and a negative result, which
// the packed files cannot hold, is written as decimal text. A positive one is compressed,
// then decompressed by the name typed for choice 3.
TEST(DefinedConstant, NegativeAndCompressedConstantsAgreeWithGmp) {
    TempWorkDir dir;
    std::filesystem::copy_file(std::string(ZEPRIX_EXAMPLES) + "/ln2.zeprix", "ln2.zeprix");
    const std::string neg = OracleValue({Typed(S::Log, {-1, 1}, {1, 2})}, 20000),
                      ln2 = OracleValue({Typed(S::Log, {1, 1}, {1, 2})}, 10000);
    // the menu's answers, what it prints; the constant's name, the file of its digits and
    // their value (null: nothing computed)
    const std::tuple<const char*, const char*, const char*, const char*, const std::string*>
        cases[] = {
            {"5\nminus ln2\n.\n1\n-1\n3\n1/2\nneg\n", "", "", "", nullptr},
            {"6\nneg\n0\n20000\n1\n1\n0\n",
             "The name \"minus ln2\" cannot name compressed files (it holds a blank or a '/'): "
             "answer 0.\n",
             "minus ln2", "minus ln2.txt", &neg},
            {"5\nnegln2\n.\n1\n-1\n3\n1/2\nneg2\n", "", "", "", nullptr},
            {"6\nneg2\n0\n20000\n1\n1\n", "A negative result cannot be stored compressed", "negln2",
             "negln2.txt", &neg},
            {"6\nln2\n0\n10000\n1\n1\n", "", "", "", nullptr},
            {"7\n3\nln2\n1\nout.txt\n0\n0\n", "Decompressing", "ln2", "out.txt", &ln2}};
    for (const auto& [input, message, name, file, want] : cases) {
        const ProgramRun r = RunProgram(ZEPRIX_EXE, input);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_TRUE(Contains(r.out, message));
        if (want) {
            const long digits = want == &neg ? 20000 : 10000;
            EXPECT_TRUE(SameText(ResultValue(ReadFile(file), name, digits), *want));
        }
    }
    EXPECT_FALSE(std::filesystem::exists("negln2-info"));
    EXPECT_FALSE(Contains(ReadFile("ln2.txt"), "ln2 with"));  // the digits went to ln2-00
}

// exp(p/q) 10^e by its series in fixed point (every term truncated: below 1 unit each).
Mpz ExpFixed(const Mpz& p, const Mpz& q, long e) {
    Mpz sum(Pow10(e)), term(Pow10(e));
    for (unsigned long n = 1; mpz_sgn(term.v) != 0; ++n) {
        mpz_mul(term.v, term.v, p.v);
        mpz_tdiv_q(term.v, term.v, q.v);
        mpz_tdiv_q_ui(term.v, term.v, n);
        mpz_add(sum.v, sum.v, term.v);
    }
    return sum;
}

// 10^200 exp(1/2) - 10^200 exp(1/2 + 10^-150 / 2), defined through menu 5: two series that
// agree to 150 digits, scaled far above 1. Each part is computed to the digits of the
// result, so the 350 digits that cancel cost none of them.
TEST(DefinedConstant, CancellingSeriesGiveEveryDigit) {
    TempWorkDir dir;
    const std::string big = "1" + std::string(200, '0');
    const std::string z2 = "1" + std::string(149, '0') + "1/2" + std::string(150, '0');
    std::ostringstream define;  // general series, mode 1, alpha 1, beta 1, F = 1, G = n, Z
    define << "5\ncancel\n.\n2\n"
           << big << "\n0\n1\n1\n1\n1\nn\n1/2\n-" << big << "\n0\n1\n1\n1\n1\nn\n"
           << z2 << "\ncancel\n";
    ProgramRun r = RunProgram(ZEPRIX_EXE, define.str());
    ASSERT_EQ(r.status, 0) << r.out;
    const long digits = 10000;
    r = RunProgram(ZEPRIX_EXE, "6\ncancel\n0\n10000\n1\n0\n");
    ASSERT_EQ(r.status, 0) << r.out;

    const long e = digits + 400;  // fixed point far below the last digit
    const Mpz c = Mul(Sub(ExpFixed(Add(Pow10(150), Mpz(1)), Mul(Mpz(2), Pow10(150)), e),
                          ExpFixed(Mpz(1), Mpz(2), e)),
                      Pow10(200));  // |C| 10^e
    ASSERT_GT(mpz_sgn(c.v), 0);
    const std::string all = DropDigits(c, e - digits).str();  // floor(|C| 10^digits)
    std::ostringstream want;
    want << "-" << all.substr(0, all.size() - digits) << "." << all.substr(all.size() - digits);
    EXPECT_TRUE(SameText(ResultValue(ReadFile("cancel.txt"), "cancel", digits), want.str()));
}

// Damaged files end the program with a message naming the file and the problem.
TEST(DefinedConstant, DamagedFileEndsWithAMessage) {
    TempWorkDir dir;
    std::filesystem::copy_file(std::string(ZEPRIX_EXAMPLES) + "/ln10.zeprix", "ln10.zeprix");
    std::string text = ReadFile("ln10.zeprix");
    text = text.substr(0, text.find("Series number 2"));  // truncated after series 1
    std::ofstream("cut.zeprix") << text;
    const ProgramRun r = RunProgram(ZEPRIX_EXE, "6\nmissing\ncut\n0\n10000\n1\n0\n");
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Contains(r.out, "This file does not exists. Please type an existing file name.\n"));
    EXPECT_TRUE(Contains(r.out, "Error while unstreaming, a beta value is corrupted\n"));
    EXPECT_TRUE(Contains(r.out, "\"cut.zeprix\""));
    EXPECT_EQ(r.out.find("please send"), std::string::npos) << r.out;  // the user's file
    EXPECT_FALSE(std::filesystem::exists("ln10.txt"));
}

}  // namespace
}  // namespace zeprix::test
