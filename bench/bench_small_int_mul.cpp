// MulSmallInt (schoolbook, base 10^8) against GMP's mpz_mul on numbers of the same
// decimal size, in the same process. Arguments: limbs of 8 decimal digits per operand.
// The ratio to report is time(MulSmallInt) / time(mpz_mul) at equal sizes.
#include <benchmark/benchmark.h>
#include <gmp.h>

#include <random>
#include <string>

#include "numbers/small_int.hpp"

namespace {

using zeprix::numbers::SmallInt;

// A random number of `limbs` full base-10^8 limbs (fixed seed), as limbs and as decimal.
std::string RandomDecimal(long limbs, std::mt19937_64& rng) {
    std::string s;
    std::uniform_int_distribution<int> d(0, 9), d1(1, 9);
    s.push_back(static_cast<char>('0' + d1(rng)));
    for (long i = 1; i < 8 * limbs; ++i) s.push_back(static_cast<char>('0' + d(rng)));
    return s;
}

void ToSmallInt(const std::string& dec, SmallInt& r) {
    const long n = static_cast<long>(dec.size()) / 8;
    r.Alloc(n);
    for (long i = 0; i < n; ++i) {
        const size_t end = dec.size() - static_cast<size_t>(8 * i);
        r[i] = std::stod(dec.substr(end - 8, 8));
    }
    r._N = n;
}

void BM_MulSmallInt(benchmark::State& state) {
    const long n = state.range(0);
    std::mt19937_64 rng(12345);
    SmallInt a, b, r;
    ToSmallInt(RandomDecimal(n, rng), a);
    ToSmallInt(RandomDecimal(n, rng), b);
    r.Alloc(2 * n);
    for (auto _ : state) {
        MulSmallInt(a, b, r, 1);
        benchmark::DoNotOptimize(r.Limbs);
        benchmark::ClobberMemory();
    }
    state.counters["digits"] = static_cast<double>(8 * n);
}

void BM_MulSmallIntNoNormalise(benchmark::State& state) {
    const long n = state.range(0);
    std::mt19937_64 rng(12345);
    SmallInt a, b, r;
    ToSmallInt(RandomDecimal(n, rng), a);
    ToSmallInt(RandomDecimal(n, rng), b);
    r.Alloc(2 * n);
    for (auto _ : state) {
        MulSmallInt(a, b, r, 0);
        benchmark::DoNotOptimize(r.Limbs);
        benchmark::ClobberMemory();
    }
}

void BM_GmpMul(benchmark::State& state) {
    const long n = state.range(0);
    std::mt19937_64 rng(12345);
    mpz_t a, b, r;
    mpz_init_set_str(a, RandomDecimal(n, rng).c_str(), 10);
    mpz_init_set_str(b, RandomDecimal(n, rng).c_str(), 10);
    mpz_init(r);
    mpz_mul(r, a, b);  // r's storage is allocated before timing
    for (auto _ : state) {
        mpz_mul(r, a, b);
        benchmark::DoNotOptimize(r->_mp_d);
        benchmark::ClobberMemory();
    }
    state.counters["digits"] = static_cast<double>(8 * n);
    mpz_clear(a);
    mpz_clear(b);
    mpz_clear(r);
}

}  // namespace

BENCHMARK(BM_MulSmallInt)->Arg(10)->Arg(100)->Arg(1000)->Arg(4000);
BENCHMARK(BM_MulSmallIntNoNormalise)->Arg(100)->Arg(1000);
BENCHMARK(BM_GmpMul)->Arg(10)->Arg(100)->Arg(1000)->Arg(4000);

BENCHMARK_MAIN();
