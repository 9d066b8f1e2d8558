// Chinese remaindering of the number-theoretic-transform products.
#include "ntt/crt.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#if defined(__AVX2__) && !defined(ZEPRIX_PORTABLE)
#define ZEPRIX_CRT_AVX2 1
#include <immintrin.h>
#endif

#include "core/check.hpp"
#include "core/console.hpp"
#include "core/debug_log.hpp"
#include "core/fatal.hpp"
#include "ntt/chunks.hpp"
#include "ntt/primes.hpp"

namespace zeprix::ntt {

namespace {

// The rebuild in progress, printed by the debug log when a fatal error stops it. Written
// only by the thread that calls AddPoints or Rebuild (the workers of AddPoints leave it
// alone and raise nothing), which is also the thread that reports a point out of range;
// readable from any thread that writes the log.
struct CRTRecord {
    long ncrt = 0;
    bool on = false;
};
CRTRecord gCRT;

void WriteCRTSection(std::FILE* log) {
    if (!gCRT.on) return;
    std::fprintf(log, "%s", core::kLogSectionLine);
    std::fprintf(log, "CRT is on\n");
    std::fprintf(log, "NCRT=%ld\n", gCRT.ncrt);
}

const bool kCRTSectionRegistered = [] {
    core::RegisterLogSection(25, WriteCRTSection);
    return true;
}();

constexpr std::int64_t kB = TinyInt::kBase;

// Floor division by 10^7 for |t| < 2^62.
inline std::int64_t FloorDivB(std::int64_t t, std::int64_t& rem) {
    std::int64_t q = t / kB;
    rem = t - q * kB;
    if (rem < 0) {
        rem += kB;
        --q;
    }
    return q;
}

// Residues of a value X at or above M / 2 (m = X / M, approximately): printed, then fatal.
[[noreturn]] void CRTRangeError(double m) {
    core::Print("ERROR IN CRT, m=%.15lf>1 !\n", m);
    core::FatalError("ERROR IN CRT, m>0.5");
}

}  // namespace

void TinyInt::Normalise() {
    std::int64_t carry = 0;
    for (std::int64_t& x : limbs) {
        std::int64_t rem;
        carry = FloorDivB(x + carry, rem);
        x = rem;
    }
    while (carry > 0) {
        limbs.push_back(carry % kB);
        carry /= kB;
    }
    while (limbs.size() > 1 && limbs.back() == 0) limbs.pop_back();
}

// m = hi 10^7 + lo: every partial product is below 10^7 (2^52 / 10^7) < 2^62.
void TinyInt::MulSmall(std::uint64_t m) {
    const auto hi = static_cast<std::int64_t>(m / kB), lo = static_cast<std::int64_t>(m % kB);
    std::vector<std::int64_t> r(limbs.size() + 2, 0);
    for (std::size_t j = 0; j < limbs.size(); ++j) {
        r[j] += limbs[j] * lo;
        r[j + 1] += limbs[j] * hi;
        std::int64_t rem;
        r[j + 1] += FloorDivB(r[j], rem);
        r[j] = rem;
    }
    limbs = std::move(r);
    Normalise();
}

std::uint64_t TinyInt::Mod(std::uint64_t p) const {
    u128 r = 0;
    for (std::size_t j = limbs.size(); j-- > 0;)
        r = (r * static_cast<std::uint64_t>(kB) + static_cast<std::uint64_t>(limbs[j])) % p;
    return static_cast<std::uint64_t>(r);
}

int TinyInt::Compare(const TinyInt& b) const {
    if (limbs.size() != b.limbs.size()) return limbs.size() < b.limbs.size() ? -1 : 1;
    for (std::size_t j = limbs.size(); j-- > 0;)
        if (limbs[j] != b.limbs[j]) return limbs[j] < b.limbs[j] ? -1 : 1;
    return 0;
}

void TinyInt::Subtract(const TinyInt& b) {
    std::int64_t borrow = 0;
    for (std::size_t j = 0; j < limbs.size(); ++j) {
        std::int64_t t = limbs[j] - (j < b.limbs.size() ? b.limbs[j] : 0) + borrow;
        borrow = t < 0 ? -1 : 0;
        limbs[j] = t < 0 ? t + kB : t;
    }
    if (borrow != 0 || b.limbs.size() > limbs.size())
        core::FatalError("Error in SubstractTinyInt, carry is not zero\n");
    while (limbs.size() > 1 && limbs.back() == 0) limbs.pop_back();
}

CRTBasis::CRTBasis(std::vector<std::uint64_t> primes) : primes_(std::move(primes)) {
    M_.limbs = {1};
    for (std::uint64_t p : primes_) {
        M_.MulSmall(p);
        moduli_.push_back(MakeModulus(p));
    }
    halfM_ = M_;  // (M + 1) / 2: M is odd, and 2 x < M exactly when x < (M + 1) / 2
    halfM_.limbs[0] += 1;
    for (std::size_t j = halfM_.limbs.size(); j-- > 0;) {
        const std::int64_t v = halfM_.limbs[j];
        halfM_.limbs[j] = v / 2;
        if (j > 0) halfM_.limbs[j - 1] += (v % 2) * kB;
    }
    halfM_.Normalise();
    for (std::size_t i = 0; i < primes_.size(); ++i) {
        TinyInt b;
        b.limbs = {1};
        for (std::size_t k = 0; k < primes_.size(); ++k)
            if (k != i) b.MulSmall(primes_[k]);
        factors_.push_back(InvMod(b.Mod(primes_[i]), primes_[i]));
        bases_.push_back(std::move(b));
    }
    for (std::size_t k = 0; k < primes_.size(); ++k) {
        TinyInt m = M_;
        m.MulSmall(k);
        multiples_.push_back(std::move(m));
    }
}

// x = sum t_i (M / p_i) with t_i = r_i factor_i mod p_i is below n M and congruent to r_i
// modulo every p_i; subtracting the largest multiple k M (k < n) not above it leaves the
// unique representative in [0, M). Each term adds below 10^7 10^7 + 2^52 / 10^7 10^7 <
// 2^53 to a limb, so eight terms between normalisations keep every limb below 2^62.
TinyInt CRTBasis::Rebuild(const std::vector<std::uint64_t>& residues) const {
    const std::size_t n = primes_.size();
    gCRT = {static_cast<long>(n), true};
    TinyInt x;
    x.limbs.assign(M_.limbs.size() + 2, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t t = MulMod(residues[i] % primes_[i], factors_[i], moduli_[i]);
        const auto hi = static_cast<std::int64_t>(t / kB), lo = static_cast<std::int64_t>(t % kB);
        const std::vector<std::int64_t>& b = bases_[i].limbs;
        for (std::size_t j = 0; j < b.size(); ++j) {
            x.limbs[j] += b[j] * lo;
            x.limbs[j + 1] += b[j] * hi;
        }
        if (i % 8 == 7) {
            x.Normalise();
            x.limbs.resize(std::max(x.limbs.size(), M_.limbs.size() + 2), 0);
        }
    }
    x.Normalise();
    for (std::size_t k = n; k-- > 1;)
        if (x.Compare(multiples_[k]) >= 0) {
            x.Subtract(multiples_[k]);
            break;
        }
    if (x.Compare(M_) >= 0) x.Subtract(M_);
    if (x.Compare(halfM_) >= 0) {
        // m = x / M from the top three limbs of M's length, for the message.
        double xm = 0, mm = 0;
        const std::size_t top = M_.limbs.size();
        for (std::size_t j = top; j-- > (top > 3 ? top - 3 : 0);) {
            xm = xm * static_cast<double>(kB) +
                 static_cast<double>(j < x.limbs.size() ? x.limbs[j] : 0);
            mm = mm * static_cast<double>(kB) + static_cast<double>(M_.limbs[j]);
        }
        CRTRangeError(xm / mm);
    }
    gCRT.on = false;
    return x;
}

namespace {

constexpr std::uint64_t kMillion = 1000000;

// The decimal digits of x, least significant first, without high zeros (none for 0).
std::vector<int> DecimalDigits(const TinyInt& x) {
    std::vector<int> d;
    for (std::int64_t v : x.limbs)
        for (int k = 0; k < 7; ++k, v /= 10) d.push_back(static_cast<int>(v % 10));
    while (!d.empty() && d.back() == 0) d.pop_back();
    return d;
}

// The base-10^6 limbs of x 10^s, least significant first, padded with zeros to `limbs`.
std::vector<std::uint64_t> MillionLimbs(const TinyInt& x, int s, std::size_t limbs) {
    std::vector<int> d(static_cast<std::size_t>(s), 0);
    const std::vector<int> xd = DecimalDigits(x);
    d.insert(d.end(), xd.begin(), xd.end());
    std::vector<std::uint64_t> r(limbs, 0);
    ZEPRIX_CHECK(d.size() <= 6 * limbs, "PointRebuilder: table too short");
    for (std::size_t k = d.size(); k-- > 0;)
        r[k / 6] = r[k / 6] * 10 + static_cast<std::uint64_t>(d[k]);
    return r;
}

#if defined(ZEPRIX_CRT_AVX2)
inline __m256i Load4(const std::uint64_t* q) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
}
inline __m256i Splat4(std::uint64_t x) { return _mm256_set1_epi64x(static_cast<long long>(x)); }

// Combine (below) on the limbs j0 .. j0 + 4 NV - 1.
template <int NV>
inline void CombineVectors(std::uint64_t* a, const std::uint64_t* bias, const std::uint64_t* M,
                           std::uint64_t k, const std::uint64_t* bases, const std::uint64_t* lo,
                           const std::uint64_t* hi, std::size_t n, std::size_t W, std::size_t j0) {
    __m256i s[NV];
    const __m256i kv = Splat4(k);
    for (int v = 0; v < NV; ++v)
        s[v] =
            _mm256_sub_epi64(Load4(bias + j0 + 4 * v), _mm256_mul_epu32(kv, Load4(M + j0 + 4 * v)));
    const std::uint64_t* b = bases + j0;
    for (std::size_t i = 0; i < n; ++i, b += W + 1) {
        const __m256i l = Splat4(lo[i]), h = Splat4(hi[i]);
        for (int v = 0; v < NV; ++v) {
            s[v] = _mm256_add_epi64(s[v], _mm256_mul_epu32(l, Load4(b + 4 * v + 1)));
            s[v] = _mm256_add_epi64(s[v], _mm256_mul_epu32(h, Load4(b + 4 * v)));
        }
    }
    for (int v = 0; v < NV; ++v)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + j0 + 4 * v), s[v]);
}
#endif

