// Points rebuilt from their residues and added digit-aligned into limbs against GMP, on any
// number of threads, and the range guard there. (Whole products through points: the disk
// products through the NTT, against GMP.)
#include <algorithm>
#include <vector>

#include "ntt/crt.hpp"
#include "ntt/points.hpp"
#include "ntt/primes.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

using ntt::u64;
using Vec = std::vector<double>;

const ntt::NttState& State() {
    static const ntt::NttState st = ntt::InitNTT(1L << 10, 2e4);  // 16 primes
    return st;
}
std::vector<u64> FirstPrimes(long n) {
    std::vector<u64> p;
    for (long i = 0; i < n; ++i) p.push_back(State().Primes[static_cast<size_t>(i)].mod.p);
    return p;
}
Vec RandomLimbs(long n) {
    Vec x(static_cast<size_t>(n));
    for (double& v : x) v = static_cast<double>(Rng()() % 1000000000000ULL);
    return x;
}
Mpz Value(const Vec& limbs, long n = -1) {
    return LimbsToMpz(limbs.data(), n < 0 ? static_cast<long>(limbs.size()) : n, 1e12);
}
Mpz RandomBelow(const Mpz& m) {
    Mpz x = Value(RandomLimbs(static_cast<long>(mpz_sizeinbase(m.v, 10)) / 12 + 3));
    mpz_mod(x.v, x.v, m.v);
    return x;
}
Mpz Modulus(const std::vector<u64>& primes) {
    Mpz m(1L);
    for (u64 q : primes) mpz_mul_ui(m.v, m.v, q);
    return m;
}
// Residue arrays, one per prime, and the pointers that the kernels take.
struct Residues {
    std::vector<Vec> v;
    std::vector<double*> ptr;
    Residues(size_t n, long points) : v(n, Vec(static_cast<size_t>(points), 0)) {
        for (Vec& r : v) ptr.push_back(r.data());
    }
    void Set(long k, const Mpz& x, const std::vector<u64>& primes) {
        for (size_t i = 0; i < primes.size(); ++i)
            v[i][static_cast<size_t>(k)] = static_cast<double>(mpz_fdiv_ui(x.v, primes[i]));
    }
};

// Rebuilds `points` (values below M / 2) as the block starting at point j0 into an area of
// random limbs, which they must add to, and checks the area and the limbs past it.
void CheckBlock(const ntt::PointRebuilder& rb, long j0, const std::vector<Mpz>& points) {
    const std::vector<u64>& primes = rb.basis().primes();
    const long count = static_cast<long>(points.size()), d = rb.DigitsPerPoint();
    const long size = rb.AreaLimbs(count);
    Vec area = RandomLimbs(size);
    Residues res(primes.size(), count);
    Mpz want = Value(area);
    for (long k = 0; k < count; ++k) {
        res.Set(k, points[static_cast<size_t>(k)], primes);
        const long shift = d * (j0 + k) - 12 * (j0 / 12 * d);  // digits above area[0]
        mpz_addmul(want.v, points[static_cast<size_t>(k)].v, Pow10(shift).v);
    }
    area.resize(static_cast<size_t>(size + kCanaryLimbs));
    SetCanaries(area.data() + size);
    rb.AddPoints(j0, count, res.ptr.data(), area.data());
    EXPECT_TRUE(CanariesIntact(area.data() + size));
    const double bound = static_cast<double>(rb.MaxContributions() + 1) * 1e12;
    for (long l = 0; l < size; ++l) ASSERT_TRUE(area[static_cast<size_t>(l)] < bound) << l;
    EXPECT_TRUE(SameValue(Value(area, size), want)) << "d=" << d;
}

// A block of 60 groups, in chunks on 1, 2, 3 and 8 threads: the same limbs as GMP's. Values
// at or above M / 2 forged in an odd and a later even chunk (chunks of 8 or 9 groups; the
// even chunks run first) stop the program once, at the first of them in the block, as on
// one thread, with the log of the rebuild. (The edges (M + 1) / 2 and M - 1: crt_test.)
TEST(NttPoints, RebuildOnThreadsAndItsGuard) {
    ThreadCountRestored restore;
    const std::vector<u64> primes = FirstPrimes(5);
    const ntt::PointRebuilder rb(primes, 35);
    const Mpz M = Modulus(primes), half = FloorDiv(M, Mpz(2L));  // (M - 1) / 2
    std::vector<Mpz> points(720);
    for (Mpz& x : points) x = RandomBelow(half);
    Residues res(primes.size(), 720);
    for (long k = 0; k < 720; ++k) res.Set(k, points[static_cast<size_t>(k)], primes);
    res.Set(130, FloorDiv(Mul(M, Mpz(5L)), Mpz(8L)),
            primes);  // 5 M / 8 in group 10, the second chunk
    res.Set(490, FloorDiv(Mul(M, Mpz(7L)), Mpz(8L)), primes);  // 7 M / 8 in group 40, the fifth
    for (int threads : {1, 2, 3, 8}) {
        core::SetThreadCount(threads);
        CheckBlock(rb, 0, points);
        TempWorkDir dir;
        ConsoleCapture io("");
        Vec area(static_cast<size_t>(rb.AreaLimbs(720)), 0.0);
        try {
            rb.AddPoints(0, 720, res.ptr.data(), area.data());
            ADD_FAILURE() << "no error";
        } catch (const core::ProgramExit& e) {
            EXPECT_TRUE(Contains(e.what(), "ERROR IN CRT, m>0.5"));
        }
        const std::string out = io.Output();
        EXPECT_TRUE(Contains(out, "ERROR IN CRT, m=0.62")) << threads << " threads";
        EXPECT_EQ(Occurrences(out, "ERROR IN CRT, m="), 1) << out;
        EXPECT_EQ(Occurrences(out, "ERROR IN CRT, m>0.5"), 1) << out;
        EXPECT_TRUE(Contains(ReadFile("Zeprix.log"), "CRT is on\nNCRT=5\n"));
    }
    // Once a rebuild has finished, the log no longer shows it.
    CheckBlock(rb, 0, points);
    TempWorkDir dir;
    ExpectProgramExit([] { ntt::InvMod(0, 7); });
    EXPECT_FALSE(Contains(ReadFile("Zeprix.log"), "CRT is on"));
}

}  // namespace
}  // namespace zeprix::test
