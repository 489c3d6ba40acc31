// Wakeup: what the simulator's waiting calls (X502_Recv, output waits) sleep
// on, woken by every change that may concern them: a stop, a close, an edge,
// a fault cleared. Used like a condition variable on the simulator lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace e16sim {

class Wakeup {
public:
    // Releases `lock`, sleeps until notified or until `until` (steady clock),
    // and takes the lock again. May return early: callers look again.
    void wait_until(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point until);
    void notify_all();

private:
    // A condition variable takes its lock back as though others wanted it,
    // so the unlock after every wait enters the kernel too; this takes one
    // system call per wait, and none to notify while nobody sleeps.
    std::atomic<uint32_t> generation_{0};
    std::atomic<uint32_t> sleepers_{0};
};

} // namespace e16sim
