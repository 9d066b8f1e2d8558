// e end to end: the program is run through a pipe in a temporary directory, and the digits
// of "e.txt" are compared with e computed here by GMP (binary splitting of sum 1/k!,
// exact integers), for both series, the fastest FFT size and smaller ones (products in
// pieces).
#include <gmp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>

#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using RunResult = ProgramRun;

// Runs the program with `input` on its standard input, in the current directory.
RunResult RunZeprix(const std::string& input) { return RunProgram(ZEPRIX_EXE, input); }

// sum_{k=a+1}^{b} a!/k! = T/Q with Q = (a+1)..b.
void SplitE(unsigned long a, unsigned long b, mpz_t Q, mpz_t T) {
    if (b - a == 1) {
        mpz_set_ui(Q, b);
        mpz_set_ui(T, 1);
        return;
    }
    const unsigned long m = a + (b - a) / 2;
    Mpz Q2, T2;
    SplitE(a, m, Q, T);
    SplitE(m, b, Q2.v, T2.v);
    mpz_mul(T, T, Q2.v);
    mpz_add(T, T, T2.v);
    mpz_mul(Q, Q, Q2.v);
}

// The first `digits` decimals of e (after "2."), truncated.
std::string GmpEDigits(long digits) {
    const double target = (static_cast<double>(digits) + 20) * std::log(10.0);
    unsigned long K = 2;
    for (double lf = 0; lf <= target; ++K) lf += std::log(static_cast<double>(K));
    Mpz Q, T, p;
    SplitE(0, K, Q.v, T.v);  // T/Q = e - 1 - (tail below 10^-(digits + 20))
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(digits));
    mpz_mul(T.v, T.v, p.v);
    mpz_fdiv_q(T.v, T.v, Q.v);  // floor((e - 1) 10^digits): the tail cannot carry into it
    std::string s = T.str();   // "718281828..." (e - 1 = 1.718..)
    return s.substr(1);
}

// The digits part of the result file: the text after "E = 2.\n" with blanks, counters
// and line breaks removed. Also checks the default layout of the first line.
std::string FileDigits(const std::string& text, long digits) {
    const std::string head = "E with " + std::to_string(digits) + " digits : \nE = 2.\n";
    const size_t at = text.find(head);
    if (at == std::string::npos) return "missing heading";
    const std::string body = text.substr(at + head.size());
    if (body.rfind("7182818284 5904523536 0287471352 6624977572 4709369995  : 50\n", 0) != 0)
        return "first line not in the default layout";
    std::string d;
    for (size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == ':') {  // skip the counter
            while (i + 1 < body.size() && body[i + 1] != '\n') ++i;
        } else if (c >= '0' && c <= '9') {
            d += c;
        }
    }
    return d;
}

struct Case {
    int menu;          // 2: sum 1/n!, 3: 1/sum (-1)^n/n!
    long digits;
    const char* word;  // as typed
    long fftK;         // FFT size entered, in k
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << "menu " << c.menu << ", " << c.word << " digits, FFT " << c.fftK << " k";
}

class EProgram : public ::testing::TestWithParam<Case> {};

TEST_P(EProgram, DigitsAgreeWithGmp) {
    const Case c = GetParam();
    TempWorkDir dir;
    const RunResult r = RunZeprix(std::to_string(c.menu) + "\n0\n" + c.word + "\n" +
                                  std::to_string(c.fftK) + "\n0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("The computation seems OK\n"), std::string::npos) << r.out;
    const std::string text = ReadFile("e.txt");
    const std::string method = c.menu == 2 ? "Method used : series SUM 1/n!\n"
                                           : "Method used : series 1/SUM (-1)^n/n!\n";
    const std::string header = "Program : Zeprix version 4.3 (fix 1), by Olmarek\nComputation of " +
                               std::to_string(c.digits) + " digits of E\n" + method +
                               "Size of FFT : " + std::to_string(c.fftK) + " K\n";
    EXPECT_EQ(text.rfind(header, 0), 0u) << text.substr(0, 300);
    EXPECT_NE(text.find("Total computation time : "), std::string::npos);
    const std::string got = FileDigits(text, c.digits);
    const std::string want = GmpEDigits(c.digits);
    ASSERT_EQ(got.size(), want.size()) << got.substr(0, 80);
    const auto diff = std::mismatch(got.begin(), got.end(), want.begin());
    EXPECT_TRUE(diff.first == got.end()) << "first wrong digit at place " << (diff.first - got.begin()) + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EProgram,
    ::testing::Values(Case{2, 10000, "10000", 1}, Case{3, 10000, "10k", 1},
                      Case{2, 100000, "100k", 16}, Case{3, 100000, "100000", 16},
                      Case{2, 100000, "100k", 1}, Case{3, 100000, "100k", 2},
                      Case{2, 1000000, "1m", 128}, Case{3, 1000000, "1m", 128},
                      Case{2, 1000000, "1m", 4}, Case{3, 1000000, "1m", 8}),
    [](const ::testing::TestParamInfo<Case>& p) {
        // 10^6 digits: about 1 s each in a release build, ten times that under the
        // sanitizers; named *Slow* for the "slow" label.
        return std::string(p.param.menu == 2 ? "Sum" : "Inverse") + std::to_string(p.param.digits) +
               "Fft" + std::to_string(p.param.fftK) + "k" + (p.param.digits >= 1000000 ? "Slow" : "");
    });

TEST(EProgramModes, CompressedAnswerWritesTheDecimalFile) {
    TempWorkDir dir;
    const RunResult r = RunZeprix("3\n0\n20000\n2\n1\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Compressed output is not available yet"), std::string::npos) << r.out;
    EXPECT_EQ(FileDigits(ReadFile("e.txt"), 20000), GmpEDigits(20000));
}

}  // namespace
}  // namespace zeprix::test
