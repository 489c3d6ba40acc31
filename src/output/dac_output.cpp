#include "output/dac_output.h"

#include <array>
#include <cmath>
#include <limits>

#include "device/te16.h"
#include "driver/driver_state.h"

namespace velmora::output {
namespace {

constexpr int32_t kCodeMax = 32000;
constexpr double kVoltMax = 10.0;
constexpr double kOutRateMax = 500000.0;
constexpr double kSignalFreqMin = 0.5;
constexpr double kSignalFreqDefault = 100.0;
constexpr int32_t kBufferWords = 10000;

// The static level of a channel after "Start": a "DC" channel shows its
// amplitude at once, every other sits at 0 V until a recording plays it.
double StartLevel(const driver::DriverState& s, const driver::DacChannel& ch) {
    return ch.waveform == 1 ? DacCodeToVolts(s, ch.amplitude) : 0.0;
}

// Nearest integer, halves to the even neighbour whatever the rounding mode.
double RoundHalfEven(double x) {
    const double nearest = std::round(x); // halves away from zero
    if (std::fabs(x - std::trunc(x)) != 0.5) return nearest;
    return 2.0 * std::round(x / 2.0);
}

// The channels a block names and their levels in volts.
struct BlockLevels {
    std::array<bool, 2> requested{};
    std::array<double, 2> volts{};
};

template <typename T> T Clamped(T value, T low, T high) {
    if (value > high) return high;
    if (value < low) return low;
    return value;
}

// Clamps the values of existing channels in place and collects the levels to
// write; returns how many values named an existing channel.
template <typename T, typename ToVolts>
int32_t CollectBlock(const driver::DriverState& s, int16_t first, int16_t count, T* values, T low, T high,
                     ToVolts toVolts, BlockLevels& levels) {
    int32_t counted = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t channel = int32_t{first} + i;
        if (!DacIndexInRange(s, channel)) continue;
        values[i] = Clamped(values[i], low, high);
        ++counted;
        const double volts = toVolts(values[i]);
        if (std::isnan(volts)) continue; // not a level: nothing to write
        levels.requested[static_cast<std::size_t>(channel)] = true;
        levels.volts[static_cast<std::size_t>(channel)] = volts;
    }
    return counted;
}

// Both channels go out in one two-channel write; one alone as a single write
// with its skip rules.
void WriteBlock(driver::DriverState& s, const BlockLevels& levels) {
    if (levels.requested[0] && levels.requested[1])
        SetDacValues(s, levels.volts[0], levels.volts[1]);
    else if (levels.requested[0])
        SetDacValue(s, 0, levels.volts[0]);
    else if (levels.requested[1])
        SetDacValue(s, 1, levels.volts[1]);
}

} // namespace

void DescribeDac(driver::DriverState& s) {
    s.dacResolution = 16;
    s.dacStreamEnabled = false;
    s.dacCodeMax = kCodeMax;
    s.dacCodeMin = -kCodeMax;
    s.dacVoltMax = kVoltMax;
    s.dacVoltMin = -kVoltMax;
    s.dacRangesCount = 1;
    s.dacUnitOffset = 0.0;
    s.dacOutRateMax = kOutRateMax;
    s.dacSignalFreqMax = s.dacOutRateMax / 5;
    s.dacSignalFreqMin = kSignalFreqMin;
    s.dacSignalFreq = kSignalFreqDefault;
    s.dacBufferWords = kBufferWords;
    s.dacLastError.clear();
    s.dacPageChannel = 0;
    s.dacRangeNames = {"\u00B1" + std::to_string(static_cast<int32_t>(kVoltMax)) + " V"};
    s.dacUnitScale = s.dacCodeMax / s.dacVoltMax;
    s.dacChannelsCount = 2;
    s.dacChannels = {};
}

void SetDacValue(driver::DriverState& s, int16_t channel, double volts) {
    if (channel < 0 || channel > 1) return;
    driver::DacChannel& ch = s.dacChannels[static_cast<std::size_t>(channel)];
    if (ch.running || volts == ch.value) return; // the waveform owns it, or nothing changes
    ch.value = volts;
    if (s.device) s.device->AsyncOutDac(channel, volts);
}

void SetDacValues(driver::DriverState& s, double volts0, double volts1) {
    s.dacChannels[0].value = volts0;
    s.dacChannels[1].value = volts1;
    if (s.device) s.device->AsyncOutDacPair(volts0, volts1);
}

void StopDacOutput(driver::DriverState& s) {
    SetDacValues(s, 0.0, 0.0);
    s.dacStreamEnabled = false;
    s.dacChannels[0].running = false;
    s.dacChannels[1].running = false;
}

void ApplyDacSettings(driver::DriverState& s) {
    for (driver::DacChannel& ch : s.dacChannels) ch.value = StartLevel(s, ch);
    s.dacStreamEnabled = s.dacChannels[0].waveform > 0 || s.dacChannels[1].waveform > 0;
    if (s.device) s.device->AsyncOutDacPair(s.dacChannels[0].value, s.dacChannels[1].value);
}

double DacCodeToVolts(const driver::DriverState& s, int32_t code) {
    if (s.dacUnitScale == 0.0) return 0.0;
    return code / s.dacUnitScale + s.dacUnitOffset;
}

int32_t DacVoltsToCode(const driver::DriverState& s, double volts) {
    const double code = RoundHalfEven((volts - s.dacUnitOffset) * s.dacUnitScale);
    if (std::isnan(code)) return 0;
    constexpr double low = std::numeric_limits<int32_t>::min();
    constexpr double high = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(Clamped(code, low, high));
}

bool DacIndexInRange(const driver::DriverState& s, int32_t index) {
    return index >= 0 && index < s.dacChannelsCount && static_cast<std::size_t>(index) < s.dacChannels.size();
}

bool DacBusy(const driver::DriverState& s) {
    return s.dacChannelsCount >= 1 && (s.dacChannels[0].running || s.dacChannels[1].running);
}

void WriteDacCode(driver::DriverState& s, int16_t index, int32_t code) {
    if (!DacIndexInRange(s, index)) return;
    double volts = DacCodeToVolts(s, code);
    if (code >= s.dacCodeMax)
        volts = s.dacVoltMax;
    else if (code <= s.dacCodeMin)
        volts = s.dacVoltMin;
    SetDacValue(s, index, volts);
}

void WriteDacVolts(driver::DriverState& s, int16_t index, double volts) {
    if (!DacIndexInRange(s, index) || std::isnan(volts)) return;
    if (volts >= s.dacVoltMax)
        volts = s.dacVoltMax;
    else if (volts <= s.dacVoltMin)
        volts = s.dacVoltMin;
    SetDacValue(s, index, volts);
}

// The caller's values are clamped where they lie, which leaves the caller
// the same array as clamping a working copy and copying it back afterwards.
int32_t SetDacCodes(driver::DriverState& s, int16_t first, int16_t count, int32_t* values) {
    if (count < 1) return 0;
    BlockLevels levels;
    const int32_t counted = CollectBlock(
        s, first, count, values, s.dacCodeMin, s.dacCodeMax,
        [&](int32_t code) { return DacCodeToVolts(s, code); }, levels);
    WriteBlock(s, levels);
    return counted;
}

int32_t SetDacVolts(driver::DriverState& s, int16_t first, int16_t count, double* values) {
    if (count < 1) return 0;
    BlockLevels levels;
    const int32_t counted = CollectBlock(
        s, first, count, values, s.dacVoltMin, s.dacVoltMax, [](double volts) { return volts; }, levels);
    WriteBlock(s, levels);
    return counted;
}

} // namespace velmora::output
