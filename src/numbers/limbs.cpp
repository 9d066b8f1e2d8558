// The limb-block allocator and the process-wide memory counter.
#include "numbers/limbs.hpp"

#include <cstdlib>
#include <cstring>

#include "core/fatal.hpp"

namespace zeprix::numbers {

std::atomic<std::int64_t> gMemoryCounter{0};

namespace {

// Every block starts with a 64-byte header that keeps the alignment of the limbs and
// records the limb count, so that FreeLimbBlock subtracts what AllocLimbBlock added.
constexpr std::size_t kHeaderBytes = 64;
// Largest block: far beyond any memory this program will meet, small enough that the
// byte count cannot overflow.
constexpr long kMaxBlockLimbs = 1L << 56;

std::int64_t CountedBytes(long n) { return 8 * static_cast<std::int64_t>(n) + 32; }

}  // namespace

double* AllocLimbBlock(long n) {
    if (n < 0 || n > kMaxBlockLimbs)
        core::FatalError("Error in AllocLimbBlock, invalid number of limbs requested");
    const std::size_t payload = (static_cast<std::size_t>(n) * 8 + 63) / 64 * 64;
    void* raw = std::aligned_alloc(64, kHeaderBytes + payload);
    if (raw == nullptr)
        core::FatalError("Error in AllocLimbBlock, not enough memory for a block of limbs");
    long count = n;
    std::memcpy(raw, &count, sizeof count);
    gMemoryCounter += CountedBytes(n);
    return reinterpret_cast<double*>(static_cast<char*>(raw) + kHeaderBytes);
}

void FreeLimbBlock(double* block) {
    if (block == nullptr) return;
    char* raw = reinterpret_cast<char*>(block) - kHeaderBytes;
    long count = 0;
    std::memcpy(&count, raw, sizeof count);
    gMemoryCounter -= CountedBytes(count);
    std::free(raw);
}

}  // namespace zeprix::numbers