// a[j] = bias[j] - k M[j] + sum_i (lo[i] b_i[j + 1] + hi[i] b_i[j]) modulo 2^64 for j < W (a
// multiple of 4), b_i = bases + i (W + 1). Every factor is below 2^32, so each product is one
// exact 32 x 32 -> 64-bit multiplication.
void Combine(std::uint64_t* a, const std::uint64_t* bias, const std::uint64_t* M, std::uint64_t k,
             const std::uint64_t* bases, const std::uint64_t* lo, const std::uint64_t* hi,
             std::size_t n, std::size_t W) {
#if defined(ZEPRIX_CRT_AVX2)
    // Up to four vectors of the result stay in registers while the primes go by.
    std::size_t j = 0;
    for (; j + 16 <= W; j += 16) CombineVectors<4>(a, bias, M, k, bases, lo, hi, n, W, j);
    switch ((W - j) / 4) {
        case 3: CombineVectors<3>(a, bias, M, k, bases, lo, hi, n, W, j); break;
        case 2: CombineVectors<2>(a, bias, M, k, bases, lo, hi, n, W, j); break;
        case 1: CombineVectors<1>(a, bias, M, k, bases, lo, hi, n, W, j); break;
        default: break;
    }
#else
    // The same with the 32-bit factors spelt out, which lets the compiler use 32 x 32 -> 64
    // vector products where it has them.
    auto mul = [](std::uint64_t x, std::uint64_t y) {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) *
               static_cast<std::uint32_t>(y);
    };
    for (std::size_t j = 0; j < W; ++j) a[j] = bias[j] - mul(k, M[j]);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t* b = bases + i * (W + 1);
        for (std::size_t j = 0; j < W; ++j) a[j] += mul(lo[i], b[j + 1]) + mul(hi[i], b[j]);
    }
