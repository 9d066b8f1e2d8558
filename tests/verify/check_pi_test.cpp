// The Pi check on compressed results: refusals before the question, the verdict on a good
// file and on a file with one wrong digit.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include "disk/disk_int.hpp"
#include "fft/fft_state.hpp"
#include "output/compressed.hpp"
#include "support/test_support.hpp"
#include "verify/check_pi.hpp"

namespace zeprix::test {
namespace {

namespace fs = std::filesystem;

// What CheckPi prints with `answers`, and whether it ended the program.
std::tuple<std::string, bool> Check(const std::string& answers) {
    ConsoleCapture io(answers);
    bool ended = false;
    try {
        verify::CheckPi("Pi");
    } catch (const core::ProgramExit& e) {
        ended = true;
        EXPECT_EQ(e.status(), core::kFatalExitCode);
    }
    return {io.Output(), ended};
}

TEST(CheckPi, RefusedBeforeTheQuestion) {
    TempWorkDir dir;
    // Pi-info (null: none), the size of Pi-00, the message.
    const std::tuple<const char*, long, const char*> cases[] = {
        {nullptr, 0, "there is no compressed result Pi here"},
        {"100\n12\n-9\n4096\n", 64, "holds 100 digits: the check needs at least 136"},
        {"135\n12\n-12\n4096\n", 64, "holds 135 digits: the check needs at least 136"},
    };
    for (const auto& [info, size, message] : cases) {
        SCOPED_TRACE(info ? info : "no info");
        fs::remove("Pi-info");
        if (info) std::ofstream("Pi-info") << info;
        std::ofstream("Pi-00") << std::string(static_cast<std::size_t>(size), '\0');
        const auto [out, ended] = Check("1000\n");
        EXPECT_TRUE(ended);
        EXPECT_TRUE(Contains(out, message));
        EXPECT_EQ(out.find("Index of decimal digit"), std::string::npos) << out;
    }
}

// 2^p against GMP, with a small FFT so that the squares take several blocks.
TEST(CheckPi, TwoPowIsExact) {
    TempWorkDir dir;
    fft::FFTSession session(1024);
    disk::InitDiskMemory(1024);
    for (long p : {0L, 1L, 2L, 39L, 40L, 41L, 1000L, 4095L, 4096L, 33127L}) {
        disk::DiskInt t;
        verify::TwoPow(p, t);
        std::vector<double> limbs(static_cast<std::size_t>(t._N));
        t.WriteBuffer(limbs.data(), t._N, 0);
        Mpz want;
        mpz_ui_pow_ui(want, 2, static_cast<unsigned long>(p));
        EXPECT_EQ(t.Shift, 0) << p;
        EXPECT_TRUE(SameValue(LimbsToMpz(limbs.data(), t._N, 1e12), want)) << p;
        EXPECT_TRUE(IsCanonical(limbs.data(), t._N, 1e12)) << p;
        t.Free();
    }
    EXPECT_TRUE(fs::is_empty(".")) << "scratch files left";
}

// The verdict on good digits.
std::string Good(const std::string& digits) {
    return "The computed 24 binary digits are identical.\nThe first " + digits +
           " digits of the Pi computation are good\nwith a very high probability\n";
}

// The two lines of binary digits the check printed: the file's and the formula's.
std::pair<std::string, std::string> BinaryLines(const std::string& out) {
    const std::string tag = "Binary digits : ";
    const std::size_t a = out.find(tag), b = out.find(tag, a + 1);
    if (b == std::string::npos) return {"", "missing"};
    return {out.substr(a + tag.size(), 25), out.substr(b + tag.size(), 25)};
}

TEST(CheckPi, VerdictOnGoodAndChangedDigits) {
    TempWorkDir dir;
    ASSERT_EQ(RunProgram(ZEPRIX_EXE, "0\n0\n20000\n2\n1\n").status, 0);
    // A good file: 10000 is lowered to a multiple of 36; an index below 36 is asked again.
    auto [out, ended] = Check("20\n10000\n");
    ASSERT_FALSE(ended) << out;
    EXPECT_TRUE(Contains(out, "*              Pi digits verification                 *\n"));
    EXPECT_TRUE(Contains(out, "\n\nThe file contains 20000 decimal digits.\n"));
    EXPECT_TRUE(Contains(out, "Error, the index must be at least 36.\n"));
    EXPECT_TRUE(Contains(out, "Checking the first 9972 digits,\nby computing 24 binary digits at "
                              "binary position 33127\n"));
    EXPECT_TRUE(Contains(out, "\n......\nEnd of second step"));
    EXPECT_TRUE(Contains(out, Good("9972")));
    const auto good = BinaryLines(out);
    EXPECT_EQ(good.first, good.second);
    // One limb changed, digits 4801 to 4812: the check up to 9972 fails, up to 4500 not.
    const output::CompressedInfo info = output::ReadCompressedInfo("Pi");
    disk::DiskInt pi;
    output::OpenCompressed(info, pi);
    Big changed(info.limbs);
    pi.WriteBuffer(changed.b.Limbs, info.limbs, 0);
    changed.b._N = info.limbs;
    changed.b.Exp = info.shift;
    double& limb = changed.b.Limbs[-info.shift - 1 - 400];
    limb = limb < 5e11 ? limb + 1e11 : limb - 1e11;
    output::WriteCompressed(changed.b, info.digits, "Pi", info.fftSize);
    std::tie(out, ended) = Check("10000\n");
    EXPECT_TRUE(Contains(out, "The check shows that your first 9972 digits are not OK\n"));
    const auto bad = BinaryLines(out);
    EXPECT_TRUE(bad.first != bad.second && bad.second == good.second);
    EXPECT_TRUE(Contains(std::get<0>(Check("4500\n")), Good("4500")));
    // The check leaves only the compressed result and the result file behind.
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_TRUE(e.path().filename() == "Pi-00" || e.path().filename() == "Pi-info" ||
                    e.path().filename() == "pi.txt")
            << e.path();
}

}  // namespace
}  // namespace zeprix::test
