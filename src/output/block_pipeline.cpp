// The writers' loop over blocks: sequential on one thread, a three-stage pipeline of
// batches otherwise.
#include "output/block_pipeline.hpp"

#include <algorithm>

#include "core/parallel.hpp"

namespace zeprix::output {

namespace {

// Blocks per batch and thread: enough chunks for the threads to stay busy while one of them
// reads and one writes, few enough that the two sets of slots stay small.
constexpr long kBlocksPerThread = 4;

}  // namespace

BlockPipeline::BlockPipeline(long blocks) : blocks_(blocks) {
    const int threads = core::ThreadCount();
    if (threads > 1 && blocks > 1) batch_ = kBlocksPerThread * threads;
}

long BlockPipeline::Slots() const { return Batched() ? std::min(blocks_, 2 * batch_) : 1; }

void BlockPipeline::Run(const BlockStage& read, const BlockStage& convert,
                        const BlockStage& write) const {
    if (!Batched()) {
        for (long b = 0; b < blocks_; ++b) {
            read(b, 0);
            convert(b, 0);
            write(b, 0);
        }
        return;
    }
    const long K = batch_;
    const long batches = (blocks_ + K - 1) / K;
    // Batch i uses slot set i mod 2: its reads and its conversions never meet the other
    // set, which holds the batch converted just before (written now) or after (read now).
    auto slot = [K](long b) { return (b / K) % 2 * K + b % K; };
    auto each = [&](long batch, const BlockStage& stage) {
        for (long b = batch * K; b < std::min(blocks_, (batch + 1) * K); ++b) stage(b, slot(b));
    };
    for (long s = 0; s < batches + 2; ++s) {
        const long converted = s - 1;
        const long conversions =
            converted >= 0 && converted < batches ? std::min(K, blocks_ - converted * K) : 0;
        // Chunks are claimed in order: the read and the write start first, each on a thread
        // of its own, and every thread then takes conversions.
        core::ParallelFor(2 + conversions, [&](long i, int) {
            if (i == 0) {
                if (s < batches) each(s, read);
            } else if (i == 1) {
                if (s >= 2) each(s - 2, write);
            } else {
                const long b = converted * K + i - 2;
                convert(b, slot(b));
            }
        });
    }
}

}  // namespace zeprix::output
