// Records of disk integers in a parameter file.
#include "disk/disk_record.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace zeprix::disk {

// A multiply-xor hash over the limbs' bit patterns: h = (h xor w) * P, with a large odd
// P, so that every limb and its position reach every bit of h; the length enters first.
std::uint64_t Checksum(const DiskInt& d) {
    constexpr std::uint64_t kPrime = 0x100000001b3ULL * 0x9E3779B1ULL | 1;
    std::uint64_t h = 0xcbf29ce484222325ULL ^ static_cast<std::uint64_t>(d._N);
    std::vector<double> block(static_cast<std::size_t>(kBlockLimbs));
    for (long first = 0; first < d._N; first += kBlockLimbs) {
        const long count = std::min(kBlockLimbs, d._N - first);
        ReadLimbs(d, block.data(), count, first);
        for (long i = 0; i < count; ++i) {
            std::uint64_t w;
            std::memcpy(&w, &block[static_cast<std::size_t>(i)], sizeof w);
            h = (h ^ w) * kPrime;
            h ^= h >> 29;
        }
    }
    return h;
}

void SaveDiskRecord(std::FILE* f, const DiskInt& d) {
    d.SaveHeader(f);
    std::fprintf(f, "%016" PRIx64 "\n", Checksum(d));
}

std::string LoadDiskRecord(std::FILE* f, DiskInt& d) {
    const std::string name = d.Name;
    if (!d.LoadHeader(f)) return "the record of " + name + " is cut short";
    char text[32] = {};
    std::uint64_t saved = 0;
    if (std::fscanf(f, "%31s", text) != 1 || std::strlen(text) != 16 ||
        std::sscanf(text, "%" SCNx64, &saved) != 1)
        return "the record of " + name + " has no checksum";
    if (d._N < 1 || d._N > d.SizeAlloc || d.Offset < 0 || d.Offset > 99 * kLimbsPerFile)
        return "the record of " + name + " holds impossible values";
    // Every file that holds limbs in use must exist and reach the last of them.
    const long end = d.Offset + d._N;  // one past the last limb, in the file sequence
    for (long k = d.Offset / kLimbsPerFile; k <= (end - 1) / kLimbsPerFile; ++k) {
        const std::string file = d.FileName(k);
        const long need = 8 * (std::min(end, (k + 1) * kLimbsPerFile) - k * kLimbsPerFile);
        std::error_code ec;
        const auto size = std::filesystem::file_size(file, ec);
        if (ec) return "the file " + file + " of " + name + " is missing";
        if (static_cast<long>(size) < need)
            return "the file " + file + " of " + name + " is shorter than its record says";
    }
    if (Checksum(d) != saved)
        return "the limbs of " + name + " in its files changed since the record was written";
    return "";
}

}  // namespace zeprix::disk
