// Stepped evaluation of a series in the standard mode: the series is cut into steps whose
// products fit the FFT size, evaluated from the last step to the first and accumulated
// into a P/Q pair truncated to the precision still needed.
#pragma once

#include <vector>

#include "numbers/big_int.hpp"
#include "series/split_series.hpp"

namespace zeprix::series {

// The numbers of a stepped evaluation. R is the length in limbs of the final quotient.
struct SteppedSums {
    BigInt stepA, stepP, stepQ;  // one step's block: 2 ceil(log2 N) + F/3 limbs each
    BigInt accP, accQ, X;        // accumulated block and scratch: R + 2 limbs, target R
    long R = 0;

    // Allocates every number for N terms, FFT size F points and quotient length R.
    void Alloc(double N, long F, long quotientLength);
    void Free();
};

// Limbs of the final quotient for a digit count: max(trunc((digits + 100) ln 10 /
// ln 10^12) + 1, F/3).
long SteppedQuotientLength(double digits, long F);

// Step boundaries b(0) = 0 < b(1) < .. < b(K) < N for steps of S terms: b(i) = i S,
// K = floor(N / S), less one when K S >= N so that the last step is never empty.
std::vector<double> UniformSteps(double N, double S);

// Terms per step for a series whose factors have natural logarithm termSize at most:
// floor((F/3 - 2) ln 10^12 / termSize) - 1. Fatal "Your FFT size is too small to achieve
// this computation" below 2.
double TermsPerStep(long F, double termSize);

// Evaluates a series over (0, N) step by step (a series without A, keepsA false, uses
// stepA as the scratch of its joins) (bounds from UniformSteps or a class's
// own table) into s.accP / s.accQ, printing "Starting step %ld" lines, dots and the
// series time. The accumulated pair keeps, after the step starting at b, the top
// R - trunc(b / N R) limbs: the terms from b on only reach that share of the digits.
// The FFT must be set up for F.
// keeps: the limbs the pair keeps after each step (one per bound), for a series whose terms
// do not fall geometrically; empty: the share R - trunc(b / N R).
void EvaluateStepped(SplitSeries& series, const std::vector<double>& bounds, double N,
                     SteppedSums& s, const std::vector<long>& keeps = {});

}  // namespace zeprix::series
