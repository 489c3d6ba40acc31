// A recording from a publishing e16rec's stream (--source): the first good
// message describes it (module, channels, rate, kadr 0's time), and every
// block from it on goes to the file writer's thread as a module's would,
// with the stream's gaps noted in the file. It ends after the kadrs asked
// for, at the publisher's last message, on a stop request, after a silence,
// or at a message of another recording (the publisher was replaced). A
// malformed message is said in one line and skipped.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

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
    // unless quiet; false when a stop request came first.
    bool Describe(const std::atomic<int>& stops);
    // The recording as the stream describes it, `source` its endpoint.
    const velmora::hosts::RecordingInfo& Info() const { return info_; }
    // Records; `writer` may be null. False with `error` set when the file
    // failed or fell the whole queue behind.
    bool Record(velmora::hosts::RecordingWriter* writer, const std::atomic<int>& stops,
                RecordingResult& result, std::string& error);

private:
    enum class Take { More, Done, Refused };
    Take Queue(const velmora::hosts::StreamBlock& block, WriterThread& thread, RecordingResult& result);
    bool NoteGap(const velmora::hosts::StreamHeader& h, int64_t missing, WriterThread& thread,
                 RecordingResult& result) const;
    void TakeDescription(const velmora::hosts::StreamHeader& h);
    Take Follow(WriterThread& thread, const std::atomic<int>& stops, RecordingResult& result);
    void Skip(const std::string& error);
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
};

} // namespace e16rec
