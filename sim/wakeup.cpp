#include "wakeup.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>

namespace e16sim {
namespace {

long futex(std::atomic<uint32_t>& word, int op, uint32_t value, const timespec* at) {
    static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));
    return ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), op, value, at, nullptr,
                     FUTEX_BITSET_MATCH_ANY);
}

} // namespace

void Wakeup::wait_until(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point until) {
    using namespace std::chrono;
    const uint32_t seen = generation_.load();
    sleepers_.fetch_add(1);
    lock.unlock();
    // The steady clock is CLOCK_MONOTONIC, the clock of FUTEX_WAIT_BITSET's
    // absolute time-out.
    const auto ns = duration_cast<nanoseconds>(until.time_since_epoch()).count();
    const timespec at{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    const bool forever = until == steady_clock::time_point::max();
    futex(generation_, FUTEX_WAIT_BITSET_PRIVATE, seen, forever ? nullptr : &at);
    sleepers_.fetch_sub(1);
    lock.lock();
}

void Wakeup::notify_all() {
    generation_.fetch_add(1);
    if (sleepers_.load() != 0) futex(generation_, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
}

} // namespace e16sim
