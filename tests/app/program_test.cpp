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

const char* const kMenuTail = "[8] Check a compress result Pi file\n"
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
    EXPECT_NE(garbage.out.find(
                  "\"seven\" is not a whole number, please try again.\nEnter your choice : "),
              std::string::npos);
}

TEST(Program, DefineConstantNeverCreatesResultFile) {
    TempWorkDir dir;
    // A count of series below 1 is asked again (never an empty constant ending quietly).
    const ProgramRun r = RunZeprix("5\nx\n.\n0\n-2\n");
    EXPECT_EQ(r.status, 2) << r.out;
    const std::string refusal = "Error, the number of series is from 1 to";
    const std::size_t first = r.out.find(refusal);
    ASSERT_NE(first, std::string::npos) << r.out;
    EXPECT_NE(r.out.find(refusal, first + 1), std::string::npos) << r.out;
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_NE(e.path().extension(), ".txt") << e.path();
    EXPECT_FALSE(fs::exists("x.zeprix"));
}

TEST(Program, ParameterFileProblemsAreReportedAndFileKept) {
    TempWorkDir dir;
    struct Case {
        const char* content;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"", 2, "is empty or damaged"},
        {"abc\n", 2, "is empty or damaged"},
        {"7\n1000000.000000\n", 2, "names computation type 7, which cannot be"},
        {"10\n1000000.000000\n1\n65536\n0\n0\n", 2, "names computation type 10"},
        {"1\n1000000.000000\n1\n", 2, "line 4 (FFT size) is missing"},
        {"20\n1000000.000000\n0\n65536\n0\n0\n", 2, "line 3 (mode)"},
        {"1\n1000000.000000\n1\n4611686018427387904\n0\n0\n", 2, "line 4 (FFT size)"},
        // A sound record of a disk-mode run, which this version cannot run yet.
        {"21\n1000000.000000\n1\n65536\n0\n0\n", 1, "cannot run yet"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.content);
        std::ofstream("ParamZeprix") << k.content;
        ProgramRun r = RunZeprix("0\n");
        EXPECT_EQ(r.status, k.status) << r.out;
        EXPECT_NE(r.out.find(k.message), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"ParamZeprix\""), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Menu : "), std::string::npos) << "menu shown with a parameter file";
        EXPECT_EQ(r.out.find("please send"), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile("ParamZeprix"), k.content);
        EXPECT_FALSE(fs::exists("e.txt") || fs::exists("pi.txt") || fs::exists("Zeprix.log"));
    }
}

// Pi, e and the square root of 2 in a disk mode: refused at the mode question, nothing is
// written, and the end of the input ends the dialogue.
TEST(Program, DiskModesAreRefusedAtTheModeQuestion) {
    TempWorkDir dir;
    for (const char* menu : {"0", "2", "4"}) {
        SCOPED_TRACE(menu);
        const ProgramRun r = RunZeprix(std::string(menu) + "\n1\n2\n");
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find("The basic disk memory mode is not available yet in this version"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("The advanced disk memory mode is not available yet"),
                  std::string::npos);
        EXPECT_NE(r.out.find("End of input"), std::string::npos);
        EXPECT_TRUE(fs::is_empty(".")) << "files written";
    }
}

// Menu 6: a name that exists but cannot be read is reported as such, then asked again.
TEST(Program, UnreadableConstantFileIsReportedAndAskedAgain) {
    TempWorkDir dir;
    fs::create_directory("folder.zeprix");
    const ProgramRun r = RunZeprix("6\nfolder.zeprix\nnothing\n");
    EXPECT_NE(r.out.find("The file \"folder.zeprix\" cannot be read (Is a directory). Please "
                         "type another file name.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("This file does not exists."), std::string::npos);
    EXPECT_EQ(r.status, 2);
}

}  // namespace
}  // namespace zeprix::test
