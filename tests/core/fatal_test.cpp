// Fatal errors: console text, the debug log and its sections, the exit status, the hooks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/debug_log.hpp"
#include "core/fatal.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

void DiskSection(std::FILE* log) {
    std::fprintf(log, "%sMulDiskInt is on\nNa=10, Nb=20, NcAlloc=31\n", core::kLogSectionLine);
}
void GiantSection(std::FILE* log) {
    std::fprintf(log, "%sGiant step is on, value=2\n", core::kLogSectionLine);
}
void SilentSection(std::FILE*) {}

TEST(Fatal, LogCopiesTheSourceFileThenTheSectionsByRank) {
    TempWorkDir dir;
    std::ofstream("fake.txt") << "Program : Zeprix version 4.3 (fix 1), by Olmarek\nheader line\n";
    core::RegisterLogSection(50, DiskSection);
    core::RegisterLogSection(60, SilentSection);
    core::RegisterLogSection(30, GiantSection);
    core::SetLogSourceFile("fake.txt");
    const std::string msg =
        ExpectProgramExit([] { core::FatalError("Error in %s test, 100% literal"); });
    core::SetLogSourceFile("");
    EXPECT_EQ(msg, "Error in %s test, 100% literal");
    const std::string log = ReadFile("Zeprix.log");
    EXPECT_TRUE(log.starts_with("Program : Zeprix version 4.3 (fix 1), by Olmarek\nheader line\n\n"
                                "==================================\n"
                                "=             ERROR              =\n"
                                "==================================\n\n"))
        << log;
    const std::string tail = "\n\nError in %s test, 100% literal\n\n"
                             "==================================\n"
                             "=          DEBUG INFORMATION     =\n"
                             "==================================\n\n"
                             "--------------------------------\n"
                             "Giant step is on, value=2\n"
                             "--------------------------------\n"
                             "MulDiskInt is on\n"
                             "Na=10, Nb=20, NcAlloc=31\n";
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), tail.size())), tail) << log;
}

TEST(Fatal, ConsoleAsksForTheLogOnlyWhenItWasWritten) {
    TempWorkDir dir;
    {
        ConsoleCapture io("");
        EXPECT_THROW(core::FatalError("Error in Upper2Power , N=8192 is too big\n"),
                     core::ProgramExit);
        EXPECT_TRUE(Contains(io.Output(), "please send the Zeprix.log file"));
    }
    // No source file: the log starts with the error box.
    EXPECT_TRUE(ReadFile("Zeprix.log")
                    .starts_with("\n==================================\n=             ERROR"));

    fs::remove("Zeprix.log");
    fs::create_directory("Zeprix.log");  // no log can be created here
    ConsoleCapture io("");
    EXPECT_THROW(core::FatalError("Error in test"), core::ProgramExit);
    EXPECT_EQ(io.Output().find("please send"), std::string::npos) << io.Output();
    EXPECT_TRUE(Contains(io.Output(), "could not\nbe written"));
}

TEST(Fatal, SimpleAndUserErrorsWriteNoLog) {
    TempWorkDir dir;
    EXPECT_EQ(ExpectProgramExit([] {
                  core::SimpleFatalError("Error in FFTUtilities::GetRevBinArray, N is too large");
              }),
              "Error in FFTUtilities::GetRevBinArray, N is too large");
    ConsoleCapture io("");
    EXPECT_THROW(core::UserError("The file x.zeprix cannot be read: Permission denied"),
                 core::ProgramExit);
    EXPECT_EQ(io.Output(), "\nThe file x.zeprix cannot be read: Permission denied\n");
    EXPECT_FALSE(fs::exists("Zeprix.log"));
}

int gHookCalls = 0;
void CountingHook(void* arg) { gHookCalls += *static_cast<int*>(arg); }

TEST(Fatal, ExitHooksRunOnAnEarlyEndUntilRemoved) {
    int weight = 1;
    const int id = core::OnProgramExit(CountingHook, &weight);
    EXPECT_THROW(core::ExitProgram(1), core::ProgramExit);
    EXPECT_EQ(gHookCalls, 1);
    core::RemoveExitHook(id);
    EXPECT_THROW(core::ExitProgram(1), core::ProgramExit);
    EXPECT_EQ(gHookCalls, 1);
}

}  // namespace
}  // namespace zeprix::test
