#include "engine/single_reading.h"

#include <array>
#include <cstdlib>

#include "device/te16.h"
#include "driver/driver_state.h"
#include "engine/channels.h"
#include "output/dsp.h"
#include "platform/clock.h"

namespace velmora::engine {
namespace {

constexpr uint32_t kKeepSetupMs = 1000;
constexpr int32_t kFrameTimeoutMs = 150;
constexpr double kSingleFreq = 1000.0;
// A frame holds one value per logical channel of the module's table; room for
// the largest table, whatever the module was last told.
constexpr std::size_t kMaxFrame = 256;

bool SetupStillValid(const DriverState& s, int16_t index, uint32_t now) {
    const int64_t age = std::llabs(int64_t{now} - int64_t{s.lastSingleTick});
    return index == s.lastSingleChannel &&
           s.channelRange[static_cast<std::size_t>(index)] == s.lastSingleRange && age <= kKeepSetupMs;
}

// One channel at 1000 per second, streams off, immediate start.
void SetUpSingle(DriverState& s, device::TE16& dev, int16_t index) {
    dev.StopStreams();
    dev.SetStreamEnabled(X502_STREAM_ADC | X502_STREAM_DIN, false);
    s.lastSingleChannel = index;
    s.lastSingleRange = s.channelRange[static_cast<std::size_t>(index)];
    const auto range = static_cast<std::size_t>(s.lastSingleRange);
    s.singleScale = range < s.rangeUnitScale.size() ? s.rangeUnitScale[range] : 0.0;
    s.singleOffset = range < s.rangeUnitOffset.size() ? s.rangeUnitOffset[range] : 0.0;
    SetLogicalChannel(s, 0, index);
    dev.SetLChannelCount(1);
    double acq = kSingleFreq;
    double frame = kSingleFreq;
    dev.SetAdcFreq(acq, frame);
    dev.SetSyncMode(X502_SYNC_INTERNAL);
    dev.SetSyncStartMode(X502_SYNC_INTERNAL);
    dev.Configure();
}

} // namespace

int16_t ClampToCode(double value) {
    int16_t code = 0;
    output::DoubleToInt16(&value, &code, 1);
    return code;
}

// While recording the module is left alone: a set-up would reprogram it under
// the running stream, so the reading is refused and gives 0.
int16_t ReadSingleChannel(driver::DriverState& s, int16_t index) {
    if (index < 0 || index >= s.channelsCount || static_cast<std::size_t>(index) >= s.channelRange.size())
        return 0;
    if (s.busy.load(std::memory_order_acquire) || !s.device) return 0; // acquire: as the worker left it
    device::TE16& dev = *s.device;
    const uint32_t now = platform::TickCount();
    if (!SetupStillValid(s, index, now)) SetUpSingle(s, dev, index);
    std::array<double, kMaxFrame> frame{};
    if (!dev.AsyncGetAdcFrame(frame.data(), kFrameTimeoutMs)) return 0;
    const int16_t code = ClampToCode((frame[0] - s.singleOffset) * s.singleScale);
    s.lastSingleTick = now;
    return code;
}

} // namespace velmora::engine
