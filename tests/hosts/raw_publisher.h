// A publisher of the test's own: messages made frame by frame, as another
// program (or a faulty one) might send them to a subscriber.
#pragma once

#include <zmq.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velmora::test {

// One message, frame by frame, on `socket`.
template <class Frames> void SendFrames(void* socket, const Frames& frames) {
    for (std::size_t i = 0; i < frames.size(); ++i)
        zmq_send(socket, frames[i].data(), frames[i].size(), i + 1 < frames.size() ? ZMQ_SNDMORE : 0);
}

// `messages` sent on an XPUB socket bound at `endpoint`, once a subscriber
// came (an XPUB tells them), or after 10 s without one.
inline void Publish(const std::string& endpoint, const std::vector<std::vector<std::string>>& messages) {
    void* context = zmq_ctx_new();
    void* socket = zmq_socket(context, ZMQ_XPUB);
    const int linger = 1000;
    zmq_setsockopt(socket, ZMQ_LINGER, &linger, sizeof linger);
    EXPECT_EQ(zmq_bind(socket, endpoint.c_str()), 0) << zmq_strerror(zmq_errno());
    zmq_pollitem_t item{socket, 0, ZMQ_POLLIN, 0};
    char frame[64];
    EXPECT_TRUE(zmq_poll(&item, 1, 10000) == 1 && zmq_recv(socket, frame, sizeof frame, 0) > 0 &&
                frame[0] == 1)
        << "no subscriber";
    for (const auto& frames : messages) SendFrames(socket, frames);
    zmq_close(socket);
    zmq_ctx_term(context); // once the messages went, within the linger
}

} // namespace velmora::test
