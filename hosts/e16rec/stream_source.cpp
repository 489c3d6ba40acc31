#include "stream_source.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace e16rec {
namespace {

namespace hosts = velmora::hosts;
using Clock = std::chrono::steady_clock;

constexpr int kWaitMs = 100; // between looks at the stop request
// A first message that takes longer than this is waited for aloud.
constexpr auto kWaitNotice = std::chrono::seconds(2);
// A publisher silent this long, or for three of its blocks when they are
// longer, is gone.
constexpr double kSilenceSeconds = 10;
// The summary names the first gaps; the file keeps them all.
constexpr int64_t kNamedGaps = 10;

// How long a publisher that sent blocks of `kadrs` may be silent: a slow
// one's next block comes that much later, from the first block on.
double SilenceAfter(int64_t kadrs, double rate) {
    return std::max(kSilenceSeconds, 3 * static_cast<double>(kadrs) / rate);
}

// A publisher replaced on the endpoint: the recording followed gets no more.
std::string AnotherRecording(const hosts::StreamHeader& h) {
    return "the publisher began another recording (" + hosts::Described(h) + ")";
}

} // namespace

bool SourceRecorder::Open(std::string& error) {
    if (reader_.Open(options_.source, error)) return true;
    error = "--source " + options_.source + ": " + error;
    return false;
}

void SourceRecorder::Skip(const std::string& error) {
    std::fprintf(err_, "e16rec: skipped a message: %s\n", error.c_str());
    ++skipped_;
}

bool SourceRecorder::Describe(const std::atomic<int>& stops) {
    const auto began = Clock::now();
    bool said = options_.quiet;
    std::string error;
    while (stops.load() == 0) {
        const auto got = reader_.Next(kWaitMs, first_, error);
        // Before a first message nothing is of another recording.
        if (got == hosts::StreamReader::Got::Refused) Skip(error);
        if (got == hosts::StreamReader::Got::Block) {
            TakeDescription(first_.header);
            return true;
        }
        // A mistyped endpoint waits as long as a publisher not yet started.
        if (!said && Clock::now() - began > kWaitNotice) {
            std::fprintf(err_, "e16rec: waiting for the first message from %s\n", options_.source.c_str());
            said = true;
        }
    }
    return false;
}

void SourceRecorder::TakeDescription(const hosts::StreamHeader& h) {
    info_ = {};
    for (std::size_t i = 0; i < h.channels.size(); ++i)
        info_.channels.push_back(
            {h.channels[i], static_cast<int16_t>(h.ranges.empty() ? 0 : h.ranges[i]), h.codesPerVolt[i]});
    info_.rate = h.rate;
    info_.startTime = h.startTime;
    info_.serial = h.serial;
    info_.backend = h.backend;
    info_.address = h.address;
    info_.firstKadr = h.firstKadr;
    info_.source = options_.source;
}

// Notes the gap before `h`'s kadrs, for the summary and the file.
bool SourceRecorder::NoteGap(const hosts::StreamHeader& h, int64_t missing, WriterThread& thread,
                             RecordingResult& result) const {
    const int64_t first = h.firstKadr - missing;
    if (reader_.Gaps() <= kNamedGaps)
        result.notes.push_back("gap: kadrs " + std::to_string(first) + " to " +
                               std::to_string(h.firstKadr - 1) + " never came");
    return thread.PushGap(first, missing) == WriterThread::Refused::None;
}

// Takes the block's kadrs up to those asked for, after its gap: the gap
// too when the block has none, as the publisher's last message.
SourceRecorder::Take SourceRecorder::Queue(const hosts::StreamBlock& block, WriterThread& thread,
                                           RecordingResult& result) {
    const hosts::StreamHeader& h = block.header;
    const int64_t keep = std::min(h.kadrs, result.requested - result.received);
    const bool refused = (block.missingBefore > 0 && !NoteGap(h, block.missingBefore, thread, result)) ||
                         (keep > 0 && thread.Push(block.codes.data(), keep) != WriterThread::Refused::None);
    result.received += std::max<int64_t>(keep, 0); // refused: received, and not written
    if (refused) return Take::Refused;
    if (h.end) publisherEnd_ = *h.end;
    return h.end || result.received >= result.requested ? Take::Done : Take::More;
}

