// One recording through IADC3: detects the module, programs channels, ranges
// and rate and says what the driver changed, then records exactly the
// requested number of kadrs while draining with GetData, feeding each block
// to the file and the statistics. Runs on the calling thread; a stop request
// (a signal) ends it early with everything received so far written.
#pragma once

#include "kadr_stats.h"
#include "options.h"
#include "recording_file.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <velmora/interfaces.h>

namespace e16rec {

struct RecordingResult {
    int64_t requested = 0; // kadrs
    std::unique_ptr<KadrStats> stats;
    bool interrupted = false;
    std::vector<std::string> notes; // for the summary
    // The driver's text when the recording ended before all kadrs came.
    std::string endedEarly;
};

class Recorder {
public:
    Recorder(IADC3* adc, const Options& options) : adc_(adc), options_(options) {}

    // Detects the module and programs the selection; false with `error` set.
    bool Prepare(std::string& error);
    // What the driver set differently from what was asked, one line each.
    const std::vector<std::string>& Adjustments() const { return adjustments_; }
    // Where the data come from, for the file.
    void SetSource(std::string backend, std::string address) {
        info_.backend = std::move(backend);
        info_.address = std::move(address);
    }
    // The channels and the achieved rate, for the file and the summary.
    const velmora::hosts::RecordingInfo& Info() const { return info_; }
    // Records; `writer` may be null. False with `error` set when the start,
    // the drain or a write fails.
    bool Record(velmora::hosts::RecordingWriter* writer, const std::atomic<bool>& stop,
                RecordingResult& result, std::string& error);

private:
    std::string LastError() const;
    bool ProgramChannels(std::string& error);
    void ProgramRate();
    int64_t Drain(velmora::hosts::RecordingWriter* writer, KadrStats& stats, int64_t wanted,
                  std::string& error);
    void ShowProgress(const KadrStats& stats, int64_t requested) const;

    IADC3* adc_;
    Options options_;
    std::vector<ChannelStats> channels_;
    velmora::hosts::RecordingInfo info_;
    std::vector<std::string> adjustments_;
    std::vector<int16_t> buffer_;
    int rampPosition_ = -1; // Y16's position in the kadr
    int16_t rampRange_ = 0;
};

} // namespace e16rec
