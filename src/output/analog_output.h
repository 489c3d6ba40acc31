// AnalogOutput: the module's two analog outputs. Owns their description
// (filled at detection), their static levels, the generator's settings and
// the samples it built, and the operations behind IDAO and the DAC page:
// code/volt conversions and static writes, singly or as a block.
// Host thread only; every write takes the device object, null before the
// first detection (then only the stored level changes).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/generator_setup.h"

namespace velmora::device {
class TE16;
}

namespace velmora::output {

// One analog output.
struct DacChannel {
    double value = 0.0;          // static level last written, volts
    bool running = false;        // playing a waveform
    std::vector<double> samples; // the built waveform, volts
};

class AnalogOutput {
public:
    // Description; zero until a module with a DAC is detected.
    uint8_t resolution = 0;
    int32_t codeMax = 0, codeMin = 0;
    double voltMax = 0, voltMin = 0;
    int16_t rangesCount = 0;
    std::vector<std::string> rangeNames;
    double unitScale = 0, unitOffset = 0;
    int16_t channelsCount = 0;
    double outRateMax = 0;
    double signalFreqMax = 0, signalFreqMin = 0;
    int32_t bufferWords = 0;

    // The generator: set up by the settings or the page, armed when a
    // channel plays, built at each start.
    core::GeneratorSetup generator;
    bool streamEnabled = false;
    int16_t activeCount = 0;
    double outRate = 0;
    int32_t bufferLength = 0;
    std::array<DacChannel, 2> channels{};

    std::string lastError;
    int16_t pageChannel = 0; // the channel the DAC page shows

    // Fills the description for a module with a DAC; clears the channels.
    void Describe();
    core::GeneratorLimits Limits() const;

    // volts = code / unitScale + unitOffset (0 while there is no scale).
    double CodeToVolts(int32_t code) const;
    // code = (volts - unitOffset) * unitScale, rounded half to even and held
    // within the Long range; 0 for a level that is not a number.
    int32_t VoltsToCode(double volts) const;
    // 0 <= index < channelsCount.
    bool IndexInRange(int32_t index) const;
    // A channel plays a waveform.
    bool Busy() const;
    // The static level of an existing channel, volts; 0 for any other index.
    double Level(int32_t index) const;

    // A level that equals the stored one, or a playing channel, writes nothing.
    void SetValue(device::TE16* dev, int16_t channel, double volts);
    void SetValues(device::TE16* dev, double volts0, double volts1);
    // Both outputs to 0 V and the generator disarmed.
    void Stop(device::TE16* dev);
    // After loading or editing the generator: the static levels it starts
    // from, written to the module, and armed when any channel plays.
    void ApplySettings(device::TE16* dev);
    // Clears both playing flags (a recording ended).
    void EndPlaying();

    // Value and ValueReal lets: a level past a limit writes the limit; an
    // index out of range, or a level that is not a number, writes nothing.
    void WriteCode(device::TE16* dev, int16_t index, int32_t code);
    void WriteVolts(device::TE16* dev, int16_t index, double volts);

    // Block writes of `count` values for channels first, first + 1, ...: the
    // values of existing channels are clamped in place, both channels named
    // go out in one two-channel write, one goes out as a single write.
    // Returns the number of values that named an existing channel; count < 1
    // touches nothing.
    int32_t SetCodes(device::TE16* dev, int16_t first, int16_t count, int32_t* values);
    int32_t SetVolts(device::TE16* dev, int16_t first, int16_t count, double* values);
};

} // namespace velmora::output
