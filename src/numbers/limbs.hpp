// Limb convention, the limb-block allocator and the process-wide memory counter.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>

namespace zeprix::numbers {

// Every number is a little-endian array of limbs, each an integer held exactly in a double.
// SmallInt uses base 10^8, BigInt and DiskInt base 10^12. There is no sign field: the top
// limb carries the sign (complement form, a negative number has a negative top limb).
inline constexpr double kSmallBase = 1e8;
inline constexpr double kSmallInvBase = 1e-8;
inline constexpr double kBigBase = 1e12;
inline constexpr double kBigInvBase = 1e-12;
inline constexpr double kTwo53 = 9007199254740992.0;  // 2^53

// Bytes held by limb blocks. A 64-bit count: the large runs this program exists for hold
// well over 2 GiB, where a 32-bit count would wrap.
extern std::atomic<std::int64_t> gMemoryCounter;

// Allocates a block of n doubles (n >= 0), 64-byte aligned, and adds 8n + 32 to the memory
// counter. Heap failure is a fatal error. The contents are not initialised.
double* AllocLimbBlock(long n);
// Releases a block from AllocLimbBlock (null is ignored) and subtracts what it added.
void FreeLimbBlock(double* block);

// Floor of t / base for integers t below 2^53 in magnitude, exactly: the quotient is
// estimated with the reciprocal and corrected so that t - q * base lies in [0, base).
// Returns q and stores the remainder in rem.
inline double FloorDivExact(double t, double base, double invBase, double& rem) {
    double q = std::floor(t * invBase);
    double r = t - q * base;  // exact: |q * base| <= |t| + base < 2^53
    if (r < 0) {
        r += base;
        q -= 1;
    } else if (r >= base) {
        r -= base;
        q += 1;
    }
    rem = r;
    return q;
}

}  // namespace zeprix::numbers
