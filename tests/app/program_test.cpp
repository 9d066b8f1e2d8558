// The zeprix program driven through a pipe: menu, resume road, end of input.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

const char* const kMenuTail = "[8] Check a compress result Pi file\n"
                              "Enter your choice : \n";

TEST(Program, MenuChoicesOutsideTheMenuGarbageAndEndOfInput) {
    TempWorkDir dir;
    for (const char* choice : {"9\n", "-1\n"}) {
        ProgramRun r = RunProgram(ZEPRIX_EXE, choice);
        EXPECT_EQ(r.status, 0) << choice;
        EXPECT_TRUE(r.out.starts_with("Zeprix, version 4.3 (fix 1) (") &&
                    r.out.ends_with(kMenuTail))
            << r.out;
    }
    const ProgramRun eof = RunProgram(ZEPRIX_EXE, "");
    EXPECT_TRUE(eof.status != 0 && Contains(eof.out, "End of input")) << eof.out;
    // A word that is not a number is reported and asked again.
    const ProgramRun garbage = RunProgram(ZEPRIX_EXE, "seven\n12\n");
    EXPECT_EQ(garbage.status, 0);
    EXPECT_TRUE(Contains(
        garbage.out, "\"seven\" is not a whole number, please try again.\nEnter your choice : "));
}

TEST(Program, DefineConstantNeverCreatesResultFile) {
    TempWorkDir dir;
    // A count of series below 1 is asked again (never an empty constant ending quietly).
    const ProgramRun r = RunProgram(ZEPRIX_EXE, "5\nx\n.\n0\n-2\n");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(Occurrences(r.out, "Error, the number of series is from 1 to"), 2) << r.out;
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_NE(e.path().extension(), ".txt") << e.path();
    EXPECT_FALSE(fs::exists("x.zeprix"));
}

TEST(Program, ParameterFileProblemsAreReportedAndFileKept) {
    TempWorkDir dir;
    // content, exit status, message (each line of a record of a known type: run_test.cpp)
    const std::tuple<const char*, int, const char*> cases[] = {
        {"", 2, "is empty or damaged"},
        {"abc\n", 2, "is empty or damaged"},
        {"7\n1000000.000000\n", 2, "names computation type 7, which cannot be"},
        {"10\n1000000.000000\n1\n65536\n0\n0\n", 2, "names computation type 10"},
        {"20\n1000000.000000\n0\n65536\n0\n0\n", 2, "line 3 (mode)"},
        // e in mode 1 and Pi in mode 2 without the record of their series.
        {"21\n1000000.000000\n1\n65536\n0\n0\n0\n", 2, "its series state is missing"},
        {"1\n1000000.000000\n2\n32768\n0\n0\n0\n", 2, "its series state is missing"},
    };
    for (const auto& [content, status, message] : cases) {
        SCOPED_TRACE(content);
        std::ofstream("ParamZeprix") << content;
        const ProgramRun r = RunProgram(ZEPRIX_EXE, "0\n");
        EXPECT_EQ(r.status, status) << r.out;
        EXPECT_TRUE(Contains(r.out, message) && Contains(r.out, "\"ParamZeprix\""));
        // no menu with a parameter file, no debug log for the user's file
        EXPECT_FALSE(Contains(r.out, "Menu : ") || Contains(r.out, "please send")) << r.out;
        EXPECT_EQ(ReadFile("ParamZeprix"), content);
        EXPECT_FALSE(fs::exists("e.txt") || fs::exists("pi.txt") || fs::exists("Zeprix.log"));
    }
}

// Menu 6: a name that exists but cannot be read is reported as such, then asked again.
TEST(Program, UnreadableConstantFileIsReportedAndAskedAgain) {
    TempWorkDir dir;
    fs::create_directory("folder.zeprix");
    const ProgramRun r = RunProgram(ZEPRIX_EXE, "6\nfolder.zeprix\nnothing\n");
    EXPECT_TRUE(Contains(r.out,
                         "The file \"folder.zeprix\" cannot be read (Is a directory). Please "
                         "type another file name.\n"));
    EXPECT_TRUE(Contains(r.out, "This file does not exists."));
    EXPECT_EQ(r.status, 2);
}

// Entries 7 and 8 without a compressed result end with a message and status 2. (On a
// compressed result: the decompression and Pi check tests, and the command line's, which
// compares its files with the menu's.)
TEST(Program, DecompressAndCheckEntriesWithoutAResult) {
    TempWorkDir dir;
    for (const char* input : {"7\n0\n", "8\n"}) {
        const ProgramRun r = RunProgram(ZEPRIX_EXE, input);
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_TRUE(Contains(r.out, "Error, there is no compressed result Pi here"));
    }
}

}  // namespace
}  // namespace zeprix::test
