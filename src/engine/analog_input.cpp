#include "engine/analog_input.h"

#include <velmora/interfaces.h>
#include <velmora/stored_channels.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "device/te16.h"
#include "platform/locale.h"

namespace velmora::engine {
namespace {

constexpr int16_t kHalf = core::kChannels / 2;
constexpr float kRateMax = 500000.0f;
constexpr float kDefaultRate = 1000.0f;
constexpr int32_t kRefFreq = 48000000;
constexpr double kMinAcqFreq = 6.0;
// A rate too small to reach kMinAcqFreq by doubling stops here.
constexpr int32_t kMaxDecimation = 1 << 16;
// The module's slowest divider of the reference frequency.
constexpr double kMaxAdcDivider = 1 << 20;

// The module's view of a table entry: physical input and measuring mode.
struct Physical {
    int32_t phy;
    int32_t mode;
};

Physical PhysicalOf(const core::ChannelEntry& e) {
    const int16_t p = core::FoldChannel(e.source);
    if (e.singleEnded != 0) return {p, X502_LCH_MODE_COMM};
    if (p < kHalf) return {p, X502_LCH_MODE_DIFF};
    return {p % kHalf, X502_LCH_MODE_ZERO};
}

// "10", "2.5", "0.625", "0.156": three decimals at most, with the user's separator.
std::string RangeNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::round(value * 1000.0) / 1000.0);
    std::string number(text);
    number.erase(number.find_last_not_of('0') + 1);
    if (number.back() == '.') number.pop_back();
    const std::size_t point = number.find('.');
    if (point != std::string::npos) number.replace(point, 1, platform::DecimalSeparator());
    return number;
}

} // namespace

void AnalogInput::Describe() {
    resolution = 16;
    rangesCount = core::kRanges;
    rangeNames.assign(core::kRanges, {});
    rangeUnitScale.assign(core::kRanges, 0.0f);
    rangeUnitOffset.assign(core::kRanges, 0.0f);
    for (int range = 0; range < core::kRanges; ++range) {
        const auto i = static_cast<std::size_t>(range);
        rangeUnitScale[i] = static_cast<float>(core::kInputRanges[i].codesPerVolt);
        rangeNames[i] = "\u00B1" + RangeNumber(core::kInputRanges[i].fullScale) + " V";
    }
    channelsCount = core::kChannels;
    channelRange.assign(core::kChannels, 0);
    rateMax = kRateMax;
    rate = kDefaultRate;
    inputCountChannels = 1;
    inputChannels.assign(1, 0);
}

std::string AnalogInput::ChannelName(int16_t index) {
    if (index < 0 || index >= channelsCount || index >= core::kChannels) return {};
    core::ChannelEntry& e = channelTable[static_cast<std::size_t>(index)];
    e.source = core::FoldChannel(e.source);
    return stored::InputName(e.source, e.singleEnded != 0);
}

bool AnalogInput::ValidChannel(int16_t index) const {
    return index >= 0 && index < channelsCount && index < core::kChannels &&
           static_cast<std::size_t>(index) < channelRange.size();
}

// The range's entry of a per-range table, 0 when there is none.
float AnalogInput::RangeEntry(const std::vector<float>& table, int16_t index) const {
    if (!ValidChannel(index)) return 0.0f;
    const int16_t range = channelRange[static_cast<std::size_t>(index)];
    if (range < 0 || static_cast<std::size_t>(range) >= table.size()) return 0.0f;
    return table[static_cast<std::size_t>(range)];
}

float AnalogInput::UnitScale(int16_t index) const {
    return RangeEntry(rangeUnitScale, index);
}

float AnalogInput::UnitOffset(int16_t index) const {
    return RangeEntry(rangeUnitOffset, index);
}

int16_t AnalogInput::ChannelRange(int16_t index) const {
    return ValidChannel(index) ? channelRange[static_cast<std::size_t>(index)] : int16_t{0};
}

bool AnalogInput::StoreChannelRange(int16_t index, int16_t range) {
    if (!ValidChannel(index) || range < 0 || range >= rangesCount) return false;
    channelRange[static_cast<std::size_t>(index)] = range;
    return true;
}

