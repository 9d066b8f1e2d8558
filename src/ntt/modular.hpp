// Exact arithmetic modulo one NTT prime p < 2^52: products (Barrett, and Shoup with a fixed
// factor), powers, inverses, and the checked conversion of a count to 32 bits.
//
// Residues are std::uint64_t in [0, p). Every reduction below is exact; the arguments are
// in the comments and in docs/notes/ntt.md.
#pragma once

#include <bit>
#include <cstdint>

#include "core/check.hpp"

namespace zeprix::ntt {

using u64 = std::uint64_t;
__extension__ typedef unsigned __int128 u128;  // a GCC and Clang extension

// Largest modulus bit length: p < 2^52, so 3p < 2^54 and 2p + p < 2^64 leave room for the
// unreduced values of the Barrett and Shoup steps.
inline constexpr int kMaxModulusBits = 52;

// A modulus p (2 < p < 2^52) with its Barrett constant. For p = h^2 + 1, h is kept too.
struct Modulus {
    u64 p = 0;
    u64 h = 0;   // a square root of -1 modulo p (0 when not known)
    u64 mu = 0;  // floor(2^(2b) / p), b = bit length of p: 2^b < 2^(2b)/p <= 2^(b+1)
    int b = 0;   // 2^(b-1) <= p < 2^b
};

// The Barrett constant of p; p must satisfy 2 < p < 2^52 (fatal otherwise).
Modulus MakeModulus(u64 p, u64 h = 0);

// x y mod p for x, y in [0, p).
// Exact: z = x y < p^2 < 2^(2b) fits in 128 bits. With q1 = floor(z / 2^(b-1)) < 2^(b+1)
// and q3 = floor(q1 mu / 2^(b+1)) (q1 mu < 2^(2b+2) <= 2^106), the Barrett bounds give
// floor(z/p) - 2 <= q3 <= floor(z/p), so r = z - q3 p lies in [0, 3p) and, 3p being below
// 2^64, equals the low 64 bits of z minus q3 p computed modulo 2^64. Two conditional
// subtractions bring r into [0, p).
inline u64 MulMod(u64 x, u64 y, const Modulus& m) {
    ZEPRIX_ASSERT(x < m.p && y < m.p);
    const u128 z = static_cast<u128>(x) * y;
    const u64 q1 = static_cast<u64>(z >> (m.b - 1));
    const u64 q3 = static_cast<u64>((static_cast<u128>(q1) * m.mu) >> (m.b + 1));
    u64 r = static_cast<u64>(z) - q3 * m.p;  // 0 <= r < 3p
    r = r >= m.p ? r - m.p : r;
    r = r >= m.p ? r - m.p : r;
    return r;
}

// Shoup's quotient of a fixed factor w in [0, p): floor(w 2^64 / p) < 2^64.
inline u64 ShoupQuotient(u64 w, const Modulus& m) {
    return static_cast<u64>((static_cast<u128>(w) << 64) / m.p);
}

// x w mod p up to one p: a result in [0, 2p), for any x < 2^64 and w in [0, p) with
// wq = ShoupQuotient(w).
// Exact: q = floor(x wq / 2^64) satisfies x w / p - 2 < q <= x w / p (wq > w 2^64/p - 1 and
// x < 2^64), so x w - q p lies in [0, 2p), below 2^64: its low 64 bits are the value.
inline u64 MulShoupLazy(u64 x, u64 w, u64 wq, u64 p) {
    const u64 q = static_cast<u64>((static_cast<u128>(x) * wq) >> 64);
    return x * w - q * p;
}
// x w mod p in [0, p), as MulShoupLazy followed by one conditional subtraction.
inline u64 MulShoup(u64 x, u64 w, u64 wq, u64 p) {
    const u64 r = MulShoupLazy(x, w, wq, p);
    return r >= p ? r - p : r;
}

inline u64 AddMod(u64 x, u64 y, u64 p) {
    const u64 s = x + y;  // < 2p < 2^64
    return s >= p ? s - p : s;
}
inline u64 SubMod(u64 x, u64 y, u64 p) { return x >= y ? x - y : x + p - y; }

// x^e mod p for x in [0, p) (x^0 = 1).
u64 PowMod(u64 x, u64 e, const Modulus& m);

// The inverse of x modulo p by the extended Euclidean algorithm on exact integers, in
// [1, p). x must be in [0, p); when gcd(x, p) != 1 (x = 0 among others) the fatal error
// "Error in InvMod, non inversible residu".
u64 InvMod(u64 x, u64 p);

// trunc(x) as a 32-bit integer; |x| >= 2^31 is the fatal error
// "Error in CastToLong, N=<x> is too big".
std::int32_t CastToLong(double x);

}  // namespace zeprix::ntt
