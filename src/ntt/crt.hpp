// Chinese remaindering of the number-theoretic-transform products: the exact value of one
// point of a product from its residues modulo the primes, in base 10^7, and the fast rebuild
// of blocks of points added digit-aligned into base-10^12 limbs.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "ntt/modular.hpp"

namespace zeprix::ntt {

// A nonnegative integer in base 10^7, least significant limb first, every limb in
// 0 .. 10^7 - 1 once normalised; at least one limb.
struct TinyInt {
    static constexpr std::int64_t kBase = 10000000;
    std::vector<std::int64_t> limbs{0};

    // Carries from limb 0 up (limbs may hold any values below 2^62 in magnitude first); a
    // carry out of the top appends limbs; high zero limbs are dropped (one stays).
    void Normalise();
    // this *= m for 0 <= m < 2^52.
    void MulSmall(std::uint64_t m);
    // this mod p for 0 < p < 2^62.
    std::uint64_t Mod(std::uint64_t p) const;
    // -1, 0, 1 as this is below, equal to, above b.
    int Compare(const TinyInt& b) const;
    // this -= b for this >= b (a borrow left at the end is the fatal error "Error in
    // SubstractTinyInt, carry is not zero\n").
    void Subtract(const TinyInt& b);
};

// The constants of the Chinese remaindering for a set of distinct primes (2 < p < 2^52):
// M their product, the bases M / p_i, the factors ((M / p_i) mod p_i)^-1 mod p_i and the
// multiples k M for k < n.
class CRTBasis {
public:
    explicit CRTBasis(std::vector<std::uint64_t> primes);

    // The integer x in [0, M) with x = r_i mod p_i for every i, which must lie below M / 2:
    // the points of a product are nonnegative and the primes are chosen so that they stay
    // below M / 2. A value at or above M / 2 means residues that no valid product gives (a
    // lost or damaged residue file, a transform fault): the fatal error "ERROR IN CRT,
    // m>0.5", never a wrong limb.
    TinyInt Rebuild(const std::vector<std::uint64_t>& residues) const;

    const TinyInt& modulus() const { return M_; }
    const TinyInt& halfModulus() const { return halfM_; }  // (M + 1) / 2
    const std::vector<std::uint64_t>& primes() const { return primes_; }
    const std::vector<TinyInt>& bases() const { return bases_; }            // M / p_i
    const std::vector<std::uint64_t>& factors() const { return factors_; }  // of the bases

private:
    std::vector<std::uint64_t> primes_;
    std::vector<Modulus> moduli_;
    TinyInt M_, halfM_;
    std::vector<TinyInt> bases_, multiples_;
    std::vector<std::uint64_t> factors_;
};

// The fast rebuild of the points of one product, for n primes (n <= kMaxPrimes, each below
// 10^6 2^32, e.g. the NTT primes below kPrimeLimit) and points of d digits: product point j
// contributes X_j 10^(d j) to the result, that is X_j 10^s at base-10^12 limb q, with
// d j = 12 q + s, 0 <= s < 12. The constants are those of CRTBasis, converted once into
// base-10^6 tables already multiplied by 10^s for the shifts s that occur. More primes, a
// larger prime or points so short that one limb would take too many of them are fatal
// errors of the constructor.
class PointRebuilder {
public:
    PointRebuilder(std::vector<std::uint64_t> primes, long digitsPerPoint);

    const CRTBasis& basis() const { return basis_; }
    long DigitsPerPoint() const { return d_; }

    // Limbs that the points of a block write beyond its own (count / 12) d limbs: the tail
    // that the next block's limbs overlap. AreaLimbs(count) = (count / 12) d + OverlapLimbs().
    long OverlapLimbs() const { return overlap_; }
    long AreaLimbs(long count) const { return count / 12 * d_ + overlap_; }
    // The most points of a product that add into one limb of the result, whatever the
    // blocks; each adds an integer below 10^12, and the constructor checks
    // MaxContributions() (10^12 - 1) < 2^53.
    long MaxContributions() const { return contributions_; }

    // Rebuilds the points j0 .. j0 + count - 1 (j0 and count multiples of 12) from
    // res[i][k], the residue of point j0 + k modulo p_i (an exact integer in [0, p_i) held
    // in a double), and adds X_j 10^(d j) into `area`, whose area[0] is limb (j0 / 12) d of
    // the result and which holds AreaLimbs(count) limbs: point j0 + k adds to the limbs
    // (k / 12) d + floor(d (k mod 12) / 12) onwards, one integer below 10^12 each. The limbs
    // are left unnormalised; a limb that starts at 0 stays below
    // MaxContributions() 10^12 < 2^53 over all the blocks of the product. Residues of a
    // value at or above M / 2 are the fatal error "ERROR IN CRT, m>0.5" (after printing
    // "ERROR IN CRT, m=<X/M>>1 !"), raised before that point touches the area. The groups
    // are rebuilt on the threads of the run; the error is raised on the calling thread,
    // for the first point out of range in the block.
    void AddPoints(long j0, long count, const double* const* res, double* area) const;

private:
    // Rebuilds the groups g0 .. g1 - 1 of a block into its area; at the first point out of
    // range returns false, with m its X / M for the message, before its group is added.
    bool AddGroups(long g0, long g1, const double* const* res, double* area, double& m) const;

    // The tables of one digit shift s, in base-10^6 limbs, least significant first, each
    // limb below 2^32 (the vector products take 32-bit factors).
    struct Shift {
        std::vector<std::uint64_t> bases;  // n rows of width_ + 1: 0, then (M / p_i) 10^s
        std::vector<std::uint64_t> M;      // M 10^s, width_ entries
        std::vector<std::uint64_t> half;   // ((M + 1) / 2) 10^s, width_ entries
        long pairs = 0;                    // base-10^12 limbs of ((M - 1) / 2) 10^s
    };

    CRTBasis basis_;
    long d_ = 0;
    std::size_t n_ = 0;
    // Base-10^6 accumulator limbs: limbs_ - 1 of them hold M 10^11, the top one takes the
    // carry out (zero for every value in range). width_ is limbs_ rounded up to a multiple
    // of 4 (vectors of four limbs; the limbs above the top stay unused).
    std::size_t limbs_ = 0, width_ = 0;
    std::vector<std::uint64_t> p_, f_, fq_;  // primes, factors, Shoup quotients of the factors
    std::vector<double> inv_;                // 1 / p_i rounded
    std::vector<std::uint64_t> bias_;        // a zero value whose limbs keep the sums positive
    std::array<Shift, 12> shifts_;           // by s; only the shifts that occur are filled
    std::array<int, 12> shiftOf_{};          // (d c) mod 12 for point c of a group
    std::array<long, 12> limbOf_{};          // floor(d c / 12)
    long overlap_ = 0, contributions_ = 0;
};

}  // namespace zeprix::ntt
