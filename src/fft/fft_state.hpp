// FFT states: the tables, buffers and transform cache of one transform size, and the
// session that makes a state the one products use.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zeprix::numbers {
class BigInt;
}

namespace zeprix::fft {

// The tables and buffers for transforms of up to NFFT points, built by the constructor and
// released by the destructor. States of different sizes may coexist; products use the one
// of the innermost live FFTSession (State()).
//
// Sizes, for NFFT = n: s = smallest power of two >= 4 with s * s >= n (2 when n <= 4),
// T = max(2s, 4096), b = max(16s, 4096). Every double block below comes from the limb-block
// allocator and is counted in the memory counter; the bit-reversal table is ordinary heap.
struct FFTState {
    explicit FFTState(long n);
    FFTState(const FFTState&) = delete;
    FFTState& operator=(const FFTState&) = delete;
    ~FFTState();

    long NFFT = 0;
    long s = 0;
    long columnCount = 0;  // NFFT / s: the split rule halves its rows below this
    long T = 0;
    long fineBits = 0;  // log2(2T): the fine four-step table has 2T entries

    // 16-bit bit-reversal permutations of 0 .. m-1 for m = T, T/2, .., 1, one block after
    // the other (2T entries); revBinT is the T it was built for.
    std::uint16_t* revBin = nullptr;
    long revBinT = 0;

    // twiddle2 (4T doubles): span twiddles e^(-i pi k / h), k < h, for h = 1, 2, .., T;
    //   real parts at spanRe[h + k], imaginary parts at spanIm[h + k].
    double* twiddle2 = nullptr;
    const double* spanRe = nullptr;
    const double* spanIm = nullptr;
    // twiddle4 (6T doubles): fine four-step table e^(-i pi t / NFFT), t < 2T, as pairs.
    double* twiddle4 = nullptr;
    // twiddle8 (14T doubles): coarse four-step table e^(-i pi 2T u / NFFT), u < NFFT / T,
    //   as pairs.
    double* twiddle8 = nullptr;

    double* smallBuffer = nullptr;  // 8192 doubles, then the row buffer of 2s doubles
    double* rowBuffer = nullptr;
    double* gather1 = nullptr;  // b + 47 doubles
    double* gather2 = nullptr;  // 2b doubles
    long gatherSize = 0;        // b
    double* X = nullptr;        // 2 (NFFT + s) doubles: transform of the kept operand
    double* Y = nullptr;        // 2 (NFFT + s) doubles: transform of the other operand

    // Transform cache: X holds the transform of size cachedN of the operand whose first
    // limb is at cachedLimbs (with cachedNa limbs), made by the product call or the
    // ReusedFactor whose token is cachedOwner. Only that owner reuses it (see multiply.hpp):
    // any other product that fills X takes the cache over with its own token.
    long cachedN = 0;
    long cachedNa = 0;
    const double* cachedLimbs = nullptr;
    bool cachedSmall = false;
    long cachedOwner = 0;
    long lastOwner = 0;  // the last token handed out

    // Scratch of the threads that work on one transform together: slot k (k >= 1) has its
    // own gather blocks; every slot, 0 included, has a hold block of 4 s + 64 doubles for a
    // row pair whose place another thread still reads. Made by EnsureSlots before the first
    // parallel pass, so a single-threaded run allocates none of it.
    struct Slot {
        double* gather1 = nullptr;
        double* gather2 = nullptr;
        double* hold = nullptr;
    };
    std::vector<Slot> slots;
    void EnsureSlots(int count);

    // Scratch number of capacity NFFT / 3, made on first use.
    std::unique_ptr<numbers::BigInt> scratch;

    // Bytes of the tables and buffers above (they are counted in the memory counter too).
    std::int64_t memoryBytes = 0;

    // Observations for the tests: the largest rounding distance of the products since the
    // last look, and the count of operand transforms; the carry budget of the piece loops
    // (pieces between two carry passes, 0: the automatic one).
    double maxRoundingSeen = 0;
    long forwardCount = 0;
    long carryBudget = 0;
};

// The state of the innermost live FFTSession, else the one of InitFFT. The transform
// kernels read it on every call, so the check that one exists is a debug-build one: every
// product path runs under a session in the tests.
extern thread_local FFTState* gCurrentState;
[[noreturn]] void NoFFTState();
inline FFTState& State() {
#if defined(ZEPRIX_DEBUG_ASSERTS)
    if (!gCurrentState) NoFFTState();
#endif
    return *gCurrentState;
}

// Makes a state of n points (a power of two >= 4) the one products use while this object
// lives; the state of an enclosing session, if any, is current again afterwards.
class FFTSession {
public:
    explicit FFTSession(long n);
    FFTSession(const FFTSession&) = delete;
    FFTSession& operator=(const FFTSession&) = delete;
    ~FFTSession();
    FFTState& state() { return state_; }

private:
    FFTState state_;
    FFTState* previous_;
};

// Makes an existing state the one products use on this thread while this object lives.
class StateScope {
public:
    explicit StateScope(FFTState& state) : previous_(gCurrentState) { gCurrentState = &state; }
    StateScope(const StateScope&) = delete;
    StateScope& operator=(const StateScope&) = delete;
    ~StateScope() { gCurrentState = previous_; }

private:
    FFTState* previous_;
};

// Memory of the FFT layer for a transform of F points, in bytes: the estimate every
// constant adds to its own arrays.
double FFTMemory(double F);
// The part of FFTMemory that is not the two transform arrays (32 F bytes): the tables and
// the scratch blocks.
double FFTTableMemory(double F);
// What the extra threads add to a state of F points when `threads` work on its transforms.
double FFTSlotMemory(double F, int threads);

// A process-long state of n points for code outside any FFTSession (tests, tools): the
// current state when no session is live. A call with another n replaces it.
void InitFFT(long n);

// Transform size for N digits: the smallest power of two p >= max(N, 4), raised to 256.
// Fatal "Error in Upper2Power , N=%ld is too big\n" (with p) when p > Nmax.
long Upper2Power(long N, long Nmax);

// Returns the scratch BigInt (capacity NFFT / 3), creating it on first use.
numbers::BigInt& ScratchBigInt();

struct FFTUtilities {
    // The bit-reversal permutation of 0 .. N-1 (N a power of two <= T) inside the table.
    // Fatal "Error in FFTUtilities::GetRevBinArray, N is too large" when N > T.
    static const std::uint16_t* GetRevBinArray(long N);
};

// e^(-i pi t / n) for 0 <= t < 2n, n a power of two with 256 <= n <= NFFT, from the fine and
// coarse four-step tables (one rounded product of two correctly rounded table entries).
// ratio = NFFT / n.
inline void FourStepTwiddle(long t, long ratio, double& re, double& im) {
    const long tp = t * ratio;  // t / n = tp / NFFT, tp = hi * 2T + lo
    const FFTState& st = State();
    const long lo = tp & (2 * st.T - 1);
    const long hi = tp >> st.fineBits;
    const double ar = st.twiddle4[2 * lo], ai = st.twiddle4[2 * lo + 1];
    const double br = st.twiddle8[2 * hi], bi = st.twiddle8[2 * hi + 1];
    re = ar * br - ai * bi;
    im = ar * bi + ai * br;
}

}  // namespace zeprix::fft
