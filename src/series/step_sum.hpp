// The loop of a stepped evaluation, written once for every storage of its accumulator
// (in-memory BigInts in the standard mode, disk integers in the disk modes).
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace zeprix::series {

// Limbs that the accumulated pair keeps after the step starting at term b of N: the terms
// from b on only reach the share R - trunc(b / N R) of the R limbs of the quotient. At
// least kMinKeep: a truncated product keeps its top limbs from the highest position a
// product of its lengths can reach, which may hold 0, so a pair cut to one limb could
// become 0 / 0 (and stop the computation) where two limbs keep its value.
inline constexpr long kMinKeep = 3;
inline long KeepFor(double b, double N, long R) {
    const long keep = R - static_cast<long>(b / N * static_cast<double>(R));
    return keep > kMinKeep ? keep : kMinKeep;
}

// Steps b(0) = 0 < b(1) < .. < b(K) < N are evaluated from the last block (b(K), N) to the
// first, each joined onto the accumulated block on its right. next is the index of the
// step to compute first: K in a fresh run, less in a run that resumes one that stopped.
// An Acc supplies:
//   void First(K, b, N, keep)       the block (b, N) into the accumulator, cut to keep limbs
//   void Step(i, b0, b1, keep)      the block (b0, b1) joined onto the accumulator:
//                                   accP = stepP accQ + stepA accP, accQ = stepQ accQ, the
//                                   pair cut to keep limbs
//   bool StepDone(i)                after step i; false stops the evaluation there (a later
//                                   run resumes with next = i - 1)
// keeps, when given, holds the limbs to keep after each step (one per bound) for a series
// whose terms do not fall geometrically; otherwise KeepFor gives them. Returns true when
// step 0 is done.
template <class Acc>
bool AccumulateSteps(Acc& acc, const std::vector<double>& bounds, double N, long R, long next,
                     const std::vector<long>* keeps = nullptr) {
    const long K = static_cast<long>(bounds.size()) - 1;
    for (long i = next; i >= 0; --i) {
        const std::size_t at = static_cast<std::size_t>(i);
        const double b0 = bounds[at];
        const long keep = keeps ? std::max((*keeps)[at], kMinKeep) : KeepFor(b0, N, R);
        if (i == K)
            acc.First(K, b0, N, keep);
        else
            acc.Step(i, b0, bounds[at + 1], keep);
        if (!acc.StepDone(i)) return false;
    }
    return true;
}

}  // namespace zeprix::series
