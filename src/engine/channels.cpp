#include "engine/channels.h"

#include <cmath>

#include "device/te16.h"
#include "driver/driver_state.h"
#include "engine/input_ring.h"

namespace velmora::engine {
namespace {

constexpr int16_t kHalf = driver::kChannels / 2;
constexpr int32_t kRefFreq = 48000000;
constexpr double kMinAcqFreq = 6.0;
// A rate too small to reach kMinAcqFreq by doubling stops here.
constexpr int32_t kMaxDecimation = 1 << 16;

// The module's view of a table entry: physical input and measuring mode.
struct Physical {
    int32_t phy;
    int32_t mode;
};

int16_t Fold(int16_t source) {
    const int16_t p = static_cast<int16_t>(source % driver::kChannels);
    return p < 0 ? static_cast<int16_t>(p + driver::kChannels) : p;
}

Physical PhysicalOf(const driver::ChannelEntry& e) {
    const int16_t p = Fold(e.source);
    if (e.singleEnded != 0) return {p, X502_LCH_MODE_COMM};
    if (p < kHalf) return {p, X502_LCH_MODE_DIFF};
    return {p % kHalf, X502_LCH_MODE_ZERO};
}

bool ValidChannel(const DriverState& s, int16_t index) {
    return index >= 0 && index < s.channelsCount && index < driver::kChannels &&
           static_cast<std::size_t>(index) < s.channelRange.size();
}

// The range's entry of a per-range table, 0 when there is none.
float RangeEntry(const DriverState& s, const std::vector<float>& table, int16_t index) {
    if (!ValidChannel(s, index)) return 0.0f;
    const int16_t range = s.channelRange[static_cast<std::size_t>(index)];
    if (range < 0 || static_cast<std::size_t>(range) >= table.size()) return 0.0f;
    return table[static_cast<std::size_t>(range)];
}

} // namespace

std::string GetChannelName(DriverState& s, int16_t index) {
    if (index < 0 || index >= s.channelsCount || index >= driver::kChannels) return {};
    driver::ChannelEntry& e = s.channelTable[static_cast<std::size_t>(index)];
    e.source = Fold(e.source);
    const int16_t half = static_cast<int16_t>(s.channelsCount / 2);
    if (e.singleEnded != 0) {
        if (e.source < half) return std::string("X").append(std::to_string(e.source + 1));
        return std::string("Y").append(std::to_string(e.source - half + 1));
    }
    if (e.source < half) return std::string("XY").append(std::to_string(e.source + 1));
    return "Calibration 0";
}

float ChannelUnitScale(const DriverState& s, int16_t index) {
    return RangeEntry(s, s.rangeUnitScale, index);
}

float ChannelUnitOffset(const DriverState& s, int16_t index) {
    return RangeEntry(s, s.rangeUnitOffset, index);
}

bool SetLogicalChannel(DriverState& s, int16_t slot, int16_t k) {
    if (!s.device || !ValidChannel(s, k)) return false;
    const Physical ph = PhysicalOf(s.channelTable[static_cast<std::size_t>(k)]);
    return s.device->SetLChannel(slot, ph.phy, ph.mode, s.channelRange[static_cast<std::size_t>(k)], 0);
}

// Before the first detection there is no device object: nothing reaches a
// module then, and ApplyRate only computes the rate it would ask for.
void ProgramChannels(DriverState& s) {
    if (!s.device) return;
    const int16_t count = static_cast<int16_t>(s.inputChannels.size());
    for (int16_t i = 0; i < s.inputCountChannels && i < count; ++i)
        SetLogicalChannel(s, i, s.inputChannels[static_cast<std::size_t>(i)]);
    s.device->SetLChannelCount(s.inputCountChannels);
}

float ApplyRate(DriverState& s) {
    if (s.inputCountChannels < 1) s.inputCountChannels = 1;
    if (s.device) s.device->SetLChannelCount(s.inputCountChannels);
    // A rate of 0 has no frequency to program; the start refuses it anyway.
    if (!(s.rate > 0.0f)) return s.rate;
    const double n = s.inputCountChannels;
    s.decimation = 1;
    double frame = s.rate;
    while (n * frame < kMinAcqFreq && s.decimation < kMaxDecimation) {
        s.decimation *= 2;
        frame = static_cast<double>(s.rate) * s.decimation;
    }
    double acq = n * frame;
    if (acq > s.rateMax) {
        acq = s.rateMax;
        frame = static_cast<double>(s.rateMax) / n;
    }
    s.refFreq = kRefFreq;
    if (s.device) {
        s.device->SetRefFreq(kRefFreq);
        s.device->SetAdcFreq(acq, frame);
    }
    s.adcDivider = acq > 0.0 ? static_cast<int32_t>(std::nearbyint(kRefFreq / acq)) : 0;
    s.rate = static_cast<float>(frame / s.decimation);
    return s.rate;
}

void SetInputChannels(DriverState& s, const std::vector<int16_t>& channels) {
    if (s.busy.load(std::memory_order_acquire)) return; // acquire: as the worker left it
    // A list the module cannot take whole is not taken at all: programming
    // only part of it would record other channels than the host asked for.
    if (channels.empty() || channels.size() > static_cast<std::size_t>(INT16_MAX)) return;
    for (int16_t k : channels)
        if (k < 0 || k >= driver::kChannels) return;
    // Kadrs left from the last recording have the old width and can no longer
    // be read against the new list.
    if (static_cast<int32_t>(channels.size()) != s.allocChannels) DropUnread(s);
    s.inputChannels = channels;
    s.inputCountChannels = static_cast<int16_t>(channels.size());
    ProgramChannels(s);
    ComputeInputSize(s);
}

} // namespace velmora::engine
