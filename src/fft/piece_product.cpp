// Products by transform on raw limbs: the piece products, the balanced product, the square
// of a piece, and the transform cache with its owners.
#include "fft/piece_product.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/fatal.hpp"
#include "fft/digits.hpp"
#include "fft/fft_state.hpp"
#include "fft/four_step.hpp"
#include "fft/multiply.hpp"
#include "fft/pointwise.hpp"
#include "numbers/big_int.hpp"
#include "numbers/schoolbook.hpp"

namespace zeprix::fft {

namespace {

// The owner token of the product call in progress: the public entry points set it (a
// fresh token, or the token of a ReusedFactor) for the length of the call.
thread_local long gCallOwner = 0;

void NoteRounding(double dist) {
    FFTState& st = State();
    if (dist > st.maxRoundingSeen) st.maxRoundingSeen = dist;
}

// Forward transform of src into Y, product with X, inverse added into the window (one sweep).
void MultiplyAndAdd(const DigitSource& src, long n, bool small, long count, double* dst, long cut,
                    long len, void (*prepare)(void*) = nullptr, void* arg = nullptr,
                    double factor = 1.0) {
    DigitSink sink;
    sink.factor = factor;
    sink.prepare = prepare;
    sink.prepareArg = arg;
    sink.r = dst;
    sink.cut = cut;
    sink.len = len;
    sink.count = std::min(count, 2 * n);
    ForwardMultiplyInverse(State().Y, n, small, src, State().X, sink);
    NoteRounding(sink.maxDistance);
    CheckRoundingDistance(sink.maxDistance, n);
}

void ZeroWindow(double* dst, long from, long to, long len) {
    from = std::max(from, 0L);
    to = std::min(to, len);
    if (to > from) numbers::ZeroLimbs(dst + from, to - from);
}

}  // namespace

long NewOwnerToken() { return ++State().lastOwner; }

CallScope::CallScope(long owner) : previous_(gCallOwner) { gCallOwner = owner; }
CallScope::~CallScope() { gCallOwner = previous_; }

void DropCache() {
    FFTState& st = State();
    st.cachedOwner = 0;
    st.cachedLimbs = nullptr;
    st.cachedN = 0;
}

bool TransformLimbs(const double* a, long Na, double* dst, long n) {
    ++State().forwardCount;
    DigitSource src;
    src.limbs = a;
    src.N = Na;
    return ForwardTransform(dst, n, true, src);
}

bool PrepareTransform(const double* a, long Na, long n, bool keep) {
    FFTState& st = State();
    const bool hit = keep && st.cachedOwner == gCallOwner && st.cachedN == n &&
                     st.cachedLimbs == a && st.cachedNa == Na;
    if (hit) return st.cachedSmall;
    const bool small = TransformLimbs(a, Na, st.X, n);
    st.cachedN = n;
    st.cachedNa = Na;
    st.cachedLimbs = a;
    st.cachedSmall = small;
    st.cachedOwner = gCallOwner;
    return small;
}

void InverseAndAdd(double* data, long n, bool small, long count, double* dst, long cut, long len) {
    DigitSink sink;
    sink.r = dst;
    sink.cut = cut;
    sink.len = len;
    sink.count = std::min(count, 2 * n);
    InverseTransform(data, n, small, sink);
    NoteRounding(sink.maxDistance);
    CheckRoundingDistance(sink.maxDistance, n);
}

// When zeroing, the window part that each piece writes first is cleared just before the
// piece's product is added (so dst may be b's own limbs, see SpecialMul).
void AddPieceProducts(const double* pa, long Na, const double* pb, long Nb, double* dst, long cut,
                      long len, bool zeroing, bool keep, double factor) {
    const long n = Upper2Power(3 * Na, State().NFFT);
    const bool small = PrepareTransform(pa, Na, n, keep);
    const long p = n / 3;
    numbers::BigInt& scratch = ScratchBigInt();
    long hi = Nb;
    bool first = true;
    while (hi > 0) {
        const long lo = std::max(hi - p, 0L);
        const long np = hi - lo;
        const double* piece = first ? pb + lo : scratch.Limbs;
        const bool same = (pb + lo == pa && np == Na);
        // Once the piece's digits are taken: save the next piece (the scratch number may
        // hold the current one until then), then clear the window part this piece opens.
        struct Prepare {
            const double* pb;
            double* scratch;
            long lo, p, nmax;
            double* dst;
            long from, to, len;
            bool zeroing;
            static void Run(void* v) {
                Prepare& q = *static_cast<Prepare*>(v);
                const long nlo = std::max(q.lo - q.p, 0L);
                const long nn = q.lo - nlo;
                if (nn > 0) {
                    if (nn > q.nmax) core::FatalError("PB in SpecialMul, Nb0-Nb00>Nmax/3");
                    numbers::CopyLimbs(q.scratch, q.pb + nlo, nn);
                }
                if (q.zeroing) ZeroWindow(q.dst, q.from, q.to, q.len);
            }
        } prep{pb,       scratch.Limbs,          lo,  p,      State().NFFT / 3, dst,
               lo - cut, first ? len : hi - cut, len, zeroing};
        if (same) {
            // The piece is a itself: its kept transform serves as both factors.
            DigitSink sink;
            sink.prepare = &Prepare::Run;
            sink.prepareArg = &prep;
            sink.r = dst;
            sink.cut = cut - lo;
            sink.len = len;
            sink.count = std::min(3 * (np + Na) + 1, 2 * n);
            sink.factor = factor;
            InverseOfProduct(State().X, State().X, State().Y, n, small, sink);
            NoteRounding(sink.maxDistance);
            CheckRoundingDistance(sink.maxDistance, n);
        } else {
            ++State().forwardCount;
            DigitSource src;
            src.limbs = piece;
            src.N = np;
            MultiplyAndAdd(src, n, small, 3 * (np + Na) + 1, dst, cut - lo, len, &Prepare::Run,
                           &prep, factor);
        }
        first = false;
        hi = lo;
    }
}

void AddPieceSquare(const double* pa, long Na, double* dst, long cut, long len, bool keep) {
    const long n = Upper2Power(3 * Na, State().NFFT);
    const bool small = PrepareTransform(pa, Na, n, keep);
    DigitSink sink;
    sink.r = dst;
    sink.cut = cut;
    sink.len = len;
    sink.count = std::min(6 * Na + 1, 2 * n);
    InverseOfProduct(State().X, State().X, State().Y, n, small, sink);
    NoteRounding(sink.maxDistance);
    CheckRoundingDistance(sink.maxDistance, n);
}

void AddBalancedProduct(const double* pa, long Na, const double* pb, long Nb, double* r, long n,
                        bool keep) {
    // One transform each; both operands are read before r is written.
    const bool small = PrepareTransform(pa, Na, n, keep);
    // b's digits are taken before r (which may share limbs with b) is cleared.
    ++State().forwardCount;
    DigitSource src;
    src.limbs = pb;
    src.N = Nb;
    struct Clear {
        double* r;
        long k;
        static void Run(void* v) {
            Clear& c = *static_cast<Clear*>(v);
            numbers::ZeroLimbs(c.r, c.k);
        }
    } clear{r, Na + Nb};
    MultiplyAndAdd(src, n, small, 3 * (Na + Nb) + 1, r, 0, Na + Nb, &Clear::Run, &clear);
}

namespace testing {

double ConvolutionRoundingDistance(const double* da, const double* db, long n, bool guard) {
    DropCache();
    DigitSource sa, sb;
    sa.digits = da;
    sb.digits = db;
    const bool small = ForwardTransform(State().X, n, true, sa);
    ForwardTransform(State().Y, n, true, sb);
    MulSpectra(State().X, State().Y, n);
    std::vector<double> values(static_cast<std::size_t>(2 * n));
    DigitSink sink;
    sink.values = values.data();
    InverseTransform(State().Y, n, small, sink);
    const double scale = 1.0 / static_cast<double>(2 * n);
    double dist = 0.0;
    for (double v : values) {
        const double t = v * scale;
        dist = std::max(dist, std::fabs(t - std::nearbyint(t)));
    }
    if (guard) CheckRoundingDistance(dist, n);
    return dist;
}

long ForwardTransformCount() { return State().forwardCount; }

void SetCarryBudgetForTest(long pieces) { State().carryBudget = pieces; }

double TakeMaxRoundingDistance() {
    const double d = State().maxRoundingSeen;
    State().maxRoundingSeen = 0.0;
    return d;
}

}  // namespace testing

}  // namespace zeprix::fft
