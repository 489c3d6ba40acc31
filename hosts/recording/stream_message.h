// A recording's stream message: three frames, the topic "E16/<serial>", a
// flat JSON header that describes the recording and the block, and the
// block's codes (16-bit, little-endian, kadr by kadr). Makes the frames and
// checks received ones, and the endpoints' and a silent reader's texts; no
// socket here. Pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::hosts {

inline constexpr std::string_view kStreamTopicPrefix = "E16/";

// The kadr rates a recording has: a kadr every 1000 s at the slowest (slower
// would leave it waiting for hours), the module's fastest. A stream's rate
// outside them is no module's, and its times would not be numbers a file holds.
inline constexpr double kSlowestRate = 0.001;
inline constexpr double kFastestRate = 500000;

// The ends of a recording that went as asked; any other end text says why
// it did not ("failed: ...", "the recording ended early: ...").
inline constexpr std::string_view kEndComplete = "complete";
inline constexpr std::string_view kEndStopped = "stopped by a signal";
inline bool EndedAsAsked(std::string_view end) {
    return end == kEndComplete || end == kEndStopped;
}

struct StreamHeader {
    std::string serial, address;
    int64_t seq = 0;       // messages since the publisher's start, from 0
    int64_t firstKadr = 0; // the block's first kadr since the recording's first
    int64_t kadrs = 0;     // in this message
    std::vector<std::string> channels;
    double rate = 0;                 // kadrs per second, achieved
    std::vector<float> codesPerVolt; // as the driver gives them
    std::string startTime;           // of kadr 0, ISO 8601 UTC; "" before it
    int64_t lostKadrs = 0;           // the publisher could not send them, so far
    std::optional<std::string> end;  // why the recording ended, on the last message
    // Beyond the fields every message needs: the channels' range indices and
    // what reached the module, for files made from the stream.
    std::vector<int64_t> ranges; // 0..32767, as the driver's 16 bits and the files keep them
    std::string backend;
};

// A count and its noun as the summaries say it: "1 gap", "3 gaps".
std::string Counted(int64_t n, std::string_view noun);
// "" when `now` is a message of the module's recording `was` describes;
// else why it is another recording (its channels, rate, scales, ranges (when
// both carry them) or start differ): "the publisher began another recording
// (SIM0001, 4 channels, started T; changed: rate)".
std::string NewRecording(const StreamHeader& was, const StreamHeader& now);

// "E16/SIM0001".
std::string StreamTopic(const std::string& serial);
// The header frame: one JSON object.
std::string HeaderJson(const StreamHeader& header);
// A header frame read into `header`; false with a one-line `error` for
// text that is not UTF-8, bad JSON, a repeated key, a missing or mistyped
// field (a start time that is not the publisher's
// "2026-12-07T01:29:39.483Z", a count with a point or an exponent, a scale
// a float cannot keep, an empty end too), a range index past 32767, or
// channel lists of unequal lengths.
bool ParseHeader(std::string_view json, StreamHeader& header, std::string& error);
// A received message's frames checked: three of them, a topic that names
// the header's serial, a header that parses, and a payload of exactly
// kadrs x channels codes. False with a one-line `error`.
bool CheckMessage(std::span<const std::string_view> frames, StreamHeader& header, std::string& error);
// What ZeroMQ takes for a publisher (bound) or a subscriber (connected):
// tcp://HOST:PORT with a port from 1 to 65535 (a publisher's also
// tcp://*:PORT and tcp://HOST:*), or ipc://PATH. ZeroMQ itself would take a
// port past 65535 modulo 65536, another program's port.
bool IsEndpoint(const std::string& text, bool bound);
// What a refusal says such an endpoint is, in both hosts' words.
inline constexpr const char* kBoundEndpoint =
    "a ZeroMQ endpoint: tcp://HOST:PORT, tcp://*:PORT or ipc://PATH";
inline constexpr const char* kConnectedEndpoint = "a ZeroMQ endpoint: tcp://HOST:PORT or ipc://PATH";
// Why a publisher that sent nothing good for `seconds` is taken as gone:
// "no message from ENDPOINT for N s", or "no good message ... (K skipped)";
// with `others` (other modules' messages that came meanwhile) "no message
// from SERIAL at ENDPOINT for N s; messages of other modules came (S2)".
std::string SilenceReason(const std::string& endpoint, double seconds, int64_t skipped,
                          const std::string& serial = {}, const std::vector<std::string>& others = {});

// Notes among `others` the module of a message passed over by its `topic`,
// as one short line whatever bytes it came with: each once, the first few.
void NoteOtherModule(std::string_view topic, std::vector<std::string>& others);

// `count` codes as a payload, little-endian, appended.
void AppendPayload(const int16_t* codes, std::size_t count, std::string& payload);
// The payload's little-endian codes in this machine's order, appended.
void AppendCodes(std::string_view payload, std::vector<int16_t>& codes);

} // namespace velmora::hosts
