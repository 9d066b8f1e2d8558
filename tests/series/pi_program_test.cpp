// Pi (both series) and the square root of 2 end to end: the program is run through a pipe
// in a temporary directory and the digits of "pi.txt" / "sqrt2.txt" are compared with
// values computed here by GMP: Pi by an independent Chudnovsky binary splitting on mpz
// (one term per leaf, exact integer square root), itself checked against Machin's formula;
// sqrt(2) by mpz_sqrt. Each size runs at the fastest FFT size and at a smaller one (the
// products then go in pieces and the series in more steps).
#include <gmp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
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

// Chudnovsky terms a .. b-1 (term 0 included): T/Q = sum of the terms scaled by Q(0, b),
// P the product of the numerators (the textbook (P, Q, T) splitting).
void SplitChudnovsky(unsigned long a, unsigned long b, mpz_t P, mpz_t Q, mpz_t T) {
    if (b - a == 1) {
        if (a == 0) {
            mpz_set_ui(P, 1);
            mpz_set_ui(Q, 1);
        } else {
            mpz_set_ui(P, 6 * a - 5);
            mpz_mul_ui(P, P, 2 * a - 1);
            mpz_mul_ui(P, P, 6 * a - 1);
            mpz_set_ui(Q, a);
            mpz_mul_ui(Q, Q, a);
            mpz_mul_ui(Q, Q, a);
            mpz_mul_ui(Q, Q, 10939058860032000UL);
        }
        Mpz c;
        mpz_set_ui(c.v, 545140134UL);
        mpz_mul_ui(c.v, c.v, a);
        mpz_add_ui(c.v, c.v, 13591409UL);
        mpz_mul(T, P, c.v);
        if (a & 1) mpz_neg(T, T);
        return;
    }
    const unsigned long m = (a + b) / 2;
    Mpz P2, Q2, T2;
    SplitChudnovsky(a, m, P, Q, T);
    SplitChudnovsky(m, b, P2.v, Q2.v, T2.v);
    mpz_mul(T, T, Q2.v);
    mpz_mul(T2.v, T2.v, P);
    mpz_add(T, T, T2.v);
    mpz_mul(Q, Q, Q2.v);
    mpz_mul(P, P, P2.v);
}

// floor(pi 10^digits) by Chudnovsky: pi = 426880 sqrt(10005) Q / T, with 20 guard digits.
std::string GmpPiDigits(long digits) {
    const long g = digits + 20;
    const unsigned long terms = static_cast<unsigned long>(static_cast<double>(g) / 14.18) + 2;
    Mpz P, Q, T, s, p;
    SplitChudnovsky(0, terms, P.v, Q.v, T.v);
    mpz_ui_pow_ui(p.v, 10, static_cast<unsigned long>(2 * g));
    mpz_mul_ui(s.v, p.v, 10005);
    mpz_sqrt(s.v, s.v);  // floor(sqrt(10005) 10^g)
    mpz_mul_ui(s.v, s.v, 426880);
    mpz_mul(s.v, s.v, Q.v);
    mpz_tdiv_q(s.v, s.v, T.v);  // pi 10^g, within a few units
    mpz_ui_pow_ui(p.v, 10, 20);
    mpz_tdiv_q(s.v, s.v, p.v);
    return s.str().substr(1);  // the decimals after "3"
}

// arctan(1/x) 10^g by the fixed-point series (independent of the Chudnovsky oracle).
void ArctanInv(unsigned long x, long g, mpz_t out) {
    Mpz power, term;
    mpz_ui_pow_ui(power.v, 10, static_cast<unsigned long>(g));
    mpz_tdiv_q_ui(power.v, power.v, x);
    mpz_set(out, power.v);
    for (unsigned long k = 1; mpz_sgn(power.v) != 0; ++k) {
        mpz_tdiv_q_ui(power.v, power.v, x * x);
        mpz_tdiv_q_ui(term.v, power.v, 2 * k + 1);
        if (k & 1)
            mpz_sub(out, out, term.v);
        else
            mpz_add(out, out, term.v);
    }
}

TEST(PiOracle, ChudnovskyAgreesWithMachin) {
    const long digits = 20000, g = digits + 20;
    Mpz a, b, p;
    ArctanInv(5, g, a.v);
    ArctanInv(239, g, b.v);
    mpz_mul_ui(a.v, a.v, 16);
    mpz_submul_ui(a.v, b.v, 4);  // pi 10^g, within a few thousand units
    mpz_ui_pow_ui(p.v, 10, 20);
    mpz_tdiv_q(a.v, a.v, p.v);
    EXPECT_EQ(a.str().substr(1), GmpPiDigits(digits));
}

