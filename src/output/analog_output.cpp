#include "output/analog_output.h"

#include <cmath>
#include <limits>

#include "device/te16.h"

namespace velmora::output {
namespace {

constexpr int32_t kCodeMax = 32000;
constexpr double kVoltMax = 10.0;
constexpr double kOutRateMax = 500000.0;
constexpr double kSignalFreqMin = 0.5;
constexpr int32_t kBufferWords = 10000;

// Nearest integer, halves to the even neighbour whatever the rounding mode.
double RoundHalfEven(double x) {
    const double nearest = std::round(x); // halves away from zero
    if (std::fabs(x - std::trunc(x)) != 0.5) return nearest;
    return 2.0 * std::round(x / 2.0);
}

template <typename T> T Clamped(T value, T low, T high) {
    if (value > high) return high;
    if (value < low) return low;
    return value;
}

// The channels a block names and their levels in volts.
struct BlockLevels {
    std::array<bool, 2> requested{};
    std::array<double, 2> volts{};
};

// Clamps the values of existing channels in place and collects the levels to
// write; returns how many values named an existing channel.
template <typename T, typename ToVolts>
int32_t CollectBlock(const AnalogOutput& out, int16_t first, int16_t count, T* values, T low, T high,
                     ToVolts toVolts, BlockLevels& levels) {
    int32_t counted = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t channel = int32_t{first} + i;
        if (!out.IndexInRange(channel)) continue;
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
void WriteBlock(AnalogOutput& out, device::TE16* dev, const BlockLevels& levels) {
    if (levels.requested[0] && levels.requested[1])
        out.SetValues(dev, levels.volts[0], levels.volts[1]);
    else if (levels.requested[0])
        out.SetValue(dev, 0, levels.volts[0]);
    else if (levels.requested[1])
        out.SetValue(dev, 1, levels.volts[1]);
}

} // namespace

void AnalogOutput::Describe() {
    resolution = 16;
    streamEnabled = false;
    codeMax = kCodeMax;
    codeMin = -kCodeMax;
    voltMax = kVoltMax;
    voltMin = -kVoltMax;
    rangesCount = 1;
    unitOffset = 0.0;
    outRateMax = kOutRateMax;
    signalFreqMax = outRateMax / 5;
    signalFreqMin = kSignalFreqMin;
    generator = {};
    generator.signalFreq = core::kDefaultSignalFreq;
    bufferWords = kBufferWords;
    lastError.clear();
    pageChannel = 0;
    rangeNames = {"\u00B1" + std::to_string(static_cast<int32_t>(kVoltMax)) + " V"};
    unitScale = codeMax / voltMax;
    channelsCount = 2;
    channels = {};
}

core::GeneratorLimits AnalogOutput::Limits() const {
    return {codeMin, codeMax, signalFreqMin, signalFreqMax};
}

double AnalogOutput::CodeToVolts(int32_t code) const {
    if (unitScale == 0.0) return 0.0;
    return code / unitScale + unitOffset;
}

int32_t AnalogOutput::VoltsToCode(double volts) const {
    const double code = RoundHalfEven((volts - unitOffset) * unitScale);
    if (std::isnan(code)) return 0;
    constexpr double low = std::numeric_limits<int32_t>::min();
    constexpr double high = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(Clamped(code, low, high));
}

bool AnalogOutput::IndexInRange(int32_t index) const {
    return index >= 0 && index < channelsCount && static_cast<std::size_t>(index) < channels.size();
}

bool AnalogOutput::Busy() const {
    return channelsCount >= 1 && (channels[0].running || channels[1].running);
}

double AnalogOutput::Level(int32_t index) const {
    return IndexInRange(index) ? channels[static_cast<std::size_t>(index)].value : 0.0;
}

void AnalogOutput::SetValue(device::TE16* dev, int16_t channel, double volts) {
    if (channel < 0 || channel > 1) return;
    DacChannel& ch = channels[static_cast<std::size_t>(channel)];
    if (ch.running || volts == ch.value) return; // the waveform owns it, or nothing changes
    // A write the module refused leaves the level it has: the same level asked again is written.
    if (dev == nullptr || dev->AsyncOutDac(channel, volts)) ch.value = volts;
}

void AnalogOutput::SetValues(device::TE16* dev, double volts0, double volts1) {
    channels[0].value = volts0;
    channels[1].value = volts1;
    if (dev != nullptr) dev->AsyncOutDacPair(volts0, volts1);
}

void AnalogOutput::Stop(device::TE16* dev) {
    SetValues(dev, 0.0, 0.0);
    streamEnabled = false;
    EndPlaying();
}

// A "DC" channel shows its amplitude at once; every other sits at 0 V until
// a recording plays it.
void AnalogOutput::ApplySettings(device::TE16* dev) {
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const core::WaveSettings& wave = generator.waves[i];
        channels[i].value = wave.waveform == core::Waveform::Dc ? CodeToVolts(wave.amplitude) : 0.0;
    }
    streamEnabled = core::Plays(generator.waves[0].waveform) || core::Plays(generator.waves[1].waveform);
    if (dev != nullptr) dev->AsyncOutDacPair(channels[0].value, channels[1].value);
}

void AnalogOutput::EndPlaying() {
    channels[0].running = false;
    channels[1].running = false;
}

void AnalogOutput::WriteCode(device::TE16* dev, int16_t index, int32_t code) {
    if (!IndexInRange(index)) return;
    double volts = CodeToVolts(code);
    if (code >= codeMax)
        volts = voltMax;
    else if (code <= codeMin)
        volts = voltMin;
    SetValue(dev, index, volts);
}

void AnalogOutput::WriteVolts(device::TE16* dev, int16_t index, double volts) {
    if (!IndexInRange(index) || std::isnan(volts)) return;
    SetValue(dev, index, Clamped(volts, voltMin, voltMax));
}

// The caller's values are clamped where they lie, which leaves the caller
// the same array as clamping a working copy and copying it back afterwards.
int32_t AnalogOutput::SetCodes(device::TE16* dev, int16_t first, int16_t count, int32_t* values) {
    if (count < 1) return 0;
    BlockLevels levels;
    const int32_t counted = CollectBlock(
        *this, first, count, values, codeMin, codeMax, [&](int32_t code) { return CodeToVolts(code); },
        levels);
    WriteBlock(*this, dev, levels);
    return counted;
}

int32_t AnalogOutput::SetVolts(device::TE16* dev, int16_t first, int16_t count, double* values) {
    if (count < 1) return 0;
    BlockLevels levels;
    const int32_t counted = CollectBlock(
        *this, first, count, values, voltMin, voltMax, [](double volts) { return volts; }, levels);
    WriteBlock(*this, dev, levels);
    return counted;
}

} // namespace velmora::output
