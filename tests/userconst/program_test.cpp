// User constants end to end: the example files and constants defined through menu 5 are
// computed by the program (menu 6) in a temporary directory, and their digits compared
// with a direct GMP summation of the same formulas.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "oracle.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using RunResult = ProgramRun;

// Runs the program with `input` on its standard input, in the current directory.
RunResult RunZeprix(const std::string& input) { return RunProgram(ZEPRIX_EXE, input); }

// "-" + integer part + "." + decimals from the result file of constant `name`.
std::string FileValue(const std::string& text, const std::string& name, long digits) {
    const std::string head =
        name + " with " + std::to_string(digits) + " digits : \n" + name + " = ";
    const size_t at = text.find(head);
    if (at == std::string::npos) return "missing heading";
    std::string v;
    bool point = false;
    for (size_t i = at + head.size(); i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') {
            while (i + 1 < text.size() && text[i + 1] != '\n') ++i;
        } else if ((c >= '0' && c <= '9') || (c == '-' && v.empty())) {
            v += c;
        } else if (c == '.' && !point) {
            v += c;
            point = true;
        }
    }
    return v;
}

// Where two value texts first differ, for the failure message.
std::string FirstDifference(const std::string& a, const std::string& b) {
    const auto d = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return "first difference at character " + std::to_string(d.first - a.begin()) + " of " +
           std::to_string(a.size()) + "/" + std::to_string(b.size());
}

OracleSeries Arctan(long scale, long q) {
    OracleSeries s;
    s.kind = OracleSeries::Arctan;
    s.scale = {scale, 1};
    s.Z = {1, q};
    return s;
}
OracleSeries Arctanh(long scale, long q) {
    OracleSeries s = Arctan(scale, q);
    s.kind = OracleSeries::Arctanh;
    return s;
}

struct Example {
    const char* file;    // in examples/, without the suffix
    const char* name;    // constant name
    const char* result;  // result file name
    long digits;
    long fftK;
    std::vector<OracleSeries> (*oracle)();
};

std::vector<OracleSeries> PiMachin() { return {Arctan(16, 5), Arctan(-4, 239)}; }
std::vector<OracleSeries> Ln2() {
    OracleSeries s;
    s.kind = OracleSeries::Log;
    s.Z = {1, 2};
    return {s};
}
std::vector<OracleSeries> Ln10() { return {Arctanh(46, 31), Arctanh(34, 49), Arctanh(20, 161)}; }
std::vector<OracleSeries> Li2Half() {
    OracleSeries s;
    s.kind = OracleSeries::Mode0;
    s.F = PolyFn({1});
    s.G = PolyFn({0, 0, 1});
    s.Z = {1, 2};
    return {s};
}
std::vector<OracleSeries> PiEuler() {
    OracleSeries s;
    s.kind = OracleSeries::Mode1;
    s.scale = {2, 1};
    s.alpha = {1, 1};
    s.F = PolyFn({0, 1});
    s.G = PolyFn({1, 2});
    s.Z = {1, 1};
    return {s};
}
std::vector<OracleSeries> Sqrt2Binomial() {
    OracleSeries s;
    s.kind = OracleSeries::Mode1;
    s.alpha = {1, 1};
    s.F = PolyFn({-1, 2});
    s.G = PolyFn({0, 2});
    s.Z = {1, 2};
    return {s};
}

void PrintTo(const Example& e, std::ostream* os) { *os << e.file << " " << e.digits << " digits"; }

class ExampleFiles : public ::testing::TestWithParam<Example> {};

TEST_P(ExampleFiles, DigitsAgreeWithGmp) {
    const Example e = GetParam();
    TempWorkDir dir;
    std::filesystem::copy_file(std::string(ZEPRIX_EXAMPLES) + "/" + e.file + ".zeprix",
                               std::string(e.file) + ".zeprix");
    // The name typed without the suffix: the program adds it.
    const RunResult r = RunZeprix("6\n" + std::string(e.file) + "\n0\n" + std::to_string(e.digits) +
                                  "\n" + std::to_string(e.fftK) + "\n0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Computation mode : standard (no disk swapping mode available)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("*              Constant file loaded               *\n"),
              std::string::npos);
    const std::string got = FileValue(ReadFile(e.result), e.name, e.digits);
    const std::string want = OracleValue(e.oracle(), e.digits);
    EXPECT_EQ(got.size(), want.size()) << got.substr(0, 60);
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
}

