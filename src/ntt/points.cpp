// The points of a number-theoretic-transform product: limbs cut into points of d digits and
// reduced modulo the primes.
#include "ntt/points.hpp"

#include <cmath>

#include "core/check.hpp"
#include "ntt/chunks.hpp"

namespace zeprix::ntt {

namespace {

// 10^e for e = 0 .. 12, exact in doubles.
constexpr double kPow10[13] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12};

}  // namespace

PointSplitter::PointSplitter(long digitsPerPoint, const std::vector<u64>& primes)
    : d_(digitsPerPoint) {
    ZEPRIX_CHECK(d_ >= 1 && !primes.empty(), "PointSplitter: no digits or no primes");
    // Limb l holds the group digits 12 l .. 12 l + 11; a point starts at every multiple of
    // d. A start inside a limb (digit 12 l + a, 0 < a < 12) cuts the limb there, so that
    // every piece lies in one point; a start at a limb boundary needs no cut.
    std::vector<long> start;  // the group digit where each piece starts
    limbFirst_.push_back(0);
    cutFirst_.push_back(0);
    for (long l = 0; l < d_; ++l) {
        start.push_back(12 * l);
        for (int a = 1; a < 12; ++a)
            if ((12 * l + a) % d_ == 0) {
                cuts_.push_back(a);
                start.push_back(12 * l + a);
            }
        limbFirst_.push_back(static_cast<long>(start.size()));
        cutFirst_.push_back(static_cast<long>(cuts_.size()));
    }
    // A point holds at most d / 12 + 2 pieces; the lazy sums below stay below 2^64 for up to
    // 2048 of them.
    ZEPRIX_CHECK(d_ / 12 + 2 <= 2048, "PointSplitter: too many digits per point");
    for (std::size_t t = 0; t < start.size(); ++t)
        if (start[t] % d_ == 0) pointFirst_.push_back(t);
    pointFirst_.push_back(start.size());
    for (u64 p : primes) {
        const Modulus m = MakeModulus(p);
        mods_.push_back(m);
        for (long x : start) {
            const u64 w = PowMod(10 % p, static_cast<u64>(x % d_), m);
            pow10_.push_back(w);
            pow10q_.push_back(ShoupQuotient(w, m));
        }
        oneq_.push_back(ShoupQuotient(1, m));
    }
}

// Pieces: a limb v (an integer below 10^12) cut at 10^a gives floor(v / 10^a) and
// v - floor(v / 10^a) 10^a. In doubles, floor(fl(v / 10^a)) is floor(v / 10^a) exactly:
// rounding is monotonic and every integer k <= 10^12 is a double, so fl(v / 10^a) >= k
// whenever v / 10^a >= k; and when v / 10^a < k, v <= k 10^a - 1, so v / 10^a is at least
// 10^-a below k while its rounding error is at most k 2^-53 < 10^-a (k 10^a <= v + 10^a <
// 2^53): the rounded quotient stays below k. The product q 10^a <= v and the difference
// are exact integers below 2^53.
//
// Residues: a point is sum_t piece_t 10^(e_t) over its pieces. Each term is a Shoup
// product of piece_t < 2^64 by the fixed factor 10^(e_t) mod p, exact up to one p: in
// [0, 2p). The P <= 2048 terms of a point sum to below 2048 (2p) <= 2^64 (p < 2^52), and
// a last Shoup product by 1, valid for any value below 2^64, reduces the sum into [0, p).
// The terms are independent (no Horner chain), so the processor overlaps them.
void PointSplitter::Residues(const double* limbs, long groups, double* const* out) const {
    // Chunks of at least 64 groups (768 points), eight a thread: the groups are independent.
    const long chunks = ChunkCount(groups, 64, 8);
    if (chunks == 1) return GroupResidues(limbs, 0, groups, out);
    ForEachChunk(chunks, [&](long k, int) {
        GroupResidues(limbs, ChunkStart(groups, chunks, k), ChunkStart(groups, chunks, k + 1), out);
    });
}

void PointSplitter::GroupResidues(const double* limbs, long g0, long g1, double* const* out) const {
    const std::size_t pieces = pointFirst_.back();
    std::vector<u64> piece(pieces);
    const auto nb = static_cast<std::size_t>(NbPrimes());
    for (long g = g0; g < g1; ++g) {
        const double* x = limbs + g * d_;
        for (long l = 0; l < d_; ++l) {
            double v = x[l];
            auto top = static_cast<std::size_t>(limbFirst_[static_cast<std::size_t>(l) + 1] - 1);
            for (long c = cutFirst_[static_cast<std::size_t>(l) + 1];
                 c-- > cutFirst_[static_cast<std::size_t>(l)];) {
                const double D = kPow10[cuts_[static_cast<std::size_t>(c)]];
                const double q = std::floor(v / D);
                piece[top--] = static_cast<u64>(static_cast<std::int64_t>(q));
                v -= q * D;
            }
            piece[top] = static_cast<u64>(static_cast<std::int64_t>(v));
        }
        for (std::size_t i = 0; i < nb; ++i) {
            const u64 p = mods_[i].p, oneq = oneq_[i];
            const u64* w = &pow10_[i * pieces];
            const u64* wq = &pow10q_[i * pieces];
            double* o = out[i] + 12 * g;
            for (std::size_t c = 0; c < 12; ++c) {
                u64 r = 0;
                for (std::size_t t = pointFirst_[c]; t < pointFirst_[c + 1]; ++t)
                    r += MulShoupLazy(piece[t], w[t], wq[t], p);
                o[c] = static_cast<double>(static_cast<std::int64_t>(MulShoup(r, 1, oneq, p)));
            }
        }
    }
}

}  // namespace zeprix::ntt
