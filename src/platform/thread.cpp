#include "platform/thread.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <limits.h>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace velmora::platform {
namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELMORA_SANITIZED 1 // clang says so only this way
#endif
#endif
// A Windows thread commits the size asked for and may grow to its 1 MiB
// reserve; a pthread's stack is all it ever has, so it gets the reserve:
// the library a worker calls into needs what it needs. Sanitizer runtimes
// need far more again.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(VELMORA_SANITIZED)
constexpr std::size_t kStackFloor = 2u << 20;
#else
constexpr std::size_t kStackFloor = 1u << 20;
#endif
constexpr std::size_t kStackCeiling = 8u << 20;

std::size_t SystemMinimumStack() {
    const long min = ::sysconf(_SC_THREAD_STACK_MIN);
    return min > 0 ? static_cast<std::size_t>(min) : static_cast<std::size_t>(PTHREAD_STACK_MIN);
}

std::size_t PageRounded(std::size_t size) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

} // namespace

// Shared by the handle and the thread, so either may go first.
struct Thread::Start {
    std::function<void()> body;
    std::mutex mutex;
    std::condition_variable resumed;
    bool go = false;
    bool run = false;

    // The first release decides whether the body runs.
    void Release(bool runBody) {
        {
            std::lock_guard lock(mutex);
            if (go) return;
            go = true;
            run = runBody;
        }
        resumed.notify_one();
    }
};

namespace {

struct Launch {
    std::shared_ptr<Thread::Start> start;
};

} // namespace

std::unique_ptr<Thread> Thread::CreateSuspended(std::function<void()> body, std::size_t stackSize) {
    auto shared = std::make_shared<Start>();
    shared->body = std::move(body);
    std::unique_ptr<Thread> thread(new Thread);
    std::size_t size = PageRounded(std::max({stackSize, SystemMinimumStack(), kStackFloor}));
    auto* launch = new Launch{shared};
    auto entry = [](void* arg) -> void* {
        std::shared_ptr<Start> start = std::move(static_cast<Launch*>(arg)->start);
        delete static_cast<Launch*>(arg);
        std::unique_lock lock(start->mutex);
        start->resumed.wait(lock, [&] { return start->go; });
        lock.unlock();
        if (start->run) start->body();
        return nullptr;
    };
    // The thread's TLS comes out of its stack: grow until the system accepts it.
    int rc = EINVAL;
    for (; size <= kStackCeiling; size *= 2) {
        pthread_attr_t attr;
        ::pthread_attr_init(&attr);
        ::pthread_attr_setstacksize(&attr, size);
        pthread_t id{};
        rc = ::pthread_create(&id, &attr, entry, launch);
        ::pthread_attr_destroy(&attr);
        if (rc == 0) {
            thread->id_ = id;
            break;
        }
        if (rc != EINVAL) break;
    }
    if (rc != 0) {
        delete launch;
        return nullptr;
    }
    thread->start_ = shared;
    thread->joinable_ = true;
    return thread;
}

Thread::~Thread() {
    if (start_) start_->Release(false); // no-op when already resumed
    if (joinable_) Join();
}

void Thread::Resume() {
    if (start_) start_->Release(true);
}

void Thread::Join() {
    if (!joinable_) return;
    joinable_ = false;
    ::pthread_join(static_cast<pthread_t>(id_), nullptr);
}

void Thread::Close() {
    if (!joinable_) return;
    joinable_ = false;
    ::pthread_detach(static_cast<pthread_t>(id_));
}

bool Thread::Joinable() const {
    return joinable_;
}

} // namespace velmora::platform
