// The signals wired to the 32 physical inputs (X1..X16, Y1..Y16) and what a
// channel measures in each mode. Values are pure functions of the sample's
// time and position; the owner's lock guards changes to the settings.
#pragma once

#include <array>
#include <cstdint>

namespace e16sim {

enum class SignalKind : uint32_t { Default, Sine, Dc, Ramp, Noise, Dac1, Dac2 };

// Parameters by kind: Sine (a amplitude, b hertz, c phase in radians, d offset);
// Dc (a volts); Ramp (a start, b step per frame, period frames); Noise (a offset, b half-width).
struct Signal {
    SignalKind kind = SignalKind::Default;
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double d = 0.0;
    uint32_t period = 1;
};

// When a sample is taken: seconds and reference ticks since the stream's
// origin, frame index since then, and position in the frame.
struct SampleAt {
    double seconds = 0.0;
    uint64_t tick = 0;
    uint64_t frame = 0;
    uint32_t pos = 0;
};

// Where the loopback inputs X15/X16 read the module's DAC outputs from.
class DacSource {
public:
    virtual double dacVolts(uint32_t channel, uint64_t tick) const = 0;

protected:
    ~DacSource() = default;
};

class InputBench {
public:
    InputBench();
    void setSignal(uint32_t phy, const Signal& signal);
    void restoreDefaults();

    // Volts on one physical input.
    double inputVolts(uint32_t phy, const SampleAt& at, const DacSource& dac) const;
    // Volts a channel sees in a measuring mode (common, differential, zero).
    double measure(uint32_t phy, uint32_t mode, const SampleAt& at, const DacSource& dac) const;

private:
    std::array<Signal, 32> signals_{};
};

// The factory wiring of an input.
Signal defaultSignal(uint32_t phy);

} // namespace e16sim
