// The logical channel table as the module sees it: channel names, unit
// scales, the selection, programming of the module's channel table and the
// rate. Host thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::driver {
struct DriverState;
}

namespace velmora::engine {

using driver::DriverState;

// "X1".."X16", "Y1".."Y16", "XY1".."XY16" or "Calibration 0"; "" out of
// range. Folds the stored source into 0..31 first.
std::string GetChannelName(DriverState& s, int16_t index);
// Codes per volt and offset of a channel's range; 0 out of range.
float ChannelUnitScale(const DriverState& s, int16_t index);
float ChannelUnitOffset(const DriverState& s, int16_t index);

// Programs module slot `slot` with logical channel k; the module's result.
bool SetLogicalChannel(DriverState& s, int16_t slot, int16_t k);
void ProgramChannels(DriverState& s);
// Programs the frequencies for `rate` and returns the achievable kadr rate,
// which it also stores in `rate`.
float ApplyRate(DriverState& s);

// InputChannels let: ignored while busy; an empty list or a channel outside
// 0..31 makes the whole request ignored.
void SetInputChannels(DriverState& s, const std::vector<int16_t>& channels);

} // namespace velmora::engine
