// The worker's per-block step, exactly as it runs: a block of fresh volts (a
// different one each iteration, every value inside its channel's range)
// times each channel's codes per volt, turned into 16-bit codes straight in
// the input ring, with the SSE2 and the AVX2 kernel; against a plain copy of
// the same output bytes into the same ring. CPU time; the ratios are of
// medians over the repetitions.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ratio_reporter.h"

#include "engine/input_ring.h"
#include "engine/volts_to_codes.h"

namespace {

using velmora::engine::CodeKernel;
using velmora::engine::CodeScales;
using velmora::engine::InputRing;

constexpr int32_t kChannels = 32;
constexpr int32_t kBlockKadrs = 1024; // the worker's block at 32 channels and 500 kS/s
constexpr std::size_t kBlock = std::size_t{kChannels} * kBlockKadrs;
constexpr int32_t kRingKadrs = 32768; // the default ring for 32 channels: 2 MiB, beyond the caches
// Fresh values at each iteration, from a footprint near the worker's (whose
// block the library has just written): four blocks of volts in turn.
constexpr std::size_t kFreshBlocks = 4;

constexpr double kFullScale[4] = {10.0, 2.5, 0.625, 0.15625};

// The ring as the worker finds it, blocks of volts as the library hands them
// over, and the codes a copy writes.
struct Worker {
    InputRing ring;
    CodeScales scales;
    std::vector<std::vector<double>> volts;
    std::vector<int16_t> codes = std::vector<int16_t>(kBlock);
    std::size_t next = 0;

    Worker() {
        std::string error;
        ring.Allocate(kChannels, kRingKadrs, error);
        std::vector<double> perChannel(kChannels);
        for (int32_t c = 0; c < kChannels; ++c) perChannel[c] = 3200.0 * (1 << (2 * (c % 4)));
        scales = CodeScales(perChannel);
        std::mt19937_64 random(1);
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        volts.assign(kFreshBlocks, std::vector<double>(kBlock));
        for (auto& block : volts)
            for (std::size_t i = 0; i < kBlock; ++i) block[i] = kFullScale[i % kChannels % 4] * unit(random);
        for (std::size_t i = 0; i < kBlock; ++i) codes[i] = static_cast<int16_t>(i);
    }
    const double* FreshVolts() {
        next = (next + 1) % kFreshBlocks;
        return volts[next].data();
    }
    // The host has read everything: the next block always has room.
    void Drained() { ring.DropUnread(); }
};

void Pipeline(benchmark::State& state, CodeKernel kernel) {
    if (!velmora::engine::KernelRuns(kernel)) {
        state.SkipWithError("this processor lacks the kernel");
        return;
    }
    Worker w;
    for (auto _ : state) {
        w.ring.WriteVolts(w.FreshVolts(), w.scales, kBlockKadrs, kernel);
        w.Drained();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBlock));
}

void BM_PipelineSse2(benchmark::State& state) {
    Pipeline(state, CodeKernel::Sse2);
}
void BM_PipelineAvx2(benchmark::State& state) {
    Pipeline(state, CodeKernel::Avx2);
}

void BM_PlainCopy(benchmark::State& state) {
    Worker w;
    for (auto _ : state) {
        w.ring.Write(w.codes.data(), kBlockKadrs);
        w.Drained();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBlock));
}

BENCHMARK(BM_PipelineSse2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PipelineAvx2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    velmora::bench::RatioReporter reporter;
    return velmora::bench::RunBenchmarks(argc, argv, reporter, [&] {
        using Time = velmora::bench::RatioReporter::Time;
        for (const char* kernel : {"Sse2", "Avx2"}) {
            const double ratio =
                reporter.Ratio(std::string("BM_Pipeline") + kernel, "BM_PlainCopy", Time::Cpu);
            if (ratio > 0.0) std::printf("pipeline (%s) / copy, CPU time: %.2f\n", kernel, ratio);
        }
    });
}