#endif
}

// dst[m] += a[2 m] + 10^6 a[2 m + 1] for m < pairs, base-10^6 limbs below 10^6: each sum is
// an integer below 10^12 < 2^52, converted exactly.
void AddPairs(double* dst, const std::uint64_t* a, long pairs) {
    long m = 0;
#if defined(ZEPRIX_CRT_AVX2)
    // For y < 2^52, the bits of 2^52 with y in the mantissa are the double 2^52 + y.
    const __m256i million = Splat4(kMillion), two52 = Splat4(0x4330000000000000ULL);
    const __m256d two52d = _mm256_set1_pd(4503599627370496.0);
    for (; m + 4 <= pairs; m += 4) {
        const __m256i x = Load4(a + 2 * m), y = Load4(a + 2 * m + 4);
        const __m256i even = _mm256_unpacklo_epi64(x, y), odd = _mm256_unpackhi_epi64(x, y);
        // Pairs m, m + 2, m + 1, m + 3, then put in order.
        __m256i v = _mm256_add_epi64(even, _mm256_mul_epu32(odd, million));
        v = _mm256_permute4x64_epi64(v, 0xD8);
        const __m256d f = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(v, two52)), two52d);
        _mm256_storeu_pd(dst + m, _mm256_add_pd(_mm256_loadu_pd(dst + m), f));
    }
