// The binary-splitting recursion, written once for every storage of the block numbers:
// SmallInt leaves, in-memory BigInts and, in the disk modes, disk integers.
#pragma once

#include "core/check.hpp"

namespace zeprix::series {

// A block (n0, n1) covers the terms n0 + 1 .. n1 and has the integers A, P, Q of the
// series (see SplitSeries). The recursion splits the block at m, computes the left half
// into the block's numbers and the right half into views on the unused tails of those
// numbers (nothing is allocated inside the recursion), then joins
//   A = A1 A2,  P = P1 Q2 + A1 P2,  Q = Q1 Q2.
//
// A Store supplies the storage and the arithmetic:
//   Block                        handles of one block's A (may be absent), P, Q
//   Tail                         owns the views of a right half; tail.block() its Block
//   bool IsLeaf(n0, n1)          the block is computed directly by Leaf
//   void Leaf(n0, n1, b, doA)    A (when doA is nonzero), P, Q of a leaf block
//   double Split(n0, n1)         the split point, strictly between n0 and n1
//   Tail(s, b)                   constructs the views after the numbers of b's left half
//   void Join(n0, n1, l, r, doA) l = l joined with r (A formed only when doA is nonzero)
// and the hooks of SplitHooks (a driver that stops at a time threshold or skips a half
// that an earlier run computed overrides them).
struct SplitHooks {
    // Whether to compute the left half (n0, m) at this depth (a resumed run skips one
    // that is already in its numbers).
    bool RunLeft(double /*n0*/, double /*m*/, int /*depth*/) { return true; }
    // After a half (0 left, 1 right) at this depth; false stops the recursion there.
    bool HalfDone(int /*half*/, int /*depth*/) { return true; }
    // After the join of (n0, n1) at this depth.
    void Joined(double /*n0*/, double /*n1*/, int /*depth*/) {}
};

// Computes block (n0, n1) into b. Returns false when a hook stopped the recursion (the
// numbers then hold the halves computed so far, for a later run to continue).
template <class Store>
bool SplitRecursion(Store& s, double n0, double n1, typename Store::Block b, long doComputeA,
                    int depth = 0) {
    if (s.IsLeaf(n0, n1)) {
        s.Leaf(n0, n1, b, doComputeA);
        return true;
    }
    const double m = s.Split(n0, n1);
    ZEPRIX_ASSERT(n0 < m && m < n1);
    // A store may compute both halves at once and join them itself.
    if constexpr (requires { s.HalvesTogether(n0, m, n1, b, doComputeA, depth); }) {
        if (s.HalvesTogether(n0, m, n1, b, doComputeA, depth)) {
            s.Joined(n0, n1, depth);
            return true;
        }
    }
    if (s.RunLeft(n0, m, depth)) {
        if (!SplitRecursion(s, n0, m, b, 1, depth + 1)) return false;
        if (!s.HalfDone(0, depth)) return false;
    }
    typename Store::Tail tail(s, b);
    if (!SplitRecursion(s, m, n1, tail.block(), doComputeA, depth + 1)) return false;
    if (!s.HalfDone(1, depth)) return false;
    s.Join(n0, n1, b, tail.block(), doComputeA);
    s.Joined(n0, n1, depth);
    return true;
}

}  // namespace zeprix::series
