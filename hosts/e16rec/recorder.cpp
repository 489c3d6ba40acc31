#include "recorder.h"

#include "driver_session.h"
#include "stream_message.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>

namespace e16rec {
namespace {

constexpr auto kDrainPeriod = std::chrono::milliseconds(20);
constexpr int32_t kBufferKadrs = 65536;
// The first kadr comes within a frame (at most about 70 ms) unless the
// start waits for its trigger; a wait longer than this is said.
constexpr auto kStartNotice = std::chrono::seconds(2);
// A file that takes nothing for this long at the end is stuck (a hung
// disk, a pipe nobody reads), unless the buffer allows longer.
constexpr auto kStuckFile = std::chrono::seconds(30);

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return text;
}

} // namespace

void BeginResult(const Options& options, const velmora::hosts::RecordingInfo& info, RecordingResult& result) {
    result.open = options.UntilStopped();
    result.requested =
        result.open ? std::numeric_limits<int64_t>::max()
                    : std::max<int64_t>(
                          options.kadrs.value_or(velmora::hosts::KadrsIn(options.seconds, info.rate)), 1);
    // The frame ramp is the simulator's, and fits only the ±10 V range.
    const bool simulated = info.backend.starts_with("simulated module");
    std::vector<ChannelStats> channels;
    int ramp = -1;
    bool offRange = false;
    for (const velmora::hosts::ChannelInfo& c : info.channels) {
        if (simulated && c.name == "Y16") {
            if (c.range != 0)
                offRange = true;
            else if (ramp < 0)
                ramp = static_cast<int>(channels.size());
        }
        channels.push_back({c.name, c.codesPerVolt > 0 ? c.codesPerVolt : 1.0});
    }
    if (ramp < 0 && offRange)
        result.notes.push_back("Y16 ramp check skipped: Y16 is not on the \u00B110 V range");
    result.stats = std::make_unique<KadrStats>(std::move(channels), ramp);
    result.queueKadrs = options.BufferKadrs(info.rate);
}

std::string FellBehind(const Options& options, bool stream) {
    const std::string seconds = Number(options.buffer) + " s";
    return "the file writer fell " + (stream ? "behind the stream" : seconds + " behind") + ": " +
           options.output +
           (stream ? " took nothing for " + seconds : " took the data slower than they came") +
           " (--buffer gives it more time)";
}

void EndProgress(const Options& options) {
    if (!options.quiet && ::isatty(STDERR_FILENO)) std::fputc('\n', stderr);
}

std::string StreamEnd(const RecordingResult& r, bool ok, const std::string& error, bool stopped) {
    if (!ok) return "failed: " + error;
    if (!r.endedEarly.empty()) return "the recording ended early: " + r.endedEarly;
    return std::string(stopped ? velmora::hosts::kEndStopped : velmora::hosts::kEndComplete);
}

bool FinishWriting(std::unique_ptr<WriterThread>& thread, velmora::hosts::RecordingWriter* writer,
                   const Options& options, const std::atomic<int>& stops, std::FILE* err,
                   const std::string& behind, RecordingResult& result, std::string& error) {
    const auto stall = std::max<std::chrono::milliseconds>(
        kStuckFile, std::chrono::milliseconds(std::llround(options.buffer * 1000)));
    const auto waiting = [&](int64_t unwritten) { // quiet or not: it is no progress line
        std::fprintf(err, "e16rec: waiting for %s to take %s more (Ctrl-C leaves them)\n",
                     options.output.c_str(), velmora::hosts::Counted(unwritten, "kadr").c_str());
    };
    const WriterThread::Finished finished = thread->Finish(stall, stops, waiting);
    result.deepestKadrs = thread->Deepest();
    if (finished == WriterThread::Finished::Written) {
        error = behind;
        return behind.empty();
    }
    if (finished == WriterThread::Finished::Failed) {
        error = writer->Error();
        return false;
    }
    result.leftBehind = true;
    result.onDiskWhenLeft = thread->OnDisk();
    error = (behind.empty() ? "" : behind + "; then ") + options.output + " took nothing more: " + "up to " +
            velmora::hosts::Counted(result.received - result.onDiskWhenLeft, "kadr") +
            " did not reach it, and the file keeps what did";
    (void)thread.release(); // its thread may still use it
    return false;
}

