// DiskInt storage: the files of a number, block transfers with their disk time, the header,
// carry normalisation and trimming on disk, and the process-wide disk buffers.
#include "disk/disk_int.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "core/fatal.hpp"
#include "disk/disk_times.hpp"
#include "numbers/big_int.hpp"
#include "numbers/limbs.hpp"

namespace zeprix::disk {

namespace {

constexpr double kBase = 1e12;
constexpr double kTopLimb = 999999999999.0;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// "<message> (<file>: <reason>)": the message names the operation, the rest says why.
[[noreturn]] void DiskError(const char* message, const std::string& file, const char* reason) {
    core::FatalError(std::string(message) + " (" + file + ": " + reason + ")");
}

// Closes a file on every path out of a transfer (a fatal error throws).
struct FileCloser {
    std::FILE* f;
    ~FileCloser() {
        if (f) std::fclose(f);
    }
};

// Transfers left before the injected failure (0: none).
long gFailCountdown = 0;

// One transfer of count doubles at double position first. The disk time counts the
// positioning and the transfer, not the opening and closing of the file.
void Transfer(const std::string& file, double* rbuf, const double* wbuf, long first, long count) {
    if (count <= 0) return;
    const bool write = (wbuf != nullptr);
    std::FILE* f = nullptr;
    if (write) {
        f = std::fopen(file.c_str(), "r+b");
        if (!f) f = std::fopen(file.c_str(), "w+b");
        if (!f)
            DiskError("ERROR in WriteBuffer, file cannot be opened", file, std::strerror(errno));
    } else {
        f = std::fopen(file.c_str(), "rb");
        if (!f) DiskError("ERROR in ReadBuffer, file cannot be opened", file, std::strerror(errno));
    }
    FileCloser closer{f};
    if (gFailCountdown > 0 && --gFailCountdown == 0) {
        if (write)
            DiskError("ERROR in WriteBuffer, write in file did not succeed", file,
                      std::strerror(ENOSPC));
        DiskError("ERROR in ReadBuffer, read in file did not succeed", file,
                  "the file ends before the range");
    }
    const double start = Now();
    if (fseeko(f, static_cast<off_t>(first) * 8, SEEK_SET) != 0) {
        DiskError(write ? "ERROR in WriteBuffer, fseek in file cannot be done"
                        : "ERROR in ReadBuffer, fseek in file cannot be done",
                  file, std::strerror(errno));
    }
    const auto n = static_cast<std::size_t>(count);
    if (write) {
        errno = 0;
        if (std::fwrite(wbuf, sizeof(double), n, f) != n || std::fflush(f) != 0) {
            DiskError("ERROR in WriteBuffer, write in file did not succeed", file,
                      errno ? std::strerror(errno) : "short write");
        }
        gDiskWriteTime += Now() - start;
    } else {
        errno = 0;
        if (std::fread(rbuf, sizeof(double), n, f) != n) {
            DiskError("ERROR in ReadBuffer, read in file did not succeed", file,
                      std::ferror(f) ? std::strerror(errno) : "the file ends before the range");
        }
        gDiskReadTime += Now() - start;
    }
    closer.f = nullptr;
    if (std::fclose(f) != 0 && write) {
        DiskError("ERROR in WriteBuffer, write in file did not succeed", file,
                  std::strerror(errno));
    }
}

// Limbs first .. first + count - 1 of d, file by file.
template <typename Move>
void ForEachFilePart(const DiskInt& d, long count, long first, Move move) {
    if (count <= 0) return;
    const long s = first + d.Offset;
    const long f0 = s / kLimbsPerFile;
    const long f1 = (s + count - 1) / kLimbsPerFile;
    long done = 0;
    for (long k = f0; k <= f1; ++k) {
        const long from = (k == f0) ? s - kLimbsPerFile * k : 0;
        const long to = (k == f1) ? s + count - kLimbsPerFile * k : kLimbsPerFile;
        move(d.FileName(k), done, from, to - from);
        done += to - from;
    }
}

// Block of the normalisation loops: the lent buffer when one is lent, else a local one.
struct Block {
    std::vector<double> local;
    double* p;
    long size;
    explicit Block(bool allowLent) {
        DiskMemory& m = Memory();
        if (allowLent && m.lent != nullptr && m.lentSize > 1) {
            p = m.lent;
            size = m.lentSize - 1;
        } else {
            local.resize(static_cast<std::size_t>(kBlockLimbs) + 1);
            p = local.data();
            size = kBlockLimbs;
        }
    }
};

}  // namespace

void DiskInt::Init(const char* name, long size) {
    if (std::strlen(name) >= sizeof(Name)) {
        core::FatalError(std::string("ERROR in DiskInt::Init, name is too long: ") + name);
    }
    std::memset(Name, 0, sizeof(Name));
    std::strcpy(Name, name);
    _N = 0;
    Shift = 0;
    Offset = 0;
    SizeAlloc = size + 1;
}

std::string DiskInt::FileName(long k) const {
    std::string s(Name);
    s += '-';
    s += static_cast<char>('0' + (k / 10) % 10);
    s += static_cast<char>('0' + k % 10);
    return s;
}

void DiskInt::Free() {
    const long last = static_cast<long>(static_cast<double>(SizeAlloc) * 4e-9);
    for (long k = 0; k <= last; ++k) std::remove(FileName(k).c_str());
}

void DiskInt::WriteBuffer(double* buf, long count, long first) {
    if (count < 1) return;
    if (!Packed) {
        ReadLimbs(*this, buf, count, first);
        return;
    }
    // Packed stream: group g (limbs 3g .. 3g + 2) is doubles 2g, 2g + 1, i.e. the words
    // w0 .. w3 in file order. Read whole groups, a block at a time, and copy out the limbs
    // wanted whatever the position of first within its group.
    constexpr long kGroups = kBlockLimbs / 3;
    std::vector<double> raw(2 * kGroups);
    long g = first / 3;
    const long gEnd = (first + count + 2) / 3;
    long out = 0;
    while (g < gEnd) {
        const long ng = std::min(kGroups, gEnd - g);
        ReadLimbs(*this, raw.data(), 2 * ng, 2 * g);
        for (long j = 0; j < ng; ++j) {
            std::uint32_t w[4];
            std::memcpy(w, raw.data() + 2 * j, sizeof(w));
            double limbs[3];
            UnpackGroup(w, limbs);
            for (long r = 0; r < 3; ++r) {
                const long p = 3 * (g + j) + r;
                if (p >= first && p < first + count) buf[out++] = limbs[r];
            }
        }
        g += ng;
    }
}

void DiskInt::SaveHeader(std::FILE* f) const {
    std::fprintf(f, "%ld\n%ld\n%ld\n", static_cast<long>(static_cast<std::int32_t>(_N)),
                 static_cast<long>(static_cast<std::int32_t>(Shift)),
                 static_cast<long>(static_cast<std::int32_t>(Offset)));
}

bool DiskInt::LoadHeader(std::FILE* f) {
    long n = 0, shift = 0, offset = 0;
    if (std::fscanf(f, "%ld", &n) != 1 || std::fscanf(f, "%ld", &shift) != 1 ||
        std::fscanf(f, "%ld", &offset) != 1) {
        return false;
    }
    _N = n;
    Shift = shift;
    Offset = offset;
    return true;
}

void WriteFileBuffer(const std::string& file, const double* buf, long first, long count) {
    Transfer(file, nullptr, buf, first, count);
}

void ReadFileBuffer(const std::string& file, double* buf, long first, long count) {
    Transfer(file, buf, nullptr, first, count);
}

void WriteLimbs(const DiskInt& d, const double* buf, long count, long first) {
    ForEachFilePart(d, count, first, [&](const std::string& name, long done, long at, long n) {
        WriteFileBuffer(name, buf + done, at, n);
    });
}

void ReadLimbs(const DiskInt& d, double* buf, long count, long first) {
    ForEachFilePart(d, count, first, [&](const std::string& name, long done, long at, long n) {
        ReadFileBuffer(name, buf + done, at, n);
    });
}

void ZeroDiskInt(const DiskInt& d, long count) {
    const std::vector<double> zeros(static_cast<std::size_t>(std::min(count, kBlockLimbs)), 0.0);
    for (long p = 0; p < count; p += kBlockLimbs) {
        WriteLimbs(d, zeros.data(), std::min(kBlockLimbs, count - p), p);
    }
}

void CopyToDiskInt(numbers::MPInt& source, DiskInt& d) {
    if (&source == &d) return;
    const long n = source._N;
    d._N = n;
    d.Shift = source.Exponent();
    if (source.TypeCode() == 2) {  // an in-memory BigInt: its limbs go out as they are
        WriteLimbs(d, static_cast<numbers::BigInt&>(source).Limbs, n, 0);
        return;
    }
    std::vector<double> block(static_cast<std::size_t>(kBlockLimbs));
    for (long p = 0; p < n; p += kBlockLimbs) {
        const long k = std::min(kBlockLimbs, n - p);
        source.WriteBuffer(block.data(), k, p);
        WriteLimbs(d, block.data(), k, p);
    }
}

void MoveOffset(DiskInt& d, long o) {
    const long old = d.Offset;
    d._N += old - o;
    d.Shift += o - old;
    d.Offset = o;
}

void CopyHeader(const DiskInt& from, DiskInt& to) {
    to._N = from._N;
    to.Shift = from.Shift;
    to.Offset = from.Offset;
}

// Every limb gets its exact floor quotient (limbs below 2^53 in magnitude), so a block
// leaves with limbs in [0, 10^12) and the carry goes on to the next block unchanged.
void UpdateDiskInt(DiskInt& d) {
    Block blk(true);
    double carry = 0.0;
    const long n = d._N;
    for (long p = 0; p < n; p += blk.size) {
        const long k = std::min(blk.size, n - p);
        ReadLimbs(d, blk.p, k, p);
        for (long i = 0; i < k; ++i) {
            double rem;
            carry = numbers::FloorDivExact(blk.p[i] + carry, kBase, 1.0 / kBase, rem);
            blk.p[i] = rem;
        }
        long written = k;
        if (p + k == n && carry != 0.0) {
            if (carry == -1.0 && blk.p[k - 1] == kTopLimb) {
                blk.p[k - 1] = -1.0;
            } else {
                if (d._N + 1 > d.SizeAlloc) {
                    core::FatalError("ERROR in UpdateDiskInt, allocation of a is too small\n");
                }
                blk.p[k] = carry;  // |carry| < 2^53 / 10^12: one limb holds it
                ++d._N;
                ++written;
            }
        }
        WriteLimbs(d, blk.p, written, p);
    }
    if (d._N >= 1) {
        double top;
        ReadLimbs(d, &top, 1, d._N - 1);
        if (top <= 0.0) Trim(d);
    }
}

void Trim(DiskInt& d) {
    if (d._N <= 1) return;
    std::vector<double> block(static_cast<std::size_t>(kBlockLimbs));
    // High zero limbs.
    double top = 0.0;
    while (d._N > 0) {
        const long lo = std::max(0L, d._N - kBlockLimbs);
        ReadLimbs(d, block.data(), d._N - lo, lo);
        long i = d._N - lo - 1;
        while (i >= 0 && block[static_cast<std::size_t>(i)] == 0.0) --i;
        d._N = lo + i + 1;
        if (i >= 0) {
            top = block[static_cast<std::size_t>(i)];
            break;
        }
    }
    if (d._N == 0) {
        d._N = 1;
        return;
    }
    if (top != -1.0) return;
    // A -1 top above a run of 999999999999 limbs is the same value as a -1 at the bottom of
    // the run: count the run, then write the -1 there.
    long pos = d._N - 1;  // the -1; the run lies below it
    bool done = false;
    while (!done && pos > 0) {
        const long lo = std::max(0L, pos - kBlockLimbs);
        ReadLimbs(d, block.data(), pos - lo, lo);
        long i = pos - lo - 1;
        while (i >= 0 && block[static_cast<std::size_t>(i)] == kTopLimb) --i;
        done = (i >= 0);
        pos = lo + i + 1;
    }
    if (pos == d._N - 1) return;
    d._N = pos + 1;
    const double minusOne = -1.0;
    WriteLimbs(d, &minusOne, 1, pos);
}

DiskMemory& Memory() {
    static DiskMemory memory;
    return memory;
}

void InitDiskMemory(long n) {
    DiskMemory& m = Memory();
    const long third = n / 3;
    m.work.assign(static_cast<std::size_t>(2 * third + 1), 0.0);
    m.workSize = 2 * third;
    m.lent = nullptr;
    m.lentSize = 0;
    m.nFFT = n;
    m.blockLimbs = third;
    m.block.Alloc(third);
    m.piece.assign(static_cast<std::size_t>(third + 1), 0.0);
    m.large = nullptr;
}

namespace testing {
void FailTransferAfter(long k) { gFailCountdown = k; }
}  // namespace testing

}  // namespace zeprix::disk
