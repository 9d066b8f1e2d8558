// The record of a disk integer: it reads back onto unchanged files, and refuses files that
// no longer hold the number it describes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "disk/disk_record.hpp"
#include "disk_test_util.hpp"

namespace zeprix::test {
namespace {

std::string SaveRecord(const disk::DiskInt& d) {
    return MemoryFile([&](FILE* f) { disk::SaveDiskRecord(f, d); });
}

std::string Load(const std::string& record, disk::DiskInt& d) {
    std::FILE* f = fmemopen(const_cast<char*>(record.data()), record.size(), "r");
    const std::string why = disk::LoadDiskRecord(f, d);
    std::fclose(f);
    return why;
}

TEST(DiskRecord, ReadsBackOrSaysWhatChanged) {
    TempWorkDir dir;
    std::vector<double> limbs(20000);
    for (std::size_t i = 0; i < limbs.size(); ++i) limbs[i] = static_cast<double>(i * 7919 % 1000);
    disk::DiskInt a;
    PutLimbs(a, "PP", limbs, 30000, -5);
    disk::MoveOffset(a, 3);  // a window that starts inside the file
    const std::string record = SaveRecord(a);

    disk::DiskInt b;
    b.Init("PP", 30000);
    EXPECT_EQ(Load(record, b), "");
    EXPECT_EQ(b._N, a._N);
    EXPECT_EQ(b.Shift, a.Shift);
    EXPECT_EQ(b.Offset, 3);

    struct Change {
        const char* what;
        std::function<void()> change;
        std::string why;
    };
    const double one = 1;
    const Change changes[] = {
        {"a limb below the window (not in use)", [&] { disk::WriteLimbs(a, &one, 1, -2); }, ""},
        {"a limb", [&] { disk::WriteLimbs(a, &one, 1, 12345); },
         "the limbs of PP in its files changed since the record was written"},
        {"the file cut", [] { std::filesystem::resize_file("PP-00", 8 * 19000); },
         "the file PP-00 of PP is shorter than its record says"},
        {"the file gone", [] { std::filesystem::remove("PP-00"); },
         "the file PP-00 of PP is missing"}};
    for (const Change& c : changes) {
        c.change();
        b.Init("PP", 30000);
        EXPECT_EQ(Load(record, b), c.why) << c.what;
    }
}

TEST(DiskRecord, DamagedRecordsAreRefused) {
    TempWorkDir dir;
    disk::DiskInt a;
    PutLimbs(a, "QQ", {1, 2, 3}, 10);
    const std::string good = SaveRecord(a);
    const std::pair<std::string, std::string> cases[] = {
        {"3\n0\n", "the record of QQ is cut short"},
        {"3\n0\n0\n", "the record of QQ has no checksum"},
        {"3\n0\n0\nxyz\n", "the record of QQ has no checksum"},
        {"0\n0\n0\n" + good.substr(good.size() - 17), "the record of QQ holds impossible values"},
        {"12\n0\n0\n" + good.substr(good.size() - 17), "the record of QQ holds impossible values"},
        {"3\n0\n-1\n" + good.substr(good.size() - 17), "the record of QQ holds impossible values"}};
    for (const auto& [record, why] : cases) {
        disk::DiskInt b;
        b.Init("QQ", 10);
        EXPECT_EQ(Load(record, b), why) << record;
    }
}

}  // namespace
}  // namespace zeprix::test
