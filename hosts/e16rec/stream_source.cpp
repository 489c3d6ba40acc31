#include "stream_source.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
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
// Messages refused for a reason said before are counted aloud this often.
constexpr auto kSkipCount = std::chrono::seconds(10);
// The reasons kept to count those alike; more are said anew.
constexpr std::size_t kKinds = 32;

// What a look that found nothing good adds to a silence: at most its own
// wait, so that a process stopped meanwhile (SIGSTOP) counts none of its stop.
double Looked(Clock::time_point asked) {
    return std::min(std::chrono::duration<double>(Clock::now() - asked).count(), kWaitMs / 1000.0);
}

// How long a publisher that sent blocks of `kadrs` may be silent: a slow
// one's next block comes that much later, from the first block on.
double SilenceAfter(int64_t kadrs, double rate) {
    return std::max(kSilenceSeconds, 3 * static_cast<double>(kadrs) / rate);
}

// A refusal's reason without its numbers (a message's seq, its kadrs) and
// their nouns' plural s: a fault every message has reads the same in all,
// "1 kadr" and "2 kadrs" too.
std::string Kind(const std::string& reason) {
    std::string kind;
    for (std::size_t i = 0; i < reason.size(); ++i) {
        const char c = reason[i];
        const bool wordEnd =
            i + 1 == reason.size() || !std::isalpha(static_cast<unsigned char>(reason[i + 1]));
        if (c >= '0' && c <= '9') {
            if (kind.empty() || kind.back() != '#') kind += '#';
        } else if (c != 's' || !wordEnd) {
            kind += c;
        }
    }
    return kind;
}

} // namespace

bool SourceRecorder::Open(std::string& error) {
    if (reader_.Open(options_.source, error)) return true;
    error = "--source " + options_.source + ": " + error;
    return false;
}

// A reason not said before is said at once; the messages refused for one
// said (numbers aside) are counted, and the counts said every kSkipCount,
// before a new reason and at the end: a publisher whose every message is
// refused takes a line now and then, not one a message. `progress`: a
// progress line may show.
void SourceRecorder::Skip(const std::string& error, bool progress) {
    ++skipped_;
    const std::string kind = Kind(error);
    const auto known = std::find_if(refusals_.begin(), refusals_.end(),
                                    [&kind](const Refusal& r) { return r.kind == kind; });
    if (known != refusals_.end()) {
        ++known->unsaid;
        known->last = error;
        if (Clock::now() - countedAt_ >= kSkipCount) SayUnsaid(progress);
        return;
    }
    SayUnsaid(progress);
    if (refusals_.size() >= kKinds) refusals_.clear();
    refusals_.push_back({kind, error});
    if (progress) EndProgress(options_);
    std::fprintf(err_, "e16rec: skipped a message: %s\n", error.c_str());
}

void SourceRecorder::SayUnsaid(bool progress) {
    countedAt_ = Clock::now();
    for (Refusal& r : refusals_) {
        if (r.unsaid == 0) continue;
        if (progress) EndProgress(options_);
        progress = false;
        if (r.unsaid == 1)
            std::fprintf(err_, "e16rec: skipped a message: %s\n", r.last.c_str());
        else
            std::fprintf(err_, "e16rec: skipped %s for the same reason, the last: %s\n",
                         hosts::Counted(r.unsaid, "more message").c_str(), r.last.c_str());
        r.unsaid = 0;
    }
}

