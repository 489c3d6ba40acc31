// A recording from a publishing e16rec's stream (--source): the first good
// message describes it (module, channels, rate, kadr 0's time), and every
// block from it on goes to the file writer's thread as a module's would,
// with the stream's gaps noted in the file. It ends after the kadrs asked
// for, at the publisher's last message, on a stop request, after a silence,
// or at a message of another recording (the publisher was replaced). A
// file slower than the stream is waited for, the socket holding what comes
// meanwhile. A malformed message is skipped, its reason said in one line,
// and those refused for the same reason after it counted.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "options.h"
#include "recorder.h"
#include "recording_file.h"
#include "stream_reader.h"

namespace e16rec {

class SourceRecorder {
public:
    // Skipped messages are said on `err`.
    SourceRecorder(const Options& options, std::FILE* err) : options_(options), err_(err) {}

    // Subscribes; false with `error` set.
    bool Open(std::string& error);
    // Waits for the first good message, saying so on `err` after a while
    // unless quiet. False with `error` set when a stop request came first,
    // or when messages came and none was good for a silence's time: such a
    // publisher started, and what it sends cannot be recorded.
    bool Describe(const std::atomic<int>& stops, std::string& error);
    // The recording as the stream describes it, `source` its endpoint.
    const velmora::hosts::RecordingInfo& Info() const { return info_; }
    // Records; `writer` may be null. False with `error` set when the file
    // failed or fell the whole queue behind.
    bool Record(velmora::hosts::RecordingWriter* writer, const std::atomic<int>& stops,
                RecordingResult& result, std::string& error);

private:
    enum class Take { More, Done, Refused };
    Take Queue(const velmora::hosts::StreamBlock& block, WriterThread& thread, const std::atomic<int>& stops,
               RecordingResult& result);
    bool NoteGap(const velmora::hosts::StreamHeader& h, int64_t missing, WriterThread& thread,
                 RecordingResult& result) const;
    void TakeDescription(const velmora::hosts::StreamHeader& h);
    Take Follow(WriterThread& thread, const std::atomic<int>& stops, RecordingResult& result);
    void Skip(const std::string& error, bool progress);
    void SayUnsaid(bool progress);
    void ShowProgress(int64_t received) const;
    void AddStreamNotes(RecordingResult& result) const;
    std::string PublisherEndedEarly(const RecordingResult& result) const;

    Options options_;
    std::FILE* err_;
    velmora::hosts::StreamReader reader_;
    velmora::hosts::StreamBlock first_;
    velmora::hosts::RecordingInfo info_;
    std::string publisherEnd_;
    int64_t skipped_ = 0; // malformed or out of order
    // The reasons said, numbers aside, each with the messages refused for
    // it since and the last one's reason; when their counts were said.
    struct Refusal {
        std::string kind, last;
        int64_t unsaid = 0;
    };
    std::vector<Refusal> refusals_;
    std::chrono::steady_clock::time_point countedAt_;
    std::chrono::steady_clock::duration waited_{}; // for room in the writer's queue
};

} // namespace e16rec
