// e (both series), Pi (both series) and sqrt(2) end to end: the program runs through a pipe
// in a temporary directory and the digits of its result file are compared with GMP: e by
// binary splitting of sum 1/k!, Pi by an independent Chudnovsky binary splitting on mpz
// (the textbook (P, Q, T) form, one term per leaf, an exact integer square root), sqrt(2)
// by mpz_sqrt. Each size runs at the fastest FFT size and at smaller ones (products in
// pieces, the series in more steps).
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <tuple>

#include "support/gmp_constants.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

std::string GmpE(long digits) { return GmpExp(digits, 1); }

// What each menu entry computes and prints; its value "I.DDD" by GMP.
struct Constant {
    const char *name, *file, *method;
    std::vector<const char*> console;
    std::string (*value)(long);
};
const std::vector<const char*> kPiConsole = {"Starting step 0 ...\n",
                                             "Division time : ", "The computation seems OK\n"};
const std::vector<const char*> kOk = {"The computation seems OK\n"};
const std::vector<const char*> kSqrt2Console = {"Verification : Squaring ...\n",
                                                "The computation is OK\n"};
const Constant kMenu[] = {{"Pi", "pi.txt", "Method used : Chudnovsky\n", kPiConsole, GmpPi},
                          {"Pi", "pi.txt", "Method used : Ramanujan\n", kPiConsole, GmpPi},
                          {"E", "e.txt", "Method used : series SUM 1/n!\n", kOk, GmpE},
                          {"E", "e.txt", "Method used : series 1/SUM (-1)^n/n!\n", kOk, GmpE},
                          {"Sqrt2", "sqrt2.txt", "", kSqrt2Console, GmpSqrt2}};

// The digits of k's result file are GMP's.
::testing::AssertionResult RightDigits(const Constant& k, long digits) {
    return SameText(ResultValue(ReadFile(k.file), k.name, digits), k.value(digits));
}

// menu (0 Chudnovsky, 1 Ramanujan, 2 e = sum 1/n!, 3 e = 1/sum (-1)^n/n!, 4 sqrt(2)),
// digits, the digits as typed, the FFT size entered (in k), the mode (0 when not given).
// 10^6 digits: about a second each in a release build, ten times that under the
// sanitizers: named *Slow*. The basic disk memory mode (1) runs at small FFT sizes too,
// where its numbers take many blocks.
using Case = std::tuple<int, long, std::string, long, int>;
const Case kCases[] = {
    {0, 10000, "10000", 1, 0},   {1, 10000, "10k", 1, 0},    {2, 10000, "10000", 1, 0},
    {3, 10000, "10k", 1, 0},     {4, 10000, "10k", 1, 0},    {0, 100000, "100k", 16, 0},
    {0, 100000, "100000", 2, 0}, {1, 100000, "100k", 16, 0}, {1, 100000, "100k", 4, 0},
    {2, 100000, "100k", 16, 0},  {2, 100000, "100k", 1, 0},  {3, 100000, "100000", 16, 0},
    {3, 100000, "100k", 2, 0},   {4, 100000, "100k", 16, 0}, {4, 100000, "100k", 1, 0},
    {0, 1000000, "1m", 128, 0},  {0, 1000000, "1m", 8, 0},   {1, 1000000, "1m", 128, 0},
    {1, 1000000, "1m", 16, 0},   {2, 1000000, "1m", 128, 0}, {2, 1000000, "1m", 4, 0},
    {3, 1000000, "1m", 128, 0},  {3, 1000000, "1m", 8, 0},   {4, 1000000, "1m", 128, 0},
    {4, 1000000, "1m", 4, 0},    {0, 100000, "100k", 8, 1},  {0, 100000, "100k", 1, 1},
    {1, 100000, "100k", 2, 1},   {2, 100000, "100k", 8, 1},  {2, 100000, "100k", 1, 1},
    {3, 100000, "100k", 2, 1},   {4, 100000, "100k", 8, 1},  {4, 100000, "100k", 1, 1},
    {0, 1000000, "1m", 64, 1},   {0, 1000000, "1m", 8, 1},   {2, 1000000, "1m", 64, 1},
    {2, 1000000, "1m", 4, 1},    {4, 1000000, "1m", 64, 1},  {4, 1000000, "1m", 4, 1},
    {0, 100000, "100k", 2, 2},   {1, 100000, "100k", 4, 2},  {2, 100000, "100k", 2, 2},
    {3, 100000, "100k", 4, 2},   {4, 100000, "100k", 2, 2},  {0, 1000000, "1m", 8, 2},
    {2, 1000000, "1m", 4, 2},    {4, 1000000, "1m", 4, 2}};

