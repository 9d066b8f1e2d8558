// Limb moves and the error term that the Newton iterations (reciprocal, inverse square
// root) share.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "core/fatal.hpp"
#include "newton/big_view.hpp"
#include "numbers/big_int.hpp"
#include "numbers/limbs.hpp"

namespace zeprix::newton {

// Moves y's limbs up so that its exponent becomes newExp (<= y.Exp), zeros below; never
// past y's capacity (the exponent then stays higher by the difference).
inline void ExtendDown(numbers::BigInt& y, long newExp) {
    long s = std::min(y.Exp - newExp, y.SizeAlloc - y._N);
    if (s <= 0) return;
    std::memmove(y.Limbs + s, y.Limbs, sizeof(double) * static_cast<std::size_t>(y._N));
    std::memset(y.Limbs, 0, sizeof(double) * static_cast<std::size_t>(s));
    y._N += s;
    y.Exp -= s;
}

// Keeps the top n limbs of y (a floor: the lowest ones are dropped, the exponent raised).
inline void KeepTop(numbers::BigInt& y, long n) {
    if (y._N <= n) return;
    const long drop = y._N - n;
    std::memmove(y.Limbs, y.Limbs + drop, sizeof(double) * static_cast<std::size_t>(n));
    y._N = n;
    y.Exp += drop;
}

// Turns t ~ 1 (either 1.000.., top limb 1 at position 0, or 0.999.., top at position -1)
// into |1 - t| in place and returns true when t >= 1 (the correction is then subtracted).
// Any other t means the iteration does not converge: fatal error `fatalMsg`.
inline bool TakeUnitError(numbers::BigInt& t, const char* fatalMsg) {
    const long pos = TopPosition(t);
    bool subtract;
    if (pos == 1 && t.Limbs[t._N - 1] == 1) {
        subtract = true;
        t.Limbs[t._N - 1] = 0;
    } else if (pos == 0 && t.Limbs[t._N - 1] >= numbers::kBigBase - 2) {
        subtract = false;
        // 1 - t = (10^(12 N) - T) 10^(12 Exp) with N + Exp = 0: the ten's complement.
        long i = 0;
        while (i < t._N && t.Limbs[i] == 0) ++i;
        if (i < t._N) {
            t.Limbs[i] = numbers::kBigBase - t.Limbs[i];
            for (++i; i < t._N; ++i) t.Limbs[i] = numbers::kBigBase - 1 - t.Limbs[i];
        }
    } else {
        core::FatalError(fatalMsg);
    }
    t.TrimBigInt();
    return subtract;
}

}  // namespace zeprix::newton
