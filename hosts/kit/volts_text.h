// How hosts write a channel's volts: to a code of its input range or finer,
// so that two codes never read alike and no digit is noise of the rounding.
#pragma once

#include <algorithm>
#include <cmath>

namespace velmora::hosts {

// 4 decimals on ±10 V (3200 codes a volt), 5 on ±2.5 and ±0.625 V, 6 on
// ±0.156 V; 3 at the least, 6 at the most.
inline int CodeDecimals(double codesPerVolt) {
    return std::clamp(static_cast<int>(std::ceil(std::log10(codesPerVolt) - 1e-9)), 3, 6);
}

} // namespace velmora::hosts
