#include "engine/single_reading.h"

#include <array>
#include <cstdlib>

#include "device/te16.h"
#include "engine/analog_input.h"
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

} // namespace

bool SingleReading::SetupStillValid(const AnalogInput& input, int16_t index, uint32_t now) const {
    const int64_t age = std::llabs(int64_t{now} - int64_t{lastTick_});
    return index == lastChannel_ && input.ChannelRange(index) == lastRange_ && age <= kKeepSetupMs;
}

// One channel at 1000 per second, streams off, immediate start. False when
// any step failed: the module may still hold another channel's set-up.
bool SingleReading::SetUp(const AnalogInput& input, device::TE16& dev, int16_t index) {
    bool ok = dev.StopStreams();
    dev.SetStreamEnabled(X502_STREAM_ADC | X502_STREAM_DIN, false);
    ok = dev.LastResult() == 0 && ok;
    lastChannel_ = index;
    lastRange_ = input.ChannelRange(index);
    const auto range = static_cast<std::size_t>(lastRange_);
    scale_ = range < input.rangeUnitScale.size() ? input.rangeUnitScale[range] : 0.0;
    offset_ = range < input.rangeUnitOffset.size() ? input.rangeUnitOffset[range] : 0.0;
    ok = input.ProgramLogicalChannel(dev, 0, index) && ok;
    ok = dev.SetLChannelCount(1) && ok;
    double acq = kSingleFreq;
    double frame = kSingleFreq;
    ok = dev.SetAdcFreq(acq, frame) && ok;
    ok = dev.SetSyncMode(X502_SYNC_INTERNAL) && ok;
    ok = dev.SetSyncStartMode(X502_SYNC_INTERNAL) && ok;
    return dev.Configure() && ok;
}

// A set-up that failed is neither read through nor kept: its frame could come
// from another input, and the next reading must program the module again.
int16_t SingleReading::Read(const AnalogInput& input, device::TE16& dev, int16_t index) {
    if (!input.ValidChannel(index)) return 0;
    const uint32_t now = platform::TickCount();
    if (!SetupStillValid(input, index, now) && !SetUp(input, dev, index)) {
        Forget();
        return 0;
    }
    std::array<double, kMaxFrame> frame{};
    if (!dev.AsyncGetAdcFrame(frame.data(), kFrameTimeoutMs)) return 0;
    const int16_t code = ClampToCode((frame[0] - offset_) * scale_);
    lastTick_ = now;
    return code;
}

int16_t ClampToCode(double value) {
    int16_t code = 0;
    output::DoubleToInt16(&value, &code, 1);
    return code;
}

} // namespace velmora::engine
