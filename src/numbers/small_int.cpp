// SmallInt: allocation, carry normalisation, addition, subtraction, negation and the
// short and schoolbook products in base 10^8.
#include "numbers/small_int.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "core/check.hpp"
#include "core/fatal.hpp"
#include "numbers/int_kernels.hpp"
#include "numbers/limbs.hpp"

namespace zeprix::numbers {

using detail::FloorDiv;
using std::int64_t;

namespace {

constexpr int64_t kB = 100000000;  // 10^8
constexpr double kBd = 1e8;

// Ensures r can hold n limbs: keeps the contents when r is also an operand, discards
// them otherwise (a fresh result).
void EnsureCapacity(SmallInt& r, long n, bool rIsOperand) {
    if (rIsOperand)
        r.Realloc(n);
    else
        r.Alloc(n);
}

// One step of the add/subtract carry chain: returns s mod 10^8 and sets c = floor(s / 10^8).
// Canonical operands give s in [-10^8, 2 * 10^8), one comparison away; anything else
// (a signed top limb minus a limb, for instance) takes the exact floor.
inline double CarryStep(double s, double& c) {
    if (s >= 0) {
        if (s < kBd) {
            c = 0;
            return s;
        }
        if (s < 2 * kBd) {
            c = 1;
            return s - kBd;
        }
    } else if (s >= -kBd) {
        c = -1;
        return s + kBd;
    }
    double rem;
    c = FloorDivExact(s, kBd, kSmallInvBase, rem);
    return rem;
}

}  // namespace

SmallInt gSmallIntZero;
SmallInt gSmallIntOne;

void InitSmallIntConstants() {
    gSmallIntZero.Set(0);
    gSmallIntOne.Set(1);
}

SmallInt::~SmallInt() { Free(); }

void SmallInt::Free() {
    FreeLimbBlock(RawBlock);
    RawBlock = nullptr;
    Limbs = nullptr;
    SizeAlloc = 0;
}

void SmallInt::WriteBuffer(double* buf, long count, long first) {
    if (count < 1) return;
    ZEPRIX_ASSERT(first >= 0 && first + count <= _N);
    std::memcpy(buf, Limbs + first, static_cast<std::size_t>(count) * sizeof(double));
}

// Exact for limbs below the top within [-10^8, 10^8]: the argument of MPInt::Sign.
int SmallInt::Sign() {
    double h = 0;
    for (long i = _N - 1; i >= 0; --i) {
        h = h * kBd + Limbs[i];
        if (h >= 2) return 1;
        if (h <= -2) return -1;
    }
    return (h > 0) - (h < 0);
}

// Limb 0 receives x and the carry normalisation splits it: |x| < 10^8 needs one limb,
// any other integer below 2^53 in magnitude two.
void SmallInt::Set(double x) {
    if (x > 1e15) core::FatalError("Error in SmallInt::Set, x is too large");
    ZEPRIX_ASSERT(x == std::floor(x) && x > -kTwo53);
    const long need = (x > -kBd && x < kBd) ? 1 : 2;
    if (need > SizeAlloc) Alloc(need);
    Limbs[0] = x;
    _N = 1;
    if (x <= -kBd || x >= kBd) UpdateSmallInt();
}

void SmallInt::Alloc(long n) {
    if (n <= SizeAlloc) return;
    if (IsView()) core::FatalError("Error, Alloc cannot be used on a NoDelete SmallInt");
    FreeLimbBlock(RawBlock);
    RawBlock = AllocLimbBlock(n + 1);  // one spare limb beyond the capacity
    Limbs = RawBlock;
    Limbs[n] = 0;
    SizeAlloc = n;
}

void SmallInt::Realloc(long n) {
    if (n <= SizeAlloc) return;
    if (IsView()) core::FatalError("Error, Realloc cannot be used on a NoDelete SmallInt");
    double* block = AllocLimbBlock(n + 1);
    if (_N > 0 && Limbs != nullptr)
        std::memcpy(block, Limbs,
                    static_cast<std::size_t>(std::min(_N, SizeAlloc)) * sizeof(double));
    block[n] = 0;
    FreeLimbBlock(RawBlock);
    RawBlock = block;
    Limbs = block;
    SizeAlloc = n;
}

void SmallInt::AllocSpecial(SmallInt& a, long k) {
    if (Limbs != nullptr || RawBlock != nullptr)
        core::FatalError("Attempting to use AllocSpecial on an allocated SmallInt");
    if (a.SizeAlloc - k < 1)
        core::FatalError("Error in  SmallInt::AllocSpecial, a has not enough space ");
    Limbs = a.Limbs + k;
    SizeAlloc = a.SizeAlloc - k;
}

void SmallInt::CopyTo(SmallInt& r) const {
    if (&r == this) return;
    if (_N > r.SizeAlloc) core::FatalError("Error in SmallInt::CopyTo, r has not sufficient space");
    r._N = _N;
    for (long i = _N - 1; i >= 0; --i) r.Limbs[i] = Limbs[i];
}

// Every limb below the top gets its exact floor and ends in [0, 10^8). The top limb plus
// the carry is kept whole when it lies in (-10^8, 10^8); otherwise it is split and its
// quotient (nonzero, below 10^8 in magnitude since every input is below 2^53) becomes
// one new top limb; a -1 quotient never sits on 99999999 there, as that would mean a top
// of -1, which is kept whole.
// Computed in int64: t = limb + carry cannot round even for limbs just below 2^53.
void SmallInt::UpdateSmallInt() {
    if (_N < 1) return;
    int64_t c = 0;
    for (long i = 0; i + 1 < _N; ++i) {
        int64_t rem;
        c = FloorDiv<kB>(static_cast<int64_t>(Limbs[i]) + c, rem);
        Limbs[i] = static_cast<double>(rem);
    }
    const int64_t t = static_cast<int64_t>(Limbs[_N - 1]) + c;
    if (t > -kB && t < kB) {
        Limbs[_N - 1] = static_cast<double>(t);
    } else {
        int64_t rem;
        const int64_t q = FloorDiv<kB>(t, rem);  // 1 <= |q| < 10^8
        if (_N + 1 > SizeAlloc)
            core::FatalError("ERROR in UpdateSmallInt, allocation of a is too small\n");
        Limbs[_N - 1] = static_cast<double>(rem);
        Limbs[_N] = static_cast<double>(q);
        ++_N;
    }
    Trim();
}

void SmallInt::Trim() {
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

// Exact for any limbs below 2^52 in magnitude; canonical operands (limbs below the top
// in [0, 10^8), top in (-10^8, 10^8)) give a canonical sum: every position gets the exact
// floor of its sum, and the carry out of the top position (-2 .. 1) becomes the new top.
// Operands need _N >= 1.
void AddSmallInt(const SmallInt& a0, const SmallInt& b0, SmallInt& r) {
    const bool swap = b0._N > a0._N;
    const SmallInt& a = swap ? b0 : a0;
    const SmallInt& b = swap ? a0 : b0;
    const long Na = a._N, Nb = b._N;
    ZEPRIX_ASSERT(Nb >= 1);
    EnsureCapacity(r, Na + 1, &r == &a || &r == &b);
    const double* pa = a.Limbs;
    const double* pb = b.Limbs;
    double* pr = r.Limbs;
    double c = 0;
    for (long i = 0; i < Nb; ++i) pr[i] = CarryStep(c + pa[i] + pb[i], c);
    for (long i = Nb; i < Na; ++i) pr[i] = CarryStep(c + pa[i], c);
    r._N = Na;
    if (c != 0) {
        if (Na + 1 > r.SizeAlloc) core::FatalError("Allocation problem in AddBigInt");
        pr[Na] = c;
        r._N = Na + 1;
    }
    r.Trim();
}

// Same structure as AddSmallInt; a negative difference ends in complement form.
void SubstractSmallInt(const SmallInt& a, const SmallInt& b, SmallInt& r) {
    const long Na = a._N, Nb = b._N;
    const long N = std::max(Na, Nb);
    EnsureCapacity(r, N + 1, &r == &a || &r == &b);
    const double* pa = a.Limbs;
    const double* pb = b.Limbs;
    double* pr = r.Limbs;
    double c = 0;
    const long common = std::min(Na, Nb);
    for (long i = 0; i < common; ++i) pr[i] = CarryStep(c + pa[i] - pb[i], c);
    for (long i = common; i < Na; ++i) pr[i] = CarryStep(c + pa[i], c);
    for (long i = common; i < Nb; ++i) pr[i] = CarryStep(c - pb[i], c);
    r._N = N;
    if (c != 0) {
        if (N + 1 > r.SizeAlloc) std::printf("Allocation problem in SubstractSmallInt\n");
        pr[N] = c;
        r._N = N + 1;
    }
    r.Trim();
}

void NegateSmallInt(const SmallInt& a, SmallInt& r) {
    const long Na = a._N;
    EnsureCapacity(r, Na + 1, &r == &a);
    for (long i = 0; i < Na; ++i) r.Limbs[i] = -a.Limbs[i];
    r._N = Na;
    r.UpdateSmallInt();
}

// |m| <= 10^7: t = a[i] * m + c stays below 10^15 + 10^8 in magnitude (int64, exact).
// Larger m goes through LongShortMul8.
void ShortMulSmallInt(const SmallInt& a, double m, SmallInt& r) {
    const long Na = a._N;
    const bool alias = &r == &a;
    if (m * m * 1e8 * 1e8 > 1e30) {
        EnsureCapacity(r, Na + 3, alias);
        r._N = LongShortMul8(r.Limbs, a.Limbs, Na, m);
        r.Trim();
        return;
    }
    ZEPRIX_ASSERT(m == std::floor(m));
    EnsureCapacity(r, Na + 2, alias);
    const int64_t mi = static_cast<int64_t>(m);
    const double* pa = a.Limbs;  // read after the (re)allocation
    double* pr = r.Limbs;
    int64_t c = 0;
    for (long i = 0; i < Na; ++i) {
        int64_t rem;
        c = FloorDiv<kB>(static_cast<int64_t>(pa[i]) * mi + c, rem);
        pr[i] = static_cast<double>(rem);
    }
    r._N = Na;
    if (c != 0) {
        if (c > -kB && c < kB) {
            pr[Na] = static_cast<double>(c);
            r._N = Na + 1;
        } else {
            int64_t rem;
            const int64_t q = FloorDiv<kB>(c, rem);
            pr[Na] = static_cast<double>(rem);
            pr[Na + 1] = static_cast<double>(q);
            r._N = Na + 2;
        }
    }
    r.Trim();
}

// m = mh * 10^8 + ml with ml in [0, 10^8), |mh| <= 10^7. Per limb (int64, exact for
// limbs with |a[i]| < 2^33):
//   t = a[i] * ml + c        |t| < 2^33 * 10^8 + |c|
//   q = floor(t / 10^8), r[i] = t - 10^8 q in [0, 10^8)
//   c = a[i] * mh + q        |c| < 2^33 * 10^7 + |q|, so c stays below 2^58
// For canonical limbs the final carry is below 10^15 + 10^8 and needs at most two limbs.
long LongShortMul8(double* rLimbs, const double* aLimbs, long Na, double m) {
    if (m > 1e15 || m < -1e15) core::FatalError("Error in LongShortMul8,m is too large\n");
    ZEPRIX_ASSERT(m == std::floor(m));
    int64_t ml;
    const int64_t mh = FloorDiv<kB>(static_cast<int64_t>(m), ml);
    int64_t c = 0;
    for (long i = 0; i < Na; ++i) {
        const int64_t ai = static_cast<int64_t>(aLimbs[i]);
        int64_t rem;
        const int64_t q = FloorDiv<kB>(ai * ml + c, rem);
        rLimbs[i] = static_cast<double>(rem);
        c = ai * mh + q;
    }
    long count = Na;
    if (c != 0) {
        if (c > -kB && c < kB) {
            rLimbs[count++] = static_cast<double>(c);
        } else {
            int64_t rem;
            const int64_t q = FloorDiv<kB>(c, rem);
            ZEPRIX_CHECK(q > -kB && q < kB, "Error in LongShortMul8, carry out of range");
            rLimbs[count++] = static_cast<double>(rem);
            rLimbs[count++] = static_cast<double>(q);
        }
    }
    return count;
}

namespace {

// Limbs to int64 digits: canonical limbs (the common case) convert directly, four at a
// time where AVX2 is available; others go through the exact carry pass of LoadDigits.
void ToDigits(const double* src, long n, int64_t* dst) {
    bool canonical = true;
    for (long i = 0; i + 1 < n; ++i) canonical &= (src[i] >= 0) & (src[i] < kBd);
    if (!canonical) {
        detail::LoadDigits<kB>(src, n, dst);
        return;
    }
    long i = 0;
#if defined(__AVX2__)
    for (; i + 4 <= n - 1; i += 4) {  // limbs below 10^8 fit in int32
        const __m128i d32 = _mm256_cvttpd_epi32(_mm256_loadu_pd(src + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_cvtepi32_epi64(d32));
    }
#endif
    for (; i < n; ++i) dst[i] = static_cast<int64_t>(src[i]);
}

// Digits in [0, 2^52) to doubles: the digit's bits under the exponent of 2^52, minus 2^52
// (exact), four at a time where AVX2 is available.
void FromDigits(const int64_t* src, long n, double* dst) {
    long i = 0;
#if defined(__AVX2__)
    const __m256i magicBits = _mm256_set1_epi64x(0x4330000000000000);
    const __m256d magic = _mm256_set1_pd(4503599627370496.0);  // 2^52
    for (; i + 4 <= n; i += 4) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256d d = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(v, magicBits)), magic);
        _mm256_storeu_pd(dst + i, d);
    }
#endif
    for (; i < n; ++i) dst[i] = static_cast<double>(src[i]);
}

// Product kernel: r[0 .. Na + Nb) = canonical limbs of a * b (top limb unsplit). r may be
// a or b: the operands are read into scratch first.
void MulKernel(const double* a, long Na, const double* b, long Nb, double* r) {
    thread_local std::vector<int64_t> scratch;
    const long nr = Na + Nb;
    const std::size_t need = static_cast<std::size_t>(Na + Nb + nr + detail::kConvTail);
    if (scratch.size() < need) scratch.resize(need);
    int64_t* da = scratch.data();
    int64_t* db = da + Na;
    int64_t* dr = db + Nb;
    ToDigits(a, Na, da);
    ToDigits(b, Nb, db);
    detail::ConvolveDigits(da, Na, db, Nb, kB, dr);
    ZEPRIX_CHECK(dr[nr - 1] > -(int64_t{1} << 53) && dr[nr - 1] < (int64_t{1} << 53),
                 "Error in MulSmallInt, top limb out of range");
    FromDigits(dr, nr - 1, r);  // below the top: digits in [0, 10^8)
    r[nr - 1] = static_cast<double>(dr[nr - 1]);
}

}  // namespace

