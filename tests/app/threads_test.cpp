// The program run with several thread counts: ZEPRIX_THREADS unset (every hardware thread),
// 1, 2, 3 and 8, each run a child process in a temporary directory of its own. The result
// files must be the same text whatever the count (times and memory aside), and their
// digits those of GMP: Pi by Chudnovsky binary splitting on mpz, e and exp(1/2) by binary
// splitting of sum 1/(k! q^k), sqrt(2) by mpz_sqrt.
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/child_run.hpp"
#include "support/gmp_constants.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

struct Constant {
    const char *arg, *name, *file;  // arg: a constant's name, or a file of examples/
    std::string (*value)(long digits);
};
const Constant kPi = {"pi", "Pi", "pi.txt", GmpPi};
const Constant kE = {"e", "E", "e.txt", [](long d) { return GmpExp(d, 1); }};
const Constant kSqrt2 = {"sqrt2", "Sqrt2", "sqrt2.txt", GmpSqrt2};
const Constant kExpHalf = {"exp_half.zeprix", "exp(1/2)", "exp(1_2).txt",
                           [](long d) { return GmpExp(d, 2); }};
const Constant kMachin = {"pi_machin.zeprix", "Pi", "Pi.txt", GmpPi};

// Runs `k` at each thread count in a fresh temporary directory: every run exits 0, leaves
// its result file alone, and the files agree with each other and their digits with GMP.
void ExpectSameDigits(const Constant& k, long digits, int mode, long fftK,
                      const std::vector<std::string>& threadCounts) {
    const std::string want = k.value(digits);
    std::string first;
    for (const std::string& threads : threadCounts) {
        SCOPED_TRACE("ZEPRIX_THREADS=" + (threads.empty() ? "(unset)" : threads));
        TempWorkDir dir;
        const bool example = std::string(k.arg).ends_with(".zeprix");
        if (example) fs::copy_file(fs::path(ZEPRIX_SOURCE_DIR) / "examples" / k.arg, k.arg);
        const ProgramRun r =
            RunCommand(std::string(k.arg) + " " + std::to_string(digits) + " --mode " +
                           std::to_string(mode) + " --fft " + std::to_string(fftK),
                       threads.c_str());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        if (example) fs::remove(k.arg);
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
