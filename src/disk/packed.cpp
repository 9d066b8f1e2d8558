// Packed storage of limbs: three base-10^12 limbs (36 digits) as four base-10^9 words.
#include <cstdint>

#include "disk/disk_int.hpp"

namespace zeprix::disk {

// l0 = w0 + 10^9 (w1 mod 1000), l1 = floor(w1 / 1000) + 10^6 (w2 mod 10^6),
// l2 = floor(w2 / 10^6) + 1000 w3: every word below 10^9 for limbs in [0, 10^12).
void PackGroup(const double limbs[3], std::uint32_t words[4]) {
    const auto l0 = static_cast<std::uint64_t>(limbs[0]);
    const auto l1 = static_cast<std::uint64_t>(limbs[1]);
    const auto l2 = static_cast<std::uint64_t>(limbs[2]);
    words[0] = static_cast<std::uint32_t>(l0 % 1000000000);
    words[1] = static_cast<std::uint32_t>(l0 / 1000000000 + 1000 * (l1 % 1000000));
    words[2] = static_cast<std::uint32_t>(l1 / 1000000 + 1000000 * (l2 % 1000));
    words[3] = static_cast<std::uint32_t>(l2 / 1000);
}

void UnpackGroup(const std::uint32_t words[4], double limbs[3]) {
    const std::uint64_t w0 = words[0], w1 = words[1], w2 = words[2], w3 = words[3];
    limbs[0] = static_cast<double>(w0 + 1000000000 * (w1 % 1000));
    limbs[1] = static_cast<double>(w1 / 1000 + 1000000 * (w2 % 1000000));
    limbs[2] = static_cast<double>(w2 / 1000000 + 1000 * w3);
}

}  // namespace zeprix::disk
