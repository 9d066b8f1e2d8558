// MPInt: the operations every number class shares (sign, digit window) through the bulk
// read of limbs.
#include "numbers/mpint.hpp"

#include <cmath>
#include <cstdint>

#include "core/fatal.hpp"
#include "numbers/int_kernels.hpp"

namespace zeprix::numbers {

void MPInt::WriteBuffer(double*, long, long) {
    core::FatalError("Error, this type of MPInt cannot write to a buffer");
}

// Exact sign of sum limb[i] B^i, read from the top; every limb below the top must lie in
// [-B, B] (canonical limbs do). h is the value of the limbs read so far, in units of the
// weight of the limb just read.
//   1. While |h| <= 1, the next h = h B + limb has |h| <= 2B: a small exact integer.
//   2. Once |h| >= 2 at limb i, the limbs below add at most B (B^i - 1) / (B - 1) < 2 B^i
//      <= |h| B^i in magnitude, so sign(h) is the sign of the number.
// A zero number (any count of zero limbs) has sign 0.
int MPInt::Sign() {
    const double base = std::pow(10.0, DigitsPerLimb());
    double h = 0;
    for (long i = _N - 1; i >= 0; --i) {
        double limb;
        WriteBuffer(&limb, 1, i);
        h = h * base + limb;
        if (h >= 2) return 1;
        if (h <= -2) return -1;
    }
    return (h > 0) - (h < 0);
}

// With d digits per limb and limb exponent e, the digit of weight 10^-pos is digit r of
// limb q, where P = -e d - pos, q = floor(P / d), r = P - d q. Limbs q - 2 .. q are split
// into 3d decimal digits (window index 0 = lowest digit of limb q - 2) and the digits
// with window indices 2d + r - 1 down to 2d + r - 10 (weights 10^-(pos+1) .. 10^-(pos+10))
// are read most significant first. The result is below 10^10, exact in a double.
double MPInt::DigitWindow(double pos) {
    const std::int64_t d = DigitsPerLimb();
    const std::int64_t e = Exponent();
    if (pos != std::floor(pos) || std::fabs(pos) > 1e15)
        core::FatalError("Error in MPInt::DigitWindow, the position is not a whole number");
    const std::int64_t P = -e * d - static_cast<std::int64_t>(pos);
    std::int64_t r;
    const std::int64_t q = detail::FloorDivRt(P, d, r);
    if (q < 2 || q >= _N)
        core::FatalError(
            "Error in MPInt::DigitWindow, the digits asked for lie outside the number");
    double limbs[3];
    WriteBuffer(limbs, 3, static_cast<long>(q - 2));
    int digits[3 * 12];
    for (int k = 0; k < 3; ++k) {
        std::int64_t v = static_cast<std::int64_t>(limbs[k]);
        for (std::int64_t j = 0; j < d; ++j) {
            std::int64_t digit;
            v = detail::FloorDivRt(v, 10, digit);
            digits[k * d + j] = static_cast<int>(digit);
        }
    }
    double w = 0;
    for (std::int64_t idx = 2 * d + r - 1; idx >= 2 * d + r - 10; --idx) w = w * 10 + digits[idx];
    return w;
}

}  // namespace zeprix::numbers