#endif
    for (; m < pairs; ++m)
        dst[m] +=
            static_cast<double>(static_cast<std::int64_t>(a[2 * m] + kMillion * a[2 * m + 1]));
}

std::size_t SignificantLimbs(const std::vector<std::uint64_t>& v) {
    std::size_t n = v.size();
    while (n > 0 && v[n - 1] == 0) --n;
    return n;
}

}  // namespace

PointRebuilder::PointRebuilder(std::vector<std::uint64_t> primes, long digitsPerPoint)
    : basis_(std::move(primes)), d_(digitsPerPoint), n_(basis_.primes().size()) {
    ZEPRIX_CHECK(d_ >= 1 && n_ >= 1 && n_ <= static_cast<std::size_t>(kMaxPrimes),
                 "PointRebuilder: bad digits per point or number of primes");
    for (std::size_t i = 0; i < n_; ++i) {
        const std::uint64_t p = basis_.primes()[i], f = basis_.factors()[i];
        // t < p <= 10^6 2^32 splits as hi 10^6 + lo with hi < 2^32.
        ZEPRIX_CHECK(p <= kMillion << 32, "PointRebuilder: prime too large");
        p_.push_back(p);
        f_.push_back(f);
        fq_.push_back(ShoupQuotient(f, MakeModulus(p)));
        inv_.push_back(1.0 / static_cast<double>(p));
    }
    const std::size_t digitsM = DecimalDigits(basis_.modulus()).size();
    limbs_ = (digitsM + 11 + 5) / 6 + 1;
    width_ = (limbs_ + 3) / 4 * 4;
    for (int c = 0; c < 12; ++c) {
        const int s = static_cast<int>(d_ * c % 12);
        shiftOf_[static_cast<std::size_t>(c)] = s;
        limbOf_[static_cast<std::size_t>(c)] = d_ * c / 12;
        Shift& sh = shifts_[static_cast<std::size_t>(s)];
        if (sh.pairs != 0) continue;
        for (const TinyInt& b : basis_.bases()) {
            sh.bases.push_back(0);
            for (std::uint64_t v : MillionLimbs(b, s, width_)) sh.bases.push_back(v);
        }
        sh.M = MillionLimbs(basis_.modulus(), s, width_);
        sh.half = MillionLimbs(basis_.halfModulus(), s, width_);
        // X 10^s < ((M + 1) / 2) 10^s needs no more limbs than that bound.
        sh.pairs = static_cast<long>((SignificantLimbs(sh.half) + 1) / 2);
    }
    long reach = 0, maxPairs = 0;
    for (std::size_t c = 0; c < 12; ++c) {
        const long pairs = shifts_[static_cast<std::size_t>(shiftOf_[c])].pairs;
        reach = std::max(reach, limbOf_[c] + pairs);
        maxPairs = std::max(maxPairs, pairs);
    }
    overlap_ = std::max(0L, reach - d_);
    // The contributions to each limb over enough groups that some limbs receive all the
    // points that can reach them; the pattern repeats every group.
    const long groups = maxPairs / d_ + 2;
    std::vector<long> count(static_cast<std::size_t>(groups * d_ + maxPairs), 0);
    for (long g = 0; g < groups; ++g)
        for (std::size_t c = 0; c < 12; ++c)
            for (long m = 0; m < shifts_[static_cast<std::size_t>(shiftOf_[c])].pairs; ++m)
                ++count[static_cast<std::size_t>(g * d_ + limbOf_[c] + m)];
    contributions_ = *std::max_element(count.begin(), count.end());
    ZEPRIX_CHECK(contributions_ <= 9007,  // 9007 (10^12 - 1) < 2^53 <= 9008 (10^12 - 1)
                 "PointRebuilder: too many points add into one limb");
    // 10^15 at limb 0, 10^15 - 10^9 at the middle limbs, -10^9 (modulo 2^64) at the top:
    // the value sum_j bias_j 10^(6 j) is zero.
    bias_.assign(width_, 0);
    for (std::size_t j = 1; j + 1 < limbs_; ++j) bias_[j] = 1000000000000000ULL - 1000000000ULL;
    bias_[0] = 1000000000000000ULL;
    bias_[limbs_ - 1] = 0 - 1000000000ULL;
}

