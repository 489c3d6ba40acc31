// How late the host sees its data and what the worker costs: the age of the
// newest kadr the host holds after each of its polls (every poll, the empty
// ones too), for a host polling every 1 ms and every 100 ms at 500 kS/s over
// 32 channels and at 1000 kadrs/s over 4, and the worker thread's CPU time
// at rest (a start waiting for a TRIG edge that never comes) and at 500 kS/s
// for a host draining every 10 ms (and, with the ages, for each host above),
// also as a multiple of a thread beside it that only wakes every hand-over;
// and what wake-ups alone cost at the worker's fastest and slowest hand-overs.
// Real time on the simulated module; one recording per benchmark. An age
// run fails unless it recorded its whole span: every frame the module made
// within it reached the host, but for the last hand-over's, and the
// recording still ran at the end; the program then exits 1.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "chain.h"
#include "cpu_time.h"
#include "e16sim_control.h"
#include "engine/acquisition.h"

namespace {

using velmora::bench::Chain;
using velmora::bench::ChainSetup;
using velmora::bench::Clock;
using velmora::core::StartMode;

Chain& TheChain() {
    static Chain chain;
    return chain;
}

// A benchmark that failed; the program then exits 1.
bool g_failed = false;

void Fail(benchmark::State& state, const char* why) {
    state.SkipWithError(why);
    g_failed = true;
}

double Quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0.0;
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

// A thread that only wakes every `period`, beside the worker for as long as
// it is measured: what waking alone costs on this machine at that moment, a
// baseline that moves with the machine as the worker's own figure does.
class WakeUpFloor {
public:
    explicit WakeUpFloor(Clock::duration period) : sleeper_([this, period] { Sleep(period); }) {}
    ~WakeUpFloor() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        sleeper_.join();
    }
    // Its share of one core since it began.
    double Share() const {
        const double wall = std::chrono::duration<double>(Clock::now() - began_).count();
        return wall > 0.0 ? cpu_.load() / wall : 0.0;
    }

private:
    void Sleep(Clock::duration period) {
        const double cpu0 = velmora::bench::ThreadCpuSeconds();
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, period, [this] { return stop_; }))
            cpu_ = velmora::bench::ThreadCpuSeconds() - cpu0;
    }

    const Clock::time_point began_ = Clock::now();
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<double> cpu_{0.0};
    std::thread sleeper_; // last: it starts once the rest is made
};

// The worker's share of a core, and as a multiple of waking alone every
// hand-over, measured beside it.
void ReportCpu(benchmark::State& state, double share, double floor) {
    state.counters["worker_cpu_percent"] = 100.0 * share;
    state.counters["wakeups_cpu_percent"] = 100.0 * floor;
    state.counters["worker_over_wakeups"] = floor > 0.0 ? share / floor : 0.0;
}

