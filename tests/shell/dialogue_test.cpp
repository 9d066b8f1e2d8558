// The parameter dialogue: modes, digit words, the FFT table and the FFT size answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "fake_constant.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

// Every answer of the dialogue, good and bad: what is accepted, and what is refused with
// its message and asked again (never looping, never silently replaced).
TEST(Dialogue, AnswersAreAcceptedOrAskedAgain) {
    // input (blanks for line breaks), mode, digits, FFT size in k, compressed, a text the
    // transcript must hold ("" for none)
    const std::tuple<const char*, long, double, long, long, const char*> cases[] = {
        // Digit words: one number, at most one suffix, a whole count.
        {"0 1M 128 0", 0, 1048576, 128, 0, "(1048576 digits)\n"},
        {"0 1m 128 0", 0, 1000000, 128, 0,
         "(1000000 digits)\nPossible FFT modes, with approximate needed memory :\n\n"
         "FFT Size= 128 k, Mem=4760 K (Fastest mode)\nFFT Size=  64 k, Mem=2612 K\n"},
        {"0 0.5g 32768 0", 0, 5e8, 32768, 0, "(500000000 digits)\n"},
        {"0 1.5m 128 0", 0, 1500000, 128, 0, "(1500000 digits)\n"},
        {"0 10000abc 10kk 0x10000 10000.9 1e4k k 20000 2 0", 0, 20000, 2, 0,
         "\"1e4k\" is not a number of digits"},
        {"0 9999 -50000 10000 1 0", 0, 10000, 1, 0,
         "Error, should compute at least 10000 digits\n"},
        // Modes: only 0, 1 and 2; a mode that cannot run is refused at once.
        {"3 -1 10000 0 1m 64 0", 0, 1e6, 64, 0, "Error, the computation mode is 0, 1 or 2.\n"},
        // FFT sizes: only the sizes of the table.
        {"0 1m 256 0 -4 abc 64x 100 3 64 0", 0, 1e6, 64, 0, "Error, your FFT size is too large\n"},
        {"0 1m 100 2 4 0", 0, 1e6, 4, 0,
         "Error, the FFT size must be one of the sizes above (4 to 128 k).\n"},
        // Compressed: 0 or 1.
        {"0 1m 64 2 -1 1", 0, 1e6, 64, 1, "Error, please answer 0 or 1.\n"},
        // Mode 1 starts one row lower and shows the disk estimate.
        {"1 1m 64 1", 1, 1e6, 64, 1,
         "FFT Size=  64 k, Mem=2612 K, MemDisk=1953 k (Fastest mode)\n"},
        // Mode 2 has no FFT size for 10000 digits: refused, and the mode asked again.
        {"2 10000 0 10000 1 0", 0, 10000, 1, 0,
         "Error, the advanced disk memory mode has no FFT size for 10000 digits: choose "
         "another mode.\n"},
    };
    for (const auto& [input, mode, digits, fftK, compressed, expected] : cases) {
        SCOPED_TRACE(input);
        std::string lines = input;
        std::replace(lines.begin(), lines.end(), ' ', '\n');
        ConsoleCapture io(lines + "\n");
        FakeConstant c;
        c.ChooseParameters();
        EXPECT_EQ(std::tuple(c.mode, c.digits, c.fftSize, c.compressed),
                  std::tuple(mode, digits, fftK * 1024, compressed));
        EXPECT_TRUE(Contains(io.Output(), expected));
    }

    // Disk modes that cannot run in this version are refused right after the question.
    ConsoleCapture io("1\n2\n0\n1m\n128\n0\n");
    FakeConstant c;
    c.diskModesRun = false;
    c.ChooseParameters();
    EXPECT_EQ(c.mode, 0);
    EXPECT_TRUE(Contains(io.Output(),
                         "Enter your choice : The basic disk memory mode is not available yet "
                         "in this version: choose the standard mode (0).\nEnter your choice : "
                         "The advanced disk memory mode"));
}

}  // namespace
}  // namespace zeprix::test
