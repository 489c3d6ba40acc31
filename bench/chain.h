// Chain: a whole recording chain in one process for the benchmarks and the
// soak: the driver's engine over the simulated module, reached through a
// vendor table that notes when the streams start and which thread receives,
// and a host that drains the ring with GetData and follows the Y16 frame
// ramp on the last channel. Host thread only; one Chain per process.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "core/start_sync.h"
#include "engine/driver_state.h"

namespace velmora::bench {

using Clock = std::chrono::steady_clock;

struct ChainSetup {
    int32_t channels = 32; // logical 0..channels-1, the last one on Y16 against ground
    float rate = 15625.0f; // per channel, as the host asks
    int32_t ringRequest = 1048576;
    core::StartMode start = core::StartMode::Internal;
};

class Chain {
public:
    // A detected module at 127.0.0.1, settings in a private folder.
    Chain();
    ~Chain();
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    bool Start(const ChainSetup& setup);
    void Stop();

    // GetData of everything unread (at most a ring's worth); the kadrs taken.
    int32_t Drain();
    // How old the newest kadr taken is now, in ms of wall time.
    double NewestAgeMs() const;
    int64_t Kadrs() const { return kadrs_; }
    // Kadrs whose ramp value was not the next frame's: lost or repeated.
    int64_t Breaks() const { return breaks_; }
    // Frames the module has made since its streams started.
    int64_t FramesMade() const;

    // CPU time of the worker thread as of its latest receive, kept after
    // the worker ended; 0 before its first receive.
    double WorkerCpuSeconds() const;
    // The recording runs: neither stopped nor ended by itself.
    bool Busy() const { return s_.acquisition.Busy(); }
    // The simulator's, read at the start: its clock runs that many times
    // faster than the wall clock.
    double TimeScale() const { return timeScale_; }
    // The worker's block, in kadrs.
    int32_t BlockKadrs() const { return s_.acquisition.blocks.blockKadrs; }
    int32_t RingKadrs() const { return s_.ring.Capacity(); }

private:
    engine::DriverState s_;
    std::filesystem::path config_;
    std::vector<int16_t> buffer_;
    int32_t channels_ = 0;
    double frameSeconds_ = 0.0; // of the module's clock
    double timeScale_ = 1.0;
    int64_t kadrs_ = 0, breaks_ = 0;
};

// One recording drained with GetData every `poll` for `span` of wall time;
// then the host goes on draining until every frame the module made within
// the span has arrived, for at most `grace`. Sustained: all of them came,
// in order.
struct SustainRun {
    bool started = false, sustained = false;
    int64_t kadrs = 0, breaks = 0;
    int64_t missing = 0; // frames made within the span that never arrived
    double workerCpuSeconds = 0.0, wallSeconds = 0.0;
    int64_t residentStartKiB = 0, residentEndKiB = 0; // after the first second, at the span's end
};
SustainRun Sustain(Chain& chain, const ChainSetup& setup, Clock::duration span, Clock::duration poll,
                   Clock::duration grace);

// Process CPU time and resident memory, for the soak's report.
double ProcessCpuSeconds();
int64_t ResidentKiB();

} // namespace velmora::bench
