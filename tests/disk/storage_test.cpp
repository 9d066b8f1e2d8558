// DiskInt storage: ranges across a file boundary (sparse files near limb 250000000),
// normalisation and trimming on disk against GMP, and the fatal disk errors. Every test runs in a temporary directory. (Packed reads: the tests of
// compressed results in tests/output.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "disk/disk_int.hpp"
#include "disk_test_util.hpp"

namespace zeprix::test {
namespace {

using disk::DiskInt;
using Limbs = std::vector<double>;
constexpr double kNine = 999999999999.0;

TEST(DiskStorage, RangeAcrossFileBoundary) {
    TempWorkDir dir;
    DiskInt d;
    d.Init("dtmp", disk::kLimbsPerFile + 20);
    d.Offset = disk::kLimbsPerFile - 5;  // limbs 0..4 in dtmp-00, 5.. in dtmp-01
    const Limbs v = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    disk::WriteLimbs(d, v.data(), 12, 0);
    EXPECT_EQ(std::filesystem::file_size("dtmp-00"), 8ULL * disk::kLimbsPerFile);
    EXPECT_EQ(std::filesystem::file_size("dtmp-01"), 8ULL * 7);
    Limbs inFile(7);  // the doubles of dtmp-01 as they stand in the file
    std::ifstream("dtmp-01", std::ios::binary).read(reinterpret_cast<char*>(inFile.data()), 56);
    EXPECT_EQ(inFile, Limbs(v.begin() + 5, v.end()));
    Limbs back(10);
    disk::ReadLimbs(d, back.data(), 10, 2);  // from file 00 into file 01
    EXPECT_EQ(back, Limbs(v.begin() + 2, v.end()));
    d.Free();
    EXPECT_FALSE(std::filesystem::exists("dtmp-00") || std::filesystem::exists("dtmp-01"));
}

// Trim and UpdateDiskInt, limbs least significant first: named shapes (runs longer than one
// 8000-limb block make the scans cross blocks), then random raw limbs of either sign up to
// 2^52 over several blocks, with and without a lent buffer.
TEST(DiskStorage, TrimAndUpdateNormalise) {
    TempWorkDir dir;
    Limbs longRun(9000, kNine);
    longRun.insert(longRun.begin(), 5);
    longRun.push_back(-1);
    longRun.insert(longRun.end(), 8500, 0.0);
    // input, after Trim
    const std::pair<Limbs, Limbs> trims[] = {{{0, 0, 0}, {0}},
                                             {{kNine, kNine, -1, 0, 0}, {-1}},
                                             {{0, kNine, -2}, {0, kNine, -2}},
                                             {longRun, {5, -1}}};
    for (const auto& [in, out] : trims) {
        DiskInt d;
        PutLimbs(d, "AA", in);
        const Mpz before = Mantissa(d);
        disk::Trim(d);
        EXPECT_EQ(GetLimbs(d), out) << "input of " << in.size() << " limbs";
        EXPECT_TRUE(SameValue(Mantissa(d), before));
    }
    // A final carry of -1 over a top 999999999999 makes that limb the -1 top; a carry
    // appended above a number that fits its capacity, and one that does not.
    DiskInt d;
    PutLimbs(d, "PP", {-1, 0, 0});
    disk::UpdateDiskInt(d);
    EXPECT_EQ(GetLimbs(d), Limbs{-1});
    PutLimbs(d, "PP", {3e12 + 5, kNine}, 2);
    disk::UpdateDiskInt(d);
    EXPECT_EQ(GetLimbs(d), (Limbs{5, 2, 1}));
    PutLimbs(d, "QQ", {3e12, kNine, kNine});
    d.SizeAlloc = 3;
    EXPECT_TRUE(Contains(ExpectProgramExit([&] { disk::UpdateDiskInt(d); }),
                         "ERROR in UpdateDiskInt, allocation of a is too small\n"));
    Limbs lent(1001);
    for (int round = 0; round < 6; ++round) {
        const long n = RandomLong(1, 20000);
        Limbs raw(static_cast<std::size_t>(n));
        for (double& x : raw) x = static_cast<double>(RandomLong(-(1L << 52), 1L << 52));
        PutLimbs(d, "dA", raw, n + 2);
        if (round % 2) disk::Memory().lent = lent.data(), disk::Memory().lentSize = 1001;
        disk::UpdateDiskInt(d);
        disk::Memory().lent = nullptr, disk::Memory().lentSize = 0;
        const Limbs got = GetLimbs(d);
        EXPECT_TRUE(IsCanonical(got.data(), d._N, 1e12)) << SeedNote();
        EXPECT_TRUE(SameValue(Mantissa(d), LimbsToMpz(raw.data(), n, 1e12))) << "n " << n;
    }
}

// Missing file, a read past the end of the file, a file name that is a directory.
TEST(DiskStorage, DiskErrorsAreFatal) {
    TempWorkDir dir;
    DiskInt d;
    PutLimbs(d, "tmp", {1, 2, 3});
    Limbs buf(8);
    EXPECT_TRUE(Contains(ExpectProgramExit([&] { disk::ReadFileBuffer("b-00", buf.data(), 0, 1); }),
                         "ERROR in ReadBuffer, file cannot be opened (b-00: "));
    EXPECT_TRUE(Contains(ExpectProgramExit([&] { disk::ReadLimbs(d, buf.data(), 4, 0); }),
                         "ERROR in ReadBuffer, read in file did not succeed (tmp-00: "));
    std::filesystem::create_directory("b-00");
    EXPECT_TRUE(
        Contains(ExpectProgramExit([&] { disk::WriteFileBuffer("b-00", buf.data(), 0, 1); }),
                 "ERROR in WriteBuffer, file cannot be opened (b-00: "));
    ZEPRIX_EXPECT_FATAL(d.Init("a-name-of-twenty-chr", 5), "name is too long");
}

}  // namespace
}  // namespace zeprix::test
