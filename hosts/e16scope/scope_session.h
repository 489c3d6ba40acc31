// The driver as the scope uses it, without Qt: creation by ProgID, detection,
// a recording of the chosen channels drained with GetData into the trace
// columns and, when asked, a recording file; the static analog outputs and
// the digital lines. Every member runs on the host's (GUI) thread.
#pragma once

#include "module_info.h"
#include "recording_file.h"
#include "stream_feed.h"
#include "sweep.h"
#include "trace_columns.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

namespace e16scope {

struct ChannelChoice {
    int16_t channel = 0; // logical channel 0..31
    int16_t range = 0;   // 0..3; -1 for a stream that does not say
};

class ScopeSession {
public:
    // False with `error` set when the driver cannot be created.
    bool Create(std::string& error);
    // Stops, has the driver save its settings and lets it go: "" when they
    // were saved, else the driver's reason.
    std::string Release();
    // The driver's setup dialog; what OK stored is saved at once, so that a
    // program ended before its release keeps it. False with `error` set
    // when that save failed.
    bool Setup(std::string& error);
    // The address the next detection opens instead of asking (this run
    // only); false with `error` set.
    bool SetAddress(const std::string& dotted, std::string& error);
    // IADC3 Test: false with LastError() saying why. After a lost connection
    // it opens the same module again.
    bool Detect();
    bool Detected() const;
    // A module was detected once: a Test opens it again without asking.
    bool KnowsModule() const { return !module_.address.empty(); }
    // The module of the last detection, as the driver named it.
    const velmora::hosts::ModuleIdentity& Module() const { return module_; }
    std::string LastError() const;
    std::string ChannelName(int16_t channel) const;
    std::vector<std::string> RangeNames() const;
    float RateMax() const;

    // Programs the selection, ranges and rate (kadrs per second) and starts;
    // false with `error` set. The traces start empty, `columns` wide over
    // `windowSeconds`.
    bool Start(const std::vector<ChannelChoice>& channels, double rate, double windowSeconds,
               std::size_t columns, std::string& error);
    // Watches a recording's stream instead of the module: the traces, `columns`
    // wide over `windowSeconds`, start with its first message, which also
    // gives the channels and the rate; their times count from the
    // recording's first kadr. False with `error` set.
    bool StartStream(const std::string& endpoint, double windowSeconds, std::size_t columns,
                     std::string& error);
    // The stream watched, or null.
    const StreamFeed* Stream() const { return stream_.get(); }
    // The channels' names and scales once known (a stream's come with its first message).
    const velmora::hosts::RecordingInfo& Info() const { return info_; }
    // Stops, reads the last kadrs and closes the file; false with `error`
    // set when the file could not be completed.
    bool Stop(std::string& error);
    bool Recording() const { return recording_; }
    const std::vector<ChannelChoice>& Channels() const { return channels_; }
    double Rate() const { return rate_; } // achieved, kadrs per second
    float CodesPerVolt(std::size_t position) const { return info_.channels.at(position).codesPerVolt; }

    // Reads every unread kadr into the traces and the file; the kadrs read.
    // When the driver ended the recording by itself, stops and says why in
    // `ended`; a failing file write stops the file and says why too. A
    // stream's end that is not as its publisher was asked is said there
    // too; either way the watch goes on for the publisher's next recording.
    std::size_t Drain(std::string& ended);
    // A stream's recording that ended as asked, said once: "" after.
    std::string TakeStreamEnd() { return std::exchange(streamEnd_, {}); }
    const TraceColumns& Traces() const { return traces_; }
    // The window's kadrs with the display trigger searched on them, fed by
    // Drain; made anew by Start, SetWindow and a stream's first message.
    Sweeper& Sweep() { return sweep_; }
    const Sweeper& Sweep() const { return sweep_; }
    // Restarts the traces, empty, `columns` wide over `windowSeconds`; the
    // kadrs that come next keep their time from the recording's start.
    void SetWindow(double windowSeconds, std::size_t columns);
    uint64_t Received() const { return received_; }
    // Unread kadrs in the driver's ring over its size, 0..1, at the last drain.
    double RingFill() const { return ringFill_; }

    // The recording file: asked for on a running recording (CSV, or HDF5 for
    // .h5/.hdf5), replacing a file of that name, closed by Stop or StopFile.
    // It is made once the time of its first kadr is known, so before the
    // recording's first kadr it waits for it. False with `error` set.
    bool StartFile(const std::string& path, std::string& error);
    bool StopFile(std::string& error);
    bool Filing() const { return file_ != nullptr || !pendingFile_.empty(); }
    // Kadrs in the open file so far; 0 without one.
    std::size_t FileKadrs() const { return file_ != nullptr ? file_->Kadrs() : 0; }

    // Analog outputs (none before Test or without a DAC) and digital lines.
    int DacCount() const;
    // False, with LastError() saying why, when the driver refused the level.
    bool SetDac(int channel, double volts);
    double Dac(int channel) const;
    // The waveform generator plays on the outputs (armed in the setup
    // dialog, during a recording); which output, the driver does not say.
    bool GeneratorPlaying() const;
    uint16_t DigitalInputs() const;
    uint16_t DigitalOutputs() const;
    void SetDigitalOutputs(uint16_t word);

    IADC3* adc() const { return adc_.get(); }

private:
    // Adds kadrs to the traces and the sweep.
    void Fold(const int16_t* codes, std::size_t kadrs);
    // The traces and the sweep anew, empty, from the recording's first kadr.
    void MakeTraces(double windowSeconds, std::size_t columns);
    bool Program(const std::vector<ChannelChoice>& channels, double rate, std::string& error);
    // Makes the file asked for, whose first kadr is the recording's kadr `first`.
    bool OpenFile(uint64_t first, std::string& error);
    // Why the driver ended the recording, and how many kadrs it received.
    std::string EndText() const;
    std::size_t DrainStream(std::string& ended);
    void Describe(const velmora::hosts::StreamHeader& header);

    velmora::ComPtr<IADC3> adc_;
    velmora::ComPtr<IDIO> dio_;
    velmora::ComPtr<IDAO> dao_;
    velmora::ComPtr<IModule> face_;
    velmora::hosts::ModuleIdentity module_;
    std::vector<ChannelChoice> channels_;
    velmora::hosts::RecordingInfo info_;
    double rate_ = 0;
    bool recording_ = false;
    TraceColumns traces_;
    Sweeper sweep_;
    std::vector<int16_t> buffer_;
    uint64_t received_ = 0;
    double ringFill_ = 0;
    std::string pendingFile_; // asked for before the first kadr came
    std::unique_ptr<velmora::hosts::RecordingWriter> file_;
    std::unique_ptr<StreamFeed> stream_;
    int described_ = 0;        // the stream's recordings whose description the traces follow
    std::string streamEnd_;    // its last recording's end, as asked, not yet taken
    double windowSeconds_ = 1; // for a stream's traces, made once it describes itself
    std::size_t columns_ = 1;
};

} // namespace e16scope
