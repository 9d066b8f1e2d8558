// Result files only ever appear complete: runs interrupted by signals at random moments,
// and writes that fail on a full disk (a file-size limit), leave the previous file intact.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>
#include <tuple>

#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

const char* const kPrevious = "a complete earlier result\n";
const char* const kPi100k = "0\n0\n100k\n16\n0\n";  // Pi, standard mode, 10^5 digits

// Runs zeprix with `input`, a file-size limit (0: none) and a signal after `delay`.
Child Spawn(const std::string& input, long fileLimit, int sig, std::chrono::microseconds delay) {
    return SpawnProgram(ZEPRIX_EXE, input, fileLimit, sig, delay);
}

// A finished Pi result: the header, the totals, and the last digit group of 10^5 digits.
bool IsCompletePi100k(const std::string& file) {
    const std::size_t last =
        file.find("7015078933 7728658035 7127909137 6742080565 5493624646  : 100000\n");
    return file.rfind("Program : Zeprix version", 0) == 0 &&
           file.find("Total computation time") != std::string::npos && file.size() > 100000 &&
           last != std::string::npos && last + 70 > file.size();
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
        const auto delay =
            std::chrono::microseconds(std::uniform_int_distribution<long>(lo, hi)(Rng()));
        SCOPED_TRACE("signal " + std::to_string(sig) + " after " + std::to_string(delay.count()) +
                     " us, seed " + std::to_string(Seed()));
        const Child c = Spawn(input, 0, sig, delay);
        ++counts[outcome()];
        if (WIFSIGNALED(c.status))
            EXPECT_EQ(WTERMSIG(c.status), sig);
        else
            EXPECT_TRUE(WEXITSTATUS(c.status) == 0 && isNew()) << c.out;
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
    // Calibrate: the time of one whole run, so that the signals fall before, during and
    // after the computation and the writing of the digits.
    const auto t0 = std::chrono::steady_clock::now();
    Child whole = Spawn(kPi100k, 0, 0, {});
    const long runTime =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    ASSERT_TRUE(WIFEXITED(whole.status) && WEXITSTATUS(whole.status) == 0) << whole.out;
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
    // result stays as it was.
    std::ofstream("pi.txt") << kPrevious;
    Child c = Spawn(kPi100k, 65536, 0, {});
    ASSERT_TRUE(WIFEXITED(c.status)) << c.out;
    EXPECT_EQ(WEXITSTATUS(c.status), 2) << c.out;
    EXPECT_TRUE(Contains(c.out, "Error, the file pi.txt could not be written (File too large)"));
    EXPECT_EQ(c.out.find("please send"), std::string::npos) << c.out;
    EXPECT_EQ(ReadFile("pi.txt"), kPrevious);
    EXPECT_FALSE(fs::exists("Zeprix.log"));
    EXPECT_TRUE(NoIncompleteFiles());

    // A constant definition saved over an existing file: the old definition survives a
    // write that fails.
    std::ofstream("neg.zeprix") << kPrevious;
    c = Spawn("5\nminus ln2\n.\n1\n-1\n3\n1/2\nneg\n1\n", 200, 0, {});
    EXPECT_EQ(WEXITSTATUS(c.status), 2) << c.out;
    EXPECT_TRUE(Contains(c.out, "Error, the file neg.zeprix could not be written"));
    EXPECT_EQ(ReadFile("neg.zeprix"), kPrevious);
    EXPECT_TRUE(NoIncompleteFiles());
}

// The compressed result: NAME-info either describes complete limb files (the earlier result
// or the new one) or does not exist, whatever ends the run.
class CompressedResult {
public:
    CompressedResult() {
        // The earlier result: 10^4 digits; the new one: 10^5 digits.
        EXPECT_EQ(WEXITSTATUS(Spawn("0\n0\n10000\n1\n1\n", 0, 0, {}).status), 0);
        oldInfo_ = ReadFile("Pi-info");
        old00_ = ReadFile("Pi-00");
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(WEXITSTATUS(Spawn(kPi100kCompressed, 0, 0, {}).status), 0);
        runTime = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - t0);
        newInfo_ = ReadFile("Pi-info");
        new00_ = ReadFile("Pi-00");
        EXPECT_TRUE(oldInfo_.starts_with("10000\n") && newInfo_.starts_with("100000\n"));
    }
    void RestoreOld() const {
        std::ofstream("Pi-info") << oldInfo_;
        std::ofstream("Pi-00") << old00_;
    }
    bool IsOld() const { return ReadFile("Pi-info") == oldInfo_ && ReadFile("Pi-00") == old00_; }
    bool IsNew() const { return ReadFile("Pi-info") == newInfo_ && ReadFile("Pi-00") == new00_; }
    bool Consistent() const { return !fs::exists("Pi-info") || IsOld() || IsNew(); }
    std::size_t NewSize() const { return new00_.size(); }
    std::chrono::microseconds runTime{};

    static constexpr const char* kPi100kCompressed = "0\n0\n100k\n16\n1\n";

private:
    std::string oldInfo_, old00_, newInfo_, new00_;
};

TEST(ResultFile, CompressedFullDiskKeepsThePreviousResult) {
    TempWorkDir dir;
    const CompressedResult r;
    // File-size limits that stop the run in the result file (before the compression), in
    // the middle of the limb file, at its last byte; then one that lets it finish.
    const long size = static_cast<long>(r.NewSize());
    const std::tuple<long, const char*> cases[] = {
        {300, "Error, the file pi.txt could not be written (File too large)"},
        {size / 2, "Error, the file Pi-00 could not be written (File too large)"},
        {size - 1, "Error, the file Pi-00 could not be written (File too large)"},
        {size, nullptr},
    };
    for (const auto& [limit, message] : cases) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        r.RestoreOld();
        const Child c = Spawn(CompressedResult::kPi100kCompressed, limit, 0, {});
        ASSERT_TRUE(WIFEXITED(c.status)) << c.out;
        if (message) {
            EXPECT_EQ(WEXITSTATUS(c.status), 2) << c.out;
            EXPECT_TRUE(Contains(c.out, message));
            EXPECT_TRUE(r.IsOld());
        } else {
            EXPECT_EQ(WEXITSTATUS(c.status), 0) << c.out;
            EXPECT_TRUE(r.IsNew());
        }
        EXPECT_TRUE(NoIncompleteFiles());
        EXPECT_FALSE(fs::exists("Zeprix.log"));
    }
}

TEST(ResultFile, CompressedSignalsNeverLeaveAnInfoOfPartialFiles) {
    TempWorkDir dir;
    const CompressedResult r;
    // Mostly late in the run, where the files are written.
    SignalRuns(
        CompressedResult::kPi100kCompressed, r.runTime.count() / 2, r.runTime.count() * 5 / 4,
        [&] { r.RestoreOld(); },
        [&] {
            EXPECT_TRUE(r.Consistent());
            return !fs::exists("Pi-info") ? "left no Pi-info"
                   : r.IsOld()            ? "kept the earlier result"
                                          : "left the new one";
        },
        [&] { return r.IsNew(); });
}

}  // namespace
}  // namespace zeprix::test
