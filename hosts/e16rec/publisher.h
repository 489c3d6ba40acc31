// The recording on a ZeroMQ PUB socket (--publish): every block the drain
// takes goes out as one stream message (stream_message.h), sent from a
// thread of its own behind a short queue and never waited for. A block that
// finds the queue full, or that ZeroMQ does not take, is lost to every
// subscriber and counted (lost_kadrs); a slow subscriber loses messages at
// its own high-water mark, alone. Queue and counters are under one mutex.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "stream_message.h"

namespace e16rec {

class Publisher {
public:
    Publisher() = default;
    ~Publisher();
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // Makes the socket and binds it to `endpoint`; false with `error` set.
    // Before the module is detected, so subscribers connect meanwhile.
    bool Bind(const std::string& endpoint, std::string& error);
    // What the socket is bound to, with the port chosen for "*".
    std::string Endpoint() const;
    // Waits out what is left of kGrace since the bind: subscribers that
    // were waiting when the publisher came (ZeroMQ tries again every 0.1 s)
    // connect and receive the recording from its first kadr.
    void AwaitSubscribers() const;
    // The recording's description (serial, address, channels, rate,
    // scales); starts the sending thread, whose queue holds `queueKadrs`.
    void Start(velmora::hosts::StreamHeader description, int64_t queueKadrs);
    // Queues a copy of `kadrs` whole kadrs, or counts them lost; never
    // waits. `startTime`, when not empty, is kadr 0's from then on.
    void Push(const int16_t* codes, int64_t kadrs, const std::string& startTime = {});
    // Sends what is queued, then a last message of no kadrs with `end`;
    // blocks pushed after it are lost. Never waits. The first end stands.
    void End(const std::string& end);
    // Ends with `end`, unless already ended, then stops the thread and
    // closes the socket, giving subscribers a moment to take what is on
    // its way.
    void Finish(const std::string& end);
    int64_t LostKadrs() const;
    int64_t Messages() const;

private:
    struct Block {
        std::vector<int16_t> codes;
        int64_t firstKadr = 0, kadrs = 0;
        std::string startTime;
    };
    void Run();
    bool Send(const Block& block, int64_t lost, const std::string* end);

    std::chrono::steady_clock::time_point bound_;
    void* context_ = nullptr;
    void* socket_ = nullptr;
    std::string ipcPath_; // the socket file bound, removed at the end
    ino_t ipcNode_ = 0;
    velmora::hosts::StreamHeader header_; // the sending thread's once started
    std::string topic_, payload_;
    std::size_t channels_ = 1;
    int64_t capacity_ = 1;

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Block> queue_;
    std::vector<std::vector<int16_t>> spare_;
    int64_t queued_ = 0, pushed_ = 0, lost_ = 0, messages_ = 0; // kadrs, but messages_
    std::string end_;
    bool finishing_ = false;
    std::thread thread_;
};

} // namespace e16rec
