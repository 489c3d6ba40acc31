// The soak: one long recording through the whole chain (32 channels at
// 500 kS/s in all, a host draining with GetData every millisecond), with the
// simulated module's clock E16SIM_TIME_SCALE times faster than the wall
// clock so that an hour of the module's time passes in minutes. Reports the
// kadrs lost or repeated, the process's resident memory after the first
// second and at the end, and its CPU time. Fails (exit 1) on any loss.
//   chain_soak [MODULE_SECONDS]   (default 3600)
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "chain.h"
#include "e16sim_control.h"

int main(int argc, char** argv) {
    using namespace velmora::bench;
    const double moduleSeconds = argc > 1 ? std::atof(argv[1]) : 3600.0;
    Chain chain; // the simulator takes its time scale from the environment
    const double scale = e16sim_get_time_scale();
    const auto span =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(moduleSeconds / scale));
    const double cpu0 = ProcessCpuSeconds();
    const SustainRun run =
        Sustain(chain, ChainSetup{}, span, std::chrono::milliseconds(1), std::chrono::seconds(5));
    const double cpu = ProcessCpuSeconds() - cpu0;
    if (!run.started) {
        std::fprintf(stderr, "chain_soak: the recording did not start\n");
        return 1;
    }
    std::printf("module time: %.0f s at 500 kS/s (32 channels), clock %gx, wall time %.1f s\n", moduleSeconds,
                scale, run.wallSeconds);
    std::printf("kadrs: %lld received, %lld lost or repeated, %lld missing at the end\n",
                static_cast<long long>(run.kadrs), static_cast<long long>(run.breaks),
                static_cast<long long>(run.missing));
    std::printf("resident memory: %lld KiB after the first second, %lld KiB at the end\n",
                static_cast<long long>(run.residentStartKiB), static_cast<long long>(run.residentEndKiB));
    std::printf("CPU time: %.1f s for the process, %.1f s of it the worker's\n", cpu, run.workerCpuSeconds);
    return run.sustained ? 0 : 1;
}
