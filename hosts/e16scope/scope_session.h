// The driver as the scope uses it, without Qt: creation by ProgID, detection,
// a recording of the chosen channels drained with GetData into the trace
// columns and, when asked, a recording file; the static analog outputs and
// the digital lines. Every member runs on the host's (GUI) thread.
#pragma once

#include "recording_file.h"
#include "trace_columns.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

namespace e16scope {

struct ChannelChoice {
    int16_t channel = 0; // logical channel 0..31
    int16_t range = 0;   // 0..3
};

class ScopeSession {
public:
    using Clock = std::chrono::steady_clock;

    // False with `error` set when the driver cannot be created.
    bool Create(std::string& error);
    // IADC3 Test: false with LastError() saying why.
    bool Detect();
    bool Detected() const;
    std::string LastError() const;
    std::string ChannelName(int16_t channel) const;
    std::vector<std::string> RangeNames() const;
    float RateMax() const;
    std::string Backend() const { return backend_; }
    std::string Address() const { return address_; }

    // Programs the selection, ranges and rate (kadrs per second) and starts;
    // false with `error` set. The traces start empty, `columns` wide over
    // `windowSeconds`.
    bool Start(const std::vector<ChannelChoice>& channels, double rate, double windowSeconds,
               std::size_t columns, std::string& error);
    // Stops, reads the last kadrs and closes the file; false with `error`
    // set when the file could not be completed.
    bool Stop(std::string& error);
    bool Recording() const { return recording_; }
    const std::vector<ChannelChoice>& Channels() const { return channels_; }
    double Rate() const { return rate_; } // achieved, kadrs per second
    float CodesPerVolt(std::size_t position) const { return info_.channels.at(position).codesPerVolt; }

    // Reads every unread kadr into the traces and the file; the kadrs read.
    // When the module has been silent too long, stops and says why in
    // `ended`; a failing file write stops the file and says why too.
    std::size_t Drain(std::string& ended);
    const TraceColumns& Traces() const { return traces_; }
    // Restarts the traces, empty, `columns` wide over `windowSeconds`.
    void SetWindow(double windowSeconds, std::size_t columns);
    uint64_t Received() const { return received_; }
    // Kadrs that never came when the recording ended for silence.
    uint64_t Lost() const { return lost_; }
    // Unread kadrs in the driver's ring over its size, 0..1, at the last drain.
    double RingFill() const { return ringFill_; }

    // The recording file: opened on a running recording (CSV, or HDF5 for
    // .h5/.hdf5), replacing a file of that name, closed by Stop or StopFile.
    // False with `error` set.
    bool StartFile(const std::string& path, std::string& error);
    bool StopFile(std::string& error);
    bool Filing() const { return file_ != nullptr; }
    // Kadrs in the open file so far; 0 without one.
    std::size_t FileKadrs() const { return file_ != nullptr ? file_->Kadrs() : 0; }

    // Analog outputs (none before Test or without a DAC) and digital lines.
    int DacCount() const;
    void SetDac(int channel, double volts);
    double Dac(int channel) const;
    uint16_t DigitalInputs() const;
    uint16_t DigitalOutputs() const;
    void SetDigitalOutputs(uint16_t word);

    IADC3* adc() const { return adc_.get(); }

private:
    bool Program(const std::vector<ChannelChoice>& channels, double rate, std::string& error);

    velmora::ComPtr<IADC3> adc_;
    velmora::ComPtr<IDIO> dio_;
    velmora::ComPtr<IDAO> dao_;
    std::string backend_, address_;
    std::vector<ChannelChoice> channels_;
    velmora::hosts::RecordingInfo info_;
    double rate_ = 0;
    bool recording_ = false;
    TraceColumns traces_;
    std::vector<int16_t> buffer_;
    uint64_t received_ = 0, lost_ = 0;
    double ringFill_ = 0;
    Clock::time_point started_, lastData_;
    std::unique_ptr<velmora::hosts::RecordingWriter> file_;
};

} // namespace e16scope
