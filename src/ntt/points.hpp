// The points of a number-theoretic-transform product: an integer in base-10^12 limbs cut into
// points of d decimal digits, each reduced modulo the primes of the product.
#pragma once

#include <cstdint>
#include <vector>

#include "ntt/modular.hpp"

namespace zeprix::ntt {

// Cuts base-10^12 limbs into points of d digits and reduces each point modulo n primes.
//
// Digit 0 is the least significant digit of limb 0; point j holds the digits
// d j .. d j + d - 1, so point j has the value floor(x / 10^(d j)) mod 10^d. Twelve points
// cover exactly d limbs: a group of d limbs is a group of 12 points, cut the same way in
// every group, so the pieces of the 12 points are laid out once, at construction.
class PointSplitter {
public:
    // 1 <= d <= 24563 digits per point (at most 2048 pieces a point); primes 2 < p < 2^52
    // (MakeModulus's range). Other values are fatal errors.
    PointSplitter(long digitsPerPoint, const std::vector<u64>& primes);

    long DigitsPerPoint() const { return d_; }
    long NbPrimes() const { return static_cast<long>(mods_.size()); }

    // For `groups` groups of d limbs at `limbs` (groups d limbs, each an integer in
    // [0, 10^12) held in a double): out[i][k] = (value of point k) mod p_i for
    // k < 12 groups, an exact integer in [0, p_i) held in a double. out[i] is caller
    // allocated with 12 groups entries. The groups are shared out among the threads of
    // the run in chunks; each point is computed the same way whatever thread computes it.
    void Residues(const double* limbs, long groups, double* const* out) const;

private:
    // Residues for the groups g0 .. g1 - 1 (out and limbs indexed as in Residues).
    void GroupResidues(const double* limbs, long g0, long g1, double* const* out) const;

    long d_;
    std::vector<Modulus> mods_;
    // The pieces of a group by increasing digit position: limb l gives the pieces
    // limbFirst_[l] .. limbFirst_[l + 1] - 1, cut at the digit positions
    // cuts_[cutFirst_[l] .. cutFirst_[l + 1] - 1] (increasing, each in 1 .. 11); point c
    // holds the pieces pointFirst_[c] .. pointFirst_[c + 1] - 1, piece t starting e_t digits
    // above the point's digit 0.
    std::vector<long> limbFirst_, cutFirst_;
    std::vector<int> cuts_;
    std::vector<std::size_t> pointFirst_;
    // Per prime (one row of pieces entries each): 10^(e_t) mod p and its Shoup quotient;
    // and the Shoup quotient of 1 (the final reduction).
    std::vector<u64> pow10_, pow10q_, oneq_;
};

}  // namespace zeprix::ntt