// Args: poll ms, seconds, channels (32 at 15625 kadrs/s, else 1000 kadrs/s),
// and 1 to have the simulator replay 1000 frames it made once: the worker's
// CPU is then the driver's and the library's, without the synthesis of the
// signals that a real module does in hardware.
void BM_NewestKadrAge(benchmark::State& state) {
    const auto poll = std::chrono::milliseconds(state.range(0));
    const auto span = std::chrono::seconds(state.range(1));
    const auto channels = static_cast<int32_t>(state.range(2));
    const ChainSetup setup{channels, channels == 32 ? 15625.0f : 1000.0f};
    // The most a host can be behind the module and still have every kadr
    // come: one slowest hand-over's and a kadr cut at its end.
    const auto handOver =
        static_cast<int64_t>(std::ceil(setup.rate * velmora::engine::kSlowestHandOverMs / 1000.0)) + 1;
    e16sim_set_replay(state.range(3) != 0 ? 1000 : 0);
    Chain& chain = TheChain();
    std::vector<double> ages;
    int64_t withData = 0, behind = 0;
    double cpu = 0.0, wall = 0.0, floor = 0.0;
    for (auto _ : state) {
        if (!chain.Start(setup)) {
            Fail(state, "the recording did not start");
            return;
        }
        const WakeUpFloor wakeUps{std::chrono::milliseconds(velmora::engine::kHandOverMs)};
        const auto began = Clock::now();
        for (const auto end = began + span; Clock::now() < end;) {
            std::this_thread::sleep_for(poll);
            withData += chain.Drain() > 0;
            if (chain.Kadrs() > 0) ages.push_back(chain.NewestAgeMs());
        }
        cpu = chain.WorkerCpuSeconds();
        wall = std::chrono::duration<double>(Clock::now() - began).count();
        floor = wakeUps.Share();
        // A worker held up just at the span's end gets a second to catch up.
        const int64_t made = chain.FramesMade();
        behind = made - chain.Kadrs();
        for (const auto end = Clock::now() + std::chrono::seconds(1);
             made - chain.Kadrs() > handOver && Clock::now() < end;) {
            std::this_thread::sleep_for(poll);
            chain.Drain();
        }
        const bool ran = chain.Busy();
        chain.Stop();
        if (chain.Breaks() != 0)
            Fail(state, "kadrs lost or repeated");
        else if (!ran)
            Fail(state, "the recording ended before the host stopped it");
        else if (made - chain.Kadrs() > handOver)
            Fail(state, "the kadrs held fall short of the frames made by more than a hand-over");
    }
    e16sim_set_replay(0);
    state.counters["age_median_ms"] = Quantile(ages, 0.5);
    state.counters["age_p90_ms"] = Quantile(ages, 0.9);
    state.counters["age_p99_ms"] = Quantile(ages, 0.99);
    state.counters["age_max_ms"] = ages.empty() ? 0.0 : *std::max_element(ages.begin(), ages.end());
    state.counters["kadrs_behind_at_end"] = static_cast<double>(behind);
    state.counters["polls"] = static_cast<double>(ages.size());
    state.counters["polls_with_data"] = static_cast<double>(withData);
    ReportCpu(state, wall > 0.0 ? cpu / wall : 0.0, floor);
}

// The worker's share of one core over `span`, after a second to settle.
void WorkerCpu(benchmark::State& state, const ChainSetup& setup) {
    const auto span = std::chrono::seconds(state.range(0));
    Chain& chain = TheChain();
    double share = 0.0, floor = 0.0;
    for (auto _ : state) {
        if (!chain.Start(setup)) {
            Fail(state, "the recording did not start");
            return;
        }
        auto drainFor = [&](Clock::duration d) {
            for (const auto end = Clock::now() + d; Clock::now() < end;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                chain.Drain();
            }
        };
        drainFor(std::chrono::seconds(1));
        const WakeUpFloor wakeUps{std::chrono::milliseconds(velmora::engine::kHandOverMs)};
        const double cpu0 = chain.WorkerCpuSeconds();
        const auto wall0 = Clock::now();
        drainFor(span);
        const double cpu = chain.WorkerCpuSeconds() - cpu0;
        share = cpu / std::chrono::duration<double>(Clock::now() - wall0).count();
        floor = wakeUps.Share();
        chain.Stop();
    }
    ReportCpu(state, share, floor);
}

void BM_WorkerCpuAtRest(benchmark::State& state) {
    WorkerCpu(state, ChainSetup{1, 1000.0f, 1048576, StartMode::Syn1Rise});
}
void BM_WorkerCpu500k1Channel(benchmark::State& state) {
    WorkerCpu(state, ChainSetup{1, 500000.0f});
}
void BM_WorkerCpu500k32Channels(benchmark::State& state) {
    WorkerCpu(state, ChainSetup{32, 15625.0f});
}

// The floor under any worker that wakes every `ms`: a thread doing nothing
// but sleeping that long on a condition variable, its CPU share of a core.
void BM_WakeUpsAlone(benchmark::State& state) {
    double share = 0.0;
    for (auto _ : state) {
        WakeUpFloor floor{std::chrono::milliseconds(state.range(0))};
        std::this_thread::sleep_for(std::chrono::seconds(5));
        share = floor.Share();
    }
    state.counters["cpu_percent"] = 100.0 * share;
}

BENCHMARK(BM_NewestKadrAge)
    ->Args({1, 60, 32, 0})
    ->Args({1, 60, 32, 1})
    ->Args({100, 10, 32, 0})
    ->Args({1, 10, 4, 0})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_WorkerCpuAtRest)->Arg(10)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WorkerCpu500k1Channel)->Arg(5)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WorkerCpu500k32Channels)->Arg(5)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WakeUpsAlone)
    ->Arg(velmora::engine::kHandOverMs)
    ->Arg(velmora::engine::kSlowestHandOverMs)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_failed ? 1 : 0;
}
