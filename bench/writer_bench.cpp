// Throughput of the output writers at chosen thread counts (not part of the test suite): run
// it in an empty directory; it removes its files.
//
//   writer_bench DIGITS [THREADS ...]     (default threads: 1 2)
//
// A number 3.xxx of DIGITS random digits in memory is written by the decimal writer (default
// layout, the file flushed, not synced), by the compressed writer (files synced, as the
// program does), and decompressed back to text, once per thread count. The figures are in
// MB/s of digits (10^6 decimal digits a second); the files of every count are compared with
// those of the first.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/console.hpp"
#include "core/parallel.hpp"
#include "disk/disk_int.hpp"
#include "numbers/big_int.hpp"
#include "output/compressed.hpp"
#include "output/decimal_writer.hpp"

using namespace zeprix;
namespace fs = std::filesystem;

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double WriteText(numbers::MPInt& a, double digits, const char* file) {
    std::FILE* f = std::fopen(file, "w");
    const double t0 = Now();
    output::WriteResult(a, "Pi", digits, f, 0, 1);
    std::fflush(f);
    const double t = Now() - t0;
    std::fclose(f);
    return t;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa && fb;
    std::vector<char> x(1 << 20), y(1 << 20);
    while (same) {
        const std::size_t na = std::fread(x.data(), 1, x.size(), fa);
        const std::size_t nb = std::fread(y.data(), 1, y.size(), fb);
        same = na == nb && std::equal(x.begin(), x.begin() + static_cast<long>(na), y.begin());
        if (na == 0) break;
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return same;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: writer_bench DIGITS [THREADS ...]\n");
        return 2;
    }
    const double digits = std::atof(argv[1]);
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {1, 2};
    const long L = static_cast<long>(digits / 12) + 1;

    numbers::BigInt a;
    a.Alloc(L + 1);
    std::mt19937_64 g(1);
    for (long i = 0; i < L; ++i) a.Limbs[i] = static_cast<double>(g() % 1000000000000ULL);
    a.Limbs[L] = 3;
    a._N = L + 1;
    a.Exp = -L;

    // The writer's blank line between dialogue and digits goes nowhere.
    std::FILE* quiet = std::fopen("/dev/null", "w");
    core::SetConsole(stdin, quiet);
    const char* const files[] = {"plain.txt", "Pi-00", "decompressed.txt"};
    std::printf("%.0f digits, MB/s of digits (shared machine: indicative only)\n", digits);
    std::printf("threads  plain writer  compressed writer  decompression  same files\n");
    bool allSame = true;
    for (std::size_t c = 0; c < counts.size(); ++c) {
        core::SetThreadCount(counts[c]);
        const double plain = WriteText(a, digits, files[0]);
        const double t0 = Now();
        output::WriteCompressed(a, digits, "Pi", 1 << 20);
        const double packed = Now() - t0;
        disk::DiskInt d;
        output::OpenCompressed(output::ReadCompressedInfo("Pi"), d);
        const double unpacked = WriteText(d, digits, files[2]);
        bool same = true;
        for (const char* f : files) {
            const std::string ref = std::string(f) + ".first";
            if (c == 0)
                fs::copy_file(f, ref, fs::copy_options::overwrite_existing);
            else
                same = same && SameFile(f, ref);
        }
        allSame = allSame && same;
        const double mdigits = digits / 1e6;
        std::printf("%7d  %12.1f  %17.1f  %13.1f  %s\n", counts[c], mdigits / plain,
                    mdigits / packed, mdigits / unpacked, c == 0 ? "-" : (same ? "yes" : "NO"));
    }
    for (const char* f : files) {
        fs::remove(f);
        fs::remove(std::string(f) + ".first");
    }
    fs::remove("Pi-info");
    a.Free();
    std::fclose(quiet);
    return allSame ? 0 : 1;
}
