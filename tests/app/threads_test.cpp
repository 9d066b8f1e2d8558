// The program run with several thread counts: ZEPRIX_THREADS unset (every hardware thread),
// 1, 2, 3 and 8, each run a child process in a temporary directory of its own. The result
// files must be the same text whatever the count (times and memory aside), and their
// digits those of GMP: Pi by Chudnovsky binary splitting on mpz, e and exp(1/2) by binary
// splitting of sum 1/(k! q^k), sqrt(2) by mpz_sqrt. Then the pool itself in this process:
// nested parallel calls and both halves at once, each chunk run exactly once.
#include <fcntl.h>
#include <gmp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/parallel.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

// ---- GMP values, "I.DDD" truncated to `digits` decimals ----

using Leaf = void (*)(unsigned long a, unsigned long q, mpz_t P, mpz_t Q, mpz_t T);
// Binary splitting of sum_{a < k < b} of the terms that leaf describes (T = P * coefficient;
// blocks join as T = T1 Q2 + P1 T2, P = P1 P2, Q = Q1 Q2).
void Split(unsigned long a, unsigned long b, unsigned long q, Leaf leaf, mpz_t P, mpz_t Q,
           mpz_t T) {
    if (b - a == 1) return leaf(a, q, P, Q, T);
    const unsigned long m = (a + b) / 2;
    Mpz P2, Q2, T2;
    Split(a, m, q, leaf, P, Q, T);
    Split(m, b, q, leaf, P2.v, Q2.v, T2.v);
    mpz_mul(T, T, Q2.v);
    mpz_addmul(T, T2.v, P);
    mpz_mul(Q, Q, Q2.v);
    mpz_mul(P, P, P2.v);
}

std::string WithPoint(const Mpz& x) {
    std::string s = x.str();
    s.insert(s.begin() + 1, '.');
    return s;
}

// exp(1/q) = sum_{k>=0} 1/(k! q^k); the terms past K below 10^-(digits + 20).
std::string GmpExp(long digits, unsigned long q) {
    unsigned long K = 2;
    for (double lf = 0; lf <= (static_cast<double>(digits) + 20) * std::log(10.0); ++K)
        lf += std::log(static_cast<double>(K * q));
    Mpz P, Q, T;
    Split(
        0, K, q,
        [](unsigned long a, unsigned long qq, mpz_t p, mpz_t d, mpz_t t) {
            mpz_set_ui(p, 1), mpz_set_ui(d, (a + 1) * qq), mpz_set_ui(t, 1);
        },
        P.v, Q.v, T.v);
    mpz_add(T.v, T.v, Q.v);  // the term 1
    T = Mul(T, Pow10(digits));
    mpz_fdiv_q(T.v, T.v, Q.v);
    return WithPoint(T);
}

// pi = 426880 sqrt(10005) Q / T, one Chudnovsky term per leaf, 20 guard digits.
std::string GmpPi(long digits) {
    const long g = digits + 20;
    Mpz P, Q, T, s = Mul(Pow10(2 * g), Mpz(10005L));
    Split(
        0, static_cast<unsigned long>(static_cast<double>(g) / 14.18) + 2, 0,
        [](unsigned long a, unsigned long, mpz_t p, mpz_t d, mpz_t t) {
            mpz_set_ui(p, 1);
            mpz_set_ui(d, 1);
            if (a > 0) {
                mpz_set_ui(p, (6 * a - 5) * (2 * a - 1));
                mpz_mul_ui(p, p, 6 * a - 1);
                mpz_set_ui(d, a * a);
                mpz_mul_ui(d, d, a);
                mpz_mul_ui(d, d, 10939058860032000UL);
            }
            mpz_mul_ui(t, p, 545140134UL * a + 13591409UL);
            if (a & 1) mpz_neg(t, t);
        },
        P.v, Q.v, T.v);
    mpz_sqrt(s.v, s.v);
    s = Mul(Mul(s, Mpz(426880L)), Q);
    mpz_tdiv_q(s.v, s.v, T.v);
    mpz_tdiv_q(s.v, s.v, Pow10(20).v);
    return WithPoint(s);
}

std::string GmpSqrt2(long digits) {
    Mpz s = Mul(Pow10(2 * digits), Mpz(2L));
    mpz_sqrt(s.v, s.v);
    return WithPoint(s);
}

// ---- child runs ----

struct Run {
    int status = -1;  // exit status, -1 when killed by a signal
    std::string out;  // standard output and error
};

// zeprix with the blank-separated `args` in the current directory, ZEPRIX_THREADS set to
// `threads` ("" leaves it unset), standard input empty.
Run RunZeprix(const std::string& args, const std::string& threads) {
    std::vector<std::string> words = {ZEPRIX_EXE};
    std::istringstream in(args);
    for (std::string w; in >> w;) words.push_back(w);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        if (threads.empty())
            unsetenv("ZEPRIX_THREADS");
        else
            setenv("ZEPRIX_THREADS", threads.c_str(), 1);
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        execv(ZEPRIX_EXE, argv.data());
        _exit(127);
    }
    close(fds[1]);
    Run r;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        r.out.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// A result file without the lines that hold times and dates, and the memory estimate (it
// may grow with the threads' scratch space) and the thread count.
std::string Timeless(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("Start :") || line.starts_with("End   :") ||
            line.starts_with("Duration :") || line.starts_with("Total computation time") ||
            line.starts_with("Time spent in disk swapping") ||
            line.starts_with("Physical memory used") || line.starts_with("Threads :"))
            continue;
        out += line + '\n';
    }
    return out;
}

