// A subscriber of a recording's stream: a ZeroMQ SUB socket connected to the
// publisher, taking one checked message at a time. It keeps to the module
// of the first good message (its serial), passing over other modules'
// messages, and to its recording (channels, rate, scales, ranges, start),
// and tells the kadrs missing before each message. One thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream_message.h"

namespace velmora::hosts {

struct StreamBlock {
    StreamHeader header;
    std::vector<int16_t> codes; // kadrs x channels
    int64_t missingBefore = 0;  // kadrs between the previous message and this one
};

class StreamReader {
public:
    StreamReader() = default;
    ~StreamReader();
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    // Connects to `endpoint` (tcp://HOST:PORT, ipc://PATH) for the messages
    // whose topic starts with `topic`; the publisher may come later.
    // `queue`: the messages kept here for a slow reader (0: ZeroMQ's default).
    // False with `error` set.
    bool Open(const std::string& endpoint, std::string& error, const std::string& topic = "E16/",
              int queue = 0);
    enum class Got { Block, Nothing, Refused, Another };
    // Waits at most `timeoutMs` (-1: no limit) for a message. Block: `block`
    // holds it. Nothing: the time ran out or a signal came. Refused: a
    // malformed message, or one that goes back in kadrs. Another: a message
    // of the module's next recording (`block.header` holds its header): the
    // one followed ended without its last message; `block` holds the message
    // as for Block. Refused and Another are said in one line in `error`
    // (Another's as NewRecording says it); the next call takes the next
    // message. Another module's messages are passed over, within the wait:
    // a flood of them does not lengthen it (Others names them).
    Got Next(int timeoutMs, StreamBlock& block, std::string& error);
    // After Another, to watch the new recording: `header`'s (that message's)
    // is the recording kept to from now on, that message its first taken.
    void Follow(const StreamHeader& header);
    // Gaps seen so far, and the kadrs they missed.
    int64_t Gaps() const { return gaps_; }
    int64_t GapKadrs() const { return gapKadrs_; }
    // The first few other modules whose messages were passed over since
    // the last message taken of the module followed.
    const std::vector<std::string>& Others() const { return others_; }

private:
    bool Receive(std::vector<std::string>& frames, const std::string& topic, bool& other, std::string& error);
    // The recording of the first good message (NewRecording's fields).
    bool SameRecording(const StreamHeader& h, std::string& error) const;
    // Not back before the kadrs already taken.
    bool GoesOn(const StreamHeader& h, std::string& error) const;

    void* context_ = nullptr;
    void* socket_ = nullptr;
    bool started_ = false; // a good message came
    StreamHeader first_;   // the recording's description, from that message
    int64_t expected_ = 0; // the next kadr's index
    int64_t gaps_ = 0, gapKadrs_ = 0;
    std::vector<std::string> others_;
};

} // namespace velmora::hosts
