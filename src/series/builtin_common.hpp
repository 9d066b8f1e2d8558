// What the built-in constants (Pi, e, the square root of 2) share beyond the series engine.
#pragma once

#include <span>

namespace zeprix::numbers {
class MPInt;
}

namespace zeprix::series {

// A known ten-digit group of a constant: the digits in places pos + 1 .. pos + 10 after the
// point, as a whole number.
struct KnownGroup {
    double pos;
    double value;
};

// 1 when every group of `groups` that lies within the first `digits` places matches the
// result's digits there (the farthest first: a wrong result is wrong at its end), else 0.
long MatchKnownGroups(numbers::MPInt& result, double digits, std::span<const KnownGroup> groups);

// The time factors of the FFT table rows of Pi and e ("Time: Fastest mode * x") for a
// computation mode; indexes without a factor are left as they are.
void BuiltinTimeFactors(long mode, double factors[10]);

}  // namespace zeprix::series
