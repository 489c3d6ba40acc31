// RatioReporter: the console output of Google Benchmark, keeping each
// benchmark's mean time so that a program can print one benchmark's time as
// a ratio to a baseline measured in the same run.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace velmora::bench {

// Prints as usual and keeps each benchmark's mean real time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Mean& m = times_[run.run_name.function_name];
            m.sum += run.GetAdjustedRealTime();
            ++m.count;
        }
    }
    // The first benchmark's time over the second's; zero when either did
    // not run (filtered out or failed).
    double Ratio(const std::string& measured, const std::string& baseline) const {
        const auto m = times_.find(measured), b = times_.find(baseline);
        if (m == times_.end() || b == times_.end()) return 0.0;
        return m->second.Value() / b->second.Value();
    }

private:
    struct Mean {
        double sum = 0.0;
        int count = 0;
        double Value() const { return sum / count; }
    };
    std::map<std::string, Mean> times_;
};

} // namespace velmora::bench