class ConstantProgram : public ::testing::TestWithParam<Case> {};

TEST_P(ConstantProgram, DigitsAgreeWithGmp) {
    const auto [menu, digits, word, fftK, mode] = GetParam();
    const Constant& k = kMenu[menu];
    TempWorkDir dir;
    std::ostringstream input;
    input << menu << "\n" << mode << "\n" << word << "\n" << fftK << "\n0\n";
    if (mode != 0 && menu != 4) input << "0\n";  // no time threshold
    const ProgramRun r = RunProgram(ZEPRIX_EXE, input.str());
    ASSERT_EQ(r.status, 0) << r.out;
    // A finished run leaves its result file and nothing else (no disk file, no record).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 1);
    for (const char* line : k.console) EXPECT_TRUE(Contains(r.out, line));
    const std::string text = ReadFile(k.file);
    const std::string header = "Program : Zeprix version 4.3 (fix 1), by Olmarek\nComputation of " +
                               std::to_string(digits) + " digits of " + k.name + "\n" + k.method +
                               "Size of FFT : " + std::to_string(fftK) + " K\n";
    EXPECT_EQ(text.rfind(header, 0), 0u) << text.substr(0, 300);
    EXPECT_TRUE(Contains(text, "Total computation time : "));
    EXPECT_TRUE(RightDigits(k, digits));
}

std::string CaseName(const ::testing::TestParamInfo<Case>& p) {
    const auto [menu, digits, word, fftK, mode] = p.param;
    const char* names[] = {"Chudnovsky", "Ramanujan", "ESum", "EInverse", "Sqrt2"};
    return names[menu] + std::to_string(digits) + "Fft" + std::to_string(fftK) + "k" +
           (mode == 1   ? "Disk"
            : mode == 2 ? "Advanced"
                        : "") +
           (digits >= 1000000 ? "Slow" : "");
}
INSTANTIATE_TEST_SUITE_P(Sizes, ConstantProgram, ::testing::ValuesIn(kCases), CaseName);

