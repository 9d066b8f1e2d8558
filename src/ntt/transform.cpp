// The cyclic NTT modulo one prime in floating point: short radix-2 transforms on eight
// interleaved vectors, the column pass, the twiddled row pass, the point-by-point products.
//
// Exactness (the bounds are worked out in docs/notes/ntt.md, section 3). Every value is an
// integer-valued double. With p < 2.7 10^15 < 2^51.27:
//  - Reduce(s) = s - p round(s / p), the quotient from s times fl(1/p): for |s| < 2^52 the
//    result is an integer of magnitude at most p/2 + 1, so the fused multiply-add that
//    forms it is exact.
//  - MulFixed(x, w) with |x| <= 2p/3, |w| <= p/2 and wp = fl(w / p): h = fl(x w) and
//    l = fma(x, w, -h) give x w = h + l exactly; q = round(x wp) is within 0.65 of
//    Q = x w / p; r = fma(-q, p, h) + l = x w - q p has magnitude below 0.65 p, and both
//    steps are exact because every intermediate is an integer below 2^53.
//  - A butterfly adds or subtracts two values of magnitude below 2p/3 (below 2^52, exact)
//    and reduces the sum; so every value stays below 2p/3 in magnitude.
#include "ntt/transform.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

#include "ntt/chunks.hpp"

#if defined(__AVX2__) && defined(__FMA__) && !defined(ZEPRIX_PORTABLE)
#include <immintrin.h>
#define ZEPRIX_NTT_AVX2 1
#endif

namespace zeprix::ntt {

namespace {

// Scalar lanes: the same operations on one double.
struct Lane1 {
    using T = double;
    static constexpr long kWidth = 1;
    static T Load(const double* a) { return *a; }
    static void Store(double* a, T x) { *a = x; }
    static T Set(double x) { return x; }
    static T Add(T a, T b) { return a + b; }
    static T Sub(T a, T b) { return a - b; }
    static T Mul(T a, T b) { return a * b; }
    static T MulSubExact(T a, T b, T c) { return std::fma(a, b, -c); }  // a b - c, one rounding
    static T NegMulAdd(T a, T b, T c) { return std::fma(-a, b, c); }    // c - a b, one rounding
    static T Round(T a) { return std::nearbyint(a); }
    static T AddIfNegative(T a, T b) { return a < 0 ? a + b : a; }
};

#ifdef ZEPRIX_NTT_AVX2
struct Lane4 {
    using T = __m256d;
    static constexpr long kWidth = 4;
    static T Load(const double* a) { return _mm256_loadu_pd(a); }
    static void Store(double* a, T x) { _mm256_storeu_pd(a, x); }
    static T Set(double x) { return _mm256_set1_pd(x); }
    static T Add(T a, T b) { return _mm256_add_pd(a, b); }
    static T Sub(T a, T b) { return _mm256_sub_pd(a, b); }
    static T Mul(T a, T b) { return _mm256_mul_pd(a, b); }
    static T MulSubExact(T a, T b, T c) { return _mm256_fmsub_pd(a, b, c); }
    static T NegMulAdd(T a, T b, T c) { return _mm256_fnmadd_pd(a, b, c); }
    static T Round(T a) {
        return _mm256_round_pd(a, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    }
    static T AddIfNegative(T a, T b) {
        return _mm256_add_pd(a,
                             _mm256_and_pd(b, _mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_LT_OQ)));
    }
};
#endif

// The prime as broadcast lanes.
template <class V>
struct Prime {
    typename V::T p, pinv;
    explicit Prime(const Modulus& m)
        : p(V::Set(static_cast<double>(m.p))), pinv(V::Set(1.0 / static_cast<double>(m.p))) {}

