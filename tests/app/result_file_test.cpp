// Result files only ever appear complete: runs interrupted by signals at random moments,
// and writes that fail on a full disk (a file-size limit), leave the previous file intact.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>

#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::microseconds;

const char* const kPrevious = "a complete earlier result\n";
const char* const kPi100k = "0\n0\n100k\n16\n0\n";            // Pi, standard mode, 10^5 digits
const char* const kPi100kCompressed = "0\n0\n100k\n16\n1\n";  // the same, compressed

// The time of a whole run of `input`, which must succeed.
microseconds TimedRun(const char* input) {
    const auto t0 = std::chrono::steady_clock::now();
    const ProgramRun r = RunProgram(ZEPRIX_EXE, input);
    EXPECT_EQ(r.status, 0) << r.out;
    return std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - t0);
}

// A finished Pi result: the header, the totals, and the last digit group of 10^5 digits.
bool IsCompletePi100k(const std::string& file) {
    const std::size_t last =
        file.find("7015078933 7728658035 7127909137 6742080565 5493624646  : 100000\n");
    return file.starts_with("Program : Zeprix version") &&
           Contains(file, "Total computation time") && last != std::string::npos &&
           last + 70 > file.size();
}

// Runs `input` 24 times with SIGINT, SIGTERM or SIGKILL after a random delay in [lo, hi]
// (`restore` before each); `outcome` checks the files after each run and names what it
// found. Killed runs end by their signal, finished ones with status 0 and the new result.
// SIGKILL leaves no chance to clean up: a temporary file may stay, under a name that says
// it is incomplete, and the next run starts it anew.
void SignalRuns(const char* input, long lo, long hi, const std::function<void()>& restore,
                const std::function<const char*()>& outcome, const std::function<bool()>& isNew) {
    std::map<std::string, int> counts;
    for (int i = 0; i < 24; ++i) {
        restore();
        const int sig = i % 3 == 0 ? SIGINT : i % 3 == 1 ? SIGTERM : SIGKILL;
        const microseconds delay(RandomLong(lo, hi));
        SCOPED_TRACE("signal " + std::to_string(sig) + " after " + std::to_string(delay.count()) +
                     " us" + SeedNote());
        const ProgramRun c = RunProgram(ZEPRIX_EXE, input, {.sig = sig, .delay = delay});
        ++counts[outcome()];
        if (c.signal)
            EXPECT_EQ(c.signal, sig);
        else
            EXPECT_TRUE(c.status == 0 && isNew()) << c.out;
        if (sig != SIGKILL) {
            EXPECT_TRUE(NoIncompleteFiles());
        }
        for (const auto& e : fs::directory_iterator("."))
            if (e.path().string().find(".incomplete") != std::string::npos) fs::remove(e.path());
    }
    for (const auto& [what, n] : counts) std::printf("%d of 24 runs %s\n", n, what.c_str());
}

TEST(ResultFile, SignalsAtRandomMomentsNeverLeaveAFileThatLooksComplete) {
    TempWorkDir dir;
    // The signals fall before, during and after the computation and the writing.
    const long runTime = TimedRun(kPi100k).count();
    ASSERT_TRUE(IsCompletePi100k(ReadFile("pi.txt")));
    SignalRuns(
        kPi100k, 0, runTime * 5 / 4, [] { std::ofstream("pi.txt") << kPrevious; },
        [] {
            const std::string file = ReadFile("pi.txt");
            EXPECT_TRUE(file == kPrevious || IsCompletePi100k(file)) << file.substr(0, 400);
            return file == kPrevious ? "kept the earlier result" : "left the new one";
        },
        [] { return IsCompletePi100k(ReadFile("pi.txt")); });
}

