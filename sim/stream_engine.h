// The module's input stream: when it starts (at once, on a digital edge or on
// an analog level), how many words the clock has produced by a given moment,
// overflow of the input buffer, and the words themselves, generated lazily in
// stream order. Not locked itself: the simulator lock guards it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "config.h"
#include "signals.h"

namespace e16sim {

using Clock = std::chrono::steady_clock;

// What the stream samples: the volts a channel sees and the digital inputs.
class SampleSource {
public:
    virtual double channelVolts(uint32_t phy, uint32_t mode, const SampleAt& at) const = 0;
    // channelVolts at one table position over `frames` (up to kFramesAtOnce)
    // frames from `first` on.
    virtual void channelFrames(uint32_t phy, uint32_t mode, const SampleAt& first, uint32_t frames,
                               double* volts) const = 0;
    // True, with the volts, when what a channel measures does not change
    // with time (until the signals are set again).
    virtual bool steadyVolts(uint32_t phy, uint32_t mode, double* volts) const = 0;
    virtual uint32_t digitalInputs(uint64_t tick) const = 0;

protected:
    ~SampleSource() = default;
};

class StreamEngine {
public:
    // Idle; waiting for a TRIG/INT edge; watching an analog level; producing
    // data; or stuck for want of an external clock.
    enum class State { Idle, WaitEdge, Scan, Flow, NoClock };

    // `timeScale`: the module's clock runs that many times faster than the wall clock.
    void start(const Config& cfg, bool adc, bool din, uint64_t capacity, Clock::time_point now,
               uint32_t timeScale = 1);
    void stop() { state_ = State::Idle; }
    State state() const { return state_; }
    bool running() const { return state_ != State::Idle; }
    // The time origin is set: outputs play and signals run.
    bool hasOrigin() const { return state_ == State::Scan || state_ == State::Flow; }
    // Starts the stream if it waits for this start code's edge; true if it did.
    bool fireEdge(uint32_t startCode, Clock::time_point now);

    uint64_t tickAt(Clock::time_point now) const;
    Clock::time_point timeOfTick(uint64_t tick) const;

    // Brings the stream up to `now`: analog start search and overflow check.
    void update(Clock::time_point now, const SampleSource& source);
    uint64_t available() const { return availableLimit() - consumed_; }
    bool overflowed() const { return overflowAt_ != kNever; }
    // When `count` more words than consumed will exist; max() when unknown.
    Clock::time_point timeWhenAvailable(uint64_t count) const;
    // Writes the next `count` words (count <= available()).
    void generate(uint32_t* out, uint32_t count, const SampleSource& source);
    // From now on the ADC stream repeats its first `frames` frames, worked
    // out once here, instead of working out every sample. Only for an ADC
    // stream alone that flows from frame 0; nothing otherwise, or for 0.
    void replay(uint32_t frames, const SampleSource& source);
    bool replaying() const { return !replay_.empty(); }
    // Reference tick of the earliest sample still to be generated or examined.
    uint64_t pendingTick() const;
    uint64_t firstFrame() const { return firstFrame_; }

private:
    static constexpr uint64_t kNever = UINT64_MAX;

    uint64_t producedBy(uint64_t tick) const;
    uint64_t adcTick(uint64_t index) const;
    uint64_t availableLimit() const;
    void beginFlow(uint64_t frame);
    void scan(uint64_t tick, const SampleSource& source);
    bool levelReached(double volts);
    uint32_t adcWordAt(uint64_t index, const SampleSource& source);
    void generateAdc(uint32_t* out, uint32_t count, const SampleSource& source);
    void generateFrames(uint32_t* out, uint32_t frames, const SampleSource& source);
    void copyReplay(uint32_t* out, uint32_t count);
    void noteSteadyWords(const SampleSource& source);

    State state_ = State::Idle;
    Config cfg_{};
    bool adc_ = false;
    bool din_ = false;
    uint32_t edgeCode_ = 0;
    uint64_t capacity_ = 0;
    Clock::time_point origin_{};
    uint64_t timeScale_ = 1;
    uint64_t period_ = 1;
    uint64_t firstFrame_ = 0;
    uint64_t adcStart_ = 0;
    uint64_t dinStart_ = 0;
    uint64_t adcNext_ = 0;
    uint64_t dinNext_ = 0;
    uint64_t consumed_ = 0;
    uint64_t produced_ = 0;
    uint64_t overflowAt_ = kNever;
    uint64_t scanFrame_ = 0;
    bool havePrev_ = false;
    double prevVolts_ = 0.0;
    std::vector<PositionTracks> tracks_; // one per table position
    std::vector<uint32_t> replay_;       // the words repeated; empty: every sample worked out
    std::vector<int64_t> steadyWords_;   // per position: its word while its volts stay put, else -1
    std::array<double, kFramesAtOnce> frameVolts_{}; // one position's run of frames, off the caller's stack
};

} // namespace e16sim
