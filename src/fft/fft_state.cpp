// FFT state: InitFFT, the sizing rule, the bit-reversal and twiddle tables, the transform cache.
#include "fft/fft_state.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "core/check.hpp"
#include "core/fatal.hpp"
#include "core/parallel.hpp"
#include "numbers/big_int.hpp"
#include "numbers/limbs.hpp"

namespace zeprix::fft {

thread_local FFTState* gCurrentState = nullptr;

namespace {

// Work handed to the pool's workers runs with the state of the thread that handed it out.
const bool kStateCarried = [] {
    core::RegisterContextCarrier({[]() -> void* { return gCurrentState; },
                                  [](void* state) -> void* {
                                      void* previous = gCurrentState;
                                      gCurrentState = static_cast<FFTState*>(state);
                                      return previous;
                                  }});
    return true;
}();

// The state of InitFFT, current when no session is live.
std::unique_ptr<FFTState> gProcessState;
}  // namespace

double FFTTableMemory(double F) {
    double r = 2;
    if (F > 4) {
        r = 4;
        while (r * r < F) r *= 2;
    }
    return 116 * std::max(2 * r, 4096.0) + 24 * std::max(16 * r, 4096.0) + 16 * r;
}

double FFTMemory(double F) { return 32 * F + FFTTableMemory(F); }

double FFTSlotMemory(double F, int threads) {
    if (threads <= 1) return 0;
    double r = 2;
    if (F > 4) {
        r = 4;
        while (r * r < F) r *= 2;
    }
    const double b = std::max(16 * r, 4096.0);
    return threads * 8 * (4 * r + 64 + 32) + (threads - 1) * 8 * (3 * b + 47 + 64);
}

void FFTState::EnsureSlots(int count) {
    while (static_cast<int>(slots.size()) < count) {
        Slot slot;
        if (slots.empty()) {
            slot.gather1 = gather1;
            slot.gather2 = gather2;
        } else {
            slot.gather1 = numbers::AllocLimbBlock(gatherSize + 47);
            slot.gather2 = numbers::AllocLimbBlock(2 * gatherSize);
        }
        slot.hold = numbers::AllocLimbBlock(4 * s + 64);
        slots.push_back(slot);
    }
}

namespace {

// e^(-i pi t / N) rounded to doubles. The angle is reduced exactly (dyadic fractions) to
// [0, pi/4] before cosl/sinl run in extended precision, so every entry is the double
// nearest to the true value (up to the rare halfway case) and the quarter turns are exact:
// 1, 0, -1 come out as such, never as 1e-20.
void Cis(long t, long N, double& re, double& im) {
    long double x = static_cast<long double>(t) / (2.0L * static_cast<long double>(N));
    x -= floorl(x);               // fraction of a full turn, in [0, 1)
    long double y = 4.0L * x;     // exact
    int q = static_cast<int>(y);  // quadrant 0..3
    long double r = y - q;        // [0, 1): angle within the quadrant, in quarter turns
    const long double halfPi = 1.5707963267948966192313216916397514L;
    long double c, s;
    if (r <= 0.5L) {
        c = cosl(r * halfPi);
        s = sinl(r * halfPi);
    } else {
        c = sinl((1.0L - r) * halfPi);
        s = cosl((1.0L - r) * halfPi);
    }
    long double cr, sr;  // cos and sin of the whole angle
    switch (q) {
        case 0:
            cr = c;
            sr = s;
            break;
        case 1:
            cr = -s;
            sr = c;
            break;
        case 2:
            cr = -c;
            sr = -s;
            break;
        default:
            cr = s;
            sr = -c;
            break;
    }
    re = static_cast<double>(cr);
    im = static_cast<double>(-sr);
}

// Builds the bit-reversal blocks for m = T, T/2, .., 1 by the swap method.
void BuildRevBin(FFTState& st, long T) {
    st.revBin = static_cast<std::uint16_t*>(std::malloc(sizeof(std::uint16_t) * 2 * T));
    if (!st.revBin) core::FatalError("Error in InitFFT, not enough memory");
    st.revBinT = T;
    std::uint16_t* p = st.revBin;
    for (long m = T; m >= 1; m /= 2) {
        for (long i = 0; i < m; ++i) p[i] = static_cast<std::uint16_t>(i);
        // j runs through 0 .. m-1 in bit-reversed order: add the top bit m/2 and carry
        // downwards; entries i and j are exchanged once (when i < j).
        long j = 0;
        for (long i = 0; i < m; ++i) {
            if (i < j) {
                std::uint16_t tmp = p[i];
                p[i] = p[j];
                p[j] = tmp;
            }
            long bit = m >> 1;
            while (bit >= 1 && (j & bit)) {
                j ^= bit;
                bit >>= 1;
            }
            j |= bit;
        }
        p += m;
    }
    st.revBin[2 * T - 1] = 0;
}

// The column passes touch two cache lines in every row of a transform array per group of
// columns: at 1024 k points 2048 rows 8 KB apart, each on its own 4 KB page, so with
// ordinary pages nearly every access also misses the TLB. The arrays ask the kernel for
// huge pages (Linux, transparent huge pages in "madvise" mode) on their 2 MB-aligned
// interior, before first use. Only a hint: without it the arrays work the same.
void PreferHugePages(double* p, long doubles) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const std::uintptr_t huge = 2u << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p + doubles)) & ~(huge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)doubles;
#endif
}

}  // namespace

