// Chinese remaindering against GMP: points below M / 2 rebuilt exactly from their residues
// for sets of random primes of 50 bits, the edges of the range, and the range guard on
// residues that no valid product gives.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ntt/crt.hpp"
#include "support/test_support.hpp"

namespace zeprix::test {
namespace {

Mpz ToMpz(const ntt::TinyInt& x) {
    Mpz r;
    for (std::size_t j = x.limbs.size(); j-- > 0;) {
        mpz_mul_ui(r.v, r.v, 10000000);
        mpz_add_ui(r.v, r.v, static_cast<unsigned long>(x.limbs[j]));
    }
    return r;
}

struct Primes {
    std::vector<std::uint64_t> p;
    Mpz M{1L};
    Primes(int n, gmp_randstate_t rs) {
        for (int i = 0; i < n; ++i) {
            Mpz q;
            mpz_urandomb(q.v, rs, 50);
            mpz_setbit(q.v, 49);
            mpz_nextprime(q.v, q.v);
            p.push_back(mpz_get_ui(q.v));
            mpz_mul(M.v, M.v, q.v);
        }
    }
    std::vector<std::uint64_t> Residues(const Mpz& x) const {
        std::vector<std::uint64_t> r;
        for (std::uint64_t q : p) r.push_back(mpz_fdiv_ui(x.v, q));
        return r;
    }
};

TEST(CRT, PointsBelowHalfTheModulusAreRebuiltExactly) {
    gmp_randstate_t rs;
    gmp_randinit_default(rs);
    gmp_randseed_ui(rs, 12345);
    for (int n : {1, 2, 3, 5, 8, 9, 13}) {
        const Primes pr(n, rs);
        const ntt::CRTBasis crt(pr.p);
        EXPECT_TRUE(SameValue(ToMpz(crt.modulus()), pr.M));
        Mpz half = Sub(pr.M, Mpz(1L)), x;  // (M - 1) / 2, the largest valid point
        mpz_fdiv_q_2exp(half.v, half.v, 1);
        std::vector<Mpz> points = {Mpz(0L), Mpz(1L), half};
        for (int k = 0; k < 30; ++k) {
            mpz_urandomm(x.v, rs, half.v);
            points.push_back(x);
        }
        for (const Mpz& v : points)
            EXPECT_TRUE(SameValue(ToMpz(crt.Rebuild(pr.Residues(v))), v)) << n << " primes";
        // (M + 1) / 2 and a value near M: the guard stops them.
        for (const Mpz& bad : {Add(half, Mpz(1L)), Sub(pr.M, Mpz(1L))})
            ZEPRIX_EXPECT_FATAL(crt.Rebuild(pr.Residues(bad)), "ERROR IN CRT, m>0.5");
    }
    gmp_randclear(rs);
}

// Forged residues (a damaged residue file) rebuild either to a point that agrees with
// every residue and lies below M / 2, or stop the program: never a silent wrong value.
TEST(CRT, ForgedResiduesNeverPassAsAWrongPoint) {
    TempWorkDir dir;  // the fatal path writes its log here
    gmp_randstate_t rs;
    gmp_randinit_default(rs);
    gmp_randseed_ui(rs, 777);
    const Primes pr(4, rs);
    const ntt::CRTBasis crt(pr.p);
    std::mt19937_64 g(3);
    int stopped = 0;
    for (int k = 0; k < 40; ++k) {
        std::vector<std::uint64_t> r;
        for (std::uint64_t q : pr.p) r.push_back(g() % q);
        try {
            ConsoleCapture io("");
            EXPECT_EQ(pr.Residues(ToMpz(crt.Rebuild(r))), r);
        } catch (const core::ProgramExit& e) {
            EXPECT_TRUE(Contains(e.what(), "ERROR IN CRT, m>0.5"));
            ++stopped;
        }
    }
    EXPECT_GT(stopped, 5);
    gmp_randclear(rs);
}

TEST(CRT, SubtractionFault) {
    ntt::TinyInt a, b;
    a.limbs = {5};
    b.limbs = {6};
    ZEPRIX_EXPECT_FATAL(a.Subtract(b), "Error in SubstractTinyInt, carry is not zero");
}

}  // namespace
}  // namespace zeprix::test