bool Recorder::Prepare(std::string& error) {
    if (!DetectModule(adc_, module_, error)) return false;
    if (!ProgramChannels(error)) return false;
    ProgramRate();
    return true;
}

// The selection as the driver took it, checked: a channel list or a range
// the driver did not take is an error, not a different recording.
bool Recorder::ProgramChannels(std::string& error) {
    SAFEARRAY* array = velmora::hosts::Int16Array(options_.channels);
    adc_->put_InputChannels(&array);
    SafeArrayDestroy(array);
    SAFEARRAY* taken = nullptr;
    adc_->get_InputChannels(&taken);
    const bool same = velmora::hosts::TakeInt16s(taken) == options_.channels;
    if (!same) {
        error = "the driver did not take the channel list: " + LastError();
        return false;
    }
    info_.channels.clear();
    for (int16_t channel : options_.channels) {
        int16_t index = channel, range = options_.range, takenRange = -1;
        adc_->put_ChannelRange(&index, &range);
        adc_->get_ChannelRange(&index, &takenRange);
        if (takenRange != range) {
            error = "the driver did not take range " + std::to_string(range) + " for channel " +
                    std::to_string(channel) + ": " + LastError();
            return false;
        }
        BSTR name = nullptr;
        adc_->get_ChannelName(&index, &name);
        float scale = 0;
        adc_->get_ChannelUnitScale(&index, &scale);
        info_.channels.push_back({velmora::hosts::TakeUtf8(name), range, scale > 0 ? scale : 1});
    }
    return true;
}

void Recorder::ProgramRate() {
    float rate = options_.rate;
    adc_->put_Rate(&rate);
    const double achieved = velmora::hosts::KadrRate(module_, adc_);
    info_.rate = achieved;
    if (std::fabs(achieved - options_.rate) > 1e-3 * options_.rate)
        adjustments_.push_back("rate: " + Number(options_.rate) + " kadrs/s asked, " + Number(achieved) +
                               " kadrs/s set by the driver");
}

// Read before StopRecord, which clears it.
std::string Recorder::EndReason() const {
    const std::string why = velmora::hosts::WhyEnded(module_, adc_);
    return why.empty() ? "the driver stopped it without a reason" : why;
}

// Takes what the ring holds, at most `wanted` kadrs for the file; what comes
// beyond them is read and dropped. Returns the kadrs received for the file,
// queued or, once the writer refused them (`refused` says why), not; the
// summary counts those as not written. The driver notes the first kadr's
// time before the kadr reaches the ring, so it is there with the first block.
int64_t Recorder::Drain(WriterThread& writer, int64_t wanted, WriterThread::Refused& refused) {
    int64_t kept = 0;
    for (;;) {
        int32_t count = static_cast<int32_t>(buffer_.size()), rest = 0, kadrs = 0;
        adc_->GetData(buffer_.data(), &count, &rest, &kadrs);
        if (kadrs <= 0) return kept;
        const int32_t keep = static_cast<int32_t>(std::min<int64_t>(kadrs, wanted - kept));
        if (keep > 0 && refused == WriterThread::Refused::None) {
            std::string startTime;
            if (!started_) {
                started_ = true;
                startTime = info_.startTime = velmora::hosts::IsoUtc(velmora::hosts::StartTime(module_));
            }
            refused = writer.Push(buffer_.data(), keep, startTime);
            if (refused == WriterThread::Refused::None && publisher_ != nullptr)
                publisher_->Push(buffer_.data(), keep, startTime);
        }
        kept += std::max(keep, 0);
        if (rest <= 0) return kept;
    }
}

