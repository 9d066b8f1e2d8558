// Point-by-point product of two packed spectra.
#pragma once

namespace zeprix::fft {

// y = x * y on packed spectra of 2n doubles: elements 0 and 2n - 1 multiplied as reals,
// the pairs (1, 2), (3, 4), .., (2n - 3, 2n - 2) as complex numbers. x may equal y.
void MulSpectra(const double* x, double* y, long n);

// y = x1 * y1 + x2 * y2 on packed spectra (used by the join product). Results into y2.
void MulAddSpectra(const double* x1, const double* y1, const double* x2, double* y2, long n);

}  // namespace zeprix::fft
