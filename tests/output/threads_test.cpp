// The writers on several threads: the same bytes as on one thread for numbers of many blocks,
// digits checked against their source, and fatal errors raised on worker threads.
#include <cstring>

#include "disk/disk_int.hpp"
#include "output/compressed.hpp"
#include "output/decimal_writer.hpp"
#include "support/test_support.hpp"
#include "vector_int.hpp"

namespace zeprix::test {
namespace {

constexpr long kDigits = 1700004;  // 18 blocks of either writer: three batches on 2 threads

// Limbs (the lowest first) of 3.frac, and the complement form of the negative of such limbs.
std::vector<double> Limbs(const std::string& frac) {
    std::vector<double> v;
    for (size_t at = frac.size(); at > 0; at -= 12)
        v.push_back(std::stod(frac.substr(at - 12, 12)));
    v.push_back(3);
    return v;
}
std::vector<double> Negated(std::vector<double> v) {
    size_t z = 0;
    while (v[z] == 0) ++z;
    for (size_t i = z; i + 1 < v.size(); ++i) v[i] = (i == z ? 1e12 : 1e12 - 1) - v[i];
    v.back() = -v.back() - (z + 1 < v.size() ? 1 : 0);
    return v;
}

std::string Text(numbers::MPInt& a, long format, long range, const std::string& answers = "") {
    ConsoleCapture io(answers);
    return MemoryFile([&](FILE* f) { output::WriteResult(a, "N", kDigits, f, format, range); });
}

// The digits of a range's text: the heading line, blanks, line breaks and counters dropped.
std::string RangeDigits(const std::string& text) {
    std::string v;
    for (size_t i = text.find('\n'); i < text.size(); ++i) {
        if (text[i] == ':') i = text.find('\n', i);
        if (text[i] >= '0' && text[i] <= '9') v += text[i];
    }
    return v;
}

TEST(WritersOnThreads, SameBytesAsOneThread) {
    ThreadCountRestored restore;
    TempWorkDir dir;
    std::string frac(kDigits, '0');  // random digits, the last 10^6 zero
    for (long i = 0; i < kDigits - 1000000; ++i)
        frac[i] = static_cast<char>('0' + RandomLong(0, 9));
    VectorInt x(Limbs(frac), 12, -kDigits / 12), neg(Negated(Limbs(frac)), 12, -kDigits / 12);
    const char* const range = "1\n12345\n1600017\n1\n64\n1\n3\n1\n1\n";  // custom layout

    core::SetThreadCount(1);
    const std::string all = Text(x, 0, 1), part = Text(x, -1, 0, range);
    output::WriteCompressed(x, kDigits, "N", 1 << 20);
    const std::string packed = ReadFile("N-00");
    ASSERT_EQ(ResultValue(all, "N", kDigits), "3." + frac) << SeedNote();
    EXPECT_EQ(RangeDigits(part), frac.substr(12345, 1600017 - 12345));
    // The packed words are the number's base-10^9 digits, the lowest first.
    const std::string dec = std::string((36 - (kDigits + 1) % 36) % 36, '0') + "3" + frac;
    for (size_t w = 0; w < packed.size() / 4; ++w) {
        std::uint32_t word;
        std::memcpy(&word, packed.data() + 4 * w, 4);
        ASSERT_EQ(word, std::stoul(dec.substr(dec.size() - 9 * (w + 1), 9))) << w;
    }
    const size_t at = all.find("N = ") + 4;  // -x: "N = -3." and the same digits
    const std::string minus = all.substr(0, at) + "-" + all.substr(at);
    for (int threads : {2, 3, 8}) {
        SCOPED_TRACE(std::to_string(threads) + " threads" + SeedNote());
        core::SetThreadCount(threads);
        EXPECT_TRUE(SameText(Text(x, 0, 1), all));
        EXPECT_TRUE(SameText(Text(x, -1, 0, range), part));
        EXPECT_TRUE(SameText(Text(neg, 0, 1), minus));
        output::WriteCompressed(x, kDigits, "N", 1 << 20);
        EXPECT_TRUE(ReadFile("N-00") == packed && NoIncompleteFiles());
        disk::DiskInt d;
        output::OpenCompressed(output::ReadCompressedInfo("N"), d);
        EXPECT_TRUE(SameText(Text(d, 0, 1), all));
    }
}

// A limb that cannot be packed, found by a conversion on a worker, and a write refused by
// the file-size limit: the run ends with its message, the previous result stays whole.
TEST(WritersOnThreads, FatalErrorsOnWorkersEndTheRun) {
    ThreadCountRestored restore;
    TempWorkDir dir;
    core::SetThreadCount(3);
    VectorInt small({1, 2, 3}, 12, -2);
    output::WriteCompressed(small, 20, "N", 1024);
    const std::string info = ReadFile("N-info"), limbs = ReadFile("N-00");
    std::vector<double> v = Limbs(std::string(kDigits, '7'));
    v[100000] = 1e12;
    VectorInt bad(v, 12, -kDigits / 12);
    EXPECT_TRUE(
        Contains(ExpectProgramExit([&] { output::WriteCompressed(bad, kDigits, "N", 1024); }),
                 "a limb is not normalised"));
    VectorInt good(Limbs(std::string(kDigits, '1')), 12, -kDigits / 12);
    {
        FileSizeLimit limit(500000);
        EXPECT_TRUE(
            Contains(ExpectProgramExit([&] { output::WriteCompressed(good, kDigits, "N", 1024); }),
                     "the file N-00 could not be written (File too large)"));
    }
    EXPECT_TRUE(ReadFile("N-info") == info && ReadFile("N-00") == limbs && NoIncompleteFiles());
}

}  // namespace
}  // namespace zeprix::test
