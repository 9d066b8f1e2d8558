// Disk integers and compressed results at full size, timed with a steady clock (not part of
// the test suite): run it in an empty directory on a quiet machine; it removes its files.
//
//   disk_bench DIGITS [FFT_POINTS]
//
// 1. A number of DIGITS random digits written by the plain decimal writer, by the
//    compressed writer, and decompressed back to text, in MB/s of limbs (8 bytes a limb).
// 2. The product of two disk integers of DIGITS digits each (MulDiskInt, block products at
//    the given FFT size, the files in the page cache) against MulBigInt of the same
//    operands in memory under the same FFT size.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include "disk/disk_arith.hpp"
#include "disk/disk_int.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "numbers/big_int.hpp"
#include "output/compressed.hpp"
#include "output/decimal_writer.hpp"

using namespace zeprix;

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Fill(double* limbs, long n, unsigned seed) {
    std::mt19937_64 g(seed);
    for (long i = 0; i < n; ++i) limbs[i] = static_cast<double>(g() % 1000000000000ULL);
    limbs[n - 1] = 1 + static_cast<double>(g() % 999999999999ULL);
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: disk_bench DIGITS [FFT_POINTS]\n");
        return 2;
    }
    const double digits = std::atof(argv[1]);
    const long L = static_cast<long>(digits / 12) + 1;
    long F = argc > 2 ? std::atol(argv[2]) : 1024;
    // The dialogue's fastest size: 12 digits a point.
    while (static_cast<double>(F) * 12 < digits) F *= 2;
    const double mb = 8.0 * static_cast<double>(L) / 1e6;

    // 1. Writers. The number is 3.xxx (a top limb 3 above L fractional limbs).
    numbers::BigInt a;
    a.Alloc(L + 1);
    Fill(a.Limbs, L, 1);
    a.Limbs[L] = 3;
    a._N = L + 1;
    a.Exp = -L;
    const double plain = WriteText(a, digits, "plain.txt");
    double t0 = Now();
    output::WriteCompressed(a, digits, "Pi", F);
    const double packed = Now() - t0;
    disk::DiskInt d;
    output::OpenCompressed(output::ReadCompressedInfo("Pi"), d);
    const double unpacked = WriteText(d, digits, "decompressed.txt");
    std::printf("digits %.0f, %ld limbs (%.1f MB)\n", digits, L + 1, mb);
    std::printf("plain writer      %7.3f s  %7.1f MB/s\n", plain, mb / plain);
    std::printf("compressed writer %7.3f s  %7.1f MB/s  (%.2f x the plain writer's speed)\n",
                packed, mb / packed, plain / packed);
    std::printf("decompression     %7.3f s  %7.1f MB/s  (%.2f x the plain writer's speed)\n",
                unpacked, mb / unpacked, plain / unpacked);
    d.Free();
    std::filesystem::remove("Pi-info");
    std::filesystem::remove("plain.txt");
    std::filesystem::remove("decompressed.txt");
    a.Free();

    // 2. Products.
    fft::FFTSession session(F);
    disk::InitDiskMemory(F);
    numbers::BigInt x, y, z;
    x.Alloc(L);
    y.Alloc(L);
    z.Alloc(2 * L);
    Fill(x.Limbs, L, 2);
    Fill(y.Limbs, L, 3);
    x._N = y._N = L;
    disk::DiskInt dx, dy, dz;
    dx.Init("bx", L);
    dy.Init("by", L);
    dz.Init("bz", 2 * L);
    disk::WriteLimbs(dx, x.Limbs, L, 0);
    disk::WriteLimbs(dy, y.Limbs, L, 0);
    dx._N = dy._N = L;
    t0 = Now();
    fft::MulBigInt(x, y, z);
    const double memory = Now() - t0;
    t0 = Now();
    disk::MulDiskInt(dx, dy, dz);
    const double onDisk = Now() - t0;
    std::printf("FFT %ld points: MulBigInt %.3f s, MulDiskInt %.3f s (%.2f x)\n", F, memory, onDisk,
                onDisk / memory);
    dx.Free();
    dy.Free();
    dz.Free();
    return 0;
}
