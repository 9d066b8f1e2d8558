// Fatal errors: console text, the debug log and its groups, the nonzero exit status.
#include <gtest/gtest.h>

#include <fstream>

#include "fake_constant.hpp"
#include "shell/constant.hpp"
#include "shell/debug_state.hpp"
#include "shell/fatal.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

class FatalDeathTest : public ::testing::Test {
protected:
    // The default (fork) death-test style: the child writes its log into this directory.
    TempWorkDir dir;
};

TEST_F(FatalDeathTest, LogCopiesResultFileAndShowsOnlyActiveGroups) {
    std::ofstream("fake.txt") << "Program : Zeprix version 4.3 (fix 1), by Olmarek\nheader line\n";
    auto fail = [] {
        static FakeConstant c;
        shell::gCurrentComputation = &c;
        shell::gDebug.diskProduct = shell::DiskOpRecord{1, 10, 20, 31};
        shell::gDebug.giantStep = shell::GiantStepRecord{2, 5, 9, 1};
        shell::FatalError("Error in %s test, 100% literal");
    };
    EXPECT_EXIT(fail(), ::testing::ExitedWithCode(shell::kFatalExitCode), "");
    std::string log = ReadFile("Zeprix.log");
    EXPECT_EQ(log.rfind("Program : Zeprix version 4.3 (fix 1), by Olmarek\nheader line\n\n"
                        "==================================\n"
                        "=             ERROR              =\n"
                        "==================================\n\n",
                        0),
              0u)
        << log;
    EXPECT_NE(log.find("\n\nError in %s test, 100% literal\n\n"
                       "==================================\n"
                       "=          DEBUG INFORMATION     =\n"
                       "==================================\n\n"
                       "--------------------------------\n"
                       "Giant step is on, value=2\n"
                       "n0=5, n1=9\n"
                       "DoComputeA = 1\n"
                       "--------------------------------\n"
                       "MulDiskInt is on\n"
                       "Na=10, Nb=20, NcAlloc=31\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("NTT"), std::string::npos);
    EXPECT_EQ(log.find("AddDiskInt"), std::string::npos);
}

TEST_F(FatalDeathTest, ConsoleMessageWithoutComputation) {
    EXPECT_EXIT(shell::FatalError("Error in Upper2Power , N=8192 is too big\n"),
                ::testing::ExitedWithCode(shell::kFatalExitCode),
                "");
    std::string log = ReadFile("Zeprix.log");
    // No current computation: the log starts with the error box.
    EXPECT_EQ(log.rfind("\n==================================\n=             ERROR", 0), 0u) << log;
}

TEST_F(FatalDeathTest, CrtErrorAppendsAlphaBlock) {
    auto fail = [] {
        shell::gDebug.nttProduct.NCRT = 2;
        shell::gDebug.nttProduct.on = 1;
        static const double alpha[2] = {12, 34};
        shell::CRTFatalError("ERROR IN CRT, m>0.5", 0.75, alpha);
    };
    EXPECT_EXIT(fail(), ::testing::ExitedWithCode(shell::kFatalExitCode), "");
    std::string log = ReadFile("Zeprix.log");
    EXPECT_NE(log.find("NTT product is on\nNa=0, Nb=0, Nc=0\nNCRT=2, NNTT=0, CRTNbDec=0\n"),
              std::string::npos);
    EXPECT_NE(log.find("---------------------------\n\nNCRT=2\nalpha[0]=12\nalpha[1]=34\n\nm=0.7500000000\n"),
              std::string::npos)
        << log;
}

TEST_F(FatalDeathTest, SimpleErrorWritesNoLog) {
    EXPECT_EXIT(shell::SimpleFatalError("Error in FFTUtilities::GetRevBinArray, N is too large"),
                ::testing::ExitedWithCode(shell::kFatalExitCode),
                "");
    EXPECT_FALSE(fs::exists("Zeprix.log"));
}

}  // namespace
}  // namespace zeprix::test
