// The NTT product of two disk integers at full size, on one thread and on more, against
// mpz_mul of the same operands, timed with a steady clock (not part of the test suite): run
// it in an empty directory; it removes its files. The files sit in the page cache.
//
//   ntt_bench DIGITS [FFT_POINTS] [-t THREADS[,THREADS..]] [-r REPEAT]
//
// The NTT capacity is twice FFT_POINTS (default: the smallest power of two with four times
// the operands' limbs, so that the whole product takes one transform length). Each thread
// count (default: 1 and the count of the run, ZEPRIX_THREADS or every hardware thread)
// gets a fresh engine and the best of REPEAT products (default 3), each checked against
// GMP's modulo a 61-bit prime; mpz_mul gets the best of REPEAT too. Beside the times: the
// peak resident memory the first product of an engine added, against the engine's memory
// estimate. On a shared machine the other processes take cores and memory bandwidth: the
// load average is printed first, and only the best times mean much; the processor time of
// the best product (all threads) beside its time shows how much of a second core it had.
#include <gmp.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/parallel.hpp"
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

// Processor time of the whole process (every thread), in seconds.
double Cpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
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

// x = the base-10^12 limbs v[lo, hi), by halves: low + high 10^(12 m).
void FromLimbs(mpz_t x, const std::vector<double>& v, long lo, long hi) {
    if (hi - lo <= 64) {
        mpz_set_ui(x, 0);
        for (long k = hi; k-- > lo;) {
            mpz_mul_ui(x, x, 1000000000000UL);
            mpz_add_ui(x, x, static_cast<unsigned long>(v[static_cast<size_t>(k)]));
        }
        return;
    }
    const long mid = lo + (hi - lo) / 2;
    mpz_t high, scale;
    mpz_inits(high, scale, nullptr);
    FromLimbs(x, v, lo, mid);
    FromLimbs(high, v, mid, hi);
    mpz_ui_pow_ui(scale, 10, static_cast<unsigned long>(12 * (mid - lo)));
    mpz_addmul(x, high, scale);
    mpz_clears(high, scale, nullptr);
}

void Random(disk::DiskInt& d, const char* name, long n, unsigned seed, mpz_t x) {
    std::mt19937_64 g(seed);
    std::vector<double> v(static_cast<size_t>(n));
    for (double& l : v) l = static_cast<double>(g() % 1000000000000ULL);
    v.back() = 1 + static_cast<double>(g() % 999999999999ULL);
    d.Init(name, n);
    disk::WriteLimbs(d, v.data(), n, 0);
    d._N = n;
    FromLimbs(x, v, 0, n);
}

// Peak resident memory since the last reset, in bytes (VmHWM); ResetPeak first gives the
// heap's free pages (GMP's scratch) back, so that the peak counts what is allocated after.
void ResetPeak() {
    malloc_trim(0);
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}
double Status(const char* key) {
    double kb = 0;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, key, std::strlen(key)) == 0)
                kb = std::atof(line + std::strlen(key));
        std::fclose(f);
    }
    return kb * 1024;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> threads;
    long repeat = 3;
    std::vector<const char*> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-t") == 0 && i + 1 < argc) {
            for (const char* s = argv[++i]; *s;) {
                char* end = nullptr;
                threads.push_back(static_cast<int>(std::strtol(s, &end, 10)));
                s = *end == ',' ? end + 1 : end + std::strlen(end);
            }
        } else if (std::strcmp(argv[i], "-r") == 0 && i + 1 < argc) {
            repeat = std::max(1L, std::atol(argv[++i]));
        } else {
            args.push_back(argv[i]);
        }
    }
    if (args.empty()) {
        std::fprintf(stderr,
                     "usage: ntt_bench DIGITS [FFT_POINTS] [-t THREADS[,..]] [-r REPEAT]\n");
        return 2;
    }
    if (threads.empty()) {
        threads.push_back(1);
        if (core::ThreadCount() > 1) threads.push_back(core::ThreadCount());
    }
    const double digits = std::atof(args[0]);
    const long n = static_cast<long>(digits / 12) + 1;
    const long F = args.size() > 1
                       ? std::atol(args[1])
                       : static_cast<long>(std::bit_ceil(static_cast<std::uint64_t>(2 * n)));
    fft::FFTSession session(1024);
    disk::InitDiskMemory(1024);
    mpz_t x, y, z;
    mpz_inits(x, y, z, nullptr);
    disk::DiskInt a, b, c;
    Random(a, "AA", n, 1, x);
    Random(b, "PP", n, 2, y);
    double tGmp = 1e30;
    for (long r = 0; r < repeat; ++r) {
        const double t0 = Now();
        mpz_mul(z, x, y);
        tGmp = std::min(tGmp, Now() - t0);
    }
    const std::uint64_t want = mpz_fdiv_ui(z, kCheck);
    double load[3] = {0, 0, 0};
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = -1;
        std::fclose(f);
    }
    std::printf("%.0f digits x %.0f digits, FFT size %ld; load average %.2f %.2f %.2f "
                "(a shared machine: best of %ld)\n",
                digits, digits, F, load[0], load[1], load[2], repeat);
    std::printf("mpz_mul: %.3f s\n", tGmp);
    bool ok = true;
    double tOne = 0;
    for (int t : threads) {
        core::SetThreadCount(t);
        ntt::NttEngine engine(F, 2 * digits);
        double best = 1e30, cpu = 0, peak = 0;
        for (long r = 0; r < repeat; ++r) {
            c.Init("QQ", 2 * n);
            ResetPeak();
            const double rss = Status("VmRSS:");
            const double t0 = Now(), c0 = Cpu();
            engine.Product().MulDiskIntByNTT(a, b, c, false, false);
            if (Now() - t0 < best) best = Now() - t0, cpu = Cpu() - c0;
            if (r == 0) peak = Status("VmHWM:") - rss;
            ok = ok && ModCheck(c) == want;
            c.Free();
        }
        if (t == threads.front()) tOne = best;
        std::printf("%d thread%s: NTT product %.3f s, processor time %.3f s (%.2f x the first "
                    "count's speed), ratio to mpz_mul %.2f; NNTTMax %ld, peak memory +%.1f MB, "
                    "estimate %.1f MB\n",
                    t, t == 1 ? "" : "s", best, cpu, tOne / best, best / tGmp,
                    engine.Product().State().NNTTMax, peak / 1e6,
                    ntt::NttEngine::MemoryBytes(static_cast<double>(F)) / 1e6);
    }
    std::printf("%s\n", ok ? "every product equal to GMP's modulo 2^61 - 1" : "DIFFERENT");
    for (disk::DiskInt* d : {&a, &b}) d->Free();
    mpz_clears(x, y, z, nullptr);
    return ok ? 0 : 1;
}
