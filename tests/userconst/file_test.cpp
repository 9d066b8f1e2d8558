// Constant-definition files: the questions of menu 5 about an existing file, file names;
// damaged files give a message, never a crash (arbitrary bytes, and files written back and
// read again: the fuzzing corpus replay; a definition through menu 5 read back and
// computed: the program tests).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "support/test_support.hpp"
#include "userconst/file_constant.hpp"

namespace zeprix::test {
namespace {

using userconst::FileConstant;

std::string Example(const char* name) {
    return ReadFile(std::string(ZEPRIX_EXAMPLES) + "/" + name + ".zeprix");
}

TEST(ConstantFile, OverwriteQuestionAndSuffixLessNames) {
    TempWorkDir dir;
    {
        std::ofstream("x.zeprix") << "old";
        ConsoleCapture io("c\n.\n1\n1\n3\n1/2\nx\n0\nx\n1\n");
        FileConstant c;
        c.DefineConstant();
        const std::string out = io.Output();
        EXPECT_TRUE(Contains(
            out, "Warning, a file with this name already exists.\nOverwrite [0=No, 1=Yes] ? "
                 "File name (suffix .zeprix will be automatically added) : Warning"));
        EXPECT_TRUE(Contains(ReadFile("x.zeprix"), "Constant name : c\n"));
    }
    // "x" exists without the suffix: typing x opens it, not x.zeprix.
    std::string other = ReadFile("x.zeprix");
    other.replace(other.find("Constant name : c"), 17, "Constant name : other");
    std::ofstream("x") << other;
    ConsoleCapture io("nothing\nx\n");
    FileConstant c;
    c.LoadConstantFile();
    EXPECT_EQ(c.name, "other");
    EXPECT_TRUE(
        Contains(io.Output(), "This file does not exists. Please type an existing file name.\n"));
    EXPECT_TRUE(Contains(io.Output(), "  Constant approximate value = 0.693147180560\n"));
    c.name = "a/b";  // a name never makes the result file leave the directory
    EXPECT_EQ(c.GetFileName(), "a_b.txt");
}

TEST(ConstantFile, DamagedFilesAreRefusedWithAReason) {
    const char *count = "Error while unstreaming, number of series is not valid\n",
               *beta = "Error while unstreaming, a beta value is corrupted\n";
    const char* const cases[][3] = {
        // text replaced in ln10.zeprix (first occurrence), its replacement, start of the error
        {"Number of series : 3", "Number of series : 0", count},
        {"Number of series : 3", "Number of series : 4", beta},
        {"Beta : 34", "Beta : 3 4/", beta},
        {"Series type : 2", "Series type : 4", "Unknown type\n"},
        {"Z : 1/49", "Z : 1/49n", "Error while unstreaming hypergeometric series\n"},
        {"Z : 1/49", "Z : 1",
         "Error in hypergeometric series definition\nError, the series is not geometrically "
         "convergent"},
        {"\n.\n", "\n", "Error while unstreaming, the comments are not ended\n"},
        {"Constant name : ln10",
         "Constant name :   ", "Error while unstreaming, the constant name is missing\n"},
        {"Version", "\0Version", "Error while unstreaming, this is not a text file\n"},
    };
    const std::string good = Example("ln10");
    for (const auto& [from, to, message] : cases) {
        std::string text = good;
        text.replace(text.find(from), std::strlen(from),
                     std::string(to, to[0] == 0 ? std::strlen(to + 1) + 1 : std::strlen(to)));
        FileConstant c;
        std::string error;
        EXPECT_FALSE(c.ParseConstantText(text, error)) << to;
        EXPECT_EQ(error.rfind(message, 0), 0u) << to << ": " << error;
        // the line named; for the type, the line of the value itself
        EXPECT_NE(error.find(std::strcmp(to, "Series type : 4") ? "(line " : "(line 19: "),
                  std::string::npos)
            << error;
    }
    // Mode 0 general series: a definition with a polynomial that does not parse.
    std::string text = Example("li2_half");
    text.replace(text.find("G : n^2"), 7, "G : n^^2");
    FileConstant c;
    std::string error;
    EXPECT_FALSE(c.ParseConstantText(text, error));
    EXPECT_EQ(error.rfind("Error while unstreaming hypergeometric series\n", 0), 0u) << error;
    EXPECT_TRUE(Contains(error, "Polynomial G \"n^^2\": syntax error at column 3"));
}

}  // namespace
}  // namespace zeprix::test
