// A thread with a chosen stack size, created suspended and then resumed, with
// a handle that can be joined or closed (detached). One owner per handle.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace velmora::platform {

class Thread {
public:
    // Creates the thread suspended; the body runs only after Resume. As with
    // CreateThread, stackSize is no limit: the stack holds at least 1 MiB.
    static std::unique_ptr<Thread> CreateSuspended(std::function<void()> body, std::size_t stackSize);
    ~Thread(); // joins when still joinable

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    void Resume();
    void Join();
    // Lets the thread run on unowned; the handle no longer joins it.
    void Close();
    bool Joinable() const;

    struct Start; // shared by the handle and the running thread

private:
    Thread() = default;
    std::shared_ptr<Start> start_;
    unsigned long id_ = 0;
    bool joinable_ = false;
};

} // namespace velmora::platform
