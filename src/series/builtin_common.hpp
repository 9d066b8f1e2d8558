// What the built-in constants (Pi, e, the square root of 2) share beyond the series engine.
#pragma once

namespace zeprix::series {

// The time factors of the FFT table rows of Pi and e ("Time: Fastest mode * x") for a
// computation mode; indexes without a factor are left as they are.
void BuiltinTimeFactors(long mode, double factors[10]);

// The disk memory modes arrive later: a run asked for in mode 1 or 2 says so and ends with
// the not-available status before it writes anything.
void RefuseDiskModes(long mode);

}  // namespace zeprix::series
