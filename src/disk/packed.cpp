// Packed storage: three base-10^12 limbs (36 decimal digits) as four base-10^9 words.
#include <algorithm>
#include <cstdint>

#include "core/fatal.hpp"
#include "disk/disk_int.hpp"

namespace zeprix::disk {

// The 36 digits of (l2, l1, l0), most significant first, cut into four runs of nine:
//
//   l2 = [ 9 digits -> w3 | 3 digits ]   l1 = [ 6 digits | 6 digits ]   l0 = [ 3 | 9 -> w0 ]
//                              \___ w2 = low 3 of l2, high 6 of l1 ___/  \__ w1 = low 6 of l1,
//                                                                              high 3 of l0
//   w0 = l0 mod 10^9
//   w1 = floor(l0 / 10^9) + 1000 (l1 mod 10^6)
//   w2 = floor(l1 / 10^6) + 10^6 (l2 mod 1000)
//   w3 = floor(l2 / 1000)
//
// Each limb is a whole number in [0, 10^12) held in a double, so the conversion to 64 bits
// is exact, and every word is below 10^9 < 2^32: w1 < 1000 + 1000 (10^6 - 1) = 10^9, and so
// on. The arithmetic is on integers, so packing and unpacking are exact inverses for limbs
// in that range.
void PackGroup(const double limbs[3], std::uint32_t words[4]) {
    const auto l0 = static_cast<std::uint64_t>(limbs[0]);
    const auto l1 = static_cast<std::uint64_t>(limbs[1]);
    const auto l2 = static_cast<std::uint64_t>(limbs[2]);
    words[0] = static_cast<std::uint32_t>(l0 % 1000000000);
    words[1] = static_cast<std::uint32_t>(l0 / 1000000000 + 1000 * (l1 % 1000000));
    words[2] = static_cast<std::uint32_t>(l1 / 1000000 + 1000000 * (l2 % 1000));
    words[3] = static_cast<std::uint32_t>(l2 / 1000);
}

// The inverse of PackGroup. A word above 10^9 - 1 is never written: it comes from a
// damaged file, and the limbs it would give are not digits, so reading stops there.
void UnpackGroup(const std::uint32_t words[4], double limbs[3]) {
    const std::uint64_t w0 = words[0], w1 = words[1], w2 = words[2], w3 = words[3];
    if (std::max(std::max(w0, w1), std::max(w2, w3)) >= 1000000000) [[unlikely]] {
        core::UserError("Error, a file of packed digits is damaged: it holds a word above "
                        "999999999. Compute the result again with compressed output.");
    }
    limbs[0] = static_cast<double>(w0 + 1000000000 * (w1 % 1000));
    limbs[1] = static_cast<double>(w1 / 1000 + 1000000 * (w2 % 1000000));
    limbs[2] = static_cast<double>(w2 / 1000000 + 1000 * w3);
}

}  // namespace zeprix::disk