    typename V::T Reduce(typename V::T s) const {
        return V::NegMulAdd(V::Round(V::Mul(s, pinv)), p, s);
    }
    typename V::T MulFixed(typename V::T x, typename V::T w, typename V::T wp) const {
        const typename V::T h = V::Mul(x, w);
        const typename V::T l = V::MulSubExact(x, w, h);
        const typename V::T q = V::Round(V::Mul(x, wp));
        return V::Add(V::NegMulAdd(q, p, h), l);
    }
    // x y for two variable residues: the quotient from y fl(1/p), one more reduction.
    typename V::T MulVar(typename V::T x, typename V::T y) const {
        return Reduce(MulFixed(x, y, V::Mul(y, pinv)));
    }
};

// The symmetric representative of x in [0, p) and its quotient.
FixedFactor MakeFactor(u64 x, const Modulus& m) {
    const double p = static_cast<double>(m.p);
    const double w = x > m.p / 2 ? static_cast<double>(x) - p : static_cast<double>(x);
    return {w, w / p};
}

ShortTable MakeTable(long L, u64 w, const Modulus& m) {
    ShortTable t;
    t.L = L;
    t.w.assign(static_cast<size_t>(std::max<long>(L, 1)), {});
    std::vector<u64> pw;  // w^i, i < L/2
    u64 x = 1;
    for (long i = 0; i < L / 2; ++i) {
        pw.push_back(x);
        x = MulMod(x, w, m);
    }
    for (long h = L / 2; h >= 1; h /= 2)
        for (long j = 0; j < h; ++j)
            t.w[static_cast<size_t>(h + j)] =
                MakeFactor(pw[static_cast<size_t>(j * (L / (2 * h)))], m);
    return t;
}

// One radix-2 level with half-length h of a short transform of length L on W interleaved
// vectors (point i of vector c at a[i W + c]): the butterfly bf(x, y, w, wp) on the pairs
// (i, i + h) of every block of 2h points, with root j of the level for the j-th pair.
template <class V, long W, class Butterfly>
inline void Level(double* a, long L, long h, const FixedFactor* tw, Butterfly bf) {
    for (long start = 0; start < L; start += 2 * h) {
        double* xs = a + start * W;
        double* ys = xs + h * W;
        for (long j = 0; j < h; ++j) {
            const typename V::T w = V::Set(tw[j].w), wp = V::Set(tw[j].wp);
            for (long c = 0; c < W; c += V::kWidth) bf(xs + j * W + c, ys + j * W + c, w, wp);
        }
    }
}

// Forward short transform: natural order in, bit-reversed order out (decimation in
// frequency). Butterfly: x = Reduce(u + v), y = MulFixed(Reduce(u - v), w).
template <class V, long W>
void ShortForward(double* a, const ShortTable& t, const Prime<V>& P) {
    using T = typename V::T;
    for (long h = t.L / 2; h >= 1; h /= 2)
        Level<V, W>(a, t.L, h, t.w.data() + h, [&](double* x, double* y, T w, T wp) {
            const T u = V::Load(x), v = V::Load(y);
            V::Store(x, P.Reduce(V::Add(u, v)));
            V::Store(y, P.MulFixed(P.Reduce(V::Sub(u, v)), w, wp));
        });
}

// Inverse short transform (the table's root is the inverse root): bit-reversed order in,
// natural order out, times L (decimation in time). Butterfly: v' = MulFixed(v, w),
// x = Reduce(u + v'), y = Reduce(u - v').
template <class V, long W>
void ShortInverse(double* a, const ShortTable& t, const Prime<V>& P) {
    using T = typename V::T;
    for (long h = 1; h < t.L; h *= 2)
        Level<V, W>(a, t.L, h, t.w.data() + h, [&](double* x, double* y, T w, T wp) {
            const T u = V::Load(x), v = P.MulFixed(V::Load(y), w, wp);
            V::Store(x, P.Reduce(V::Add(u, v)));
            V::Store(y, P.Reduce(V::Sub(u, v)));
        });
}

// The kernels of width W: four lanes at a time when there are four.
template <long W>
struct Kernels {
#ifdef ZEPRIX_NTT_AVX2
    using V = std::conditional_t<W % 4 == 0, Lane4, Lane1>;
#else
    using V = Lane1;
#endif
};

// Twiddles of a strip of W interleaved vectors of length L: point i of vector c times
// f_c^i (forward) or s f_c^i (inverse, s = 1/N), f_c = steps[c]; the powers are built
// along the strip by one fixed-factor product each, and applied with a variable product.
template <class V, long W>
void Twiddle(double* a, long L, const FixedFactor* steps, FixedFactor start, const Prime<V>& P) {
    using T = typename V::T;
    constexpr long kV = W / V::kWidth;
    T f[kV], fp[kV], pw[kV];
    for (long v = 0; v < kV; ++v) {
        double fw[V::kWidth], fq[V::kWidth];
        for (long c = 0; c < V::kWidth; ++c) {
            fw[c] = steps[v * V::kWidth + c].w;
            fq[c] = steps[v * V::kWidth + c].wp;
        }
        f[v] = V::Load(fw);
        fp[v] = V::Load(fq);
        pw[v] = V::Set(start.w);
    }
    for (long i = 0; i < L; ++i)
        for (long v = 0; v < kV; ++v) {
            double* x = a + i * W + v * V::kWidth;
            V::Store(x, P.MulVar(V::Load(x), pw[v]));
            pw[v] = P.MulFixed(pw[v], f[v], fp[v]);  // magnitude below 0.65 p
        }
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
    ZEPRIX_CHECK(static_cast<double>(m_.p) < 2.7e15 + 1, "NttPlan: the prime is too large");
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
    ibase_.clear();
    u64 x = 1, ix = 1;
    for (long k = 0; k < R2_; ++k) {
        base_.push_back(MakeFactor(x, m_));
        ibase_.push_back(MakeFactor(ix, m_));
        x = MulMod(x, root_, m_);
        ix = MulMod(ix, iroot, m_);
    }
    invN_ = MakeFactor(InvMod(static_cast<u64>(n) % m_.p, m_.p), m_);
    buffers_.assign(1, std::vector<double>(static_cast<size_t>(std::max(R1_, R2_) * 8), 0));
}

void NttPlan::MakeBuffers() const {
    const auto threads = static_cast<size_t>(core::ThreadCount());
    while (buffers_.size() < threads) buffers_.emplace_back(buffers_[0].size(), 0.0);
}

long NttPlan::FrequencyAt(long position) const {
    const long q = position % R1_, p = position / R1_;
    const int bits1 = std::countr_zero(static_cast<u64>(R1_));
    long rq = 0;
    for (int b = 0; b < bits1; ++b) rq |= ((q >> b) & 1) << (bits1 - 1 - b);
    return revR2_[static_cast<size_t>(p)] + R2_ * rq;
}

namespace {

template <long W>
void StripTransform(double* a, const ShortTable& t, const Modulus& m, bool forward) {
    using V = typename Kernels<W>::V;
    const Prime<V> P(m);
    if (forward)
        ShortForward<V, W>(a, t, P);
    else
        ShortInverse<V, W>(a, t, P);
}

template <long W>
void StripTwiddle(double* a, long L, const FixedFactor* steps, FixedFactor start,
                  const Modulus& m) {
    using V = typename Kernels<W>::V;
    Twiddle<V, W>(a, L, steps, start, Prime<V>(m));
}

// Columns c0 .. c0 + B - 1 (stride `stride`, `len` of them) into an interleaved strip,
// and back.
void Gather(const double* data, long stride, long len, long B, double* strip) {
    for (long r = 0; r < len; ++r)
        for (long c = 0; c < B; ++c) strip[r * B + c] = data[r * stride + c];
}
void Scatter(const double* strip, long stride, long len, long B, double* data) {
    for (long r = 0; r < len; ++r)
        for (long c = 0; c < B; ++c) data[r * stride + c] = strip[r * B + c];
}

}  // namespace

// Every column (stride R1) gets the short transform of length R2, B = min(8, R1) columns
// at a time through a thread's buffer. The strips of columns are disjoint; a thread takes
// runs of neighbouring strips, so that two threads seldom write into one cache line.
void NttPlan::ColumnPass(double* data, bool forward) const {
    if (R2_ == 1) return;
    const long B = std::min<long>(8, R1_);
    const ShortTable& t = forward ? colF_ : colI_;
    const long strips = R1_ / B, runs = ChunkCount(strips, 1, 16);
    ForEachChunk(runs, [&](long run, int slot) {
        double* buf = Buffer(slot);
        for (long strip = ChunkStart(strips, runs, run); strip < ChunkStart(strips, runs, run + 1);
             ++strip) {
            const long c0 = strip * B;
            Gather(data + c0, R1_, R2_, B, buf);
            switch (B) {
                case 8: StripTransform<8>(buf, t, m_, forward); break;
                case 4: StripTransform<4>(buf, t, m_, forward); break;
                case 2: StripTransform<2>(buf, t, m_, forward); break;
                default: StripTransform<1>(buf, t, m_, forward); break;
            }
            Scatter(buf, R1_, R2_, B, data + c0);
        }
    });
}

// Rows r .. r + B - 1 (B = min(8, R2)) transposed into a thread's buffer as B interleaved
// vectors of length R1: forward, row r times w^(n1 k2) (k2 = rev(r)) then the short
// transform; inverse, the short inverse transform then w^(-n1 k2) / N. The groups of rows
// are disjoint.
void NttPlan::RowPass(double* data, bool forward) const {
    const long B = std::min<long>(8, R2_);
    const ShortTable& t = forward ? rowF_ : rowI_;
    const FixedFactor start = forward ? FixedFactor{1.0, 1.0 / static_cast<double>(m_.p)} : invN_;
    ForEachChunk(R2_ / B, [&](long group, int slot) {
        double* buf = Buffer(slot);
        const long r0 = group * B;
        FixedFactor steps[8];
        for (long c = 0; c < B; ++c)
            steps[c] = (forward ? base_
                                : ibase_)[static_cast<size_t>(revR2_[static_cast<size_t>(r0 + c)])];
        // The transpose of B rows: row r0 + c becomes vector c.
        for (long c = 0; c < B; ++c)
            for (long i = 0; i < R1_; ++i) buf[i * B + c] = data[(r0 + c) * R1_ + i];
        auto run = [&]<long W>() {
            if (forward) {
                StripTwiddle<W>(buf, R1_, steps, start, m_);
                StripTransform<W>(buf, t, m_, true);
            } else {
                StripTransform<W>(buf, t, m_, false);
                StripTwiddle<W>(buf, R1_, steps, start, m_);
            }
        };
        switch (B) {
            case 8: run.template operator()<8>(); break;
            case 4: run.template operator()<4>(); break;
            case 2: run.template operator()<2>(); break;
            default: run.template operator()<1>(); break;
        }
        for (long c = 0; c < B; ++c)
            for (long i = 0; i < R1_; ++i) data[(r0 + c) * R1_ + i] = buf[i * B + c];
    });
}

void NttPlan::Forward(double* data) const {
    MakeBuffers();
    ColumnPass(data, true);
    RowPass(data, true);
}

void NttPlan::Inverse(double* data) const {
    MakeBuffers();
    RowPass(data, false);
    ColumnPass(data, false);
    ToStandard(data, N_, m_);
}

namespace {
#ifdef ZEPRIX_NTT_AVX2
using VN = Lane4;
#else
using VN = Lane1;
#endif

// Points of a chunk of a point-by-point pass: a multiple of the lane width.
constexpr long kChunkPoints = 1L << 16;

// a[i] op b[i] over n points: four lanes at a time, the last points one by one; chunks of
// points on the threads of the run.
template <class Op4, class Op1>
void ForEach(double* a, const double* b, long n, Op4 op4, Op1 op1) {
    ForEachChunk((n + kChunkPoints - 1) / kChunkPoints, [&](long k, int) {
        const long end = std::min(n, (k + 1) * kChunkPoints);
        long i = k * kChunkPoints;
        for (; i + VN::kWidth <= end; i += VN::kWidth)
            VN::Store(a + i, op4(VN::Load(a + i), VN::Load(b + i)));
        for (; i < end; ++i) a[i] = op1(a[i], b[i]);
    });
}
}  // namespace

void PointwiseMul(double* a, const double* b, long n, const Modulus& m) {
    const Prime<VN> P(m);
    const Prime<Lane1> P1(m);
    ForEach(
        a, b, n, [&](VN::T x, VN::T y) { return P.MulVar(x, y); },
        [&](double x, double y) { return P1.MulVar(x, y); });
}

void PointwiseSquare(double* a, long n, const Modulus& m) { PointwiseMul(a, a, n, m); }

void ToStandard(double* a, long n, const Modulus& m) {
    const Prime<VN> P(m);
    const Prime<Lane1> P1(m);
    ForEach(
        a, a, n, [&](VN::T x, VN::T) { return VN::AddIfNegative(P.Reduce(x), P.p); },
        [&](double x, double) { return Lane1::AddIfNegative(P1.Reduce(x), P1.p); });
}

}  // namespace zeprix::ntt