// floor(sqrt(2) 10^digits) without its leading 1.
std::string GmpSqrt2Digits(long digits) {
    Mpz s;
    mpz_ui_pow_ui(s.v, 10, static_cast<unsigned long>(2 * digits));
    mpz_mul_ui(s.v, s.v, 2);
    mpz_sqrt(s.v, s.v);
    return s.str().substr(1);
}

// The digits part of a result file: the text after "NAME = I.\n" with blanks, counters and
// line breaks removed; checks the heading and the first line of the default layout.
std::string FileDigits(const std::string& text, const std::string& name, const std::string& ip,
                       long digits, const std::string& firstLine) {
    const std::string head =
        name + " with " + std::to_string(digits) + " digits : \n" + name + " = " + ip + ".\n";
    const size_t at = text.find(head);
    if (at == std::string::npos) return "missing heading";
    const std::string body = text.substr(at + head.size());
    if (body.rfind(firstLine, 0) != 0) return "first line not in the default layout";
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

void ExpectSameDigits(const std::string& got, const std::string& want) {
    ASSERT_EQ(got.size(), want.size()) << got.substr(0, 80);
    const auto diff = std::mismatch(got.begin(), got.end(), want.begin());
    EXPECT_TRUE(diff.first == got.end())
        << "first wrong digit at place " << (diff.first - got.begin()) + 1;
}

struct Case {
    int menu;  // 0 Chudnovsky, 1 Ramanujan, 4 sqrt(2)
    long digits;
    const char* word;  // as typed
    long fftK;         // FFT size entered, in k
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << "menu " << c.menu << ", " << c.word << " digits, FFT " << c.fftK << " k";
}

std::string CaseName(int menu) {
    return menu == 0 ? "Chudnovsky" : menu == 1 ? "Ramanujan" : "Sqrt2";
}

class PiProgram : public ::testing::TestWithParam<Case> {};

TEST_P(PiProgram, DigitsAgreeWithGmp) {
    const Case c = GetParam();
    TempWorkDir dir;
    const RunResult r = RunZeprix(std::to_string(c.menu) + "\n0\n" + c.word + "\n" +
                                  std::to_string(c.fftK) + "\n0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    const bool pi = c.menu != 4;
    const std::string file = pi ? "pi.txt" : "sqrt2.txt";
    const std::string text = ReadFile(file);
    std::string header = "Program : Zeprix version 4.3 (fix 1), by Olmarek\nComputation of " +
                         std::to_string(c.digits) + " digits of " + (pi ? "Pi" : "Sqrt2") + "\n";
    if (pi) header += c.menu == 0 ? "Method used : Chudnovsky\n" : "Method used : Ramanujan\n";
    header += "Size of FFT : " + std::to_string(c.fftK) + " K\n";
    EXPECT_EQ(text.rfind(header, 0), 0u) << text.substr(0, 300);
    EXPECT_NE(text.find("Total computation time : "), std::string::npos);
    if (pi) {
        for (const char* line : {"Starting step 0 ...\n", "Series computing time : ",
                                 "Division time : ", "InvSqrt time : ",
                                 "Final huge multiplication time : ", "The computation seems OK\n"})
            EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
        ExpectSameDigits(FileDigits(text, "Pi", "3", c.digits,
                                    "1415926535 8979323846 2643383279 5028841971 6939937510  : 50\n"),
                         GmpPiDigits(c.digits));
    } else {
        for (const char* line : {"Computing Sqrt(2) with ", "Time of sqrt(2) computation : ",
                                 "Verification : Squaring ...\n", "Squaring Time : ",
                                 "The computation is OK\n"})
            EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
        ExpectSameDigits(FileDigits(text, "Sqrt2", "1", c.digits,
                                    "4142135623 7309504880 1688724209 6980785696 7187537694  : 50\n"),
                         GmpSqrt2Digits(c.digits));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PiProgram,
    ::testing::Values(Case{0, 10000, "10000", 1}, Case{1, 10000, "10k", 1},
                      Case{4, 10000, "10k", 1},
                      Case{0, 100000, "100k", 16}, Case{0, 100000, "100000", 2},
                      Case{1, 100000, "100k", 16}, Case{1, 100000, "100k", 4},
                      Case{4, 100000, "100k", 16}, Case{4, 100000, "100k", 1},
                      Case{0, 1000000, "1m", 128}, Case{0, 1000000, "1m", 8},
                      Case{1, 1000000, "1m", 128}, Case{1, 1000000, "1m", 16},
                      Case{4, 1000000, "1m", 128}, Case{4, 1000000, "1m", 4}),
    [](const ::testing::TestParamInfo<Case>& p) {
        // 10^6 digits: about a second each in a release build (the GMP oracle included);
        // named *Slow* for the "slow" label.
        return CaseName(p.param.menu) + std::to_string(p.param.digits) + "Fft" +
               std::to_string(p.param.fftK) + "k" + (p.param.digits >= 1000000 ? "Slow" : "");
    });

}  // namespace
}  // namespace zeprix::test
