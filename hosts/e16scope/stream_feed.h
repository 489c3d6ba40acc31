// A recording's stream as the scope watches it (--source): the subscriber,
// the messages that came taken without waiting, and what the status bar
// tells of them (the publisher's serial, the gaps, the last message
// refused). One thread, the GUI's.
#pragma once

#include <cstdint>
#include <string>

#include "stream_reader.h"

namespace e16scope {

class StreamFeed {
public:
    // Subscribes to `endpoint`; false with `error` set.
    bool Open(const std::string& endpoint, std::string& error);
    // The next message that came, without waiting; false when none is
    // there. A malformed one is counted, its reason kept, and passed. One of
    // another recording (the publisher restarted) begins watching that one.
    bool Next(velmora::hosts::StreamBlock& block);
    // The recordings watched so far: 1 from the first message on, one more
    // each time the publisher began another.
    int Recordings() const { return recordings_; }
    const std::string& Endpoint() const { return endpoint_; }
    const std::string& Serial() const { return serial_; }
    int64_t Gaps() const { return reader_.Gaps(); }
    int64_t GapKadrs() const { return reader_.GapKadrs(); }
    int64_t Refused() const { return refused_; }
    const std::string& Problem() const { return problem_; } // the last refusal's reason

private:
    velmora::hosts::StreamReader reader_;
    std::string endpoint_, serial_, problem_;
    int64_t refused_ = 0;
    int recordings_ = 0;
};

} // namespace e16scope