// The result holds canonical limbs (every limb below the top in [0, 10^8)) with and
// without normalise; normalise != 0 also trims it, normalise == 0 keeps r._N = Na + Nb
// (top limbs may be 0) for a caller that normalises later.
void MulSmallInt(const SmallInt& a, const SmallInt& b, SmallInt& r, long normalise) {
    const long Na = a._N, Nb = b._N;
    const bool rIsOperand = &r == &a || &r == &b;
    EnsureCapacity(r, Na + Nb, rIsOperand);

    // Low zero limbs: multiply views that skip them and shift the product up.
    if (!rIsOperand && ((Na > 1 && a.Limbs[0] == 0) || (Nb > 1 && b.Limbs[0] == 0))) {
        long za = 0, zb = 0;
        if (a.Limbs[Na - 1] != 0)
            while (za < Na - 1 && a.Limbs[za] == 0) ++za;
        if (b.Limbs[Nb - 1] != 0)
            while (zb < Nb - 1 && b.Limbs[zb] == 0) ++zb;
        if (za + zb > 0) {
            SmallInt va, vb;  // views: they never free the borrowed limbs
            va.AllocSpecial(const_cast<SmallInt&>(a), za);
            vb.AllocSpecial(const_cast<SmallInt&>(b), zb);
            va._N = Na - za;
            vb._N = Nb - zb;
            MulSmallInt(va, vb, r, normalise);
            const long z = za + zb;
            std::memmove(r.Limbs + z, r.Limbs, static_cast<std::size_t>(r._N) * sizeof(double));
            std::fill(r.Limbs, r.Limbs + z, 0.0);
            r._N += z;
            if (normalise) r.Trim();  // a zero product: drop the shifted-in zeros
            return;
        }
    }

    if (Na < Nb) {
        MulSmallInt(b, a, r, normalise);
        return;
    }
    if (Na > 4000)
        std::printf("Problem in MulSmallInt, SmallInt are too large, Na=%ld, Nb=%ld\n", Na, Nb);
    MulKernel(a.Limbs, Na, b.Limbs, Nb, r.Limbs);
    r._N = Na + Nb;
    if (normalise) r.Trim();
}

}  // namespace zeprix::numbers
