// The parameter dialogue: modes, digit words, the FFT table and the FFT size answer.
#include <gtest/gtest.h>

#include "fake_constant.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

TEST(Dialogue, MillionDigitsModeZeroFullTranscript) {
    ConsoleCapture io("0\n1m\n100\n0\n");
    FakeConstant c;
    c.ChooseParameters();
    EXPECT_EQ(c.mode, 0);
    EXPECT_EQ(c.digits, 1000000);
    EXPECT_EQ(c.fftSize, 65536);
    EXPECT_EQ(c.compressed, 0);
    // FFT memory of 128 k points: 32 F + 116 * 4096 + 24 * 8192 + 16 * 512 bytes = 4760 K.
    EXPECT_EQ(io.Output(),
              "Choose your computation mode :\n"
              "[0] standard mode (no disk memory used)\n"
              "[1] basic disk memory mode (for big computations)\n"
              "[2] advanced disk memory mode (for huge computations)\n"
              "Enter your choice : \n"
              "Number of decimal digits : (1000000 digits)\n"
              "Possible FFT modes, with approximate needed memory :\n"
              "\n"
              "FFT Size= 128 k, Mem=4760 K (Fastest mode)\n"
              "FFT Size=  64 k, Mem=2612 K\n"
              "FFT Size=  32 k, Mem=1588 K\n"
              "FFT Size=  16 k, Mem=1074 K\n"
              "FFT Size=   8 k, Mem=818 K\n"
              "FFT Size=   4 k, Mem=689 K\n"
              "...\n\n"
              "Enter FFT Size in k :\n"
              "Compressed output (also useful to specify output format) ? [0=No, 1=Yes] : \n");
}

TEST(Dialogue, DigitSuffixesAndRejectedCounts) {
    struct Case {
        const char* word;
        double digits;
        const char* echo;
    };
    const Case cases[] = {
        {"1M", 1048576, "(1048576 digits)\n"},
        {"1m", 1000000, "(1000000 digits)\n"},
        {"20k", 20000, "(20000 digits)\n"},
        {"10K", 10240, "(10240 digits)\n"},
        {"0.5g", 500000000, "(500000000 digits)\n"},
        {"1G", 1073741824, "(1073741824 digits)\n"},
        {"12345.9", 12345, ""},
    };
    for (const Case& k : cases) {
        ConsoleCapture io(std::string("0\n") + k.word + "\n1\n0\n");
        FakeConstant c;
        c.ChooseParameters();
        EXPECT_EQ(c.digits, k.digits) << k.word;
        std::string out = io.Output();
        if (*k.echo) EXPECT_NE(out.find(k.echo), std::string::npos) << k.word;
        else EXPECT_EQ(out.find("digits)\n"), std::string::npos) << k.word;
    }

    // "k" alone reads as 0 digits; below 10000, negative and garbage are asked again.
    ConsoleCapture io("0\nk\n9999\n-50000\nlots\n10000\n1\n0\n");
    FakeConstant c;
    c.ChooseParameters();
    EXPECT_EQ(c.digits, 10000);
    std::string out = io.Output();
    size_t errors = 0;
    for (size_t p = out.find("Error, should compute at least 10000 digits\n"); p != std::string::npos;
         p = out.find("Error, should compute at least 10000 digits\n", p + 1))
        ++errors;
    EXPECT_EQ(errors, 4u);
    // With 12288 digits or fewer the only row is 1 k.
    EXPECT_NE(out.find("FFT Size=   1 k, Mem="), std::string::npos);
    EXPECT_NE(out.find(" K (Fastest mode)\n...\n"), std::string::npos);
}

TEST(Dialogue, FftSizeAnswers) {
    // Too large, zero, negative and non-numeric answers are asked again; 100 selects 64 k.
    ConsoleCapture io("0\n1000000\n256\n0\n-4\nabc\n100\n0\n");
    FakeConstant c;
    c.ChooseParameters();
    EXPECT_EQ(c.fftSize, 65536);
    std::string out = io.Output();
    EXPECT_NE(out.find("Enter FFT Size in k :Error, your FFT size is too large\n"), std::string::npos);
    EXPECT_NE(out.find("\"abc\" is not a whole number"), std::string::npos);

    // Modes 1 and 2 print the disk estimate and start one and two rows lower.
    ConsoleCapture io2("1\n1000000\n64\n1\n");
    FakeConstant d;
    d.ChooseParameters();
    EXPECT_EQ(d.fftSize, 65536);
    EXPECT_EQ(d.compressed, 1);
    std::string out2 = io2.Output();
    EXPECT_NE(out2.find("FFT Size=  64 k, Mem=2612 K, MemDisk=1953 k (Fastest mode)\n"),
              std::string::npos);
    EXPECT_NE(out2.find("FFT Size=   2 k"), std::string::npos);
}

TEST(Dialogue, LargestSizeIsCappedAndNoDiskModes) {
    // 10^10 digits: the fastest size would be 1048576 k; mode 0 caps it at 32768 k.
    ConsoleCapture io("10g\n32768\n0\n");
    FakeConstant c;
    c.diskModes = false;
    c.ChooseParameters();
    EXPECT_EQ(c.mode, 0);
    EXPECT_EQ(c.fftSize, 32768L * 1024);
    std::string out = io.Output();
    EXPECT_EQ(out.rfind("Computation mode : standard (no disk swapping mode available)\n", 0), 0u);
    EXPECT_NE(out.find("FFT Size=32768 k"), std::string::npos);
    EXPECT_NE(out.find("FFT Size=1024 k"), std::string::npos);
}

TEST(Dialogue, EndOfInputEndsWithNonzeroStatus) {
    ExpectProgramExit([] {
        ConsoleCapture io("0\n1m\n");
        FakeConstant c;
        c.ChooseParameters();
    });
}

TEST(Console, ParsesWholeWordsOnly) {
    long l;
    double d;
    EXPECT_TRUE(core::ParseLong("-12", l));
    EXPECT_EQ(l, -12);
    EXPECT_FALSE(core::ParseLong("12abc", l));
    EXPECT_FALSE(core::ParseLong("99999999999999999999999", l));
    EXPECT_TRUE(core::ParseDouble("0.25", d));
    EXPECT_FALSE(core::ParseDouble("nan", d));
    EXPECT_FALSE(core::ParseDouble("", d));
}

}  // namespace
}  // namespace zeprix::test
