// The runtime error numbers that the driver's error texts carry, the same
// numbers a host's own runtime would report for the same fault.
#pragma once

#include <cstdint>

namespace velmora::core {

inline constexpr int32_t kInvalidCall = 5;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kBadBounds = 9;

} // namespace velmora::core
