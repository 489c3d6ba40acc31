// The worker's per-block step (volts times the per-position scale, then 16-bit
// codes written into the input ring) against a plain copy of the same number
// of codes into the same ring, and the ratio of the two.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ratio_reporter.h"

#include "output/dsp.h"

namespace {

constexpr std::size_t kChannels = 32;
constexpr std::size_t kKadrs = 1024;
constexpr std::size_t kBlock = kChannels * kKadrs;
constexpr std::size_t kRingBlocks = 16; // the ring is larger than the caches, as in a recording

// The worker's data: a block of volts, the scale table lined up with it, and
// the ring it writes into block after block.
struct Blocks {
    std::vector<double> values = std::vector<double>(kBlock);
    std::vector<double> scale = std::vector<double>(kBlock);
    std::vector<int16_t> codes = std::vector<int16_t>(kBlock);
    std::vector<int16_t> ring = std::vector<int16_t>(kBlock * kRingBlocks);
    std::size_t next = 0;

    Blocks() {
        for (std::size_t i = 0; i < kBlock; ++i) {
            const std::size_t channel = i % kChannels;
            scale[i] = 3200.0 * static_cast<double>(1u << (2 * (channel % 4))); // the four ranges
            values[i] = 0.001 * static_cast<double>(i % 20011) - 10.0;
            codes[i] = static_cast<int16_t>(i);
        }
    }
    int16_t* NextSlot() {
        int16_t* slot = ring.data() + next * kBlock;
        next = (next + 1) % kRingBlocks;
        return slot;
    }
};

// The block is scaled in place again at every iteration, as the worker does
// with each new block; the values soon saturate to infinity, which costs the
// same as finite ones (no denormals arise) and keeps the clipping busy.
void BM_BlockPipeline(benchmark::State& state) {
    Blocks b;
    for (auto _ : state) {
        velmora::output::Multiply(b.values.data(), b.scale.data(), kBlock);
        velmora::output::DoubleToInt16(b.values.data(), b.NextSlot(), kBlock);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBlock));
}

void BM_PlainCopy(benchmark::State& state) {
    Blocks b;
    for (auto _ : state) {
        std::copy(b.codes.begin(), b.codes.end(), b.NextSlot());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBlock));
}

BENCHMARK(BM_BlockPipeline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    velmora::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (const double ratio = reporter.Ratio("BM_BlockPipeline", "BM_PlainCopy"); ratio > 0.0)
        std::printf("pipeline/copy ratio: %.2f\n", ratio);
    benchmark::Shutdown();
    return 0;
}
