// A stream publisher of a test's own, on an ipc path of the test's folder:
// messages made by hand, gaps and ends included, for the subscribers to meet.
#pragma once

#include <zmq.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stream_message.h"

namespace velmora::test {

class TestPublisher {
public:
    explicit TestPublisher(const std::string& endpoint)
        : context_(zmq_ctx_new()), socket_(zmq_socket(context_, ZMQ_XPUB)) {
        const int linger = 1000;
        zmq_setsockopt(socket_, ZMQ_LINGER, &linger, sizeof linger);
        EXPECT_EQ(zmq_bind(socket_, endpoint.c_str()), 0) << zmq_strerror(zmq_errno());
    }
    TestPublisher(const TestPublisher&) = delete;
    TestPublisher& operator=(const TestPublisher&) = delete;
    ~TestPublisher() {
        zmq_close(socket_);
        zmq_ctx_term(context_);
    }
    // True once a subscription came (an XPUB tells them).
    bool AwaitSubscriber() {
        zmq_pollitem_t item{socket_, 0, ZMQ_POLLIN, 0};
        char frame[64];
        return zmq_poll(&item, 1, 10000) == 1 && zmq_recv(socket_, frame, sizeof frame, 0) > 0 &&
               frame[0] == 1;
    }
    void Send(const std::vector<std::string>& frames) {
        for (std::size_t i = 0; i < frames.size(); ++i)
            zmq_send(socket_, frames[i].data(), frames[i].size(), i + 1 < frames.size() ? ZMQ_SNDMORE : 0);
    }
    // A good message of two channels whose codes count up from first x 2;
    // with `end`, the publisher's last.
    void Send(int64_t first, int64_t kadrs, const std::string& serial = "S1", int channels = 2,
              std::optional<std::string> end = {}) {
        hosts::StreamHeader h;
        h.serial = serial;
        h.firstKadr = first;
        h.kadrs = kadrs;
        h.channels.assign(static_cast<std::size_t>(channels), "Y16");
        h.codesPerVolt.assign(h.channels.size(), 3276.7f);
        h.rate = 1000;
        h.end = std::move(end);
        std::vector<int16_t> codes;
        for (int64_t k = first * channels; k < (first + kadrs) * channels; ++k)
            codes.push_back(static_cast<int16_t>(k));
        std::string payload;
        hosts::AppendPayload(codes.data(), codes.size(), payload);
        Send({hosts::StreamTopic(serial), hosts::HeaderJson(h), payload});
    }

private:
    void* context_;
    void* socket_;
};

} // namespace velmora::test
