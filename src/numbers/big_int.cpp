// BigInt: allocation, copy, carry normalisation with low-end truncation, and trimming.
#include "numbers/big_int.hpp"

#include <cstdint>
#include <cstring>
#include <utility>

#include "core/check.hpp"
#include "core/fatal.hpp"
#include "numbers/int_kernels.hpp"
#include "numbers/limbs.hpp"
#include "numbers/schoolbook.hpp"

namespace zeprix::numbers {

using detail::FloorDiv;
using std::int64_t;

namespace {
constexpr int64_t kB = 1000000000000;  // 10^12
constexpr double kBd = 1e12;
}  // namespace

void BigInt::Free() {
    FreeLimbBlock(RawBlock);
    RawBlock = nullptr;
    Limbs = nullptr;
    SizeAlloc = 0;
}

BigInt::BigInt(BigInt&& o) noexcept { *this = std::move(o); }

BigInt& BigInt::operator=(BigInt&& o) noexcept {
    if (this != &o) {
        FreeLimbBlock(RawBlock);
        _N = o._N;
        SizeAlloc = o.SizeAlloc;
        Exp = o.Exp;
        Limbs = o.Limbs;
        RawBlock = o.RawBlock;
        o.RawBlock = nullptr;
        o.Limbs = nullptr;
        o.SizeAlloc = 0;
        o._N = 0;
    }
    return *this;
}

void BigInt::SetView(double* limbs, long n, long capacity, long exp) {
    Free();
    Limbs = limbs;
    _N = n;
    SizeAlloc = capacity;
    Exp = exp;
}

void BigInt::WriteBuffer(double* buf, long count, long first) {
    if (count < 1) return;
    ZEPRIX_ASSERT(first >= 0 && first + count <= _N);
    std::memcpy(buf, Limbs + first, static_cast<std::size_t>(count) * sizeof(double));
}

// A block of n + 1 limbs (the spare limb n is 0). An earlier block is released first.
void BigInt::Alloc(long n) {
    ZEPRIX_ASSERT(n >= 1);
    FreeLimbBlock(RawBlock);
    RawBlock = AllocLimbBlock(n + 1);
    Limbs = RawBlock;
    Limbs[n] = 0;
    SizeAlloc = n;
    Exp = 0;
    _N = 1;
    Limbs[0] = 0;
}

void BigInt::CopyTo(BigInt& r) const {
    if (&r == this) return;
    ZEPRIX_ASSERT(_N <= r.SizeAlloc);
    r._N = _N;
    r.Exp = Exp;
    CopyLimbs(r.Limbs, Limbs, _N);
}

// Limbs may hold any integers below 2^53 in magnitude. Each limb gets its exact floor in
// int64 (t = limb + carry, |carry| < 2^53 / 10^12 + 1, so t never rounds), leaving it in
// [0, 10^12); the final carry goes through AppendCarryBigInt.
void BigInt::UpdateBigInt() {
    int64_t c = 0;
    for (long i = 0; i < _N; ++i) {
        int64_t rem;
        c = FloorDiv<kB>(static_cast<int64_t>(Limbs[i]) + c, rem);
        Limbs[i] = static_cast<double>(rem);
    }
    AppendCarryBigInt(*this, static_cast<double>(c));
}

void BigInt::TrimBigInt() {
    while (_N > 1 && Limbs[_N - 1] == 0) --_N;
    if (_N >= 1 && Limbs[_N - 1] == -1) {
        long j = _N - 1;
        while (j > 0 && Limbs[j - 1] == kBd - 1) {
            Limbs[j] = 0;
            --j;
        }
        Limbs[j] = -1;
        _N = j + 1;
    }
}

// c is an integer below 2^53 in magnitude; limbs 0 .. _N - 1 are canonical. Each round
// places one limb of c above the top: c mod 10^12 (with c = floor(c / 10^12) carried on),
// or -1 when c = -1, or folds c = -1 into a 999999999999 top (which then reads -1). When
// the number is full, the exponent rises by one and the lowest limb is dropped first.
void AppendCarryBigInt(BigInt& r, double c) {
    ZEPRIX_ASSERT(r.SizeAlloc >= 1 && r._N >= 1);
    int64_t ci = static_cast<int64_t>(c);
    while (ci != 0) {
        if (ci == -1 && r._N >= 1 && r.Limbs[r._N - 1] == kBd - 1) {
            r.Limbs[r._N - 1] = -1;
            break;
        }
        if (r._N >= r.SizeAlloc) {
            r.Exp += 1;
            std::memmove(r.Limbs, r.Limbs + 1, static_cast<std::size_t>(r._N - 1) * sizeof(double));
            r._N -= 1;
        }
        if (ci == -1) {
            r.Limbs[r._N++] = -1;
            break;
        }
        int64_t rem;
        ci = FloorDiv<kB>(ci, rem);
        r.Limbs[r._N++] = static_cast<double>(rem);
    }
    r.TrimBigInt();
}

}  // namespace zeprix::numbers
