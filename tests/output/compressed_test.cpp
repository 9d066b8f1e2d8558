// Compressed results: the refusal of damaged results and of names and numbers that cannot
// be packed. (Writing and reading them back: the writer tests on threads, the
// decompression of program results, the Pi check.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include "disk/disk_int.hpp"
#include "output/compressed.hpp"
#include "support/test_support.hpp"
#include "vector_int.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

// n limbs: a group of the largest limbs and a group of zeros at the bottom, random limbs
// above them, then `top`.
std::vector<double> RandomLimbVector(long n, double top) {
    std::vector<double> v(static_cast<std::size_t>(n));
    for (double& x : v) x = static_cast<double>(RandomLong(0, 999999999999));
    std::fill(v.begin(), v.begin() + 3, 999999999999.0);
    std::fill(v.begin() + 3, v.begin() + 6, 0.0);
    v.back() = top;
    return v;
}

TEST(Compressed, DamagedResultsAreRefusedBeforeAnyQuestion) {
    TempWorkDir dir;
    // NAME-info, the size of T-00 (-1: no file), the message.
    const std::tuple<const char*, long, const char*> cases[] = {
        {nullptr, 64, "there is no compressed result T here: the file T-info cannot be read"},
        {"100\n12\n", 64, "T-info line 3 (limb exponent) is missing"},
        {"100\ntwelve\n-9\n4096\n", 64, "line 2 (number of limbs) reads \"twelve\""},
        {"100\n10\n-9\n4096\n", 64, "line 2 (number of limbs) is not a positive multiple of 3"},
        {"0\n12\n-9\n4096\n", 64, "line 1 (number of digits) is not from 1 to 10^15"},
        {"200\n12\n-9\n4096\n", 64, "leaves fewer than 200 digits below the point"},
        {"100\n12\n3\n4096\n", 64, "leaves fewer than 100 digits below the point"},
        {"100\n12\n-9\n268435456\n", 64, "line 4 (FFT size) is not a power of two"},
        {"100\n12\n-9\n4096\n", -1, "the limb file T-00 is missing"},
        {"100\n12\n-9\n4096\n", 48, "the limb file T-00 holds 48 bytes instead of 64"},
    };
    for (const auto& [info, size, message] : cases) {
        SCOPED_TRACE(info ? info : "no info");
        fs::remove("T-info");
        fs::remove("T-00");
        if (info) std::ofstream("T-info") << info;
        if (size >= 0) std::ofstream("T-00") << std::string(static_cast<std::size_t>(size), 'x');
        const std::string msg = ExpectProgramExit([] { output::ReadCompressedInfo("T"); });
        EXPECT_TRUE(Contains(msg, message));
    }
    // A limb file of the right size whose words are not packed digits.
    VectorInt x(RandomLimbVector(10, 3), 12, -9);
    output::WriteCompressed(x, 100, "T", 4096);
    std::ofstream("T-00", std::ios::binary) << std::string(64, '\xff');
    const std::string msg = ExpectProgramExit([] {
        disk::DiskInt d;
        output::OpenCompressed(output::ReadCompressedInfo("T"), d);
        double limbs[12];
        d.WriteBuffer(limbs, 12, 0);
    });
    EXPECT_TRUE(Contains(msg, "Error, a file of packed digits is damaged"));
    std::ofstream("T-00") << std::string(48, 'x');

    // Through the dialogue: the message comes before the writer's first question.
    ConsoleCapture io("3\nT\n0\n");
    EXPECT_THROW(output::Decompress(), core::ProgramExit);
    const std::string out = io.Output();
    EXPECT_TRUE(Contains(out, "Enter the constant name : \nError, the compressed result T"));
    EXPECT_EQ(out.find("OUTPUT FILE"), std::string::npos) << out;
}

TEST(Compressed, WhatCannotBePackedIsAnInternalError) {
    const std::tuple<std::vector<double>, const char*> cases[] = {
        {{1e12, 3}, "a limb is not normalised"},
        {{0.5, 3}, "a limb is not normalised"},
        {{5, -1}, "the result T cannot be compressed"},
    };
    for (const auto& [limbs, message] : cases) {
        VectorInt x(limbs, 12, -1);
        ZEPRIX_EXPECT_FATAL(output::WriteCompressed(x, 10, "T", 1024), message);
    }
}

}  // namespace
}  // namespace zeprix::test
