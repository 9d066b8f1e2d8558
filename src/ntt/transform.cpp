// The cyclic NTT modulo one prime: short radix-2 transforms, the column pass, the twiddled
// row pass, and the point-by-point products.
//
// Exactness: every value stays a residue in [0, p). A butterfly adds or subtracts two
// residues (below 2p < 2^64, one conditional correction) and multiplies by a fixed root
// power through MulShoup (exact for any 64-bit input, modular.hpp); the row twiddles are
// applied with MulMod. No step rounds.
#include "ntt/transform.hpp"

#include <algorithm>
#include <bit>

namespace zeprix::ntt {

namespace {

ShortTable MakeTable(long L, u64 w, const Modulus& m) {
    ShortTable t;
    t.L = L;
    u64 x = 1;
    for (long i = 0; i < L / 2; ++i) {
        t.w.push_back(x);
        t.wq.push_back(ShoupQuotient(x, m));
        x = MulMod(x, w, m);
    }
    return t;
}

// Forward short transform of length t.L on W interleaved vectors (point i of vector c at
// a[i W + c]): natural order in, bit-reversed order out (decimation in frequency).
template <long W>
void ShortForward(u64* a, const ShortTable& t, u64 p) {
    const long L = t.L;
    for (long half = L / 2, stride = 1; half >= 1; half /= 2, stride *= 2) {
        for (long start = 0; start < L; start += 2 * half) {
            for (long j = 0; j < half; ++j) {
                const u64 w = t.w[static_cast<size_t>(j * stride)];
                const u64 wq = t.wq[static_cast<size_t>(j * stride)];
                u64* x = a + (start + j) * W;
                u64* y = x + half * W;
                for (long c = 0; c < W; ++c) {
                    const u64 u = x[c], v = y[c];
                    x[c] = AddMod(u, v, p);
                    y[c] = MulShoup(u + p - v, w, wq, p);  // u + p - v < 2p
                }
            }
        }
    }
}

// Inverse short transform (root of t is the inverse root): bit-reversed order in, natural
// order out, times L (decimation in time).
template <long W>
void ShortInverse(u64* a, const ShortTable& t, u64 p) {
    const long L = t.L;
    for (long half = 1, stride = L / 2; half < L; half *= 2, stride /= 2) {
        for (long start = 0; start < L; start += 2 * half) {
            for (long j = 0; j < half; ++j) {
                const u64 w = t.w[static_cast<size_t>(j * stride)];
                const u64 wq = t.wq[static_cast<size_t>(j * stride)];
                u64* x = a + (start + j) * W;
                u64* y = x + half * W;
                for (long c = 0; c < W; ++c) {
                    const u64 u = x[c];
                    const u64 v = MulShoup(y[c], w, wq, p);
                    x[c] = AddMod(u, v, p);
                    y[c] = SubMod(u, v, p);
                }
            }
        }
    }
}

template <long W>
void ShortTransform(u64* a, const ShortTable& t, u64 p, bool forward) {
    if (forward)
        ShortForward<W>(a, t, p);
    else
        ShortInverse<W>(a, t, p);
}

}  // namespace

NttPlan::NttPlan(const NttState& st, long primeIndex, long n) {
    ZEPRIX_CHECK(primeIndex >= 0 && primeIndex < st.NbPrimes(), "NttPlan: no such prime");
    ZEPRIX_CHECK(n >= 1 && n <= st.NNTTMax && std::has_single_bit(static_cast<u64>(n)),
                 "NttPlan: the length must be a power of two up to NNTTMax");
    const SpecialPrime& sp = st.Primes[static_cast<size_t>(primeIndex)];
    m_ = sp.mod;
    root_ = sp.root;
    for (long r = st.NNTTMax; r > n; r /= 2) root_ = MulMod(root_, root_, m_);
    Build(n);
}

NttPlan::NttPlan(const Modulus& m, u64 rootOfOrderN, long n) : m_(m), root_(rootOfOrderN) {
    ZEPRIX_CHECK(n >= 1 && std::has_single_bit(static_cast<u64>(n)),
                 "NttPlan: the length must be a power of two");
    Build(n);
}

void NttPlan::Build(long n) {
    N_ = n;
    const int bits = std::countr_zero(static_cast<u64>(n));
    R1_ = 1L << ((bits + 1) / 2);
    R2_ = n / R1_;
    // The root must have order exactly n: w^(n/2) = -1 (or n = 1 and w = 1).
    ZEPRIX_CHECK(n == 1 ? root_ == 1 : PowMod(root_, static_cast<u64>(n / 2), m_) == m_.p - 1,
                 "NttPlan: the root does not have the order of the transform");
    const u64 iroot = InvMod(root_, m_.p);
    rowF_ = MakeTable(R1_, PowMod(root_, static_cast<u64>(R2_), m_), m_);
    rowI_ = MakeTable(R1_, PowMod(iroot, static_cast<u64>(R2_), m_), m_);
    colF_ = MakeTable(R2_, PowMod(root_, static_cast<u64>(R1_), m_), m_);
    colI_ = MakeTable(R2_, PowMod(iroot, static_cast<u64>(R1_), m_), m_);
    const int bits2 = std::countr_zero(static_cast<u64>(R2_));
    revR2_.assign(static_cast<size_t>(R2_), 0);
    for (long i = 0; i < R2_; ++i) {
        long r = 0;
        for (int b = 0; b < bits2; ++b) r |= ((i >> b) & 1) << (bits2 - 1 - b);
        revR2_[static_cast<size_t>(i)] = r;
    }
    base_.clear();
    baseq_.clear();
    ibase_.clear();
    ibaseq_.clear();
    u64 x = 1, ix = 1;
    for (long k = 0; k < R2_; ++k) {
        base_.push_back(x);
        baseq_.push_back(ShoupQuotient(x, m_));
        ibase_.push_back(ix);
        ibaseq_.push_back(ShoupQuotient(ix, m_));
        x = MulMod(x, root_, m_);
        ix = MulMod(ix, iroot, m_);
    }
    invN_ = InvMod(static_cast<u64>(n) % m_.p, m_.p);
    buffer_.assign(static_cast<size_t>(R2_ * std::min<long>(8, R1_)), 0);
}

long NttPlan::FrequencyAt(long position) const {
    const long q = position % R1_, p = position / R1_;
    const int bits1 = std::countr_zero(static_cast<u64>(R1_));
    long rq = 0;
    for (int b = 0; b < bits1; ++b) rq |= ((q >> b) & 1) << (bits1 - 1 - b);
    return revR2_[static_cast<size_t>(p)] + R2_ * rq;
}

void NttPlan::ColumnStrip(u64* strip, long width, bool forward) const {
    const ShortTable& t = forward ? colF_ : colI_;
    switch (width) {
        case 8: ShortTransform<8>(strip, t, m_.p, forward); break;
        case 4: ShortTransform<4>(strip, t, m_.p, forward); break;
        case 2: ShortTransform<2>(strip, t, m_.p, forward); break;
        case 1: ShortTransform<1>(strip, t, m_.p, forward); break;
        default: core::FatalError("NttPlan: a column strip is 1, 2, 4 or 8 columns wide");
    }
}

// Every column (stride R1) gets the short transform of length R2, B = min(8, R1) columns
// at a time: gathered into the buffer as R2 rows of B points, transformed, written back.
void NttPlan::ColumnPass(u64* data, bool forward) const {
    if (R2_ == 1) return;
    const long B = std::min<long>(8, R1_);
    u64* buf = buffer_.data();
    for (long c0 = 0; c0 < R1_; c0 += B) {
        for (long r = 0; r < R2_; ++r)
            for (long c = 0; c < B; ++c) buf[r * B + c] = data[r * R1_ + c0 + c];
        ColumnStrip(buf, B, forward);
        for (long r = 0; r < R2_; ++r)
            for (long c = 0; c < B; ++c) data[r * R1_ + c0 + c] = buf[r * B + c];
    }
}

// Row r (frequency k2 = rev(r) of the columns): forward, the twiddles w^(n1 k2) then the
// short transform of length R1; inverse, the short inverse transform then the twiddles
// w^(-n1 k2) / N. The twiddles are built along the row by one Shoup step each.
void NttPlan::Row(u64* row, long r, bool forward) const {
    const u64 p = m_.p;
    const size_t k2 = static_cast<size_t>(revR2_[static_cast<size_t>(r)]);
    if (forward) {
        if (k2 != 0) {
            u64 t = 1;
            for (long n1 = 0; n1 < R1_; ++n1) {
                row[n1] = MulMod(row[n1], t, m_);
                t = MulShoup(t, base_[k2], baseq_[k2], p);
            }
        }
        ShortTransform<1>(row, rowF_, p, true);
    } else {
        ShortTransform<1>(row, rowI_, p, false);
        u64 t = invN_;
        for (long n1 = 0; n1 < R1_; ++n1) {
            row[n1] = MulMod(row[n1], t, m_);
            t = MulShoup(t, ibase_[k2], ibaseq_[k2], p);
        }
    }
}

void NttPlan::Forward(u64* data) const {
    ColumnPass(data, true);
    for (long r = 0; r < R2_; ++r) Row(data + r * R1_, r, true);
}

void NttPlan::Inverse(u64* data) const {
    for (long r = 0; r < R2_; ++r) Row(data + r * R1_, r, false);
    ColumnPass(data, false);
}

void PointwiseMul(u64* a, const u64* b, long n, const Modulus& m) {
    for (long i = 0; i < n; ++i) a[i] = MulMod(a[i], b[i], m);
}

void PointwiseSquare(u64* a, long n, const Modulus& m) {
    for (long i = 0; i < n; ++i) a[i] = MulMod(a[i], a[i], m);
}

}  // namespace zeprix::ntt
