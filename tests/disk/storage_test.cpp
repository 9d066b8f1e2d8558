// DiskInt storage: ranges across a file boundary (sparse files near limb 250000000), the
// packed read, normalisation and trimming on disk against GMP, the header, and the fatal
// disk errors. Every test runs in a temporary directory.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "disk/disk_int.hpp"
#include "disk_test_util.hpp"

namespace zeprix::test {
namespace {

using disk::DiskInt;
constexpr double kNine = 999999999999.0;

// The 8-byte doubles of a file from byte 8 * first on.
std::vector<double> FileDoubles(const char* file, long first, long count) {
    std::vector<double> v(static_cast<std::size_t>(count));
    std::ifstream in(file, std::ios::binary);
    in.seekg(8 * first);
    in.read(reinterpret_cast<char*>(v.data()), 8 * count);
    EXPECT_TRUE(in.good()) << file;
    return v;
}

TEST(DiskStorage, RangeAcrossFileBoundary) {
    TempWorkDir dir;
    DiskInt d;
    d.Init("dtmp", disk::kLimbsPerFile + 20);
    d.Offset = disk::kLimbsPerFile - 5;  // limbs 0..4 in dtmp-00, 5.. in dtmp-01
    std::vector<double> v = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    disk::WriteLimbs(d, v.data(), 12, 0);
    EXPECT_EQ(std::filesystem::file_size("dtmp-00"), 8ULL * disk::kLimbsPerFile);
    EXPECT_EQ(std::filesystem::file_size("dtmp-01"), 8ULL * 7);
    EXPECT_EQ(FileDoubles("dtmp-00", disk::kLimbsPerFile - 5, 5),
              std::vector<double>(v.begin(), v.begin() + 5));
    EXPECT_EQ(FileDoubles("dtmp-01", 0, 7), std::vector<double>(v.begin() + 5, v.end()));
    std::vector<double> back(10);
    disk::ReadLimbs(d, back.data(), 10, 2);  // from file 00 into file 01
    EXPECT_EQ(back, std::vector<double>(v.begin() + 2, v.end()));
    d.Free();
    EXPECT_FALSE(std::filesystem::exists("dtmp-00") || std::filesystem::exists("dtmp-01"));
}

TEST(DiskStorage, PackedReadFromAnyFirstLimb) {
    TempWorkDir dir;
    // 3 * 4000 limbs packed (the read goes in more than one block), worst limbs first.
    std::vector<double> limbs(12000);
    for (std::size_t i = 0; i < limbs.size(); ++i)
        limbs[i] = i < 6 ? (i % 2 ? kNine : 0.0) : static_cast<double>(RandomLong(0, 999999999999));
    std::vector<double> stream(limbs.size() / 3 * 2);
    for (std::size_t g = 0; g < limbs.size() / 3; ++g) {
        std::uint32_t w[4];
        disk::PackGroup(&limbs[3 * g], w);
        std::memcpy(&stream[2 * g], w, sizeof(w));
    }
    DiskInt d;
    d.Init("PiD", 12000);
    d.Offset = 7;
    disk::WriteLimbs(d, stream.data(), static_cast<long>(stream.size()), 0);
    d.Packed = 1;
    for (long first : {0L, 1L, 2L, 4L, 5L, 5998L, 11999L}) {
        for (long count : {1L, 2L, 3L, 7L, 8001L}) {
            if (first + count > 12000) continue;
            std::vector<double> got(static_cast<std::size_t>(count) + 1, -5.0);
            d.WriteBuffer(got.data(), count, first);
            EXPECT_EQ(got.back(), -5.0) << "written past the count";
            got.pop_back();
            EXPECT_EQ(got,
                      std::vector<double>(limbs.begin() + first, limbs.begin() + first + count))
                << "first " << first << " count " << count << SeedNote();
        }
    }
}

// Trim and UpdateDiskInt, limbs least significant first; runs longer than one 8000-limb
// block make the scans cross blocks.
TEST(DiskStorage, TrimFoldsAndDrops) {
    TempWorkDir dir;
    struct Case {
        std::vector<double> in, out;
    };
    std::vector<double> longRun(9000, kNine);
    longRun.insert(longRun.begin(), 5);
    longRun.push_back(-1);
    longRun.insert(longRun.end(), 8500, 0.0);
    const Case cases[] = {
        {{0, 0, 0}, {0}},
        {{7}, {7}},
        {{5, kNine, kNine, -1}, {5, -1}},
        {{kNine, kNine, -1, 0, 0}, {-1}},
        {{4, 3, -1, 0}, {4, 3, -1}},
        {{0, kNine, -2}, {0, kNine, -2}},
        {longRun, {5, -1}},
    };
    for (const Case& c : cases) {
        DiskInt d;
        PutLimbs(d, "AA", c.in);
        const Mpz before = Mantissa(d);
        disk::Trim(d);
        EXPECT_EQ(GetLimbs(d), c.out) << "input of " << c.in.size() << " limbs";
        EXPECT_TRUE(SameValue(Mantissa(d), before));
    }
}

TEST(DiskStorage, UpdateDiskIntNormalises) {
    TempWorkDir dir;
    DiskInt d;
    // A final carry of -1 over a top 999999999999 makes that limb the -1 top.
    PutLimbs(d, "PP", {-1, 0, 0});
    disk::UpdateDiskInt(d);
    EXPECT_EQ(GetLimbs(d), (std::vector<double>{-1}));
    // A carry appended above a number that fits its capacity, and one that does not.
    PutLimbs(d, "PP", {3e12 + 5, kNine}, 2);
    disk::UpdateDiskInt(d);
    EXPECT_EQ(GetLimbs(d), (std::vector<double>{5, 2, 1}));
    PutLimbs(d, "QQ", {3e12, kNine, kNine});
    d.SizeAlloc = 3;
    EXPECT_TRUE(Contains(ExpectProgramExit([&] { disk::UpdateDiskInt(d); }),
                         "ERROR in UpdateDiskInt, allocation of a is too small\n"));
    // Random raw limbs of either sign up to 2^52, over several blocks and a lent buffer.
    std::vector<double> lent(1001);
    for (int round = 0; round < 6; ++round) {
        const long n = RandomLong(1, 20000);
        std::vector<double> raw(static_cast<std::size_t>(n));
        for (double& x : raw) x = static_cast<double>(RandomLong(-(1L << 52), 1L << 52));
        PutLimbs(d, "dA", raw, n + 2);
        const Mpz want = LimbsToMpz(raw.data(), n, 1e12);
        if (round % 2) disk::Memory().lent = lent.data(), disk::Memory().lentSize = 1001;
        disk::UpdateDiskInt(d);
        disk::Memory().lent = nullptr, disk::Memory().lentSize = 0;
        const std::vector<double> got = GetLimbs(d);
        EXPECT_TRUE(IsCanonical(got.data(), d._N, 1e12)) << SeedNote();
        EXPECT_TRUE(SameValue(Mantissa(d), want)) << "n " << n;
    }
}

TEST(DiskStorage, CopyMoveAndHeader) {
    TempWorkDir dir;
    const Mpz x = RandomLimbs(20000, false);
    Big b(x, 20002);
    b.b.Exp = -7;
    DiskInt d, e;
    d.Init("A", 20002);
    d.Offset = 3;
    disk::CopyToDiskInt(b.b, d);  // from a BigInt, then from a DiskInt with an Offset
    e.Init("B", 20002);
    disk::CopyToDiskInt(d, e);
    EXPECT_TRUE(SameValue(Mantissa(e), x));
    EXPECT_TRUE(e.Shift == -7 && e.Offset == 0);
    // Raising the offset hides the low limbs, lowering it brings them back.
    disk::MoveOffset(d, 3 + 15000);
    EXPECT_TRUE(d._N == b.b._N - 15000 && d.Shift == -7 + 15000);
    EXPECT_TRUE(SameValue(Mantissa(d), DropLimbs(x, 15000)));
    disk::MoveOffset(d, 3);
    EXPECT_TRUE(SameValue(Mantissa(d), x));
    const std::string text = MemoryFile([&](FILE* f) { d.SaveHeader(f); });
    EXPECT_EQ(text, std::to_string(d._N) + "\n-7\n3\n");
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    DiskInt h;
    EXPECT_TRUE(h.LoadHeader(f) && h._N == d._N && h.Shift == -7 && h.Offset == 3);
    EXPECT_FALSE(h.LoadHeader(f));  // nothing left
    std::fclose(f);
}

TEST(DiskStorage, DiskErrorsAreFatal) {
    TempWorkDir dir;
    DiskInt d;
    PutLimbs(d, "tmp", {1, 2, 3});
    std::vector<double> buf(8);
    auto fatal = [](const std::function<void()>& f) { return ExpectProgramExit(f); };
    // Missing file, a read past the end of the file, a file name that is a directory.
    EXPECT_TRUE(Contains(fatal([&] { disk::ReadFileBuffer("b-00", buf.data(), 0, 1); }),
                         "ERROR in ReadBuffer, file cannot be opened (b-00: "));
    EXPECT_TRUE(Contains(fatal([&] { disk::ReadLimbs(d, buf.data(), 4, 0); }),
                         "ERROR in ReadBuffer, read in file did not succeed (tmp-00: "));
    std::filesystem::create_directory("b-00");
    EXPECT_TRUE(Contains(fatal([&] { disk::WriteFileBuffer("b-00", buf.data(), 0, 1); }),
                         "ERROR in WriteBuffer, file cannot be opened (b-00: "));
    ZEPRIX_EXPECT_FATAL(d.Init("a-name-of-twenty-chr", 5), "name is too long");
}

}  // namespace
}  // namespace zeprix::test
