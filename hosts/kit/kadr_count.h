// How hosts turn a time a user gave in seconds into kadrs.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

namespace velmora::hosts {

// The kadrs of `seconds` at `rate` kadrs/s: the nearest whole number, a half
// up, of the decimal the user typed. The product in binary may fall a few
// ulps short of it (0.5105 s at 1000 is 510.49999999999994), which would
// round a half down; those last bits are forgiven, a real shortfall is not.
inline int64_t KadrsIn(double seconds, double rate) {
    return static_cast<int64_t>(std::floor(seconds * rate * (1 + 4 * DBL_EPSILON) + 0.5));
}

} // namespace velmora::hosts
