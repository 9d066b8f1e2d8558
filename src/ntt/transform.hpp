// The cyclic number-theoretic transform of N = 2^m points modulo one prime, in two passes
// over the points seen as a matrix (columns, then twiddled rows), and the point-by-point
// products of two transforms.
#pragma once

#include <vector>

#include "ntt/modular.hpp"
#include "ntt/primes.hpp"

namespace zeprix::ntt {

// Root tables of one short transform of length L (a power of two) with root w of order L:
// w^i and its Shoup quotient for i < L/2.
struct ShortTable {
    long L = 1;
    std::vector<u64> w, wq;
};

// The tables of transforms of length N modulo one prime with a root of order N.
//
// The N points x[n1 + R1 n2] (n1 < R1, n2 < R2, N = R1 R2, R1 = 2^ceil(m/2)) form R2 rows
// of R1 points. With w the root of order N and X[k] = sum_n x[n] w^(n k):
//   X[k2 + R2 k1] = sum_n1 w^(R2 n1 k1) w^(n1 k2) sum_n2 w^(R1 n2 k2) x[n1 + R1 n2],
// since w^(R1 R2 n2 k1) = 1. Forward:
//   1. column pass: each column gets the short transform of length R2 (root w^R1), eight
//      columns at a time through a buffer; the short transforms leave their output in
//      bit-reversed order, so row p then holds frequency k2 = rev(p);
//   2. row pass: row p is multiplied by w^(n1 k2) and gets the short transform of length
//      R1 (root w^R2), again bit-reversed.
// So position q + R1 p holds X[rev_R2(p) + R2 rev_R1(q)] (FrequencyAt). The inverse runs
// the passes backwards with the inverse roots; its twiddles carry the factor 1/N, so that
// Inverse(Forward(x)) = x and Inverse(pointwise product) is the cyclic convolution mod p.
// No pass permutes the points: the bit-reversed order of the short forward transforms is
// the input order of the short inverse ones.
class NttPlan {
public:
    // Transforms of length n (a power of two, 1 <= n <= st.NNTTMax) modulo prime i of st;
    // the root of order n is the prime's root of order NNTTMax raised to NNTTMax / n.
    NttPlan(const NttState& st, long primeIndex, long n);
    // The same for a modulus and a root of order exactly n given directly.
    NttPlan(const Modulus& m, u64 rootOfOrderN, long n);

    long Size() const { return N_; }
    const Modulus& Mod() const { return m_; }
    u64 Root() const { return root_; }

    // In place on n residues in [0, p); results in [0, p).
    void Forward(u64* data) const;
    void Inverse(u64* data) const;

    // The frequency k of X[k] held at `position` after Forward.
    long FrequencyAt(long position) const;

    // The passes one strip or one row at a time, for callers that stream the matrix
    // (Forward = every column strip forward, then every row forward; Inverse = every row
    // inverse, then every column strip inverse).
    long Rows() const { return R2_; }     // R2
    long Columns() const { return R1_; }  // R1
    // A strip of `width` columns (1, 2, 4 or 8) gathered as R2 rows of width points.
    void ColumnStrip(u64* strip, long width, bool forward) const;
    // Row r of the matrix (R1 points), twiddles included.
    void Row(u64* row, long r, bool forward) const;

private:
    void Build(long n);
    void ColumnPass(u64* data, bool forward) const;

    Modulus m_;
    u64 root_ = 0;
    long N_ = 1, R1_ = 1, R2_ = 1;
    ShortTable rowF_, rowI_, colF_, colI_;  // lengths R1 and R2, roots w^R2, w^R1 and inverses
    std::vector<long> revR2_;               // bit reversal of 0 .. R2 - 1
    std::vector<u64> base_, baseq_;         // w^k2, k2 < R2: the row twiddle steps (forward)
    std::vector<u64> ibase_, ibaseq_;       // w^-k2 (inverse)
    u64 invN_ = 1;
    mutable std::vector<u64> buffer_;  // R2 x 8 column points
};

// a[i] = a[i] b[i] mod p for i < n (a may equal b).
void PointwiseMul(u64* a, const u64* b, long n, const Modulus& m);
// a[i] = a[i]^2 mod p.
void PointwiseSquare(u64* a, long n, const Modulus& m);

}  // namespace zeprix::ntt
