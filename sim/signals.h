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

struct PositionTracks;

// The most frames of one position worked out in one call. Small: a receive
// works them out on its caller's thread, whose stack may be a few pages.
constexpr uint32_t kFramesAtOnce = 64;

// When a sample is taken: reference ticks (48 MHz) since the stream's
// origin, frame index since then, and position in the frame; for a stream,
// the position's sine tracks and the frame period in ticks.
struct SampleAt {
    double seconds() const { return static_cast<double>(tick) / 48000000.0; }
    uint64_t tick = 0;
    uint64_t frame = 0;
    uint32_t pos = 0;
    PositionTracks* tracks = nullptr;
    uint64_t periodTicks = 0;
};

// A sine followed from frame to frame at one table position: each frame
// turns the last value by one frame period's phase instead of computing a
// sine, and every kResync frames (or after a gap or a change of the
// signals) it starts again from the exact phase, so the error never grows
// beyond a few hundred rounding steps.
class SineTrack {
public:
    static constexpr uint64_t kResync = 1024;
    // sin(2π·hz·t + phase) at the sample's time t.
    double sine(double hz, double phase, const SampleAt& at, uint64_t signals);
    // What `sine` gives over `frames` frames from `first` on, one after another.
    void sines(double hz, double phase, const SampleAt& first, uint32_t frames, uint64_t signals,
               double* out);

private:
    // One frame period's turn.
    void turn(double& s, double& c) const {
        const double turned = s * stepCos_ + c * stepSin_;
        c = c * stepCos_ - s * stepSin_;
        s = turned;
    }

    uint64_t frame_ = UINT64_MAX; // of the value held
    uint64_t signals_ = 0;        // the bench's version it was computed for
    double sin_ = 0.0, cos_ = 0.0, stepSin_ = 0.0, stepCos_ = 0.0;
};

// The inputs a table position reads: its own and, when differential, the Y one.
struct PositionTracks {
    SineTrack first, second;
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
    // `measure` at one table position over `frames` (up to kFramesAtOnce)
    // frames from `first` on, with the kind of signal looked at once rather
    // than at every sample.
    void measureFrames(uint32_t phy, uint32_t mode, const SampleAt& first, uint32_t frames,
                       const DacSource& dac, double* volts) const;
    // True, with what `measure` gives at any time, when that does not change
    // with time: a zero, or DC inputs alone.
    bool steady(uint32_t phy, uint32_t mode, double* volts) const;

private:
    double inputVolts(uint32_t phy, const SampleAt& at, const DacSource& dac, SineTrack* track) const;
    void inputFrames(uint32_t phy, const SampleAt& first, uint32_t frames, const DacSource& dac,
                     SineTrack* track, double* volts) const;

    std::array<Signal, 32> signals_{};
    uint64_t version_ = 1; // changes with every signal set, so that tracks start again
};

// The factory wiring of an input.
Signal defaultSignal(uint32_t phy);

} // namespace e16sim
