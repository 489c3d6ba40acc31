// What the waveform generator plays on each analog output, and the limits a
// stored setting must respect. Plain data, persisted by the settings, built
// into samples by the output's generator.
#pragma once

#include <array>
#include <cstdint>

namespace velmora::core {

// Stored as these numbers; any other number loads as Off.
enum class Waveform : int16_t { Off = 0, Dc = 1, Noise = 2, Sine = 3, Pulse = 4, Ramp = 5, Triangle = 6 };
inline constexpr int16_t kWaveformCount = 7;

// Every kind after Off plays during a recording.
constexpr bool Plays(Waveform w) {
    return static_cast<int16_t>(w) > 0;
}

struct WaveSettings {
    Waveform waveform = Waveform::Off;
    int32_t amplitude = 0; // codes
    int32_t baseline = 0;  // codes
    double phase = 0.0;    // fraction of a period, 0 <= phase < 1
};

// The signal frequency of a fresh generator, and of a stored one out of bounds.
inline constexpr double kDefaultSignalFreq = 100.0; // Hz

// Both outputs' waves and the signal frequency they share.
struct GeneratorSetup {
    double signalFreq = 0.0; // Hz
    std::array<WaveSettings, 2> waves{};
};

// The bounds a loaded setting must lie within.
struct GeneratorLimits {
    int32_t codeMin = 0, codeMax = 0;
    double signalFreqMin = 0.0, signalFreqMax = 0.0;
};

} // namespace velmora::core
