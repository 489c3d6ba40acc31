#include "stream_reader.h"

#include <zmq.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace velmora::hosts {
namespace {

// More frames than a message has are counted, not kept.
constexpr std::size_t kMostFrames = 8;

std::string ZmqError(const std::string& what) {
    return what + ": " + zmq_strerror(zmq_errno());
}

} // namespace

StreamReader::~StreamReader() {
    if (socket_ != nullptr) zmq_close(socket_);
    if (context_ != nullptr) zmq_ctx_term(context_);
}

bool StreamReader::Open(const std::string& endpoint, std::string& error, const std::string& topic,
                        int queue) {
    if (!IsEndpoint(endpoint, false)) {
        error = "cannot subscribe to " + endpoint +
                ": not tcp://HOST:PORT with a port from 1 to 65535, or ipc://PATH";
        return false;
    }
    context_ = zmq_ctx_new();
    socket_ = context_ != nullptr ? zmq_socket(context_, ZMQ_SUB) : nullptr;
    if (socket_ == nullptr) {
        error = ZmqError("cannot make a ZeroMQ socket");
        return false;
    }
    const int linger = 0;
    zmq_setsockopt(socket_, ZMQ_LINGER, &linger, sizeof linger);
    if (queue > 0) zmq_setsockopt(socket_, ZMQ_RCVHWM, &queue, sizeof queue);
    if (zmq_setsockopt(socket_, ZMQ_SUBSCRIBE, topic.data(), topic.size()) != 0 ||
        zmq_connect(socket_, endpoint.c_str()) != 0) {
        error = ZmqError("cannot subscribe to " + endpoint);
        return false;
    }
    return true;
}

// One whole message, its frames as they came (at most kMostFrames kept); one
// whose topic is not `topic` (when not empty) keeps its topic alone, and
// `other` is set: another module's payload is not worth the copy.
bool StreamReader::Receive(std::vector<std::string>& frames, const std::string& topic, bool& other,
                           std::string& error) {
    frames.clear();
    other = false;
    std::size_t count = 0;
    int more = 1;
    while (more != 0) {
        zmq_msg_t part;
        zmq_msg_init(&part);
        if (zmq_msg_recv(&part, socket_, 0) < 0) {
            zmq_msg_close(&part);
            error = ZmqError("cannot receive");
            return false;
        }
        const std::string_view data(static_cast<const char*>(zmq_msg_data(&part)), zmq_msg_size(&part));
        if (++count == 1) other = !topic.empty() && data != topic;
        if (count <= kMostFrames && (count == 1 || !other)) frames.emplace_back(data);
        more = zmq_msg_more(&part);
        zmq_msg_close(&part);
    }
    if (!other) frames.resize(std::min(count, kMostFrames + 1)); // a count past the most still shows
    return true;
}

bool StreamReader::SameRecording(const StreamHeader& h, std::string& error) const {
    if (started_) error = NewRecording(first_, h);
    return !started_ || error.empty();
}

bool StreamReader::GoesOn(const StreamHeader& h, std::string& error) const {
    if (!started_ || h.firstKadr >= expected_) return true;
    error = "message " + std::to_string(h.seq) + " goes back to kadr " + std::to_string(h.firstKadr) +
            " after kadr " + std::to_string(expected_ - 1);
    return false;
}

StreamReader::Got StreamReader::Next(int timeoutMs, StreamBlock& block, std::string& error) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    const std::string topic = started_ ? StreamTopic(first_.serial) : std::string();
    std::vector<std::string> frames;
    StreamHeader header;
    // Another module's messages on the endpoint (the topic is a prefix) are
    // no part of this recording: passed over within the same wait, and past
    // it a few more already queued, so that a caller looking without waiting
    // (e16scope's drain) is neither held one message a look behind a busy
    // endpoint nor held for ever by a flood.
    constexpr int kPassedOverPastTheWait = 64;
    for (int passed = 0;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        zmq_pollitem_t item{socket_, 0, ZMQ_POLLIN, 0};
        if (zmq_poll(&item, 1, timeoutMs < 0 ? -1L : std::max(static_cast<long>(left), 0L)) <= 0)
            return Got::Nothing;
        bool other = false;
        if (!Receive(frames, topic, other, error)) return errno == EINTR ? Got::Nothing : Got::Refused;
        if (!other) break;
        NoteOtherModule(frames[0], others_);
        if (timeoutMs >= 0 && Clock::now() >= deadline && ++passed >= kPassedOverPastTheWait)
            return Got::Nothing;
    }
    std::array<std::string_view, kMostFrames + 1> views;
    for (std::size_t i = 0; i < frames.size(); ++i) views[i] = frames[i];
    if (!CheckMessage(std::span(views.data(), frames.size()), header, error)) return Got::Refused;
    block.codes.clear();
    if (!SameRecording(header, error)) {
        AppendCodes(frames[2], block.codes);
        block.missingBefore = 0;
        block.header = std::move(header);
        return Got::Another;
    }
    if (!GoesOn(header, error)) return Got::Refused;
    block.missingBefore = started_ ? header.firstKadr - expected_ : 0;
    if (block.missingBefore > 0) {
        ++gaps_;
        gapKadrs_ += block.missingBefore;
    }
    if (!started_) first_ = header;
    started_ = true;
    others_.clear();
    expected_ = header.firstKadr + header.kadrs;
    AppendCodes(frames[2], block.codes);
    block.header = std::move(header);
    return Got::Block;
}

void StreamReader::Follow(const StreamHeader& header) {
    first_ = header;
    started_ = true;
    expected_ = header.firstKadr + header.kadrs;
    gaps_ = gapKadrs_ = 0;
    others_.clear();
}

} // namespace velmora::hosts
