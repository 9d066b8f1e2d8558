// Compressed results: writing the packed limb files and NAME-info, reading NAME-info back.
#include "output/compressed.hpp"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/atomic_file.hpp"
#include "core/console.hpp"
#include "core/fatal.hpp"
#include "disk/disk_int.hpp"
#include "numbers/mpint.hpp"
#include "output/block_pipeline.hpp"

namespace zeprix::output {

namespace {

static_assert(std::endian::native == std::endian::little,
              "the packed words are stored as the little-endian bytes of memory");

// Limbs moved at a time: 2666 groups, the largest multiple of 3 below 8000, so that a
// group never straddles two blocks.
constexpr long kBlockLimbs = 7998;
// Groups of one limb file: a file holds at most kLimbsPerFile doubles, two per group.
constexpr long kGroupsPerFile = disk::kLimbsPerFile / 2;
// File numbers have two digits.
constexpr long kMaxFiles = 100;
constexpr long kBytesPerGroup = 16;

std::string LimbFileName(const std::string& name, long k) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "-%02ld", k);
    return name + suffix;
}

std::string InfoFileName(const std::string& name) { return name + "-info"; }

// The new limb files while they are written: NAME-kk.incomplete. An early end of the
// program (fatal error, full disk, signal) removes them; the previous result is untouched.
std::vector<std::string> TemporaryLimbFileNames(const std::string& name, long files) {
    std::vector<std::string> temps;
    for (long k = 0; k < files; ++k)
        temps.push_back(LimbFileName(name, k) + core::kIncompleteSuffix);
    return temps;
}

// Writes the packed groups into consecutive limb files, kGroupsPerFile groups per file,
// each file synced and closed before the next one is opened.
class PackedWriter {
public:
    PackedWriter(const core::FilesRemovedOnExit& temps, const std::string& name)
        : temps_(temps), name_(name) {}
    ~PackedWriter() {
        if (f_) std::fclose(f_);
    }
    // Writes `groups` groups of four words, going on in the next file where one is full.
    void Put(const std::uint32_t* words, long groups) {
        while (groups > 0) {
            if (inFile_ == kGroupsPerFile || !f_) NextFile();
            const long take = std::min(groups, kGroupsPerFile - inFile_);
            const auto n = static_cast<std::size_t>(4 * take);
            if (std::fwrite(words, sizeof *words, n, f_) != n) Failed(errno);
            words += n;
            groups -= take;
            inFile_ += take;
        }
    }
    void Close() {
        if (!f_) return;
        errno = 0;
        if (std::fflush(f_) != 0 || ::fsync(::fileno(f_)) != 0) Failed(errno);
        std::FILE* f = f_;
        f_ = nullptr;
        if (std::fclose(f) != 0) Failed(errno);
    }

private:
    void NextFile() {
        Close();
        ++k_;
        f_ = std::fopen(temps_[k_].c_str(), "wb");
        if (!f_) Failed(errno);
        inFile_ = 0;
    }
    [[noreturn]] void Failed(int err) {
        core::UserError("Error, the file " + LimbFileName(name_, k_) + " could not be written (" +
                        std::strerror(err ? err : EIO) +
                        ").\nNothing was replaced: check the free space and the permissions of "
                        "this directory, then run the program again.");
    }

    const core::FilesRemovedOnExit& temps_;
    const std::string& name_;
    std::FILE* f_ = nullptr;
    long k_ = -1;
    long inFile_ = 0;
};

[[noreturn]] void PutInPlaceFailed(const std::string& file, int err) {
    core::UserError("Error, the file " + file + " could not be put in place (" +
                    std::strerror(err) +
                    ").\nCheck the permissions of this directory, then run "
                    "the program again.");
}

}  // namespace

std::string CompressedNameProblem(const std::string& name) {
    if (name.empty()) return "it is empty";
    if (name.size() > kMaxCompressedName)
        return "it is longer than " + std::to_string(kMaxCompressedName) + " characters";
    if (name.find_first_of(" \t/") != std::string::npos) return "it holds a blank or a '/'";
    return "";
}