void AnalogInput::RequestRate(float requested) {
    // NaN compares with nothing and would read as the fastest rate: no request.
    if (std::isnan(requested)) return;
    const float magnitude = std::fabs(requested);
    rate = magnitude <= rateMax ? magnitude : rateMax;
}

// A list the module cannot take whole is not taken at all: programming only
// part of it would record other channels than the host asked for.
bool AnalogInput::SelectionAcceptable(const std::vector<int16_t>& channels) {
    if (channels.empty() || channels.size() > kMaxInputChannels) return false;
    for (int16_t k : channels)
        if (k < 0 || k >= core::kChannels) return false;
    return true;
}

bool AnalogInput::ProgramLogicalChannel(device::TE16& dev, int16_t slot, int16_t k) const {
    if (!ValidChannel(k)) return false;
    const Physical ph = PhysicalOf(channelTable[static_cast<std::size_t>(k)]);
    return dev.SetLChannel(slot, ph.phy, ph.mode, channelRange[static_cast<std::size_t>(k)], 0);
}

// Before the first detection there is no device object: nothing reaches a
// module then, and ApplyRate only computes the rate it would ask for.
void AnalogInput::ProgramChannels(device::TE16* dev) const {
    if (dev == nullptr) return;
    const int16_t count = static_cast<int16_t>(inputChannels.size());
    for (int16_t i = 0; i < inputCountChannels && i < count; ++i)
        ProgramLogicalChannel(*dev, i, inputChannels[static_cast<std::size_t>(i)]);
    dev->SetLChannelCount(inputCountChannels);
}

double AnalogInput::ProgramFrequencies(device::TE16* dev, double channels, double& frame) const {
    double acq = channels * frame;
    if (acq > rateMax) {
        acq = rateMax;
        frame = static_cast<double>(rateMax) / channels;
    }
    if (dev != nullptr) dev->SetAdcFreq(acq, frame);
    return acq;
}

float AnalogInput::ApplyRate(device::TE16* dev) {
    if (inputCountChannels < 1) inputCountChannels = 1;
    if (dev != nullptr) dev->SetLChannelCount(inputCountChannels);
    // A rate of 0 has no frequency to program; the start refuses it anyway.
    if (!(rate > 0.0f)) {
        kadrRate = acqFreq = 0;
        return rate;
    }
    const double n = inputCountChannels;
    decimation = 1;
    while (n * rate * decimation < kMinAcqFreq && decimation < kMaxDecimation) decimation *= 2;
    refFreq = kRefFreq;
    if (dev != nullptr) dev->SetRefFreq(kRefFreq);
    double acq = 0, frame = 0;
    // A frame slower than the module's slowest comes back raised, its
    // acquisition at the slowest divider (a faster frame is only rounded to
    // its divider): the decimation doubles until the module takes the frame,
    // so that the rate is the one asked, and the same when it is applied
    // again at the start.
    for (;;) {
        const double asked = static_cast<double>(rate) * decimation;
        frame = asked;
        acq = ProgramFrequencies(dev, n, frame);
        const bool slowest = acq > 0.0 && std::nearbyint(kRefFreq / acq) >= kMaxAdcDivider;
        // Shorter by more than a tick of the reference clock, the pause's unit.
        const bool raised = 1.0 / frame < 1.0 / asked - 1.0 / kRefFreq;
        if (!slowest || !raised || decimation >= kMaxDecimation) break;
        decimation *= 2;
    }
    // Bounded as the module bounds it: with no module to say what it achieved
    // (before detection, or a refused setting), a tiny rate's quotient is
    // beyond any integer.
    adcDivider =
        acq > 0.0 ? static_cast<int32_t>(std::clamp(std::nearbyint(kRefFreq / acq), 1.0, kMaxAdcDivider)) : 0;
    kadrRate = frame / decimation;
    acqFreq = acq;
    rate = static_cast<float>(kadrRate);
    return rate;
}

} // namespace velmora::engine
