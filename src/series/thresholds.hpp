// Leaf sizes of the series engine.
#pragma once

namespace zeprix::series {

// ln 10^4: leaf sizes are counted in groups of four decimal digits.
inline constexpr double kLn1e4 = 9.210340371976184;

// e: a GiantStep leaf (SmallInt schoolbook products, faster than the FFT below this
// size) makes numbers of about 4 * 3200 digits, a LastBabyStep block (the Horner loop)
// about 4 * 20 digits. Thresholds in terms: these logarithms divided by ln N.
inline constexpr double kEGiantLeafLog = 3200 * kLn1e4;
inline constexpr double kEBabyLeafLog = 20 * kLn1e4;

// Pi: a GiantStep leaf makes numbers of about 4 * 1000 digits (measured best at 10^6
// digits between 500 and 2000); the threshold in terms is this divided by the log-size of
// one term's factors.
inline constexpr double kPiGiantLeafLog = 1000 * kLn1e4;

}  // namespace zeprix::series
