#include "publisher.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <zmq.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace e16rec {
namespace {

namespace hosts = velmora::hosts;

// Messages ZeroMQ keeps for each subscriber (about 0.3 s of a recording
// drained every 20 ms); the subscriber's own receive queue holds more.
constexpr int kSendQueue = 16;
// How long the close waits for subscribers to take the last messages.
constexpr int kLingerMs = 2000;
// Three of ZeroMQ's reconnection intervals.
constexpr auto kGrace = std::chrono::milliseconds(300);

// ZeroMQ binds an address or an interface, not a host name: a name that
// resolves (localhost) is bound as its IPv4 address.
std::string Bindable(const std::string& endpoint) {
    if (!endpoint.starts_with("tcp://")) return endpoint;
    const auto colon = endpoint.rfind(':');
    const std::string host = endpoint.substr(6, colon - 6);
    in_addr numeric{};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (host == "*" || ::inet_pton(AF_INET, host.c_str(), &numeric) == 1 ||
        ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return endpoint;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
    ::freeaddrinfo(found);
    return "tcp://" + std::string(text) + endpoint.substr(colon);
}

// Something listens on the socket at `path`.
bool Listened(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    const bool listened = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return listened;
}

// ZeroMQ removes whatever is at an ipc path before it binds: a file there
// would be lost, and a publisher still bound would send to no one. Only a
// socket nothing listens on (a publisher that was killed left it) is free.
// Empty when the path is free, else why not.
std::string IpcTaken(const std::string& endpoint) {
    if (!endpoint.starts_with("ipc://")) return {};
    const std::string path = endpoint.substr(6);
    struct stat st {};
    if (path.empty() || path[0] == '@' || ::lstat(path.c_str(), &st) != 0) return {};
    if (!S_ISSOCK(st.st_mode)) return std::string(std::strerror(EEXIST)) + ", and is no socket";
    return Listened(path) ? std::strerror(EADDRINUSE) : std::string();
}

// The socket file's identity at an ipc path; 0 when there is none.
ino_t SocketNode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) ? st.st_ino : 0;
}

} // namespace

Publisher::~Publisher() {
    Finish("the recorder stopped");
}

bool Publisher::Bind(const std::string& endpoint, std::string& error) {
    if (const std::string taken = IpcTaken(endpoint); !taken.empty()) {
        error = "--publish " + endpoint + ": " + taken;
        return false;
    }
    context_ = zmq_ctx_new();
    socket_ = context_ != nullptr ? zmq_socket(context_, ZMQ_PUB) : nullptr;
    const int queue = kSendQueue, linger = kLingerMs;
    if (socket_ == nullptr || zmq_setsockopt(socket_, ZMQ_SNDHWM, &queue, sizeof queue) != 0 ||
        zmq_setsockopt(socket_, ZMQ_LINGER, &linger, sizeof linger) != 0 ||
        zmq_bind(socket_, Bindable(endpoint).c_str()) != 0) {
        error = "--publish " + endpoint + ": " + zmq_strerror(zmq_errno());
        return false;
    }
    if (endpoint.starts_with("ipc://") && endpoint[6] != '@') {
        ipcPath_ = endpoint.substr(6);
        ipcNode_ = SocketNode(ipcPath_);
    }
    bound_ = std::chrono::steady_clock::now();
    return true;
}

void Publisher::AwaitSubscribers() const {
    std::this_thread::sleep_until(bound_ + kGrace);
}

std::string Publisher::Endpoint() const {
    char text[512] = {};
    std::size_t size = sizeof text;
    if (socket_ == nullptr || zmq_getsockopt(socket_, ZMQ_LAST_ENDPOINT, text, &size) != 0) return {};
    return text;
}

void Publisher::Start(hosts::StreamHeader description, int64_t queueKadrs) {
    header_ = std::move(description);
    topic_ = hosts::StreamTopic(header_.serial);
    channels_ = std::max<std::size_t>(header_.channels.size(), 1);
    capacity_ = std::max<int64_t>(queueKadrs, 1);
    thread_ = std::thread([this] { Run(); });
}

void Publisher::Push(const int16_t* codes, int64_t kadrs, const std::string& startTime) {
    std::vector<int16_t> memory;
    int64_t first = 0;
    {
        std::lock_guard lock(mutex_);
        first = pushed_;
        pushed_ += kadrs;
        // An empty queue takes any block, however long.
        if (finishing_ || !thread_.joinable() || (queued_ > 0 && queued_ + kadrs > capacity_)) {
            lost_ += kadrs;
            return;
        }
        if (!spare_.empty()) {
            memory = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    // Copied outside the lock, so the sender never waits for it.
    memory.assign(codes, codes + static_cast<std::size_t>(kadrs) * channels_);
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(memory), first, kadrs, startTime});
        queued_ += kadrs;
    }
    ready_.notify_one();
}

void Publisher::End(const std::string& end) {
    {
        std::lock_guard lock(mutex_);
        if (finishing_) return;
        finishing_ = true;
        end_ = end;
    }
    ready_.notify_one();
}

void Publisher::Finish(const std::string& end) {
    End(end);
    if (thread_.joinable()) thread_.join();
    if (socket_ != nullptr) zmq_close(socket_);
    if (context_ != nullptr) zmq_ctx_term(context_); // waits the linger out
    socket_ = context_ = nullptr;
    // ZeroMQ leaves the socket file of a path it was given; one a later
    // publisher made there since is its own.
    if (ipcNode_ != 0 && SocketNode(ipcPath_) == ipcNode_) ::unlink(ipcPath_.c_str());
    ipcNode_ = 0;
}

int64_t Publisher::LostKadrs() const {
    std::lock_guard lock(mutex_);
    return lost_;
}

int64_t Publisher::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

void Publisher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ready_.wait(lock, [this] { return !queue_.empty() || finishing_; });
        if (queue_.empty()) break;
        Block block = std::move(queue_.front());
        queue_.pop_front();
        queued_ -= block.kadrs;
        const int64_t lost = lost_;
        lock.unlock();
        const bool sent = Send(block, lost, nullptr);
        lock.lock();
        if (sent)
            ++messages_;
        else
            lost_ += block.kadrs;
        spare_.push_back(std::move(block.codes));
    }
    // The end: no kadrs, at the index the next one would have had.
    const Block last{{}, pushed_, 0, {}};
    const int64_t lost = lost_;
    const std::string end = end_;
    lock.unlock();
    const bool sent = Send(last, lost, &end);
    lock.lock();
    messages_ += sent ? 1 : 0;
}

// Three frames; ZeroMQ takes a message whole or not at all.
bool Publisher::Send(const Block& block, int64_t lost, const std::string* end) {
    if (!block.startTime.empty()) header_.startTime = block.startTime;
    header_.firstKadr = block.firstKadr;
    header_.kadrs = block.kadrs;
    header_.lostKadrs = lost;
    if (end != nullptr) header_.end = *end;
    const std::string json = hosts::HeaderJson(header_);
    payload_.clear();
    hosts::AppendPayload(block.codes.data(), static_cast<std::size_t>(block.kadrs) * channels_, payload_);
    const bool sent = zmq_send(socket_, topic_.data(), topic_.size(), ZMQ_SNDMORE | ZMQ_DONTWAIT) >= 0 &&
                      zmq_send(socket_, json.data(), json.size(), ZMQ_SNDMORE | ZMQ_DONTWAIT) >= 0 &&
                      zmq_send(socket_, payload_.data(), payload_.size(), ZMQ_DONTWAIT) >= 0;
    if (sent) ++header_.seq;
    return sent;
}

} // namespace e16rec
