// The cyclic number-theoretic transform of N = 2^m points modulo one prime, in two passes
// over the points seen as a matrix (columns, then twiddled rows), and the point-by-point
// products of two transforms.
//
// The points are doubles holding exact integers. The arithmetic is floating-point with
// fused multiply-adds, four points at a time where the processor has them; every step is
// exact (docs/notes/ntt.md, section 3): a value is only ever a residue, in a symmetric
// range around 0 inside the transform.
#pragma once

#include <vector>

#include "ntt/modular.hpp"
#include "ntt/primes.hpp"

namespace zeprix::ntt {

// A residue w with its quotient w / p rounded, for the fixed-factor products.
struct FixedFactor {
    double w = 0, wp = 0;
};

// Root tables of one short transform of length L (a power of two) with root r of order L:
// level h (h = L/2, L/4, .., 1) of the radix-2 passes uses r^(j L / (2h)) for j < h,
// stored at index h + j, so each level reads its roots in order.
struct ShortTable {
    long L = 1;
    std::vector<FixedFactor> w;
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
//      R1 (root w^R2), again bit-reversed; eight rows at a time, transposed into a buffer.
// So position q + R1 p holds X[rev_R2(p) + R2 rev_R1(q)] (FrequencyAt). The inverse runs
// the passes backwards with the inverse roots; its twiddles carry the factor 1/N, so that
// Inverse(Forward(x)) = x and Inverse(pointwise product) is the cyclic convolution mod p.
// No pass permutes the points: the bit-reversed order of the short forward transforms is
// the input order of the short inverse ones.
//
// The strips of columns and the groups of rows are independent: each pass runs them on the
// threads of the run, every thread through a buffer of its own (8 max(R1, R2) doubles). A
// plan is used by one caller at a time.
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

    // In place on n residues of magnitude at most p (in [0, p) or symmetric). Forward
    // leaves residues of magnitude below p (for PointwiseMul/Square and Inverse); Inverse
    // leaves them in [0, p).
    void Forward(double* data) const;
    void Inverse(double* data) const;

    // The frequency k of X[k] held at `position` after Forward.
    long FrequencyAt(long position) const;

private:
    void Build(long n);
    double* Buffer(int slot) const { return buffers_[static_cast<size_t>(slot)].data(); }
    void MakeBuffers() const;  // one for every thread of the run
    void ColumnPass(double* data, bool forward) const;
    void RowPass(double* data, bool forward) const;

    Modulus m_;
    u64 root_ = 0;
    long N_ = 1, R1_ = 1, R2_ = 1;
    ShortTable rowF_, rowI_, colF_, colI_;   // lengths R1 and R2, roots w^R2, w^R1 and inverses
    std::vector<long> revR2_;                // bit reversal of 0 .. R2 - 1
    std::vector<FixedFactor> base_, ibase_;  // w^k2 and w^-k2, k2 < R2: row twiddle steps
    FixedFactor invN_;
    mutable std::vector<std::vector<double>> buffers_;  // eight columns or eight rows a thread
};

// a[i] = a[i] b[i] mod p for i < n (a may equal b); inputs of magnitude at most p, results
// of magnitude below p. These three run in chunks on the threads of the run.
void PointwiseMul(double* a, const double* b, long n, const Modulus& m);
// a[i] = a[i]^2 mod p.
void PointwiseSquare(double* a, long n, const Modulus& m);
// Residues of magnitude below p into [0, p).
void ToStandard(double* a, long n, const Modulus& m);

}  // namespace zeprix::ntt