void WriteCompressed(numbers::MPInt& a, double digits, const std::string& name, long fftSize) {
    if (a.DigitsPerLimb() != 12)
        core::FatalError("This base size is not treated yet in the compression");
    if (!CompressedNameProblem(name).empty() || a.Sign() < 0)
        core::FatalError("Error in WriteCompressed, the result " + name + " cannot be compressed");
    const long n = a._N;
    const long groups = (n + 2) / 3;
    const long files = (groups + kGroupsPerFile - 1) / kGroupsPerFile;
    if (files > kMaxFiles)
        core::FatalError("Error in WriteCompressed, the result needs more than 100 limb files");

    // 1. The new limb files, under their temporary names. Blocks of limbs are read and
    //    written in order; their packing runs on the threads of the run.
    core::FilesRemovedOnExit temps(TemporaryLimbFileNames(name, files), true);
    {
        PackedWriter out(temps, name);
        const BlockPipeline pipeline((n + kBlockLimbs - 1) / kBlockLimbs);
        struct Slot {
            std::vector<double> limbs;  // whole groups, the padding limbs zero
            std::vector<std::uint32_t> words;
        };
        std::vector<Slot> slots(static_cast<std::size_t>(pipeline.Slots()));
        auto slotOf = [&](long s) -> Slot& { return slots[static_cast<std::size_t>(s)]; };
        pipeline.Run(
            [&](long b, long s) {
                const long pos = b * kBlockLimbs;
                const long count = std::min(n - pos, kBlockLimbs);
                std::vector<double>& limbs = slotOf(s).limbs;
                limbs.assign(static_cast<std::size_t>((count + 2) / 3 * 3), 0.0);
                a.WriteBuffer(limbs.data(), count, pos);
            },
            [&](long, long s) {
                const std::vector<double>& limbs = slotOf(s).limbs;
                std::vector<std::uint32_t>& words = slotOf(s).words;
                words.resize(limbs.size() / 3 * 4);
                for (std::size_t i = 0; i < limbs.size(); i += 3) {
                    const double* g = limbs.data() + i;
                    // Packing is exact only for whole limbs in [0, 10^12).
                    for (int j = 0; j < 3; ++j)
                        if (!(g[j] >= 0 && g[j] < 1e12 && g[j] == std::floor(g[j])))
                            core::FatalError("Error in WriteCompressed, a limb is not normalised");
                    disk::PackGroup(g, words.data() + i / 3 * 4);
                }
            },
            [&](long, long s) {
                const std::vector<std::uint32_t>& words = slotOf(s).words;
                out.Put(words.data(), static_cast<long>(words.size() / 4));
            });
        out.Close();
    }

    // 2. The new NAME-info, written and checked under its temporary name (a full disk fails
    //    here, with the previous result still whole).
    const std::string info = InfoFileName(name);
    core::AtomicFile f(info, "w");
    std::fprintf(f.get(), "%.0lf\n", digits);
    std::fprintf(f.get(), "%ld\n", 3 * groups);
    std::fprintf(f.get(), "%ld\n", a.Exponent());
    std::fprintf(f.get(), "%ld\n", fftSize);
    f.Flush();

    // 3. The previous result stops being one: its NAME-info goes first.
    if (std::remove(info.c_str()) != 0 && errno != ENOENT) PutInPlaceFailed(info, errno);
    core::SyncDirectory();

    // 4. The new limb files take their names; limb files of a longer earlier result go.
    for (long k = 0; k < files; ++k) {
        const std::string file = LimbFileName(name, k);
        if (std::rename(temps[k].c_str(), file.c_str()) != 0) PutInPlaceFailed(file, errno);
    }
    temps.Release();
    for (long k = files; k < kMaxFiles; ++k) std::remove(LimbFileName(name, k).c_str());
    core::SyncDirectory();

    // 5. NAME-info takes its name last: synced, then renamed.
    f.Commit();
}

