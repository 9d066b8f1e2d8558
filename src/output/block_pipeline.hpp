// The writers' loop over the blocks of a number: each block is read, converted (to text, or
// to packed words) and written; reads and writes go in block order, one at a time, while
// the conversions run on every thread of the run.
#pragma once

#include <functional>

namespace zeprix::output {

// A stage applied to one block: block is its index, slot the buffers it uses.
using BlockStage = std::function<void(long block, long slot)>;

// Runs read, convert and write over blocks 0 .. blocks - 1. A slot holds the input of a
// block (filled by read) and its output (filled by convert from that input, put in place
// by write); each stage touches only the part of the slot it fills or consumes, because in
// one step a slot's input receives a later block while its output is being written.
//   - Reads happen in increasing block order, never two at once; so do writes. The read
//     of a block comes before its conversion, and the conversion before its write, so the
//     output is the same whatever the number of threads.
//   - Conversions of different blocks run at the same time: convert may only change its
//     slot and must read nothing that another stage changes.
//
// With one thread (or fewer than two blocks) there is one slot, and each block is read,
// converted and written in turn on the calling thread: no buffer beyond one block's.
// Otherwise the blocks go in batches of 4 per thread, and the slots form two sets of one
// batch each: at step s, one thread reads batch s into one set, one thread writes batch
// s - 2 from the same set's outputs, and every thread converts batch s - 1 in the other
// set. A stage that throws (a fatal error, a failed write) ends the run after the step
// in progress, and the exception comes out of Run on the calling thread.
class BlockPipeline {
public:
    explicit BlockPipeline(long blocks);

    // Whether blocks go through batches of slots (else one slot, block after block).
    bool Batched() const { return batch_ > 0; }
    // Slots the stages use: indices 0 .. Slots() - 1.
    long Slots() const;
    void Run(const BlockStage& read, const BlockStage& convert, const BlockStage& write) const;

private:
    long blocks_;
    long batch_ = 0;  // blocks per batch (0: sequential)
};

}  // namespace zeprix::output
