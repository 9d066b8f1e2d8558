// Constant-definition files: the dialogue of menu 5 writes a file that reads back into the
// same definition; damaged files give a message, never a crash (arbitrary bytes: the
// fuzzing corpus replay).
#include <gtest/gtest.h>

#include <cmath>
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

// Blanks inside the name and the values, a comment with a colon, a comment "." followed by
// a blank (not the end), empty comment lines (dropped), every type and both modes.
const char* kDialogue = "Sum with  blanks \n"
                        "line one: with a colon\n"
                        "\n"
                        ". \n"
                        ".\n"
                        "4\n"
                        "-2 / 3\n3\n1 / 3\n"
                        "1\n1\n1/ 5\n"
                        "7\n2\n1/7\n"
                        "3/2\n0\n0\n1 / 2\n-1\n2 n + 1\n(n + 1)^2 + 3 n\n-2 / 9\n"
                        "file name\n";  // "file" is the word read: "file.zeprix"

TEST(ConstantFile, DefinitionWritesAFileThatReadsBackTheSame) {
    TempWorkDir dir;
    FileConstant c;
    {
        ConsoleCapture io(kDialogue);
        c.DefineConstant();
        EXPECT_TRUE(Contains(io.Output(), "File file.zeprix saved.\n"));
    }
    const std::string text = ReadFile("file.zeprix");
    EXPECT_TRUE(
        Contains(text, "Comments :\nline one: with a colon\n. \n\n.\nNumber of series : 4\n"));
    EXPECT_TRUE(Contains(text,
                         "\nSeries number 3\nBeta : 3/2\nSeries type : 0\nDefinition mode : 0\n"
                         "Alpha : 1 / 2\nBeta : -1\nPolynomial F : 2 n + 1\n"
                         "Polynomial G : (n + 1)^2 + 3 n\nZ : -2 / 9\n"));

    FileConstant d;  // read back: the same definition, written again to the same text
    std::string error;
    ASSERT_TRUE(d.ParseConstantText(text, error)) << error;
    EXPECT_EQ(d.name, "Sum with  blanks");
    EXPECT_EQ(d.comments, c.comments);
    ASSERT_EQ(d.count, 4);
    EXPECT_DOUBLE_EQ(d.ApproximateConstant(), c.ApproximateConstant());
    EXPECT_EQ(MemoryFile([&](FILE* f) { d.WriteConstantFile(f); }), text);
    d.name = "a/b";  // a name never makes the result file leave the directory
    EXPECT_EQ(d.GetFileName(), "a_b.txt");
    const double want = -2.0 / 3 * std::log(1.5) + std::atan(0.2) + 7 * std::atanh(1.0 / 7);
    EXPECT_NEAR(c.ApproximateConstant() - 1.5 * c.series[3]->ApproximateValue(), want, 1e-12);
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
}

TEST(ConstantFile, DamagedFilesAreRefusedWithAReason) {
    const char *count = "Error while unstreaming, number of series is not valid\n",
               *beta = "Error while unstreaming, a beta value is corrupted\n";
    const char* const cases[][3] = {
        // text replaced in ln10.zeprix (first occurrence), its replacement, start of the error
        {"Number of series : 3", "Number of series : 0", count},
        {"Number of series : 3", "Number of series : 99999999999", count},
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