namespace {

[[noreturn]] void Damaged(const std::string& name, const std::string& what) {
    core::UserError("Error, the compressed result " + name + " cannot be used: " + what +
                    ".\nCompute " + name + " again with compressed output.");
}

// Reads the lines of a short text file; false when it cannot be opened (errno set).
bool ReadLines(const std::string& file, std::vector<std::string>& lines) {
    std::FILE* f = std::fopen(file.c_str(), "r");
    if (!f) return false;
    std::string line;
    for (int ch; (ch = std::fgetc(f)) != EOF && lines.size() < 8;) {
        if (ch == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (line.size() < 64) {
            line.push_back(static_cast<char>(ch));
        }
    }
    if (!line.empty()) lines.push_back(line);
    std::fclose(f);
    for (std::string& l : lines)
        while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) l.pop_back();
    return true;
}

}  // namespace

CompressedInfo ReadCompressedInfo(const std::string& name) {
    CompressedInfo c;
    c.name = name;
    const std::string info = InfoFileName(name);
    std::vector<std::string> lines;
    if (!ReadLines(info, lines)) {
        core::UserError("Error, there is no compressed result " + name + " here: the file " + info +
                        " cannot be read (" + std::strerror(errno) + ").\nCompute " + name +
                        " with compressed output first.");
    }
    static const char* const kWhat[4] = {"number of digits", "number of limbs", "limb exponent",
                                         "FFT size"};
    double v[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string where = info + " line " + std::to_string(i + 1) + " (" + kWhat[i] + ")";
        if (i >= lines.size()) Damaged(name, where + " is missing");
        long x;
        if (!core::ParseLong(lines[i], x))
            Damaged(name, where + " reads \"" + lines[i] + "\", not a whole number");
        v[i] = static_cast<double>(x);
    }
    c.digits = v[0];
    c.limbs = static_cast<long>(v[1]);
    c.shift = static_cast<long>(v[2]);
    c.fftSize = static_cast<long>(v[3]);
    const std::string line = info + " line ";
    if (c.digits < 1 || c.digits > 1e15)
        Damaged(name, line + "1 (number of digits) is not from 1 to 10^15");
    if (c.limbs < 3 || c.limbs % 3 != 0 || c.limbs > 3 * kGroupsPerFile * kMaxFiles)
        Damaged(name, line + "2 (number of limbs) is not a positive multiple of 3");
    // The stored limbs must hold every digit: below the point there are -shift limbs of 12
    // digits when the number has integer limbs (L + shift >= 0), all L limbs otherwise (the
    // writer then scales by a power of ten). A count that falls short would print zeros
    // that look like digits.
    const double integerLimbs = static_cast<double>(c.limbs) + static_cast<double>(c.shift);
    const double fractionLimbs =
        integerLimbs >= 0 ? -static_cast<double>(c.shift) : static_cast<double>(c.limbs);
    if (!(fractionLimbs * 12 >= c.digits))
        Damaged(name, line + "3 (limb exponent) leaves fewer than " + lines[0] +
                          " digits below the point in " + std::to_string(c.limbs) + " limbs");
    // The sizes the dialogue offers: 1 k to 131072 k points (the Pi check builds an FFT of
    // this size, so a damaged value must not reach it).
    if (c.fftSize < 1024 || c.fftSize > (1L << 27) ||
        !std::has_single_bit(static_cast<unsigned long>(c.fftSize)))
        Damaged(name, line + "4 (FFT size) is not a power of two from 1024 to 2^27");

    // The limb files: exactly the bytes the count gives, file after file.
    long bytesLeft = c.limbs / 3 * kBytesPerGroup;
    for (long k = 0; bytesLeft > 0; ++k) {
        const long want = std::min(bytesLeft, kGroupsPerFile * kBytesPerGroup);
        const std::string file = LimbFileName(name, k);
        std::error_code ec;
        const auto size = std::filesystem::file_size(file, ec);
        if (ec) Damaged(name, "the limb file " + file + " is missing (" + ec.message() + ")");
        if (size != static_cast<std::uintmax_t>(want))
            Damaged(name, "the limb file " + file + " holds " + std::to_string(size) +
                              " bytes instead of " + std::to_string(want));
        bytesLeft -= want;
    }
    return c;
}

}  // namespace zeprix::output
