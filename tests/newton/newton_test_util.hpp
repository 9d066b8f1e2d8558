// What the Newton tests share: one FFT size for the process and BigInts with canary limbs
// after their spare limb.
#pragma once

#include "fft/multiply.hpp"
#include "numbers/big_int.hpp"

namespace zeprix::test {

// NFFT 4096 (one size per process): division blocks of k = 1365 - 5 = 1360 limbs, so
// numbers of a few thousand limbs need several rounds and every product of more than 1365
// limbs goes in pieces.
constexpr long kNFFT = 4096;
constexpr double kCanary = -7777.0;
constexpr long kCanaryLimbs = 8;

inline void SetUpFFT() {
    static bool done = false;
    if (!done) fft::SetupFFT(kNFFT);
    done = true;
}

// A BigInt whose block has canary limbs after the spare one.
struct Guarded {
    numbers::BigInt b;
    long cap;
    explicit Guarded(long capacity) : cap(capacity) {
        b.Alloc(capacity + 1 + kCanaryLimbs);
        b.SizeAlloc = capacity;
        for (long i = capacity + 1; i < capacity + 1 + kCanaryLimbs; ++i) b.Limbs[i] = kCanary;
    }
    ~Guarded() { b.Free(); }
    bool CanariesIntact() const {
        for (long i = cap + 1; i < cap + 1 + kCanaryLimbs; ++i)
            if (b.Limbs[i] != kCanary) return false;
        return true;
    }
};

}  // namespace zeprix::test
