// The decimal writer: default layout, ranges, periodic blocks, custom layouts, negatives.
#include <gtest/gtest.h>

#include <vector>

#include "output/decimal_writer.hpp"
#include "support/test_support.hpp"
#include "vector_int.hpp"

namespace zeprix::test {
namespace {

const std::string kPi100 = "14159265358979323846264338327950288419716939937510582097494459230781640"
                           "62862089986280348253421170679";

// What WriteResult writes with `dialogue` as the console input.
std::string Write(numbers::MPInt& a, const char* name, double digits, long formatRequest,
                  long rangeRequest, const std::string& dialogue = " ") {
    ConsoleCapture io(dialogue);
    return MemoryFile(
        [&](FILE* f) { output::WriteResult(a, name, digits, f, formatRequest, rangeRequest); });
}

std::string Times(int n, const std::string& s) { return n ? s + Times(n - 1, s) : ""; }

TEST(DecimalWriter, DefaultLayoutOfPi) {
    for (int k : {12, 8}) {
        VectorInt pi = FromDigits(3, kPi100 + "8214808651", k);
        EXPECT_EQ(Write(pi, "Pi", 100, 0, 1),
                  "Pi with 100 digits : \n"
                  "Pi = 3.\n"
                  "1415926535 8979323846 2643383279 5028841971 6939937510  : 50\n"
                  "5820974944 5923078164 0628620899 8628034825 3421170679  : 100\n"
                  "\n")
            << "k=" << k;
    }
    // Ten lines make an empty line after 500 digits; a short last line ends with "\n".
    VectorInt n = FromDigits(12, Times(53, "0123456789"), 12);
    std::string out = Write(n, "N", 520, 0, 1);
    EXPECT_TRUE(Contains(out, "0123456789  : 500\n\n0123456789 0123456789 \n"));
    EXPECT_EQ(out.rfind("N with 520 digits : \nN = 12.\n0123456789 ", 0), 0u);
}

TEST(DecimalWriter, RangeAndPeriodicBlocks) {
    VectorInt pi = FromDigits(3, kPi100, 12);
    EXPECT_EQ(Write(pi, "Pi", 100, 0, 0, "1\n5\n25\n"), "Pi digits between digit 6 and digit 25\n"
                                                        "26535 8979323846 26433\n");

    VectorInt big = FromDigits(3, Times(500, "1234567890"), 12);
    EXPECT_EQ(Write(big, "X", 5000, 0, 0, "2\n10\n1000\n"),
              "X digits : 10 digits every 1000 digits\n3.\n" + Times(5, "1234567890 \n"));
    // Blocks are read a bounded number of limbs at a time.
    Write(big, "X", 5000, 0, 1);
    EXPECT_LE(big.maxRead, 8000);
}

TEST(DecimalWriter, CustomLayout) {
    VectorInt pi = FromDigits(3, kPi100, 12);
    // New line every 0 digits: one line, blanks still follow the space settings.
    EXPECT_EQ(Write(pi, "Pi", 30, -1, 1, "1\n0\n1\n"),
              "Pi with 30 digits : \nPi = 3.\n1415926535 8979323846 2643383279 \n");
    // 100 per line, counter off, blanks at 10 and 50 (the 100 question needs lines over 100).
    std::string out = Write(pi, nullptr, 100, -1, 1, "1\n100\n0\n2\n1\n1\n");
    EXPECT_EQ(out, "3.\n1415926535 8979323846 2643383279 5028841971 6939937510  "
                   "5820974944 5923078164 0628620899 8628034825 3421170679  \n\n");
}

// An invalid range is reported and the range asked again.
TEST(DecimalWriter, InvalidRangesAreAskedAgain) {
    VectorInt pi = FromDigits(3, kPi100, 12);
    std::string valid;
    {
        ConsoleCapture io("1\n1\n10\n");
        valid = MemoryFile([&](FILE* f) { output::WriteResult(pi, "Pi", 100, f, 0, 0); });
    }
    EXPECT_TRUE(Contains(valid, "digit 2 and digit 10\n415926535 \n")) << valid;
    for (const char* dialogue :
         {"1\n5\n101\n", "1\n25\n25\n", "1\n-1\n20\n", "2\n10\n0\n", "2\n10\n-5\n"}) {
        ConsoleCapture io(std::string(dialogue) + "1\n1\n10\n");
        EXPECT_EQ(MemoryFile([&](FILE* f) { output::WriteResult(pi, "Pi", 100, f, 0, 0); }), valid);
        EXPECT_TRUE(Contains(io.Output(), "ERROR, invalid parameters\n")) << dialogue;
    }
}

TEST(DecimalWriter, NegativeNumbersWriteTheirAbsoluteValue) {
    const double B = 1e12;
    // -1.25 = -2 + 0.75
    VectorInt a({0.75 * B, -2}, 12, -1);
    EXPECT_EQ(Write(a, "A", 12, 0, 1), "A with 12 digits : \nA = -1.\n2500000000 00\n");
    // -1 exactly: the one of the complement ripples through the zero limbs.
    VectorInt b({0, 0, -1}, 12, -2);
    EXPECT_EQ(Write(b, "B", 24, 0, 1),
              "B with 24 digits : \nB = -1.\n0000000000 0000000000 0000\n");
    // -0.000000000001 (one unit in the first limb after the point)
    VectorInt c({B - 1, -1}, 12, -1);
    EXPECT_EQ(Write(c, "C", 12, 0, 1), "C with 12 digits : \nC = -0.\n0000000000 01\n");
}

TEST(DecimalWriter, SmallNumbersAndLimbWidths) {
    // Below one limb after the point: scaled notation, then the digits from the top limb.
    VectorInt tiny({123456789012.0}, 12, -2);
    EXPECT_EQ(Write(tiny, nullptr, 12, 0, 1), "10^(-12) * 0.\n1234567890 12\n");
    EXPECT_EQ(MemoryFile([](FILE* f) {
                  output::WriteLimbDigits(f, 1234.0, 10);
                  output::WriteLimbDigits(f, 42.0, 12);
                  output::WriteLimbDigits(f, 7.0, 2);
              }),
              "0000001234"
              "000000000042"
              "07");
}

}  // namespace
}  // namespace zeprix::test
