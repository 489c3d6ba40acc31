// Single readings outside recording: one converted value of one logical
// channel. Host thread only.
#pragma once

#include <cstdint>

namespace velmora::driver {
struct DriverState;
}

namespace velmora::engine {

// GetChannel: 0 for an index outside 0..31, a failed read, or while recording
// (the module is left alone then).
int16_t ReadSingleChannel(driver::DriverState& s, int16_t index);
// Rounds half to even and clips to -32768..32767.
int16_t ClampToCode(double value);

} // namespace velmora::engine