// A chunked disk-mode run killed (SIGKILL: no clean-up at all) at random moments, then
// started again until one run finishes: every start either resumes from the last record or
// starts afresh, and the digits are right. Then a record whose files changed is refused,
// and a run on a full disk ends with an error and resumes once there is room.
TEST(DiskModeRuns, KilledAtRandomMomentsFinishWithTheRightDigits) {
    for (const auto& [menu, mode] : {std::pair{0, 1}, std::pair{2, 1}, std::pair{0, 2}}) {
        SCOPED_TRACE(menu * 10 + mode);
        const Constant& k = kMenu[menu];
        TempWorkDir dir;
        // 10^5 digits, FFT 1 k, no threshold (or a stop after the series: -1)
        const std::string start =
                              std::to_string(menu) + "\n" + std::to_string(mode) + "\n100k\n1\n0\n",
                          fresh = start + "0\n";
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(RunProgram(ZEPRIX_EXE, fresh).status, 0);
        const long whole = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                 std::chrono::steady_clock::now() - t0)
                                                 .count());
        std::filesystem::remove(k.file);
        std::mt19937 rng(static_cast<unsigned>(menu) + 7);
        int kills = 0, resumed = 0;
        for (int run = 0; run < 80; ++run) {
            const bool record = std::filesystem::exists("ParamZeprix");
            // Six kills early in a run, then kills spread over most of a fresh run, so that
            // they land both before and after the first record (e writes its first one only
            // after half of the series). Until one kill has hit a recorded run, a run that
            // finishes first counts for nothing: its result goes and the kills go on.
            const long span = kills < 6 ? whole / 3 : whole * 9 / 10;
            const long delay = static_cast<long>(rng() % static_cast<unsigned>(span + 1));
            const bool kill = kills < 12 || (resumed == 0 && kills < 50);
            const ProgramRun c =
                RunProgram(ZEPRIX_EXE, record ? "0\n" : fresh,
                           {.sig = kill ? SIGKILL : 0, .delay = std::chrono::microseconds(delay)});
            resumed += Contains(c.out, "A Parameter file exists") ? 1 : 0;
            if (c.signal) {
                ++kills;
                continue;
            }
            ASSERT_EQ(c.status, 0) << c.out;
            if (resumed == 0 && kill) {
                ASSERT_TRUE(RightDigits(k, 100000));
                std::filesystem::remove(k.file);
                continue;
            }
            break;
        }
        EXPECT_GT(resumed, 0);
        EXPECT_TRUE(RightDigits(k, 100000));
        EXPECT_FALSE(std::filesystem::exists("ParamZeprix"));

        // Stop after the series (threshold -1), change one limb of a recorded file: refused,
        // everything left in place.
        ASSERT_EQ(RunProgram(ZEPRIX_EXE, start + "-1\n").status, 0);
        const std::string record = ReadFile("ParamZeprix");
        const std::string victim =
            menu == 0 ? (Contains(record, "\nPPb\n") ? "PPb-00" : "PP-00") : "PP-00";
        {
            std::fstream f(victim, std::ios::in | std::ios::out | std::ios::binary);
            const double seven = 7;
            f.seekp(8 * 3);
            f.write(reinterpret_cast<const char*>(&seven), sizeof seven);
        }
        const ProgramRun refused = RunProgram(ZEPRIX_EXE, "0\n");
        EXPECT_EQ(refused.status, 2) << refused.out;
        EXPECT_TRUE(Contains(refused.out, "changed since the record was written")) << refused.out;
        EXPECT_EQ(ReadFile("ParamZeprix"), record);
        std::filesystem::remove("ParamZeprix");

        // A full disk (a file-size limit below the accumulators' size): an error, then the
        // same start with room finishes from the last record.
        const ProgramRun full = RunProgram(ZEPRIX_EXE, fresh, {.fileLimit = 40000});
        EXPECT_EQ(full.status, 2) << full.out;
        const ProgramRun again =
            RunProgram(ZEPRIX_EXE, std::filesystem::exists("ParamZeprix") ? "0\n" : fresh);
        ASSERT_EQ(again.status, 0) << again.out;
        EXPECT_TRUE(RightDigits(k, 100000));
        std::printf("%s: %d kills, %d resumed runs\n", k.name, kills, resumed);
    }
}

// A chunked run stopped at every resumable point (first the threshold -1, then a tiny
// one) and started again until it finishes: the digits are right, the result file has one
// header, one run block per run, and a total time that is the sum of the runs' durations.
TEST(DiskModeRuns, StoppedAtEveryPointGivesOneFileOfAllRuns) {
    for (const auto& [menu, mode] : {std::pair{1, 1}, std::pair{3, 2}}) {
        SCOPED_TRACE(menu);
        const Constant& k = kMenu[menu];
        TempWorkDir dir;
        const std::string first =
            std::to_string(menu) + "\n" + std::to_string(mode) + "\n100k\n2\n0\n-1\n";
        ASSERT_EQ(RunProgram(ZEPRIX_EXE, first).status, 0);
        // What a run killed while it wrote its digits leaves behind: the next run cuts it.
        std::ofstream(std::string(k.file) + ".incomplete", std::ios::app) << "3.14159 (cut)\n";
        int runs = 1;
        while (std::filesystem::exists("ParamZeprix") && runs < 100) {
            const ProgramRun r = RunProgram(ZEPRIX_EXE, "0.0000000001\n");
            ASSERT_EQ(r.status, 0) << r.out;
            ++runs;
        }
        EXPECT_GE(runs, 3);  // e: after the series, after the reciprocal, the end
        const std::string text = ReadFile(k.file);
        EXPECT_TRUE(RightDigits(k, 100000));
        double sum = 0;
        for (std::size_t at = 0; (at = text.find("Duration : ", at)) != std::string::npos; ++at)
            sum += std::stod(text.substr(at + 11));
        EXPECT_EQ(Occurrences(text, "Program : Zeprix"), 1);
        EXPECT_FALSE(Contains(text, "(cut)"));
        EXPECT_EQ(Occurrences(text, "Duration : "), runs);
        const std::size_t total = text.find("Total computation time : ");
        ASSERT_NE(total, std::string::npos);
        EXPECT_NEAR(std::stod(text.substr(total + 25)), sum, 0.005 * runs + 0.01);
    }
}

}  // namespace
}  // namespace zeprix::test
