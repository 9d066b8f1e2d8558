// Starting values of the Newton iterations: two limbs from doubles, shared by the
// iterations on numbers in memory and on disk.
#pragma once

#include <cmath>

namespace zeprix::newton {

// Two limbs (hi, lo) of y = 10^-12 hi + 10^-24 lo ~ 1/x~, x~ = a2 + a1 10^-12 + a0 10^-24
// the top three limbs of x read as a number in [1, 10^12). d = 1/x~ in doubles has a
// relative error below 4 10^-16 (three roundings and the cut of x~ to three limbs);
// hi = floor(10^12 d) and lo = floor(10^12 (10^12 d - hi)) (the difference is exact:
// hi <= 10^12 d < hi + 1). The floors cost at most 10^-24, so |1 - x~ y| <= 1.0004 10^-12.
// hi may be 10^12 (x~ = 1): the caller normalises.
struct TwoLimbs {
    double hi, lo;
};
inline TwoLimbs InverseStart(double a2, double a1, double a0) {
    const double d = 1.0 / (a2 + a1 * 1e-12 + a0 * 1e-24);
    const double hi = std::floor(1e12 * d);
    return {hi, std::floor(1e12 * (1e12 * d - hi))};
}

// The same for 1/sqrt(a), a whole number: relative error below 3.4 10^-16 after the two
// limbs are cut out of 10^12 d, whose rounding adds 1.1 10^-16.
inline TwoLimbs InvSqrtStart(long a) {
    const double d = 1.0 / std::sqrt(static_cast<double>(a));
    const double hi = std::floor(1e12 * d);
    return {hi, std::floor(1e12 * (1e12 * d - hi))};
}

}  // namespace zeprix::newton