bool SourceRecorder::Describe(const std::atomic<int>& stops, std::string& error) {
    const auto began = Clock::now();
    bool said = options_.quiet;
    double silent = 0; // since the first message, which was refused
    std::string refusal;
    while (stops.load() == 0) {
        const auto asked = Clock::now();
        const auto got = reader_.Next(kWaitMs, first_, refusal);
        if (got == hosts::StreamReader::Got::Block) {
            TakeDescription(first_.header);
            return true;
        }
        // Before a first message nothing is of another recording.
        if (got == hosts::StreamReader::Got::Refused) Skip(refusal, false);
        // A publisher that sends nothing may not have started yet, and is
        // waited for; one whose every message is refused has, and ends it
        // after a silence, as good messages that stop do.
        if (skipped_ > 0) silent += Looked(asked);
        if (silent > kSilenceSeconds) {
            SayUnsaid(false);
            error = hosts::SilenceReason(options_.source, kSilenceSeconds, skipped_);
            return false;
        }
        // A mistyped endpoint waits as long as a publisher not yet started.
        if (!said && Clock::now() - began > kWaitNotice) {
            if (skipped_ == 0)
                std::fprintf(err_, "e16rec: waiting for the first message from %s\n",
                             options_.source.c_str());
            else
                std::fprintf(err_, "e16rec: waiting for a good message from %s: %s so far\n",
                             options_.source.c_str(), hosts::Counted(skipped_, "skipped message").c_str());
            said = true;
        }
    }
    SayUnsaid(false);
    error = std::string("stopped by a signal before a ") + (skipped_ > 0 ? "good " : "") +
            "message came from " + options_.source;
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
// too when the block has none, as the publisher's last message. Unlike a
// module's drain it waits for room in a full queue: the socket holds the
// stream meanwhile, and what it cannot hold shows as gaps. A stop request
// while it waits leaves the block untaken.
SourceRecorder::Take SourceRecorder::Queue(const hosts::StreamBlock& block, WriterThread& thread,
                                           const std::atomic<int>& stops, RecordingResult& result) {
    const hosts::StreamHeader& h = block.header;
    const int64_t keep = std::min(h.kadrs, result.requested - result.received);
    bool refused = block.missingBefore > 0 && !NoteGap(h, block.missingBefore, thread, result);
    if (!refused && keep > 0) {
        const auto stall = std::chrono::milliseconds(std::llround(options_.buffer * 1000));
        if (!thread.AwaitRoom(keep, stall, stops, waited_)) return Take::More;
        refused = thread.Push(block.codes.data(), keep) != WriterThread::Refused::None;
    }
    result.received += std::max<int64_t>(keep, 0); // refused: received, and not written
    if (refused) return Take::Refused;
    if (h.end) publisherEnd_ = *h.end;
    return h.end || result.received >= result.requested ? Take::Done : Take::More;
}

// Takes messages until the kadrs asked for, the publisher's end, a stop, a
// silence or a message of another recording; the last block's Take.
SourceRecorder::Take SourceRecorder::Follow(WriterThread& thread, const std::atomic<int>& stops,
                                            RecordingResult& result) {
    Take take = Queue(first_, thread, stops, result);
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
            result.endedEarly = error; // the reader's, naming what changed
            break;
        }
        if (got == hosts::StreamReader::Got::Refused) Skip(error, true);
        if (got == hosts::StreamReader::Got::Block) {
            silent = 0;
            skippedBefore = skipped_;
            silence = SilenceAfter(block.header.kadrs, info_.rate);
            take = Queue(block, thread, stops, result);
            ShowProgress(result.received);
            continue;
        }
        silent += Looked(asked);
        if (silent > silence) {
            // In whole seconds: the silence follows the blocks' length.
            // Messages lost at the end leave no gap to count: only silence.
            result.endedEarly =
                hosts::SilenceReason(options_.source, static_cast<double>(std::lround(silence)),
                                     skipped_ - skippedBefore, first_.header.serial, reader_.Others()) +
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
    // Gaps that came while it waited are the file's doing, not the network's.
    const double waited = std::chrono::duration<double>(waited_).count();
    if (waited >= 0.01) {
        char line[96];
        std::snprintf(line, sizeof line, "the stream waited %.2f s for room in the writer queue", waited);
        result.notes.push_back(line);
    }
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
    SayUnsaid(false);
    result.interrupted = stops.load() > 0 && take == Take::More && !result.open;
    if (result.endedEarly.empty()) {
        result.endedEarly = PublisherEndedEarly(result);
        result.sourceEnded = !result.endedEarly.empty() && hosts::EndedAsAsked(publisherEnd_);
    }
    AddStreamNotes(result);
    const std::string behind = take != Take::Refused ? "" : FellBehind(options_, true);
    return FinishWriting(thread, writer, options_, stops, err_, behind, result, error);
}

} // namespace e16rec
