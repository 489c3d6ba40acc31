// RatioReporter: the console output of Google Benchmark, keeping each
// benchmark's time per iteration over its repetitions so that a program can
// print one benchmark's median time as a ratio to a baseline measured in the
// same run.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace velmora::bench {

// Prints as usual and keeps each benchmark's real and CPU time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    enum class Time { Real, Cpu };

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Times& t = times_[run.run_name.function_name];
            t.real.push_back(run.GetAdjustedRealTime());
            t.cpu.push_back(run.GetAdjustedCPUTime());
            t.perSecond = benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }
    // The first benchmark's median time over the second's; zero when either
    // did not run (filtered out or failed).
    double Ratio(const std::string& measured, const std::string& baseline, Time time = Time::Real) const {
        const auto m = times_.find(measured), b = times_.find(baseline);
        if (m == times_.end() || b == times_.end()) return 0.0;
        return m->second.Median(time) / b->second.Median(time);
    }

    // A benchmark's median time per iteration in seconds; zero when it did not run.
    double Seconds(const std::string& name, Time time = Time::Real) const {
        const auto m = times_.find(name);
        return m == times_.end() ? 0.0 : m->second.Median(time) / m->second.perSecond;
    }

private:
    struct Times {
        std::vector<double> real, cpu;
        double perSecond = 1; // the unit's ticks in a second
        double Median(Time time) const {
            std::vector<double> v = time == Time::Real ? real : cpu;
            std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
            return v[v.size() / 2];
        }
    };
    std::map<std::string, Times> times_;
};

// A benchmark program's main: runs the benchmarks the command line selects
// through `reporter`, then `summary` (its figures). 1 for an unknown argument.
template <typename Summary>
int RunBenchmarks(int argc, char** argv, benchmark::BenchmarkReporter& reporter, Summary summary) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    summary();
    benchmark::Shutdown();
    return 0;
}

} // namespace velmora::bench
