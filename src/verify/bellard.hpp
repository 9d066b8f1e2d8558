// Binary digits of Pi at a chosen position, by Bellard's digit-extraction formula.
#pragma once

namespace zeprix::verify {

// frac(2^p Pi), in [0, 1), within 2^-52 of the true value for every p >= 0 (see the
// exactness argument in bellard.cpp). Prints "." after each of the first six of its seven
// series and "\n" after the seventh.
double BellardFraction(long p);

// Prints the first n binary digits of x in [0, 1) ("0" or "1" each), then "\n".
void PrintBinaryDigits(double x, long n);

}  // namespace zeprix::verify
