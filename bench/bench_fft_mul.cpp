// MulBigInt and the square against GMP's mpz_mul, and the division (DivideBigInt, and the
// reciprocal of one division block that it starts with) against mpz_tdiv_q, on the same
// random operands, at the FFT size that the parameter dialogue offers first ("Fastest
// mode") for that many digits:
// n = the smallest power of two >= 2 with n * 12 * 1024 >= digits, in k points.
// The FFT size is fixed once per process, so each digit count runs in its own child process.
// Usage: bench_fft_mul [digits ...] [benchmark flags]   (default: 100000 1000000 10000000)
// DIVIDE=1 in the environment adds the division benchmarks.
// Threads: ZEPRIX_THREADS (default every hardware thread), shown with each size; mpz_mul
// runs on one thread.
// The ratios printed use the best of the repetitions (--benchmark_repetitions=K).
#include <benchmark/benchmark.h>
#include <gmp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/parallel.hpp"
#include "fft/fft_state.hpp"
#include "fft/multiply.hpp"
#include "newton/newton.hpp"
#include "numbers/big_int.hpp"

namespace {

using zeprix::numbers::BigInt;

long FastestFFTSize(long digits) {
    long n = 1;
    if (digits > 12288) {
        n = 2;
        while (n * 12 * 1024 < digits) n *= 2;
    }
    if (n > 32768) n = 32768;
    return n * 1024;
}

// x (>= 0) into a BigInt of exactly ceil(digits / 12) limbs.
void ToBigInt(const mpz_t x, long limbs, BigInt& r) {
    std::string s(static_cast<std::size_t>(12 * limbs), '0');
    char* t = mpz_get_str(nullptr, 10, x);
    std::string d(t);
    std::free(t);
    s.replace(s.size() - d.size(), d.size(), d);
    for (long i = 0; i < limbs; ++i)
        r.Limbs[i] = std::stod(s.substr(static_cast<std::size_t>(12 * (limbs - 1 - i)), 12));
    r._N = limbs;
    r.Exp = 0;
}

struct Operands {
    long digits = 0, limbs = 0;
    mpz_t x, y, z, xs;  // xs = x 10^(12 limbs): its quotient by y has as many limbs as x
    BigInt a, b, r;
    BigInt num, den, work, t, inv;  // the division's numbers (num: limbs, den: limbs + 1)
    explicit Operands(long d) : digits(d), limbs((d + 11) / 12) {
        gmp_randstate_t st;
        gmp_randinit_default(st);
        gmp_randseed_ui(st, 12345);
        mpz_inits(x, y, z, xs, nullptr);
        mpz_t p;
        mpz_init(p);
        mpz_ui_pow_ui(p, 10, static_cast<unsigned long>(d));
        mpz_urandomm(x, st, p);
        mpz_urandomm(y, st, p);
        mpz_clear(p);
        gmp_randclear(st);
        a.Alloc(limbs);
        b.Alloc(limbs);
        r.Alloc(2 * limbs);
        ToBigInt(x, limbs, a);
        ToBigInt(y, limbs, b);
        mpz_ui_pow_ui(xs, 10, static_cast<unsigned long>(12 * limbs));
        mpz_mul(xs, xs, x);
    }
    void AllocDivision() {
        const long k = zeprix::newton::DivisionBlock();
        num.Alloc(limbs);
        den.Alloc(limbs + 1);
        work.Alloc(limbs);
        t.Alloc(std::max(k, 2L) + 16);
        inv.Alloc(std::max(k, 2L));
    }
};

Operands* gOps = nullptr;

void BM_ZeprixMul(benchmark::State& st) {
    for (auto _ : st) {
        zeprix::fft::MulBigInt(gOps->a, gOps->b, gOps->r);
        benchmark::DoNotOptimize(gOps->r.Limbs[0]);
    }
}
void BM_ZeprixSquare(benchmark::State& st) {
    for (auto _ : st) {
        zeprix::fft::SquareBigInt(gOps->a, gOps->r);
        benchmark::DoNotOptimize(gOps->r.Limbs[0]);
    }
}
// The copies of the operands (two passes over the limbs) are timed with the division.
void BM_ZeprixDivide(benchmark::State& st) {
    for (auto _ : st) {
        gOps->a.CopyTo(gOps->num);
        gOps->b.CopyTo(gOps->den);
        zeprix::newton::DivideBigInt(gOps->num, gOps->den, gOps->work, gOps->t, gOps->inv);
        benchmark::DoNotOptimize(gOps->num.Limbs[0]);
    }
}
// The reciprocal of b's top division block to that many limbs.
void BM_ZeprixInverse(benchmark::State& st) {
    const long k = std::min(gOps->limbs, gOps->inv.SizeAlloc);
    BigInt top, y;
    top.SetView(gOps->b.Limbs + (gOps->limbs - k), k, k, 0);
    y.SetView(gOps->inv.Limbs, 1, k, 0);
    for (auto _ : st) {
        zeprix::newton::InverseBigInt(top, y, gOps->t);
        benchmark::DoNotOptimize(y.Limbs[0]);
    }
}
void BM_GmpDivide(benchmark::State& st) {
    for (auto _ : st) mpz_tdiv_q(gOps->z, gOps->xs, gOps->y);
}
void BM_GmpMul(benchmark::State& st) {
    for (auto _ : st) mpz_mul(gOps->z, gOps->x, gOps->y);
}
void BM_GmpSquare(benchmark::State& st) {
    for (auto _ : st) mpz_mul(gOps->z, gOps->x, gOps->x);
}

// Keeps the console output and records the shortest real time of each benchmark's runs
// (with --benchmark_repetitions=K the best of K: on a shared machine the minimum is the
// figure least disturbed by other jobs).
class Recorder : public benchmark::ConsoleReporter {
public:
    Recorder() : ConsoleReporter(OO_None) {}
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration) {
                const double t = r.GetAdjustedRealTime();
                auto it = seconds.find(r.run_name.function_name);
                if (it == seconds.end() || t < it->second) seconds[r.run_name.function_name] = t;
            }
    }
};

