// The record of a disk integer: it reads back onto unchanged files, and refuses files that
// no longer hold the number it describes, and damaged records.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "disk/disk_record.hpp"
#include "disk_test_util.hpp"

namespace zeprix::test {
namespace {

// What loading `record` into d, named `name` with room for `size` limbs, says ("" when it
// is accepted).
std::string Load(const std::string& record, disk::DiskInt& d, const char* name, long size) {
    d.Init(name, size);
    std::FILE* f = fmemopen(const_cast<char*>(record.data()), record.size(), "r");
    const std::string why = disk::LoadDiskRecord(f, d);
    std::fclose(f);
    return why;
}

TEST(DiskRecord, ReadsBackOrSaysWhatChanged) {
    TempWorkDir dir;
    std::vector<double> limbs(20000);
    for (std::size_t i = 0; i < limbs.size(); ++i) limbs[i] = static_cast<double>(i * 7919 % 1000);
    disk::DiskInt a, b;
    PutLimbs(a, "PP", limbs, 30000, -5);
    disk::MoveOffset(a, 3);  // a window that starts inside the file
    const std::string record = MemoryFile([&](FILE* f) { disk::SaveDiskRecord(f, a); });
    EXPECT_EQ(Load(record, b, "PP", 30000), "");
    EXPECT_TRUE(b._N == a._N && b.Shift == a.Shift && b.Offset == 3);
    const double one = 1;
    const std::pair<std::function<void()>, std::string> changes[] = {
        {[&] { disk::WriteLimbs(a, &one, 1, -2); }, ""},  // below the window: not in use
        {[&] { disk::WriteLimbs(a, &one, 1, 12345); },
         "the limbs of PP in its files changed since the record was written"},
        {[] { std::filesystem::resize_file("PP-00", 8 * 19000); },
         "the file PP-00 of PP is shorter than its record says"},
        {[] { std::filesystem::remove("PP-00"); }, "the file PP-00 of PP is missing"}};
    for (const auto& [change, why] : changes) {
        change();
        EXPECT_EQ(Load(record, b, "PP", 30000), why);
    }
}

TEST(DiskRecord, DamagedRecordsAreRefused) {
    TempWorkDir dir;
    disk::DiskInt a, b;
    PutLimbs(a, "QQ", {1, 2, 3}, 10);
    const std::string sum = MemoryFile([&](FILE* f) { disk::SaveDiskRecord(f, a); });
    const std::string checksum = sum.substr(sum.size() - 17);
    const std::pair<std::string, std::string> cases[] = {
        {"3\n0\n", "the record of QQ is cut short"},
        {"3\n0\n0\n", "the record of QQ has no checksum"},
        {"3\n0\n0\nxyz\n", "the record of QQ has no checksum"},
        {"0\n0\n0\n" + checksum, "the record of QQ holds impossible values"},
        {"12\n0\n0\n" + checksum, "the record of QQ holds impossible values"},
        {"3\n0\n-1\n" + checksum, "the record of QQ holds impossible values"}};
    for (const auto& [record, why] : cases) EXPECT_EQ(Load(record, b, "QQ", 10), why) << record;
}

}  // namespace
}  // namespace zeprix::test
