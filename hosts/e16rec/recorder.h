// One recording through IADC3: programs channels, ranges and rate, records for
// the requested time while draining with GetData, and feeds each block to the
// CSV file and the statistics. Runs on the calling thread.
#pragma once

#include "kadr_stats.h"
#include "options.h"

#include <cstdio>
#include <memory>
#include <string>

#include <velmora/interfaces.h>

namespace e16rec {

struct RecordingResult {
    float rate = 0; // kadrs per second as the driver reports it
    double seconds = 0;
    std::unique_ptr<KadrStats> stats;
};

class Recorder {
public:
    Recorder(IADC3* adc, const Options& options) : adc_(adc), options_(options) {}

    // Detects the module and programs the selection; false with `error` set.
    bool Prepare(std::string& error);
    // Records; `csv` may be null. False with `error` set when the start fails.
    bool Record(std::FILE* csv, RecordingResult& result, std::string& error);

private:
    std::string LastError() const;
    void WriteHeader(std::FILE* csv) const;
    void Drain(std::FILE* csv, KadrStats& stats, std::vector<int16_t>& buffer);
    void ShowProgress(double elapsed, const KadrStats& stats) const;

    IADC3* adc_;
    Options options_;
    std::vector<ChannelStats> channels_;
    int rampPosition_ = -1;
    float rate_ = 0;
};

} // namespace e16rec
