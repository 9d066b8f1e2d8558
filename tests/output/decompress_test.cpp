// Menu entry 7 on a result the program compressed: the same text as the plain result file,
// and as the decimal writer on the same digits, for every range and layout answer.
#include <filesystem>

#include "output/compressed.hpp"
#include "output/decimal_writer.hpp"
#include "support/test_support.hpp"
#include "vector_int.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

constexpr long kDigits = 50000;

TEST(Decompress, SameTextAsThePlainWriter) {
    TempWorkDir dir;
    ASSERT_EQ(RunProgram(ZEPRIX_EXE, "0\n0\n50000\n8\n0\n").status, 0);
    fs::rename("pi.txt", "plain.txt");
    ASSERT_EQ(RunProgram(ZEPRIX_EXE, "0\n0\n50000\n8\n1\n").status, 0);
    const std::string plain = ReadFile("plain.txt");
    const std::string digitsPart = plain.substr(plain.find("Pi with "));
    const std::string value = ResultValue(plain, "Pi", kDigits);
    VectorInt pi = FromDigits(3, value.substr(2), 12);

    // Range and layout answers: all digits, a range, x digits every y digits (plain and in
    // a custom layout), no new lines, lines of 100 with blanks every 10 and 50.
    const char* const answers[] = {
        "0\n0\n",           "1\n12345\n23456\n0\n",
        "2\n10\n1000\n0\n", "2\n100\n7777\n1\n64\n1\n3\n1\n1\n",
        "0\n1\n0\n1\n",     "1\n48999\n50000\n1\n100\n0\n0\n1\n1\n",
    };
    for (const char* a : answers) {
        SCOPED_TRACE(a);
        for (const char* choice : {"0\n", "3\nPi\n"}) {
            fs::remove("out.txt");
            ConsoleCapture io(std::string(choice) + "1\nout.txt\n" + a);
            output::Decompress();
            const std::string got = ReadFile("out.txt");
            EXPECT_TRUE(a != answers[0] || SameText(got, digitsPart));
            {
                ConsoleCapture ref(std::string("1\nref.txt\n") + a);
                output::WriteResult(pi, "Pi", kDigits, nullptr, -1, 0);
            }
            EXPECT_TRUE(SameText(got, ReadFile("ref.txt"))) << choice;
            EXPECT_GT(got.size(), 100u);
        }
    }
}

// A decompression that cannot write its file (a full disk, here a file-size limit) ends
// with a message and leaves no file of that name.
TEST(Decompress, FailedWriteLeavesNoFile) {
    TempWorkDir dir;
    ASSERT_EQ(RunProgram(ZEPRIX_EXE, "2\n0\n50000\n8\n1\n").status, 0);
    std::string message;
    try {
        FileSizeLimit limit(20000);
        ConsoleCapture io("1\n1\nout.txt\n0\n0\n");
        output::Decompress();
    } catch (const core::ProgramExit& e) {
        message = e.what();
    }
    EXPECT_TRUE(Contains(message, "Error, the file out.txt could not be written (File too large)"));
    EXPECT_FALSE(fs::exists("out.txt") || fs::exists("out.txt.incomplete"));
}

}  // namespace
}  // namespace zeprix::test