std::string ExampleName(const ::testing::TestParamInfo<Example>& p) {
    std::string n = p.param.file;
    std::replace(n.begin(), n.end(), '_', 'X');
    return n + std::to_string(p.param.digits) + "Fft" + std::to_string(p.param.fftK) + "k" +
           (p.param.digits >= 100000 ? "Slow" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExampleFiles,
    ::testing::Values(Example{"pi_machin", "Pi", "Pi.txt", 10000, 1, PiMachin},
                      Example{"ln2", "ln2", "ln2.txt", 10000, 1, Ln2},
                      Example{"ln10", "ln10", "ln10.txt", 10000, 1, Ln10},
                      Example{"li2_half", "Li2(1/2)", "Li2(1_2).txt", 10000, 1, Li2Half},
                      Example{"pi_euler", "Pi by Euler", "Pi by Euler.txt", 10000, 1, PiEuler},
                      Example{"sqrt2_binomial", "sqrt(2)", "sqrt(2).txt", 10000, 1, Sqrt2Binomial},
                      // 10^5 digits, at the fastest FFT size and at smaller ones (more steps)
                      Example{"pi_machin", "Pi", "Pi.txt", 100000, 16, PiMachin},
                      Example{"ln2", "ln2", "ln2.txt", 100000, 4, Ln2},
                      Example{"ln10", "ln10", "ln10.txt", 100000, 16, Ln10},
                      Example{"li2_half", "Li2(1/2)", "Li2(1_2).txt", 100000, 16, Li2Half},
                      Example{"pi_euler", "Pi by Euler", "Pi by Euler.txt", 100000, 2, PiEuler},
                      Example{"sqrt2_binomial", "sqrt(2)", "sqrt(2).txt", 100000, 16,
                              Sqrt2Binomial}),
    ExampleName);

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
    RunResult r = RunZeprix(define);
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_NE(r.out.find("File mine.zeprix saved.\n"), std::string::npos) << r.out;
    const std::string file = ReadFile("mine.zeprix");
    EXPECT_NE(file.find("Constant name : My constant\n"), std::string::npos);
    EXPECT_NE(file.find("Comments :\nfirst comment line\nsecond line : with a colon\n\n.\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("Polynomial G : 2 n^2 + 3\n"), std::string::npos);

    const long digits = 10000;
    r = RunZeprix("6\nmine.zeprix\n0\n10000\n1\n0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("=====> COMPUTING SERIES NUMBER 4 <=====\n"), std::string::npos);

    OracleSeries logS;
    logS.kind = OracleSeries::Log;
    logS.scale = {-1, 3};
    logS.Z = {-1, 3};
    OracleSeries atanS = Arctan(2, 7);
    OracleSeries atanhS = Arctanh(1, 9);
    atanhS.Z = {2, 9};
    OracleSeries m0;
    m0.kind = OracleSeries::Mode0;
    m0.scale = {5, 7};
    m0.alpha = {1, 2};
    m0.beta = {3, 1};
    m0.F = PolyFn({1, 1});
    m0.G = PolyFn({3, 0, 2});
    m0.Z = {-2, 5};
    OracleSeries m1;
    m1.kind = OracleSeries::Mode1;
    m1.alpha = {-1, 1};
    m1.F = PolyFn({-1, 3});
    m1.G = PolyFn({-1, -4});
    m1.Z = {-1, 2};
    const std::string want = OracleValue({logS, atanS, atanhS, m0, m1}, digits);
    const std::string got = FileValue(ReadFile("My constant.txt"), "My constant", digits);
    EXPECT_TRUE(got == want) << FirstDifference(got, want) << "\n"
                             << got.substr(0, 40) << "\n"
                             << want.substr(0, 40);
}

// A negative constant: its digits follow a minus sign.
TEST(DefinedConstant, NegativeConstantAgreesWithGmp) {
    TempWorkDir dir;
    RunResult r = RunZeprix("5\nminus ln2\n.\n1\n-1\n3\n1/2\nneg\n");
    ASSERT_EQ(r.status, 0) << r.out;
    r = RunZeprix("6\nneg\n0\n20000\n1\n0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    OracleSeries s;
    s.kind = OracleSeries::Log;
    s.scale = {-1, 1};
    s.Z = {1, 2};
    const std::string want = OracleValue({s}, 20000);
    ASSERT_EQ(want.substr(0, 4), "-0.6");
    const std::string got = FileValue(ReadFile("minus ln2.txt"), "minus ln2", 20000);
    EXPECT_TRUE(got == want) << FirstDifference(got, want) << "\n" << got.substr(0, 40);
}

// Damaged files end the program with a message naming the file and the problem.
TEST(DefinedConstant, DamagedFileEndsWithAMessage) {
    TempWorkDir dir;
    std::filesystem::copy_file(std::string(ZEPRIX_EXAMPLES) + "/ln10.zeprix", "ln10.zeprix");
    std::string text = ReadFile("ln10.zeprix");
    text = text.substr(0, text.find("Series number 2"));  // truncated after series 1
    std::FILE* f = std::fopen("cut.zeprix", "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    const RunResult r = RunZeprix("6\nmissing\ncut\n0\n10000\n1\n0\n");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("This file does not exists. Please type an existing file name.\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Error while unstreaming, a beta value is corrupted\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"cut.zeprix\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("please send"), std::string::npos) << r.out;  // the user's file
    EXPECT_FALSE(std::filesystem::exists("ln10.txt"));
}

}  // namespace
}  // namespace zeprix::test
