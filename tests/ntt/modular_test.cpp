// The special primes against an independent search, the exact modular arithmetic against
// 128-bit products, the choice of the number of primes against its bound, the fatal paths.
#include <gmp.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "ntt/modular.hpp"
#include "ntt/primes.hpp"
#include "support/test_support.hpp"

namespace zeprix::ntt {
namespace {

using test::Mpz;

u64 Ref(u64 x, u64 y, u64 p) { return static_cast<u64>(static_cast<u128>(x) * y % p); }
u64 RandomBelow(u64 n) { return test::Rng()() % n; }
// x^e mod p by GMP.
u64 GmpPow(u64 x, const Mpz& e, u64 p) {
    Mpz r;
    mpz_powm(r, Mpz(std::to_string(x).c_str()), e, Mpz(std::to_string(p).c_str()));
    return mpz_get_ui(r);
}

// The primes of InitNTT are exactly those of a GMP search over h = j 2^e, j decreasing;
// each certificate and root hold when recomputed with GMP.
TEST(NttPrimes, MatchAnIndependentSearchAndCarryTheirCertificates) {
    // NNTTMax, digits, e, the number of primes
    const std::tuple<long, double, int, long> cases[] = {{4, 10, 13, 10},
                                                         {1L << 10, 34000, 13, 20},
                                                         {1L << 20, 1e8, 13, 39},
                                                         {1L << 30, 1e4, 15, 10}};
    for (const auto& [nnttMax, digits, e, count] : cases) {
        const NttState st = InitNTT(nnttMax, digits);
        EXPECT_EQ(1L << st.PrimeExponent, nnttMax);
        EXPECT_GE(st.RowLength * st.RowLength, nnttMax);
        EXPECT_TRUE(st.RowLength == 2 || (st.RowLength / 2) * (st.RowLength / 2) < nnttMax);
        ASSERT_EQ(st.NbPrimes(), count) << nnttMax;
        u64 j = static_cast<u64>(std::sqrt(2.7e15)) >> e;
        for (const SpecialPrime& sp : st.Primes) {
            Mpz p;
            for (;; --j) {  // the next h^2 + 1 that GMP finds prime
                ASSERT_GT(j, 0u);
                mpz_set_ui(p, j << e);
                mpz_mul(p, p, p);
                mpz_add_ui(p, p, 1);
                if (mpz_probab_prime_p(p, 30) != 0) break;
            }
            EXPECT_EQ(sp.mod.h, j-- << e);
            EXPECT_EQ(sp.mod.p, mpz_get_ui(p));
            // base^((p-1)/4) = h: base^((p-1)/2) = -1; root^(NNTTMax/2) = -1.
            EXPECT_EQ(GmpPow(sp.base, Mpz(static_cast<long>((sp.mod.p - 1) / 4)), sp.mod.p),
                      sp.mod.h);
            EXPECT_EQ(GmpPow(sp.root, Mpz(nnttMax / 2), sp.mod.p), sp.mod.p - 1);
        }
    }
    // The certificate decides every small candidate as GMP does.
    for (u64 h = 8192; h <= 60 * 8192; h += 8192)
        EXPECT_EQ(CertifySpecialPrime(h) != 0,
                  mpz_probab_prime_p(Mpz(static_cast<long>(h * h + 1)), 30) != 0)
            << h;
}

// MulMod, MulShoup, PowMod and InvMod against 128-bit products and GMP: every prime of a
// state, the extreme residues pairwise, then random pairs; and moduli of every bit length
// up to 52.
TEST(NttModular, ProductsPowersAndInversesAreExact) {
    const NttState st = InitNTT(1L << 20, 1e8);
    std::vector<Modulus> mods;
    for (const SpecialPrime& sp : st.Primes) mods.push_back(sp.mod);
    for (int b = 2; b <= 52; ++b) {
        const u64 lo = u64{1} << (b - 1);
        mods.push_back(MakeModulus(b == 2 ? 3 : lo + 1 + RandomBelow(lo - 1)));
        mods.push_back(MakeModulus((u64{1} << b) - 1));
    }
    for (const Modulus& m : mods) {
        const u64 p = m.p;
        std::vector<u64> xs = {0, 1, 2, p - 1, p - 2, p / 2, p / 2 + 1};
        if (m.h != 0) xs.insert(xs.end(), {m.h, p - m.h, m.h - 1, m.h + 1});
        for (int i = 0; i < 2000; ++i) xs.push_back(RandomBelow(p));
        for (size_t i = 0; i < xs.size(); ++i) {
            const u64 x = xs[i], wq = ShoupQuotient(x, m);
            const size_t jEnd = i < 11 ? 11 : i + 1;  // extremes pairwise, randoms by pairs
            for (size_t j = i < 11 ? 0 : i - 1; j < jEnd && j < xs.size(); ++j) {
                const u64 y = xs[j];
                ASSERT_EQ(MulMod(x, y, m), Ref(x, y, p)) << p << " " << x << " " << y;
                ASSERT_EQ(MulShoup(y, x, wq, p), Ref(x, y, p)) << p << " " << x << " " << y;
            }
            // The lazy Shoup product accepts any 64-bit input: result in [0, 2p).
            const u64 big = ~u64{0} - RandomBelow(1000), r = MulShoupLazy(big, x, wq, p);
            ASSERT_LT(r, 2 * p);
            ASSERT_EQ(r % p, Ref(big % p, x, p)) << test::SeedNote();
        }
        const u64 x = RandomBelow(p), e = test::Rng()();
        EXPECT_EQ(PowMod(x, e, m), GmpPow(x, Mpz(std::to_string(e).c_str()), p)) << p << " " << x;
        for (u64 y : {u64{1}, u64{2}, p - 1, RandomBelow(p - 1) + 1})  // p prime or not
            EXPECT_TRUE(m.h == 0 || Ref(y, InvMod(y, p), p) == 1) << p << " " << y;
    }
    EXPECT_EQ(InvMod(7, 10), 3u);  // composite modulus, inverse exists
    EXPECT_EQ(CastToLong(2147483647.9), 2147483647);
}

TEST(NttModular, FatalPaths) {
    ZEPRIX_EXPECT_FATAL(CastToLong(2147483648.0), "Error in CastToLong, N=2147483648 is too big");
    ZEPRIX_EXPECT_FATAL(InvMod(0, 1000003), "Error in InvMod, non inversible residu");
    ZEPRIX_EXPECT_FATAL(InvMod(6, 10), "Error in InvMod, non inversible residu");
    ZEPRIX_EXPECT_FATAL(InitNTT(4, 2e4), "ERROR, too many primes required !");
    ZEPRIX_EXPECT_FATAL(InitNTT(1L << 40, 1e14), "ERROR, not a sufficient number of special");
}

// ChooseBestCRT: the primes cover the product's digits, their product M bounds every point
// of the cyclic convolution (nntt/2 products of two points of dec nines, doubled, below M),
// and the length is NNTTMax whenever that already needs 5 primes.
TEST(NttPrimes, ChooseBestCrtBoundsEveryPoint) {
    const NttState st = InitNTT(1L << 16, 1.95e6);  // 19 primes
    ASSERT_EQ(st.NbPrimes(), 19);
    test::ConsoleCapture console("");
    const long lengths[][2] = {{1, 1},        {100, 100},       {5000, 3},   {40000, 40000},
                               {90000, 1000}, {150000, 150000}, {300000, 1}, {250000, 250000}};
    for (const auto& len : lengths) {
        long nntt = 0, dec = 0, decMax = 0;
        const long n = ChooseBestCRT(st, len[0], len[1], nntt, dec), s = len[0] + len[1];
        SCOPED_TRACE(testing::Message() << len[0] << " x " << len[1] << ": n=" << n
                                        << " nntt=" << nntt << " dec=" << dec);
        ASSERT_TRUE(nntt >= 16 && nntt <= st.NNTTMax && (nntt & (nntt - 1)) == 0);
        EXPECT_TRUE(n >= 5 || nntt == 16);
        EXPECT_TRUE(PrimesForLength(st, st.NNTTMax, s, decMax) < 5 || nntt == st.NNTTMax);
        EXPECT_GT(dec, 0);
        EXPECT_GE(dec * (nntt / 12) * 12, 12 * s);  // the digits fit in the points
        Mpz m(1);
        for (long i = 0; i < n; ++i)
            mpz_mul_ui(m, m, static_cast<unsigned long>(st.Primes[static_cast<size_t>(i)].mod.p));
        const Mpz nines = test::Sub(test::Pow10(dec), Mpz(1));
        EXPECT_LT(mpz_cmp(test::Mul(test::Mul(nines, nines), Mpz(nntt)), m), 0);
    }
    EXPECT_TRUE(test::Contains(console.Output(), "Pb in ChooseBestCRT, NNTT is too small\n"));
    long nntt = 0, dec = 0;
    ZEPRIX_EXPECT_FATAL(ChooseBestCRT(st, 1L << 30, 1L << 30, nntt, dec), "Pb, NCRT is too large");
}

}  // namespace
}  // namespace zeprix::ntt