struct Constant {
    const char *arg, *example, *name, *file;  // example: a file of examples/, or nullptr
    std::string (*value)(long digits);
};
const Constant kPi = {"pi", nullptr, "Pi", "pi.txt", GmpPi};
const Constant kE = {"e", nullptr, "E", "e.txt", [](long d) { return GmpExp(d, 1); }};
const Constant kSqrt2 = {"sqrt2", nullptr, "Sqrt2", "sqrt2.txt", GmpSqrt2};
const Constant kExpHalf = {"exp_half.zeprix", "exp_half", "exp(1/2)", "exp(1_2).txt",
                           [](long d) { return GmpExp(d, 2); }};
const Constant kMachin = {"pi_machin.zeprix", "pi_machin", "Pi", "Pi.txt", GmpPi};

// Runs `k` at each thread count in a fresh temporary directory: every run exits 0, leaves
// its result file alone, and the files agree with each other and their digits with GMP.
void ExpectSameDigits(const Constant& k, long digits, int mode, long fftK,
                      const std::vector<std::string>& threadCounts) {
    const std::string want = k.value(digits);
    std::string first;
    for (const std::string& threads : threadCounts) {
        SCOPED_TRACE("ZEPRIX_THREADS=" + (threads.empty() ? "(unset)" : threads));
        TempWorkDir dir;
        if (k.example)
            fs::copy_file(fs::path(ZEPRIX_SOURCE_DIR) / "examples" /
                              (std::string(k.example) + ".zeprix"),
                          k.arg);
        const Run r = RunZeprix(std::string(k.arg) + " " + std::to_string(digits) + " --mode " +
                                    std::to_string(mode) + " --fft " + std::to_string(fftK),
                                threads);
        ASSERT_EQ(r.status, 0) << r.out;
        if (k.example) fs::remove(k.arg);
        // Nothing left behind but the result (no disk file, no record).
        EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 1);
        const std::string text = ReadFile(k.file);
        EXPECT_TRUE(SameText(ResultValue(text, k.name, digits), want));
        if (first.empty())
            first = Timeless(text);
        else
            EXPECT_TRUE(SameText(Timeless(text), first));
    }
}

// The counts of the 10^5-digit runs: ZEPRIX_TEST_THREAD_COUNTS when set (blank-separated,
// "default" for the variable unset; the ThreadSanitizer run takes fewer), else all five.
std::vector<std::string> Counts() {
    const char* env = std::getenv("ZEPRIX_TEST_THREAD_COUNTS");
    if (!env) return {"", "1", "2", "3", "8"};
    std::vector<std::string> counts;
    std::istringstream in(env);
    for (std::string w; in >> w;) counts.push_back(w == "default" ? "" : w);
    return counts;
}

// 10^5 digits: the standard mode at the fastest FFT size (16 k, one product) and at 2 k
// (products in pieces), the basic and the advanced disk modes at 2 k (many blocks); two
// user constants (a general series, two arctangents).
struct Case {
    const Constant* k;
    int mode;
    long fftK;
};
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.k->arg << " mode " << c.mode << " fft " << c.fftK << "k";
}
class ThreadCounts : public ::testing::TestWithParam<Case> {};

TEST_P(ThreadCounts, GiveTheSameDigitsAsGmp) {
    const auto [k, mode, fftK] = GetParam();
    ExpectSameDigits(*k, 100000, mode, fftK, Counts());
}

std::string CaseName(const ::testing::TestParamInfo<Case>& p) {
    std::string n = p.param.k->arg;
    n = n.substr(0, n.find('.'));
    std::erase(n, '_');
    return n + "Mode" + std::to_string(p.param.mode) + "Fft" + std::to_string(p.param.fftK) + "k";
}
const Case kCases[] = {{&kPi, 0, 16},     {&kPi, 0, 2},     {&kPi, 1, 2},    {&kPi, 2, 2},
                       {&kE, 0, 16},      {&kE, 0, 2},      {&kE, 1, 2},     {&kE, 2, 2},
                       {&kSqrt2, 0, 16},  {&kSqrt2, 0, 2},  {&kSqrt2, 1, 2}, {&kSqrt2, 2, 2},
                       {&kExpHalf, 0, 2}, {&kMachin, 0, 16}};
INSTANTIATE_TEST_SUITE_P(Digits100k, ThreadCounts, ::testing::ValuesIn(kCases), CaseName);

// 10^6 digits of Pi and e with 1 and 2 threads, the standard and the basic disk mode at
// their fastest FFT sizes (about a second a run in a release build).
class ThreadCountsSlow : public ::testing::TestWithParam<Case> {};

TEST_P(ThreadCountsSlow, GiveTheSameDigitsAsGmp) {
    const auto [k, mode, fftK] = GetParam();
    ExpectSameDigits(*k, 1000000, mode, fftK, {"1", "2"});
}
const Case kSlowCases[] = {{&kPi, 0, 128}, {&kPi, 1, 64}, {&kE, 0, 128}, {&kE, 1, 64}};
INSTANTIATE_TEST_SUITE_P(Digits1m, ThreadCountsSlow, ::testing::ValuesIn(kSlowCases), CaseName);

}  // namespace
}  // namespace zeprix::test