void Recorder::ShowProgress(int64_t received, int64_t requested) const {
    if (options_.quiet || !::isatty(STDERR_FILENO)) return;
    if (options_.UntilStopped())
        std::fprintf(stderr, "\r%12lld kadrs (Ctrl-C stops)", static_cast<long long>(received));
    else
        std::fprintf(stderr, "\r%12lld of %lld kadrs", static_cast<long long>(received),
                     static_cast<long long>(requested));
    std::fflush(stderr);
}

// Once, quiet or not (it is no progress line): a start set on the setup
// dialog's General page outlives the run that set it, and nothing else
// would explain the wait.
void Recorder::NoteWaitForStart(std::chrono::steady_clock::time_point started, bool& said) const {
    if (said || std::chrono::steady_clock::now() - started < kStartNotice) return;
    said = true;
    EndProgress(options_);
    std::fprintf(err_,
                 "e16rec: no kadr after %lld s: still waiting for the first (a start trigger, set on the "
                 "setup dialog's General page, waits as long as it takes)\n",
                 static_cast<long long>(kStartNotice.count()));
}

// Until the kadrs asked for came, a stop request, a block the writer
// refused, or the driver's own end, whose reason it returns ("" for the
// others). No time limit of its own: a start waiting for its trigger waits,
// and the driver ends a recording that went silent, lost its module or
// overflowed.
std::string Recorder::DrainUntilEnd(WriterThread& thread, const std::atomic<int>& stops,
                                    RecordingResult& result, WriterThread::Refused& refused) {
    int64_t& received = result.received;
    const auto begun = std::chrono::steady_clock::now();
    bool waitSaid = false;
    while (received < result.requested && stops.load() == 0 && refused == WriterThread::Refused::None) {
        std::this_thread::sleep_for(kDrainPeriod);
        const int64_t kept = Drain(thread, result.requested - received, refused);
        received += kept;
        ShowProgress(received, result.requested);
        if (!started_) NoteWaitForStart(begun, waitSaid);
        if (kept > 0 || refused != WriterThread::Refused::None) continue;
        VARIANT_BOOL busy = VARIANT_FALSE;
        adc_->get_Busy(&busy);
        if (!busy) return EndReason();
    }
    return {};
}

bool Recorder::Record(velmora::hosts::RecordingWriter* writer, const std::atomic<int>& stops,
                      RecordingResult& result, std::string& error) {
    BeginResult(options_, info_, result);
    const std::size_t channels = info_.channels.size();
    buffer_.assign(channels * kBufferKadrs, 0);
    started_ = false;
    info_.startTime.clear();
    VARIANT_BOOL started = VARIANT_FALSE;
    adc_->StartRecord(&started);
    if (!started) {
        error = "cannot start: " + LastError();
        return false;
    }
    auto thread = std::make_unique<WriterThread>(writer, *result.stats, channels, result.queueKadrs);
    WriterThread::Refused refused = WriterThread::Refused::None;
    const std::string ended = DrainUntilEnd(*thread, stops, result, refused);
    int64_t& received = result.received;
    adc_->StopRecord();
    // What came before the end is still in the ring.
    received += Drain(*thread, result.requested - received, refused);
    EndProgress(options_);
    if (received < result.requested) result.endedEarly = ended;
    // A run without a length ends by a signal: that is its end.
    result.interrupted = stops.load() > 0 && received < result.requested && !result.open;
    const std::string behind = refused != WriterThread::Refused::QueueFull ? "" : FellBehind(options_, false);
    // The stream ends with the recording, not with the file: subscribers,
    // whose recordings are whole, would take a file slow to take its queue
    // (up to --buffer seconds of data) for a publisher gone silent. A writer
    // that failed is said once its thread ended.
    if (publisher_ != nullptr && refused != WriterThread::Refused::WriterFailed)
        publisher_->End(StreamEnd(result, behind.empty(), behind, stops.load() > 0));
    return FinishWriting(thread, writer, options_, stops, err_, behind, result, error);
}

} // namespace e16rec
