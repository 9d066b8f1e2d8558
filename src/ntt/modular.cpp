// Modular arithmetic modulo one NTT prime: the Barrett constant, powers, inverses, and the
// checked conversion of counts.
#include "ntt/modular.hpp"

#include <cmath>
#include <cstdio>

namespace zeprix::ntt {

Modulus MakeModulus(u64 p, u64 h) {
    ZEPRIX_CHECK(p > 2 && p < (u64{1} << kMaxModulusBits), "NTT modulus out of range");
    Modulus m;
    m.p = p;
    m.h = h;
    m.b = static_cast<int>(std::bit_width(p));
    // 2^(2b) / p <= 2^(b+1) <= 2^53: the quotient fits in 64 bits.
    m.mu = static_cast<u64>((static_cast<u128>(1) << (2 * m.b)) / p);
    return m;
}

u64 PowMod(u64 x, u64 e, const Modulus& m) {
    u64 r = 1 % m.p;
    while (e != 0) {
        if (e & 1) r = MulMod(r, x, m);
        x = MulMod(x, x, m);
        e >>= 1;
    }
    return r;
}

u64 InvMod(u64 x, u64 p) {
    // Invariant: r0 = s0 x (mod p), r1 = s1 x (mod p); |s0|, |s1| <= p, so the signed
    // coefficients fit in 64 bits (p < 2^52).
    std::int64_t s0 = 0, s1 = 1;
    u64 r0 = p, r1 = x % p;
    while (r1 != 0) {
        const u64 q = r0 / r1;
        const u64 r2 = r0 - q * r1;
        const std::int64_t s2 = s0 - static_cast<std::int64_t>(q) * s1;
        r0 = r1;
        r1 = r2;
        s0 = s1;
        s1 = s2;
    }
    ZEPRIX_CHECK(r0 == 1, "Error in InvMod, non inversible residu");
    const std::int64_t sp = static_cast<std::int64_t>(p);
    return static_cast<u64>(s0 < 0 ? s0 + sp : s0);
}

std::int32_t CastToLong(double x) {
    if (!(std::fabs(x) < 2147483648.0)) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "Error in CastToLong, N=%.0lf is too big\n", x);
        core::FatalError(msg);
    }
    return static_cast<std::int32_t>(x);
}

}  // namespace zeprix::ntt