TEST(ResultFile, FullDiskFailsAndKeepsThePreviousFiles) {
    TempWorkDir dir;
    // The 10^5 digits do not fit a 64 KiB file: the run fails, says so, and the earlier
    // result stays as it was; so does a constant definition saved over an existing file.
    const std::tuple<const char*, const char*, long> cases[] = {
        {kPi100k, "pi.txt", 65536},
        {"5\nminus ln2\n.\n1\n-1\n3\n1/2\nneg\n1\n", "neg.zeprix", 200}};
    for (const auto& [input, file, limit] : cases) {
        std::ofstream(file) << kPrevious;
        const ProgramRun c = RunProgram(ZEPRIX_EXE, input, {.fileLimit = limit});
        EXPECT_EQ(c.status, 2) << c.out;
        EXPECT_TRUE(Contains(c.out, "Error, the file " + std::string(file) +
                                        " could not be written (File too large)"));
        EXPECT_FALSE(Contains(c.out, "please send"));
        EXPECT_EQ(ReadFile(file), kPrevious);
        EXPECT_FALSE(fs::exists("Zeprix.log"));
        EXPECT_TRUE(NoIncompleteFiles());
    }
}

// The compressed result: NAME-info either describes complete limb files (the earlier result
// of 10^4 digits or the new one of 10^5) or does not exist, whatever ends the run.
class CompressedResult {
public:
    CompressedResult() {
        TimedRun("0\n0\n10000\n1\n1\n");
        old_ = {ReadFile("Pi-info"), ReadFile("Pi-00")};
        runTime = TimedRun(kPi100kCompressed);
        new_ = {ReadFile("Pi-info"), ReadFile("Pi-00")};
        EXPECT_TRUE(old_.first.starts_with("10000\n") && new_.first.starts_with("100000\n"));
    }
    void RestoreOld() const {
        std::ofstream("Pi-info") << old_.first;
        std::ofstream("Pi-00") << old_.second;
    }
    bool IsOld() const { return Files() == old_; }
    bool IsNew() const { return Files() == new_; }
    long NewSize() const { return static_cast<long>(new_.second.size()); }
    microseconds runTime{};

private:
    static std::pair<std::string, std::string> Files() {
        return {ReadFile("Pi-info"), ReadFile("Pi-00")};
    }
    std::pair<std::string, std::string> old_, new_;
};

TEST(ResultFile, CompressedFullDiskKeepsThePreviousResult) {
    TempWorkDir dir;
    const CompressedResult r;
    // File-size limits that stop the run in the result file (before the compression), in
    // the middle of the limb file, at its last byte; then one that lets it finish.
    const long size = r.NewSize();
    const std::tuple<long, const char*> cases[] = {
        {300, "Error, the file pi.txt could not be written (File too large)"},
        {size / 2, "Error, the file Pi-00 could not be written (File too large)"},
        {size - 1, "Error, the file Pi-00 could not be written (File too large)"},
        {size, nullptr},
    };
    for (const auto& [limit, message] : cases) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        r.RestoreOld();
        const ProgramRun c = RunProgram(ZEPRIX_EXE, kPi100kCompressed, {.fileLimit = limit});
        EXPECT_EQ(c.status, message ? 2 : 0) << c.out;
        EXPECT_TRUE(message ? Contains(c.out, message) && r.IsOld() : r.IsNew());
        EXPECT_TRUE(NoIncompleteFiles());
        EXPECT_FALSE(fs::exists("Zeprix.log"));
    }
}

TEST(ResultFile, CompressedSignalsNeverLeaveAnInfoOfPartialFiles) {
    TempWorkDir dir;
    const CompressedResult r;
    // Mostly late in the run, where the files are written.
    SignalRuns(
        kPi100kCompressed, r.runTime.count() / 2, r.runTime.count() * 5 / 4,
        [&] { r.RestoreOld(); },
        [&] {
            const bool none = !fs::exists("Pi-info");
            EXPECT_TRUE(none || r.IsOld() || r.IsNew());
            return none        ? "left no Pi-info"
                   : r.IsOld() ? "kept the earlier result"
                               : "left the new one";
        },
        [&] { return r.IsNew(); });
}

}  // namespace
}  // namespace zeprix::test
