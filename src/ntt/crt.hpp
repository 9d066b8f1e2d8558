// Chinese remaindering of the number-theoretic-transform products: the exact value of one
// point of a product from its residues modulo the primes, in base 10^7.
#pragma once

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
    const std::vector<std::uint64_t>& primes() const { return primes_; }

private:
    std::vector<std::uint64_t> primes_;
    std::vector<Modulus> moduli_;
    TinyInt M_, halfM_;
    std::vector<TinyInt> bases_, multiples_;
    std::vector<std::uint64_t> factors_;
};

}  // namespace zeprix::ntt