// Takes messages until the kadrs asked for, the publisher's end, a stop, a
// silence or a message of another recording; the last block's Take.
SourceRecorder::Take SourceRecorder::Follow(WriterThread& thread, const std::atomic<int>& stops,
                                            RecordingResult& result) {
    Take take = Queue(first_, thread, result);
    // Silence is time spent looking and finding nothing: a process stopped
    // meanwhile (SIGSTOP) counts none of its stop, and finds the messages
    // queued then however long its first look after it takes.
    double silent = 0;
    int64_t skippedBefore = skipped_;
    double silence = SilenceAfter(first_.header.kadrs, info_.rate);
    hosts::StreamBlock block;
    std::string error;
    while (take == Take::More && stops.load() == 0) {
        const auto asked = Clock::now();
        const auto got = reader_.Next(kWaitMs, block, error);
        if (got == hosts::StreamReader::Got::Another) {
            result.endedEarly = AnotherRecording(block.header);
            break;
        }
        if (got == hosts::StreamReader::Got::Refused) {
            EndProgress(options_);
            Skip(error);
        }
        if (got == hosts::StreamReader::Got::Block) {
            silent = 0;
            skippedBefore = skipped_;
            silence = SilenceAfter(block.header.kadrs, info_.rate);
            take = Queue(block, thread, result);
            ShowProgress(result.received);
            continue;
        }
        silent += std::min(std::chrono::duration<double>(Clock::now() - asked).count(), kWaitMs / 1000.0);
        if (silent > silence) {
            // In whole seconds: the silence follows the blocks' length.
            // Messages lost at the end leave no gap to count: only silence.
            result.endedEarly =
                hosts::SilenceReason(options_.source, static_cast<double>(std::lround(silence)),
                                     skipped_ - skippedBefore) +
                "; the stream's last message never came, so kadrs may be missing at its end";
            break;
        }
    }
    return take;
}

// The summary's lines on the stream, after the gaps it names, and what the
// gaps lost.
void SourceRecorder::AddStreamNotes(RecordingResult& result) const {
    const int64_t gaps = reader_.Gaps();
    if (gaps > kNamedGaps) result.notes.push_back("... and " + hosts::Counted(gaps - kNamedGaps, "more gap"));
    result.notes.push_back("stream: " + hosts::Counted(gaps, "gap") + ", " +
                           hosts::Counted(reader_.GapKadrs(), "kadr") + " missing, " +
                           hosts::Counted(skipped_, "message") + " skipped");
    // Said once: where it ended this recording early, the end says it.
    if (!publisherEnd_.empty() && result.endedEarly.empty())
        result.notes.push_back("the publisher ended: " + publisherEnd_);
    if (gaps > 0)
        result.streamLost = "the stream lost " + hosts::Counted(reader_.GapKadrs(), "kadr") + " in " +
                            hosts::Counted(gaps, "gap") + "; the file marks where";
}

// Why the publisher's last message ends this recording early, if it does:
// a publisher whose own recording failed or ended early ends this one the
// same way, and one that ended as it was asked does when it ended before
// the kadrs this one was asked for. The file holds what came.
std::string SourceRecorder::PublisherEndedEarly(const RecordingResult& r) const {
    if (publisherEnd_.empty()) return {};
    if (!hosts::EndedAsAsked(publisherEnd_)) return "the publisher's recording ended: " + publisherEnd_;
    if (r.open || r.received >= r.requested) return {};
    return "the publisher's recording ended (" + publisherEnd_ + ") after " + std::to_string(r.received) +
           " of the " + std::to_string(r.requested) + " kadrs asked for";
}

void SourceRecorder::ShowProgress(int64_t received) const {
    if (options_.quiet || !::isatty(STDERR_FILENO)) return;
    std::fprintf(stderr, "\r%12s, %s", hosts::Counted(received, "kadr").c_str(),
                 hosts::Counted(reader_.Gaps(), "gap").c_str());
    std::fflush(stderr);
}

bool SourceRecorder::Record(hosts::RecordingWriter* writer, const std::atomic<int>& stops,
                            RecordingResult& result, std::string& error) {
    BeginResult(options_, info_, result);
    auto thread =
        std::make_unique<WriterThread>(writer, *result.stats, info_.channels.size(), result.queueKadrs);

    const Take take = Follow(*thread, stops, result);
    error.clear();
    EndProgress(options_);
    result.interrupted = stops.load() > 0 && take == Take::More && !result.open;
    if (result.endedEarly.empty()) {
        result.endedEarly = PublisherEndedEarly(result);
        result.sourceEnded = !result.endedEarly.empty() && hosts::EndedAsAsked(publisherEnd_);
    }
    AddStreamNotes(result);
    const std::string behind = take != Take::Refused ? "" : FellBehind(options_, "behind the stream");
    return FinishWriting(thread, writer, options_, stops, err_, behind, result, error);
}

} // namespace e16rec
