// One recording through IADC3: detects the module, programs channels, ranges
// and rate and says what the driver changed, then records exactly the
// requested number of kadrs. The calling thread drains the driver with
// GetData and queues each block for the file writer's thread (WriterThread),
// which writes it and keeps the statistics. A stop request (a signal) ends
// it early with everything received so far written, and so does the driver
// when it ends the recording by itself (IModule EndReason); a writer that
// fails or falls a whole queue behind ends it with its reason.
#pragma once

#include "kadr_stats.h"
#include "options.h"
#include "publisher.h"
#include "recording_file.h"
#include "writer_thread.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <velmora/interfaces.h>

#include "module_info.h"

namespace e16rec {

struct RecordingResult {
    int64_t requested = 0; // kadrs; the most there is for a run until stopped
    bool open = false;     // no length: until a signal or the stream's end
    int64_t received = 0;  // kadrs drained for the recording
    // Of the kadrs written (all received without a file); a failed file may
    // keep fewer (its writer's Kadrs).
    std::unique_ptr<KadrStats> stats;
    int64_t queueKadrs = 0, deepestKadrs = 0; // the writer's queue: its size, and the most it held
    bool interrupted = false;
    std::vector<std::string> notes; // for the summary
    // Why the driver ended the recording before all kadrs came (its
    // EndReason, else its LastError); empty when it did not.
    std::string endedEarly;
    // The publisher's own recording ended first, as it was asked: the kadrs
    // past it were never recorded, so none is lost.
    bool sourceEnded = false;
    // What a stream lost in its gaps, said on standard error; empty when
    // every kadr came.
    std::string streamLost;
    // The file writer was stuck and left behind: it keeps the file and the
    // statistics, so neither may be closed or freed, nor the process left
    // but by _Exit.
    bool leftBehind = false;
    // Kadrs on disk when it was left, as far as the writer counted.
    int64_t onDiskWhenLeft = 0;
};

// Sets what a recording of `info` asks for: its kadrs (-n, else -t at its
// rate, at least one; the most there is without a length), its writer's
// queue, and its statistics, which check the simulated module's frame ramp
// where Y16 is on the 10 V range and note that they cannot where it is not.
void BeginResult(const Options& options, const velmora::hosts::RecordingInfo& info, RecordingResult& result);

// Why a block refused by the writer's full queue ended the recording: the
// writer fell --buffer behind the module, or, for a `stream`, which waits
// for room, took nothing for as long.
std::string FellBehind(const Options& options, bool stream);

// Ends the progress line, where one was shown: before the summary, and
// before a message that comes while it shows.
void EndProgress(const Options& options);

// The stream's last word on a recording (its `end`): "failed: `error`"
// unless `ok`, the driver's reason when it ended the recording early, else
// complete, or stopped by a signal when `stopped`.
std::string StreamEnd(const RecordingResult& r, bool ok, const std::string& error, bool stopped);

// Ends the file writer's thread of a recording: what is queued is written,
// unless the file takes nothing for the longer of half a minute and the
// buffer, or another stop request comes (`stops` counts them); the writer
// and `thread` are then left behind. Said on `err` while it waits. False
// with `error` set when the writer failed or was left, or with `behind`
// when the writer had fallen behind (a refused block): that comes first.
bool FinishWriting(std::unique_ptr<WriterThread>& thread, velmora::hosts::RecordingWriter* writer,
                   const Options& options, const std::atomic<int>& stops, std::FILE* err,
                   const std::string& behind, RecordingResult& result, std::string& error);

class Recorder {
public:
    // `err` takes what the user is told while it records.
    Recorder(IADC3* adc, IModule* module, const Options& options, std::FILE* err)
        : adc_(adc), module_(module), options_(options), err_(err) {}

    // Detects the module and programs the selection; false with `error` set.
    bool Prepare(std::string& error);
    // What the driver set differently from what was asked, one line each.
    const std::vector<std::string>& Adjustments() const { return adjustments_; }
    // Which module the data come from, for the file.
    void SetModule(const velmora::hosts::ModuleIdentity& id) {
        info_.serial = id.serial;
        info_.backend = id.backend;
        info_.address = id.address;
    }
    // The channels and the achieved rate, for the file and the summary; the
    // start time once the first kadr came.
    const velmora::hosts::RecordingInfo& Info() const { return info_; }
    // Every block also goes to `publisher` (may be null), which must have started.
    void SetPublisher(Publisher* publisher) { publisher_ = publisher; }
    // Records until the kadrs asked for came or a stop request (`stops`
    // counts them); `writer` may be null. False with `error` set when the
    // start or the file fails, or the file fell the whole queue behind (the
    // file then keeps what was queued). `writer` is another thread's until then.
    bool Record(velmora::hosts::RecordingWriter* writer, const std::atomic<int>& stops,
                RecordingResult& result, std::string& error);

private:
    std::string LastError() const { return velmora::hosts::LastError(adc_); }
    std::string EndReason() const;
    bool ProgramChannels(std::string& error);
    void ProgramRate();
    int64_t Drain(WriterThread& writer, int64_t wanted, WriterThread::Refused& refused);
    std::string DrainUntilEnd(WriterThread& thread, const std::atomic<int>& stops, RecordingResult& result,
                              WriterThread::Refused& refused);
    void ShowProgress(int64_t received, int64_t requested) const;
    void NoteWaitForStart(std::chrono::steady_clock::time_point started, bool& said) const;

    IADC3* adc_;
    IModule* module_;
    Publisher* publisher_ = nullptr;
    Options options_;
    std::FILE* err_;
    velmora::hosts::RecordingInfo info_;
    std::vector<std::string> adjustments_;
    std::vector<int16_t> buffer_;
    bool started_ = false; // the first kadr came and its time was noted
};

} // namespace e16rec