// Point X from residues r_i (exactly, for X < M / 2):
//  1. t_i = r_i f_i mod p_i (a Shoup product), f_i = ((M / p_i) mod p_i)^-1 mod p_i. Then
//     S = sum t_i (M / p_i) is congruent to r_i modulo p_i for every i, and S = X + K M with
//     X in [0, M) and K = floor(sum t_i / p_i) < n, since sum t_i / p_i = X / M + K.
//  2. k = floor(s + 0.25), s the sum of t_i (1 / p_i) in doubles: each term is below 1 and
//     off by at most 2^-52 of itself, each of the n - 1 additions by 2^-53 of a partial sum
//     below n, so |s - (K + X / M)| < (n^2 + 2 n) 2^-53 < 10^-9 for n <= 1000. For X / M in
//     [0, 1/2), K + 0.25 - 10^-9 < s + 0.25 < K + 0.75 + 10^-9: k = K. For any residues
//     k is K or K + 1.
//  3. V = sum t_i (M / p_i) 10^s - k M 10^s in base 10^6: t_i = hi 10^6 + lo with
//     lo < 10^6 and hi < 2^32, so each prime adds lo b_j + hi b_(j-1) < 10^6 2^32 + 10^12
//     < 4.3 10^15 to a limb; with the bias (at most 10^15) and n <= 1000 primes a limb stays
//     below 4.4 10^18 < 2^63, and the bias keeps every limb but the top one at least
//     10^15 - 2 10^9 > 0 after subtracting k M_j < 1001 10^6. The carries run from limb 0
//     up by unsigned division (every partial value is positive and below 2^64); the top
//     limb takes the last carry and holds the sign, its true value being within 2^63.
//  4. The guard: V is kept only when the top limb is 0 and V < ((M + 1) / 2) 10^s limb by
//     limb from the top, i.e. 0 <= V / 10^s <= (M - 1) / 2. Such a V / 10^s is congruent
//     to every r_i and lies in [0, M): it is the only candidate, whatever k was. Residues of
//     a value at or above M / 2 give V < 0 (k = K + 1) or V >= ((M + 1) / 2) 10^s (k = K):
//     the fatal error, before any limb is written.
//  5. Base-10^12 limb m of X 10^s is limb 2 m + 10^6 limb 2 m + 1, below 10^12, added in
//     doubles (exact while the sum stays below 2^53).
//
// The groups of a block are shared out among the threads of the run in chunks. Chunk k adds
// into the limbs d g0 .. d g1 + OverlapLimbs() - 1 of its groups g0 .. g1 - 1: into the first
// limbs of chunk k + 1, never into those of chunk k + 2, since every chunk has at least
// OverlapLimbs() limbs. So the even chunks run together, then the odd ones: no two threads
// add into the same limb at once, and each limb gets the same exact integer sum in any
// order. The workers raise no error: a chunk stops at its first point out of range, and
// the caller reports the first such point of the block, the one a single thread would
// have stopped at, while the debug log's record still shows the rebuild.
void PointRebuilder::AddPoints(long j0, long count, const double* const* res, double* area) const {
    ZEPRIX_CHECK(j0 >= 0 && j0 % 12 == 0 && count >= 0 && count % 12 == 0,
                 "PointRebuilder: a block must be whole groups of 12 points");
    gCRT = {static_cast<long>(n_), true};
    const long groups = count / 12;
    const long chunks = ChunkCount(groups, std::max(8L, (overlap_ + d_ - 1) / d_), 8);
    double m = 0;
    if (chunks == 1) {
        if (!AddGroups(0, groups, res, area, m)) CRTRangeError(m);
    } else {
        std::vector<char> failed(static_cast<std::size_t>(chunks), 0);
        std::vector<double> ms(static_cast<std::size_t>(chunks), 0.0);
        for (long parity = 0; parity < 2; ++parity)
            ForEachChunk((chunks + 1 - parity) / 2, [&](long i, int) {
                const long k = 2 * i + parity;
                const auto at = static_cast<std::size_t>(k);
                failed[at] = !AddGroups(ChunkStart(groups, chunks, k),
                                        ChunkStart(groups, chunks, k + 1), res, area, ms[at]);
            });
        for (std::size_t k = 0; k < failed.size(); ++k)
            if (failed[k]) CRTRangeError(ms[k]);
    }
    gCRT.on = false;
}

