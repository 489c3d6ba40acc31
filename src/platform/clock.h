// Monotonic millisecond tick and sleep. Thread-safe.
#pragma once

#include <cstdint>

namespace velmora::platform {

// Milliseconds from an arbitrary fixed point; never goes back, wraps like a
// 32-bit tick count.
uint32_t TickCount();
void SleepMs(uint32_t ms);

} // namespace velmora::platform
