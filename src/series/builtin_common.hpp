// What the built-in constants (Pi, e, the square root of 2) share beyond the series engine.
#pragma once

namespace zeprix::series {

// The time factors of the FFT table rows of Pi and e ("Time: Fastest mode * x") for a
// computation mode; indexes without a factor are left as they are.
void BuiltinTimeFactors(long mode, double factors[10]);

}  // namespace zeprix::series
