// The pool: every chunk once, distinct slots at a time, nested calls, and a fatal error on a
// worker reported once and rethrown in the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/console.hpp"
#include "core/fatal.hpp"
#include "core/parallel.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

class ParallelTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        saved_ = core::ThreadCount();
        core::SetThreadCount(GetParam());
    }
    void TearDown() override { core::SetThreadCount(saved_); }
    int saved_ = 1;
};

// Chunks run once each; two chunks running together never share a slot; calls nested two
// deep inside the halves of RunBoth finish (no thread waits for a chunk nobody runs).
TEST_P(ParallelTest, ChunksOnceSlotsApartNestedCallsFinish) {
    const int threads = GetParam();
    std::vector<std::atomic<int>> runs(1000);
    std::vector<std::atomic<int>> busy(static_cast<std::size_t>(threads));
    std::atomic<bool> shared{false};
    core::ParallelFor(1000, [&](long i, int slot) {
        ASSERT_GE(slot, 0);
        ASSERT_LT(slot, threads);
        if (busy[static_cast<std::size_t>(slot)].fetch_add(1) != 0) shared = true;
        runs[static_cast<std::size_t>(i)]++;
        std::this_thread::yield();
        busy[static_cast<std::size_t>(slot)].fetch_sub(1);
    });
    EXPECT_FALSE(shared);
    for (const auto& r : runs) ASSERT_EQ(r.load(), 1);

    std::atomic<long> sum{0};
    auto inner = [&] {
        core::ParallelFor(50, [&](long i, int) {
            core::ParallelFor(20, [&](long j, int) { sum += i * 20 + j; });
        });
    };
    core::RunBoth(inner, [&] { core::RunBoth(inner, inner); });
    EXPECT_EQ(sum.load(), 3 * (1000L * 999 / 2));
}

// Two chunks fail at once: one message on the console, the caller gets the exit, the
// chunks after the failure do not start, and the next call runs normally.
TEST_P(ParallelTest, AFatalErrorOnAnyThreadIsReportedOnce) {
    TempWorkDir dir;
    ConsoleCapture io("");
    std::atomic<long> after{0};
    const std::string msg = ExpectProgramExit([&] {
        core::ParallelFor(64, [&](long i, int) {
            if (i == 1 || i == 2) core::FatalError("Error in the test chunk");
            if (i > 40) after++;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        });
    });
    EXPECT_EQ(msg, "Error in the test chunk");
    const std::string out = io.Output();
    EXPECT_EQ(out.find("Error in the test chunk"), out.rfind("Error in the test chunk")) << out;
    EXPECT_LT(after.load(), 24);
    EXPECT_FALSE(core::StopRequested());
    long n = 0;
    core::ParallelFor(8, [&](long, int) { core::StopIfRequested(); });
    core::ParallelFor(1, [&](long, int) { n = 1; });
    EXPECT_EQ(n, 1);
}

INSTANTIATE_TEST_SUITE_P(Threads, ParallelTest, ::testing::Values(1, 2, 3, 8));

}  // namespace
}  // namespace zeprix::test
