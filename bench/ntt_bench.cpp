// The NTT product of two disk integers at full size against mpz_mul of the same operands,
// timed with a steady clock (not part of the test suite): run it in an empty directory on a
// quiet machine; it removes its files. The files sit in the page cache.
//
//   ntt_bench DIGITS [FFT_POINTS]
//
// The NTT capacity is twice FFT_POINTS (default: the smallest power of two with four times
// the operands' limbs, so that the whole product takes one transform length). The product
// is checked against GMP's modulo a 61-bit prime.
#include <gmp.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "disk/disk_arith.hpp"
#include "disk/disk_int.hpp"
#include "fft/fft_state.hpp"
#include "ntt/disk_ntt.hpp"

using namespace zeprix;

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr std::uint64_t kCheck = 2305843009213693951ULL;  // 2^61 - 1
__extension__ typedef unsigned __int128 u128;

std::uint64_t ModCheck(disk::DiskInt& d) {
    std::vector<double> buf(1 << 16);
    u128 r = 0;
    for (long hi = d._N; hi > 0;) {
        const long lo = std::max(0L, hi - static_cast<long>(buf.size()));
        d.WriteBuffer(buf.data(), hi - lo, lo);
        for (long k = hi - lo; k-- > 0;)
            r = (r * 1000000000000ULL + static_cast<std::uint64_t>(buf[static_cast<size_t>(k)])) %
                kCheck;
        hi = lo;
    }
    return static_cast<std::uint64_t>(r);
}

void Random(disk::DiskInt& d, const char* name, long n, unsigned seed, std::string& dec) {
    std::mt19937_64 g(seed);
    std::vector<double> v(static_cast<size_t>(n));
    for (double& x : v) x = static_cast<double>(g() % 1000000000000ULL);
    v.back() = 1 + static_cast<double>(g() % 999999999999ULL);
    d.Init(name, n);
    disk::WriteLimbs(d, v.data(), n, 0);
    d._N = n;
    dec.clear();
    char s[16];
    for (long k = n; k-- > 0;) {
        std::snprintf(s, sizeof s, k == n - 1 ? "%.0f" : "%012.0f", v[static_cast<size_t>(k)]);
        dec += s;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ntt_bench DIGITS [FFT_POINTS]\n");
        return 2;
    }
    const double digits = std::atof(argv[1]);
    const long n = static_cast<long>(digits / 12) + 1;
    const long F = argc > 2 ? std::atol(argv[2])
                            : static_cast<long>(std::bit_ceil(static_cast<std::uint64_t>(2 * n)));
    fft::FFTSession session(1024);
    disk::InitDiskMemory(1024);
    ntt::NttEngine engine(F, 2 * digits);
    std::string da, db;
    disk::DiskInt a, b, c;
    Random(a, "AA", n, 1, da);
    Random(b, "PP", n, 2, db);
    c.Init("QQ", 2 * n);

    const double t0 = Now();
    engine.Product().MulDiskIntByNTT(a, b, c, false, false);
    const double tNtt = Now() - t0;

    mpz_t x, y, z;
    mpz_inits(x, y, z, nullptr);
    mpz_set_str(x, da.c_str(), 10);
    mpz_set_str(y, db.c_str(), 10);
    const double t1 = Now();
    mpz_mul(z, x, y);
    const double tGmp = Now() - t1;
    const bool ok = mpz_fdiv_ui(z, kCheck) == ModCheck(c);
    std::printf("%.0f digits x %.0f digits, NNTTMax %ld: NTT product %.3f s, mpz_mul %.3f s, "
                "ratio %.2f, %s\n",
                digits, digits, engine.Product().State().NNTTMax, tNtt, tGmp, tNtt / tGmp,
                ok ? "equal modulo 2^61 - 1" : "DIFFERENT");
    for (disk::DiskInt* d : {&a, &b, &c}) d->Free();
    mpz_clears(x, y, z, nullptr);
    return ok ? 0 : 1;
}
