// AnalogInput: the analog-input setup. Owns the description filled at
// start-up (names, resolution, ranges and their scales), the logical channel
// table with each channel's range, the selection and the rate, and programs
// them into the module. Host thread only; a running worker reads the
// selection and rate, which change only while no recording runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/channel_table.h"

namespace velmora::device {
class TE16;
}

namespace velmora::engine {

class AnalogInput {
public:
    // Description.
    std::string driverTypeName;
    std::string adcName;
    uint8_t resolution = 0;
    int16_t rangesCount = 0;
    std::vector<std::string> rangeNames;
    std::vector<float> rangeUnitScale;
    std::vector<float> rangeUnitOffset;
    int16_t channelsCount = 0;
    std::vector<int16_t> channelRange;

    core::ChannelTable channelTable = core::DefaultChannelTable();

    // Selection and rate.
    std::vector<int16_t> inputChannels;
    int16_t inputCountChannels = 0;
    float rateMax = 0;
    float rate = 0;
    // The rate the module runs at, its frame frequency over the decimation,
    // exactly: `rate` is this rounded to a float, which timestamps must not
    // follow (at 500000 / 3 kadrs/s they would drift 112 us an hour).
    double kadrRate = 0;
    double acqFreq = 0; // samples per second within a frame, as programmed
    int32_t refFreq = 0, adcDivider = 0, decimation = 0;

    // The description of a fresh driver: four ranges, 32 channels on range
    // 0, channel 0 selected at 1000 kadrs per second. The names stay.
    void Describe();

    // "X1".."X16", "Y1".."Y16", "XY1".."XY16" or "Calibration 0"; "" out of
    // range. Folds the stored source into 0..31 first.
    std::string ChannelName(int16_t index);
    // Codes per volt and offset of a channel's range; 0 out of range.
    float UnitScale(int16_t index) const;
    float UnitOffset(int16_t index) const;
    // A logical channel with a range: 0 <= index < channelsCount.
    bool ValidChannel(int16_t index) const;
    // The channel's range; 0 out of range.
    int16_t ChannelRange(int16_t index) const;
    // Stores a valid range of a valid channel; false when nothing changed.
    bool StoreChannelRange(int16_t index, int16_t range);
    // The requested rate: its magnitude, at most rateMax; NaN changes nothing.
    void RequestRate(float requested);
    // A selection the module can take whole: 1..32767 channels within 0..31.
    static bool SelectionAcceptable(const std::vector<int16_t>& channels);

    // Programs module slot `slot` with logical channel k; the module's result.
    bool ProgramLogicalChannel(device::TE16& dev, int16_t slot, int16_t k) const;
    // The selection into the module's table; nothing without a device.
    void ProgramChannels(device::TE16* dev) const;
    // Programs the frequencies for `rate` (only computes them without a
    // device) and returns the achievable kadr rate, which it stores in
    // `rate` and, unrounded, in `kadrRate`.
    float ApplyRate(device::TE16* dev);

private:
    float RangeEntry(const std::vector<float>& table, int16_t index) const;
    // Asks the module for `frame` kadrs/s of `channels` channels, at most
    // rateMax samples/s in all; `frame` holds what it set, the result is
    // the acquisition frequency set.
    double ProgramFrequencies(device::TE16* dev, double channels, double& frame) const;
};

} // namespace velmora::engine
