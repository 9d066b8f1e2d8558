// The check of a compressed Pi result: binary digits deduced from the stored decimal digits
// against binary digits from Bellard's formula.
#include "verify/check_pi.hpp"

#include <cmath>

namespace zeprix::verify {

// checked is a whole number of digits (a multiple of 36), so floor(checked / 36) is exact.
// log2 10 is irrational, so checked log2 10 is never a whole number for checked > 0; in
// long double its error stays below 10^-18 checked, which moves p by one only when the
// product lies that close to a whole number. p then still lies beyond the checked digits
// by less than two bits, and both sides of the check use the same p.
CheckRange ClampCheckIndex(double index, double digits) {
    CheckRange r;
    double d = index;
    if (d + 100 > digits) d = digits - 100;
    d = 36 * std::floor(d / 36);
    r.checked = d > 0 ? d : 0;
    const long double log2of10 = 3.321928094887362347870319429489390175864831393L;
    r.position = static_cast<long>(std::floor(static_cast<long double>(r.checked) * log2of10)) + 1;
    return r;
}

}  // namespace zeprix::verify