int RunOne(long digits, int argc, char** argv) {
    const long n = FastestFFTSize(digits);
    zeprix::fft::SetupFFT(n);
    gOps = new Operands(digits);
    // One product checked against GMP before timing.
    zeprix::fft::MulBigInt(gOps->a, gOps->b, gOps->r);
    mpz_mul(gOps->z, gOps->x, gOps->y);
    std::printf("\n%ld digits, FFT size %ld k (%ld limbs per operand), %d threads\n", digits,
                n / 1024, gOps->limbs, zeprix::core::ThreadCount());
    const std::string tag = std::to_string(digits);
    auto reg = [&](const char* name, void (*fn)(benchmark::State&)) {
        benchmark::RegisterBenchmark((std::string(name) + "/" + tag).c_str(), fn)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
    };
    reg("ZeprixMul", BM_ZeprixMul);
    reg("GmpMul", BM_GmpMul);
    reg("ZeprixSquare", BM_ZeprixSquare);
    reg("GmpSquare", BM_GmpSquare);
    if (std::getenv("DIVIDE")) {
        gOps->AllocDivision();
        reg("ZeprixDivide", BM_ZeprixDivide);
        reg("ZeprixInverse", BM_ZeprixInverse);
        reg("GmpDivide", BM_GmpDivide);
    }
    benchmark::Initialize(&argc, argv);
    Recorder rec;
    benchmark::RunSpecifiedBenchmarks(&rec);
    auto get = [&](const char* k) { return rec.seconds[std::string(k) + "/" + tag]; };
    (void)get;
    const double zm = get("ZeprixMul"), gm = get("GmpMul"), zs = get("ZeprixSquare"),
                 gs = get("GmpSquare");
    if (zm > 0 && gm > 0 && zs > 0 && gs > 0)
        std::printf("RATIO digits=%ld fft=%ldk threads=%d  MulBigInt/mpz_mul=%.3f  "
                    "Square/mpz_mul(x,x)=%.3f  Square/mpz_mul(x,y)=%.3f\n",
                    digits, n / 1024, zeprix::core::ThreadCount(), zm / gm, zs / gs, zs / gm);
    const double zd = get("ZeprixDivide"), zi = get("ZeprixInverse"), gd = get("GmpDivide");
    if (zd > 0 && gd > 0)
        std::printf("RATIO digits=%ld fft=%ldk threads=%d  DivideBigInt/mpz_tdiv_q=%.3f  "
                    "(reciprocal of one block: %.1f ms of %.1f ms)\n",
                    digits, n / 1024, zeprix::core::ThreadCount(), zd / gd, zi, zd);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] >= '0' && argv[i][0] <= '9')
            sizes.push_back(std::atol(argv[i]));
        else
            rest.push_back(argv[i]);
    }
    if (sizes.empty()) sizes = {100000, 1000000, 10000000};
    for (long d : sizes) {
        std::fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            int c = static_cast<int>(rest.size());
            return RunOne(d, c, rest.data());
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return 0;
}
