// The module's fixed figures that several subsystems share: the number of
// inputs and ranges, codes per volt, and the folding of a stored input number.
// Constants and pure functions only.
#pragma once

#include <cmath>
#include <cstdint>

namespace velmora::core {

inline constexpr int kChannels = 32;
inline constexpr int kRanges = 4;
// 32000 codes over the 10 V range; each narrower range has four times more.
inline constexpr double kCodesPerVolt = 3200.0;

// Codes per volt of input range 0..3.
inline double RangeCodesPerVolt(int32_t range) {
    return kCodesPerVolt * std::ldexp(1.0, 2 * range);
}

// A stored input number taken into 0..31 whatever its sign.
constexpr int16_t FoldChannel(int32_t source) {
    return static_cast<int16_t>(((source % kChannels) + kChannels) % kChannels);
}

} // namespace velmora::core
