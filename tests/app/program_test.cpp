// The zeprix program driven through a pipe: menu, resume road, end of input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

// Runs zeprix in the current directory with `input` on its standard input.
ProgramRun RunZeprix(const std::string& input) { return RunProgram(ZEPRIX_EXE, input); }

const char* const kMenuTail =
    "[8] Check a compress result Pi file\n"
    "Enter your choice : \n";

TEST(Program, MenuChoiceOutsideTheMenuEndsQuietly) {
    TempWorkDir dir;
    for (const char* choice : {"9\n", "-1\n"}) {
        ProgramRun r = RunZeprix(choice);
        EXPECT_EQ(r.status, 0) << choice;
        ASSERT_GE(r.out.size(), std::string(kMenuTail).size());
        EXPECT_EQ(r.out.substr(r.out.size() - std::string(kMenuTail).size()), kMenuTail) << r.out;
        EXPECT_EQ(r.out.rfind("Zeprix, version 4.3 (fix 1) (", 0), 0u);
    }
}

TEST(Program, EndOfInputAndGarbageAtTheMenu) {
    TempWorkDir dir;
    ProgramRun eof = RunZeprix("");
    EXPECT_NE(eof.status, 0);
    EXPECT_NE(eof.out.find("End of input"), std::string::npos);

    // A word that is not a number is reported and asked again.
    ProgramRun garbage = RunZeprix("seven\n12\n");
    EXPECT_EQ(garbage.status, 0);
    EXPECT_NE(garbage.out.find("\"seven\" is not a whole number, please try again.\nEnter your choice : "),
              std::string::npos);
}

TEST(Program, DefineConstantNeverCreatesResultFile) {
    TempWorkDir dir;
    RunZeprix("5\n");
    for (const auto& e : fs::directory_iterator(".")) EXPECT_NE(e.path().extension(), ".txt") << e.path();
}

TEST(Program, ParameterFileProblemsAreReportedAndFileKept) {
    TempWorkDir dir;
    for (const char* content : {"", "abc\n", "7\n1000000.000000\n", "1\n1000000.000000\n1\n"}) {
        std::ofstream("ParamZeprix") << content;
        ProgramRun r = RunZeprix("0\n");
        EXPECT_NE(r.status, 0) << content;
        EXPECT_NE(r.out.find("\"ParamZeprix\""), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Menu : "), std::string::npos) << "menu shown with a parameter file";
        EXPECT_TRUE(fs::exists("ParamZeprix"));
        EXPECT_EQ(ReadFile("ParamZeprix"), content);
    }
}

}  // namespace
}  // namespace zeprix::test