long Upper2Power(long N, long Nmax) {
    long p = 4;
    while (p < N) p *= 2;
    if (p > Nmax) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "Error in Upper2Power , N=%ld is too big\n", p);
        core::FatalError(msg);
    }
    if (p < 256) p = 256;
    return p;
}

const std::uint16_t* FFTUtilities::GetRevBinArray(long N) {
    const FFTState& st = State();
    if (N > st.revBinT || N < 1)
        core::FatalError("Error in FFTUtilities::GetRevBinArray, N is too large");
    return st.revBin + (2 * st.revBinT - 2 * N);
}

FFTState::FFTState(long n) {
    ZEPRIX_ASSERT(n >= 4 && (n & (n - 1)) == 0);
    const std::int64_t memoryBefore = numbers::gMemoryCounter;
    NFFT = n;

    s = 2;
    if (n > 4) {
        s = 4;
        while (s * s < n) s *= 2;
    }
    T = std::max(2 * s, 4096L);
    fineBits = 0;
    while ((1L << fineBits) < 2 * T) ++fineBits;

    BuildRevBin(*this, T);

    // Span twiddles: e^(-i pi k / h) for k < h, h = 1 .. T.
    twiddle2 = numbers::AllocLimbBlock(4 * T);
    double* sr = twiddle2;
    double* si = twiddle2 + 2 * T;
    sr[0] = 0.0;
    si[0] = 0.0;
    for (long h = 1; h <= T; h *= 2)
        for (long k = 0; k < h; ++k) Cis(k, h, sr[h + k], si[h + k]);
    spanRe = sr;
    spanIm = si;

    // Four-step tables: fine e^(-i pi t / n) for t < 2T, coarse for multiples of 2T up to 2n.
    twiddle4 = numbers::AllocLimbBlock(6 * T);
    for (long t = 0; t < 2 * T; ++t) Cis(t, n, twiddle4[2 * t], twiddle4[2 * t + 1]);
    twiddle8 = numbers::AllocLimbBlock(14 * T);
    for (long u = 0; u * 2 * T < 2 * n; ++u)
        Cis(u * 2 * T, n, twiddle8[2 * u], twiddle8[2 * u + 1]);

    smallBuffer = numbers::AllocLimbBlock(8192 + 2 * s);
    rowBuffer = smallBuffer + 8192;

    columnCount = n / s;
    long b = 16 * s;
    if (b < 4096) b = 4096;
    gatherSize = b;
    gather1 = numbers::AllocLimbBlock(b + 47);
    gather2 = numbers::AllocLimbBlock(2 * b);
    X = numbers::AllocLimbBlock(2 * (n + s));
    Y = numbers::AllocLimbBlock(2 * (n + s));
    PreferHugePages(X, 2 * (n + s));
    PreferHugePages(Y, 2 * (n + s));
    memoryBytes = numbers::gMemoryCounter - memoryBefore;
}

FFTState::~FFTState() {
    for (std::size_t k = 0; k < slots.size(); ++k) {
        if (k > 0) {
            numbers::FreeLimbBlock(slots[k].gather1);
            numbers::FreeLimbBlock(slots[k].gather2);
        }
        numbers::FreeLimbBlock(slots[k].hold);
    }
    std::free(revBin);
    for (double* block : {twiddle2, twiddle4, twiddle8, smallBuffer, gather1, gather2, X, Y})
        numbers::FreeLimbBlock(block);
}

void NoFFTState() { core::FatalError("Error, no FFT size is set for this product"); }

FFTSession::FFTSession(long n) : state_(n), previous_(gCurrentState) { gCurrentState = &state_; }

FFTSession::~FFTSession() { gCurrentState = previous_; }

void InitFFT(long n) {
    if (gProcessState && gProcessState->NFFT == n) return;
    const bool wasCurrent = gCurrentState == gProcessState.get();
    if (gProcessState && wasCurrent) gCurrentState = nullptr;
    gProcessState.reset();
    gProcessState = std::make_unique<FFTState>(n);
    if (!gCurrentState) gCurrentState = gProcessState.get();
}

numbers::BigInt& ScratchBigInt() {
    FFTState& st = State();
    if (!st.scratch) {
        st.scratch = std::make_unique<numbers::BigInt>();
        st.scratch->Alloc(st.NFFT / 3);
    }
    return *st.scratch;
}

}  // namespace zeprix::fft
