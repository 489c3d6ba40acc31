// Headroom of the whole chain: the simulated module's clock runs k times
// faster than the wall clock (the driver is not told), 32 channels at
// 500 kS/s in all as the driver sees them, and a host drains with GetData
// every millisecond. Short runs screen rising factors; the highest that
// passed must then sustain a full run (60 s by default) with no lost or
// repeated kadr, or the next lower one is tried. Prints that factor as a
// multiple of 500 kS/s, then the simulator's share of the worker's time at
// that factor: the worker's CPU against a run where the simulator replays
// words it made once (1000 frames, so the ramp runs on) instead of working
// out every sample. Exits 1 when no factor sustained.
//   chain_headroom_bench [--seconds=N] [Google Benchmark options]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "chain.h"
#include "e16sim_control.h"

namespace {

using velmora::bench::Chain;
using velmora::bench::ChainSetup;
using velmora::bench::Sustain;
using velmora::bench::SustainRun;

constexpr uint32_t kFactors[] = {1, 2, 5, 10, 15, 20, 25, 30, 40, 50, 60, 80, 100, 150, 200, 250, 300};
constexpr auto kScreen = std::chrono::seconds(3);
constexpr auto kPoll = std::chrono::milliseconds(1);
constexpr auto kGrace = std::chrono::seconds(2);

Chain& TheChain() {
    static Chain chain;
    return chain;
}

std::map<uint32_t, bool> g_sustained; // factor -> passed

void RunAt(benchmark::State& state, uint32_t factor, std::chrono::seconds span) {
    SustainRun run;
    for (auto _ : state) {
        e16sim_set_time_scale(factor);
        run = Sustain(TheChain(), ChainSetup{}, span, kPoll, kGrace);
    }
    g_sustained[factor] = run.sustained;
    state.counters["sustained"] = run.sustained ? 1 : 0;
    state.counters["kadrs"] = static_cast<double>(run.kadrs);
    state.counters["lost_or_repeated"] = static_cast<double>(run.breaks);
    state.counters["missing"] = static_cast<double>(run.missing);
    state.counters["worker_cpu_percent"] = 100.0 * run.workerCpuSeconds / run.wallSeconds;
    if (!run.started) state.SkipWithError("the recording did not start");
}

void Register(const std::string& name, uint32_t factor, std::chrono::seconds span) {
    benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) { RunAt(state, factor, span); })
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
}

// --seconds=N, taken out of the arguments before Google Benchmark sees them.
std::chrono::seconds TakeSeconds(int& argc, char** argv) {
    std::chrono::seconds span(60);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) != 0) continue;
        span = std::chrono::seconds(std::atoi(argv[i] + 10));
        for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
        --argc;
        break;
    }
    return span;
}

// The worker's share of a core over a screening run at `factor`, the
// simulator working out every sample or replaying `replay` frames.
double WorkerShare(uint32_t factor, uint32_t replay) {
    e16sim_set_time_scale(factor);
    e16sim_set_replay(replay);
    const SustainRun run = Sustain(TheChain(), ChainSetup{}, kScreen, kPoll, kGrace);
    e16sim_set_replay(0);
    return run.sustained ? run.workerCpuSeconds / run.wallSeconds : 0.0;
}

void PrintSimulatorShare(uint32_t factor) {
    const double whole = WorkerShare(factor, 0), replayed = WorkerShare(factor, 1000);
    if (whole <= 0.0 || replayed <= 0.0) {
        std::printf("the simulator's share: a run at %u x did not sustain\n", factor);
        return;
    }
    std::printf("at %u x 500 kS/s the worker takes %.1f %% of a core, %.1f %% with the simulator replaying "
                "words made once: the simulator's synthesis is %.0f %% of the worker's time\n",
                factor, 100.0 * whole, 100.0 * replayed, 100.0 * (whole - replayed) / whole);
}

} // namespace

int main(int argc, char** argv) {
    const std::chrono::seconds span = TakeSeconds(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::ConsoleReporter reporter; // one for the several runs below
    // Screening: rising factors until one fails.
    std::vector<uint32_t> passed;
    for (const uint32_t factor : kFactors) {
        Register("BM_Screen/" + std::to_string(factor), factor, kScreen);
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::ClearRegisteredBenchmarks();
        if (!g_sustained[factor]) break;
        passed.push_back(factor);
    }
    // The full run, from the highest factor screened down.
    uint32_t best = 0;
    for (auto it = passed.rbegin(); it != passed.rend() && best == 0; ++it) {
        Register("BM_Sustain/" + std::to_string(*it) + "/seconds:" + std::to_string(span.count()), *it, span);
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::ClearRegisteredBenchmarks();
        if (g_sustained[*it]) best = *it;
    }
    std::printf("highest rate sustained for %lld s with no lost or repeated kadr: %u x 500 kS/s\n",
                static_cast<long long>(span.count()), best);
    if (best > 0) PrintSimulatorShare(best);
    benchmark::Shutdown();
    return best > 0 ? 0 : 1;
}