bool PointRebuilder::AddGroups(long g0, long g1, const double* const* res, double* area,
                               double& m) const {
    const std::size_t n = n_, W = width_, top = limbs_ - 1;
    // The 12 points of a group go together: their carry chains are independent, so the
    // processor overlaps them.
    std::vector<std::uint64_t> lo(12 * n), hi(12 * n), acc(12 * W);
    std::array<double, 12> sum{}, kf{};
    std::array<std::uint64_t, 12> carry{};
    for (long g = g0; g < g1; ++g) {
        sum.fill(0);
        for (std::size_t i = 0; i < n; ++i) {
            const double* r = res[i] + 12 * g;
            const std::uint64_t p = p_[i], f = f_[i], fq = fq_[i];
            const double inv = inv_[i];
            for (std::size_t c = 0; c < 12; ++c) {
                const std::uint64_t t =
                    MulShoup(static_cast<std::uint64_t>(static_cast<std::int64_t>(r[c])), f, fq, p);
                sum[c] += static_cast<double>(static_cast<std::int64_t>(t)) * inv;
                lo[c * n + i] = t % kMillion;
                hi[c * n + i] = t / kMillion;
            }
        }
        for (std::size_t c = 0; c < 12; ++c) kf[c] = std::floor(sum[c] + 0.25);
        for (std::size_t c = 0; c < 12; ++c) {
            const Shift& sh = shifts_[static_cast<std::size_t>(shiftOf_[c])];
            Combine(&acc[c * W], bias_.data(), sh.M.data(), static_cast<std::uint64_t>(kf[c]),
                    sh.bases.data(), &lo[c * n], &hi[c * n], n, W);
        }
        for (std::size_t c = 0; c < 12; c += 4) {
            std::uint64_t* a0 = &acc[c * W];
            std::uint64_t *a1 = a0 + W, *a2 = a1 + W, *a3 = a2 + W;
            std::uint64_t k0 = 0, k1 = 0, k2 = 0, k3 = 0;
            for (std::size_t j = 0; j < top; ++j) {
                const std::uint64_t v0 = a0[j] + k0, v1 = a1[j] + k1, v2 = a2[j] + k2,
                                    v3 = a3[j] + k3;
                k0 = v0 / kMillion;
                k1 = v1 / kMillion;
                k2 = v2 / kMillion;
                k3 = v3 / kMillion;
                a0[j] = v0 - k0 * kMillion;
                a1[j] = v1 - k1 * kMillion;
                a2[j] = v2 - k2 * kMillion;
                a3[j] = v3 - k3 * kMillion;
            }
            carry[c] = k0;
            carry[c + 1] = k1;
            carry[c + 2] = k2;
            carry[c + 3] = k3;
        }
        for (std::size_t c = 0; c < 12; ++c) {
            const std::uint64_t* a = &acc[c * W];
            const std::uint64_t* h = shifts_[static_cast<std::size_t>(shiftOf_[c])].half.data();
            const auto high = static_cast<std::int64_t>(a[top] + carry[c]);
            bool below = high == 0;
            if (below) {
                std::size_t j = top;
                while (j-- > 0 && a[j] == h[j]) {
                }
                below = j < top && a[j] < h[j];  // j wraps past 0 when V equals the bound
            }
            if (!below) [[unlikely]] {
                m = sum[c] - kf[c] + (high < 0 ? 1.0 : 0.0);
                return false;
            }
            acc[c * W + top] = 0;  // high, the last limb of the last pair when limbs_ is even
        }
        for (std::size_t c = 0; c < 12; ++c)
            AddPairs(area + g * d_ + limbOf_[c], &acc[c * W],
                     shifts_[static_cast<std::size_t>(shiftOf_[c])].pairs);
    }
    return true;
}

}  // namespace zeprix::ntt
