#include "driver/driver_ops.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <string>

#include "device/te16.h"
#include "driver/driver_state.h"
#include "engine/channels.h"
#include "engine/detection.h"
#include "engine/input_ring.h"
#include "engine/recording.h"
#include "platform/locale.h"
#include "settings/driver_settings.h"

namespace velmora::driver {
namespace {

constexpr const char* kTypeName = "Lintara";
constexpr const char* kAdcName = "E16";
constexpr float kRateMax = 500000.0f;
constexpr float kDefaultRate = 1000.0f;
constexpr int32_t kDefaultInputSize = 1 << 20;
constexpr float kCodesPerVolt = 3200.0f; // 32000 codes over the 10 V range

// Start-up steps go on after a fault in one of them, as the host expects a
// created object whatever happens.
template <typename Step> void IgnoringFaults(Step step) {
    try {
        step();
    } catch (const std::exception&) {}
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

// acquire: a worker that ended by itself cleared it last (release).
bool Recording(const DriverState& s) {
    return s.busy.load(std::memory_order_acquire);
}

std::string TypeNameForDisplay() {
    std::string name = kTypeName;
    for (char& c : name)
        if (c == '_') c = '-';
    return name;
}

} // namespace

void OnObjectCreated(DriverState& s) {
    IgnoringFaults([&] {
        s.driverTypeName = TypeNameForDisplay();
        s.adcName = kAdcName;
    });
    if (s.instanceCount < 1) {
        IgnoringFaults([&] { settings::PrepareSettingsLocation(s, s.adcName); });
        IgnoringFaults([&] { InitFirstInstance(s); });
        IgnoringFaults([&] { InitDescription(s); });
        IgnoringFaults([&] { settings::LoadSettings(s, {}); });
    }
    ++s.instanceCount;
}

void OnObjectDestroyed(DriverState& s) {
    if (s.instanceCount < 2) {
        IgnoringFaults([&] { ShutdownLastInstance(s); });
        IgnoringFaults([&] { settings::SaveSettings(s, {}); });
    }
    --s.instanceCount;
}

void InitDescription(DriverState& s) {
    s.resolution = 16;
    s.rangesCount = kRanges;
    s.rangeNames.assign(kRanges, {});
    s.rangeUnitScale.assign(kRanges, 0.0f);
    s.rangeUnitOffset.assign(kRanges, 0.0f);
    for (s.loopIndex = 0; s.loopIndex < kRanges; ++s.loopIndex) {
        const auto i = static_cast<std::size_t>(s.loopIndex);
        s.rangeUnitScale[i] = kCodesPerVolt * std::ldexp(1.0f, 2 * s.loopIndex);
        s.rangeNames[i] = "\u00B1" + RangeNumber(std::ldexp(10.0, -2 * s.loopIndex)) + " V";
    }
    s.channelsCount = kChannels;
    s.channelRange.assign(kChannels, 0);
    s.rateMax = kRateMax;
    s.rate = kDefaultRate;
    s.inputSizeRequested = kDefaultInputSize;
    s.inputCountChannels = 1;
    s.inputChannels.assign(1, 0);
}

void InitFirstInstance(DriverState& s) {
    settings::LocateHelpFile(s);
    for (s.loopIndex = 0; s.loopIndex < kChannels; ++s.loopIndex)
        s.channelTable[static_cast<std::size_t>(s.loopIndex)] = {s.loopIndex, 0};
}

void ShutdownLastInstance(DriverState& s) {
    if (Recording(s)) engine::StopRecording(s);
    engine::JoinWorker(s); // the worker never outlives the device object
    if (s.device) {
        s.device->Close();
        s.device.reset();
    }
    s.detected = false;
    s.dacPresent = false;
    if (!s.serialNumber.empty()) settings::SaveSettings(s, s.serialNumber);
}

bool TestDevice(DriverState& s) {
    if (!s.detected) {
        s.basePort = 0;
        s.basePort = engine::DetectModule(s);
        if (s.basePort != 0) s.detected = true;
    }
    return s.detected;
}

int16_t GetChannelRange(const DriverState& s, int16_t index) {
    if (index < 0 || index >= s.channelsCount || static_cast<std::size_t>(index) >= s.channelRange.size())
        return 0;
    return s.channelRange[static_cast<std::size_t>(index)];
}

void SetChannelRange(DriverState& s, int16_t index, int16_t rangeIndex) {
    if (index < 0 || index >= s.channelsCount || static_cast<std::size_t>(index) >= s.channelRange.size())
        return;
    if (rangeIndex < 0 || rangeIndex >= s.rangesCount) return;
    s.channelRange[static_cast<std::size_t>(index)] = rangeIndex;
    engine::ProgramChannels(s);
}

// While recording, the rate in force is returned as it is: programming the
// module would change the decimation under the running worker.
float GetRate(DriverState& s) {
    if (Recording(s)) return s.rate;
    return engine::ApplyRate(s);
}

void SetRate(DriverState& s, float newRate) {
    if (Recording(s)) return;
    const float rate = std::fabs(newRate);
    s.rate = rate <= s.rateMax ? rate : s.rateMax;
}

bool StartRecordChecked(DriverState& s) {
    if (Recording(s) || !s.detected) return false;
    return engine::StartRecording(s);
}

void StopRecordNow(DriverState& s) {
    s.busy.store(false, std::memory_order_release); // the worker stops at its next check
    engine::StopRecording(s);
}

// While recording only the request is stored: the running ring keeps its size
// and the new one takes effect at the next start.
void SetInputSizeRequested(DriverState& s, int32_t size) {
    s.inputSizeRequested = size;
    if (!Recording(s)) engine::ComputeInputSize(s);
}

} // namespace velmora::driver
