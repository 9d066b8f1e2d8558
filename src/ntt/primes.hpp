// The NTT primes p = h^2 + 1 below 2.7 10^15, certified prime, each with a root of unity of
// order exactly the transform capacity; and the state that holds them.
#pragma once

#include <cstdint>
#include <vector>

#include "ntt/modular.hpp"

namespace zeprix::ntt {

// Upper bound of the primes: p <= 2.7 10^15 < 2^52.
inline constexpr u64 kPrimeLimit = 2700000000000000ULL;
// Most primes a state may hold.
inline constexpr long kMaxPrimes = 1000;

struct SpecialPrime {
    Modulus mod;   // p = h^2 + 1, with h (mod.h) a multiple of 2^e, e >= 13
    u64 root = 0;  // a root of unity of order exactly NNTTMax modulo p
    u64 base = 0;  // the base a that certified p: a^((p-1)/4) = h, so a^((p-1)/2) = -1
};

// Certifies p = h^2 + 1 with p - 1 = j^2 2^(2e), 0 < j < 2^e: for the bases a = 3 .. 999,
// r = a^((p-1)/4) mod p; r^2 neither 1 nor p - 1 proves p composite; r = h gives
// a^((p-1)/2) = -1, which proves p prime (Proth: the odd part of p - 1 is below the power
// of two that divides it). Returns the certifying base, or 0 when p is composite or no
// base up to 999 certifies it.
u64 CertifySpecialPrime(u64 h);

// The NTT state of a computation: the capacity and the primes, built by InitNTT.
class NttState {
public:
    NttState() = default;

    long NNTTMax = 0;                  // largest transform length, a power of two >= 4
    int PrimeExponent = 0;             // k with 2^k = NNTTMax
    long RowLength = 0;                // smallest power of two R >= 2 with R R >= NNTTMax
    std::vector<SpecialPrime> Primes;  // in the order found (decreasing)

    long NbPrimes() const { return static_cast<long>(Primes.size()); }
};

// Builds the state for transforms of up to nnttMax points (a power of two, at least 4) and
// a computation of `digits` decimal digits: trunc(2 digits (2/13) / nnttMax) + 10 primes
// (more than 1000 is the fatal error "ERROR, too many primes required !\n"). The primes are
// h^2 + 1 with h = j 2^e, e = max(13, ceil(k/2)), for j from trunc(sqrt(2.7 10^15) / 2^e)
// down, kept when certified; running out of candidates is the fatal error
// "ERROR, not a sufficient number of special primes !". The root kept with a prime is
// a^((p-1)/nnttMax) for its certifying base a: its nnttMax/2-th power is a^((p-1)/2) = -1,
// so its order is exactly nnttMax.
NttState InitNTT(long nnttMax, double digits);

// The number of primes that a transform of length nntt (a power of two <= NNTTMax) needs
// for a product of `limbs` base-10^12 limbs, and the decimal digits crtNbDec of one point:
// the fewest n (n >= 1) with crtNbDec = floor((ln(p_0 .. p_(n-1)) - ln nntt) / (2 ln 10))
// positive and crtNbDec floor(nntt / 12) 12 >= 12 limbs. Then p_0 .. p_(n-1) >= nntt
// 10^(2 crtNbDec). Needing more primes than the state has is the fatal error
// "Pb, NCRT is too large".
long PrimesForLength(const NttState& st, long nntt, long limbs, long& crtNbDec);

// ChooseBestCRT: for operands of na and nb limbs, the transform length nntt (NNTTMax,
// halved while PrimesForLength gives fewer than 5 primes, never below 16) and crtNbDec;
// returns the number of primes NCRT. A length below 512 prints
// "Pb in ChooseBestCRT, NNTT is too small\n" and goes on.
long ChooseBestCRT(const NttState& st, long na, long nb, long& nntt, long& crtNbDec);

}  // namespace zeprix::ntt
