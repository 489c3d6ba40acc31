#include "output/dac_output.h"

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
    if (ch.waveform != 1 || s.dacUnitScale == 0.0) return 0.0;
    return ch.amplitude / s.dacUnitScale + s.dacUnitOffset;
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

} // namespace velmora::output
