// A sleep that another thread can cut short. The waiting side names the
// condition it waits for; the other side calls Notify after changing what
// that condition reads, so no wake-up is lost. Thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace velmora::platform {

class WaitSignal {
public:
    // Waits until `ready()` holds or `ms` pass; returns ready().
    template <typename Ready> bool WaitFor(uint32_t ms, Ready ready) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), ready);
    }

    void Notify() {
        // Taking the lock orders the caller's change before a waiter's check.
        { std::lock_guard lock(mutex_); }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

} // namespace velmora::platform
