// The module's fixed figures that several subsystems share: the number of
// inputs, the input ranges (one row each), and the folding of a stored input
// number. Constants and pure functions only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace velmora::core {

inline constexpr int kChannels = 32;

// An input range: its full scale and the codes per volt of the driver's
// 16-bit codes (32000 codes over the full scale).
struct InputRange {
    double fullScale; // volts
    double codesPerVolt;
};

// By range number, as the module numbers them. A new range is a row here,
// and the simulator's converter for it; the driver's list of range names,
// the settings' bounds and the hosts' checks follow.
inline constexpr InputRange kInputRanges[] = {
    {10.0, 3200.0},
    {2.5, 12800.0},
    {0.625, 51200.0},
    {0.15625, 204800.0},
};
inline constexpr int kRanges = static_cast<int>(std::size(kInputRanges));

constexpr bool IsRange(int32_t range) {
    return range >= 0 && range < kRanges;
}

// Codes per volt of a range; a number past the table reads as its nearest row.
constexpr double RangeCodesPerVolt(int32_t range) {
    return kInputRanges[std::clamp(range, 0, kRanges - 1)].codesPerVolt;
}

// A stored input number taken into 0..31 whatever its sign.
constexpr int16_t FoldChannel(int32_t source) {
    return static_cast<int16_t>(((source % kChannels) + kChannels) % kChannels);
}

} // namespace velmora::core
