// SingleReading: one converted value of one logical channel outside a
// recording. Owns the single-channel set-up it last programmed, kept for a
// second while the same channel and range are read. Host thread only.
#pragma once

#include <cstdint>

namespace velmora::device {
class TE16;
}

namespace velmora::engine {

class AnalogInput;

class SingleReading {
public:
    // 0 for a channel out of range, a failed set-up or a failed read. The
    // caller leaves the module alone while recording.
    int16_t Read(const AnalogInput& input, device::TE16& dev, int16_t index);
    // The module was reprogrammed: the next reading sets itself up again.
    void Forget() { lastChannel_ = -1; }

private:
    bool SetupStillValid(const AnalogInput& input, int16_t index, uint32_t now) const;
    bool SetUp(const AnalogInput& input, device::TE16& dev, int16_t index);

    int16_t lastChannel_ = 0, lastRange_ = 0;
    uint32_t lastTick_ = 0;
    double scale_ = 0, offset_ = 0;
};

// Rounds half to even and clips to -32768..32767.
int16_t ClampToCode(double value);

} // namespace velmora::engine
