// Work of the NTT product spread over the threads of the run: a loop of independent chunks
// (core::ParallelFor) and the bounds of equal chunks of a range.
#pragma once

#include <algorithm>
#include <functional>

#include "core/parallel.hpp"

namespace zeprix::ntt {

// fn(i, slot) for every i < count on the threads of the run; fn is passed by reference, so
// that the call copies nothing (with one thread it is a plain loop on the caller).
template <class F>
void ForEachChunk(long count, F&& fn) {
    core::ParallelFor(count, std::ref(fn));
}

// Chunk k of `chunks` nearly equal chunks of [0, total): its first index.
inline long ChunkStart(long total, long chunks, long k) {
    return total / chunks * k + std::min(k, total % chunks);
}

// How many chunks of at least `least` items (>= 1) split `total` items for the threads:
// `perThread` per thread, one with one thread or a small total. Several a thread, so that
// a thread the system pauses in the middle of a chunk holds the others up only briefly.
inline long ChunkCount(long total, long least, long perThread) {
    const long threads = core::ThreadCount();
    if (threads == 1) return 1;
    return std::clamp(total / std::max(least, 1L), 1L, threads * perThread);
}

}  // namespace zeprix::ntt
