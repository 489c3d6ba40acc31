#include "signals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "config.h"
#include "device/x502api.h"

namespace e16sim {
namespace {

constexpr uint32_t kXInputs = 16;

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in [-1, 1), reproducible for the same input and sample.
double noiseUnit(uint32_t phy, const SampleAt& at) {
    const uint64_t h = mix(mix(at.frame * kMaxLChannels + at.pos) ^ (uint64_t{phy} << 56));
    return static_cast<double>(h >> 11) / 4503599627370496.0 - 1.0;
}

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kRefHz = 48000000.0;

double sineVolts(const Signal& s, const SampleAt& at, SineTrack* track, uint64_t version) {
    if (track == nullptr || at.periodTicks == 0)
        return s.d + s.a * std::sin(kTwoPi * s.b * at.seconds() + s.c);
    return s.d + s.a * track->sine(s.b, s.c, at, version);
}

// A ramp's period in frames (at least one), and its volts at a frame's step within it.
uint64_t rampPeriod(const Signal& s) {
    return s.period == 0 ? 1 : s.period;
}
double rampVolts(const Signal& s, uint64_t step) {
    return s.a + s.b * static_cast<double>(step);
}

double evaluate(const Signal& s, uint32_t phy, const SampleAt& at, const DacSource& dac, SineTrack* track,
                uint64_t version) {
    switch (s.kind) {
    case SignalKind::Sine:
        return sineVolts(s, at, track, version);
    case SignalKind::Dc:
        return s.a;
    case SignalKind::Ramp:
        return rampVolts(s, at.frame % rampPeriod(s));
    case SignalKind::Noise:
        return s.a + s.b * noiseUnit(phy, at);
    case SignalKind::Dac1:
        return dac.dacVolts(0, at.tick);
    case SignalKind::Dac2:
        return dac.dacVolts(1, at.tick);
    case SignalKind::Default:
        break;
    }
    return 0.0;
}

} // namespace

double SineTrack::sine(double hz, double phase, const SampleAt& at, uint64_t signals) {
    const uint64_t frame = at.frame;
    if (signals != signals_) {
        const double step = kTwoPi * hz * (static_cast<double>(at.periodTicks) / kRefHz);
        stepSin_ = std::sin(step);
        stepCos_ = std::cos(step);
    }
    if (signals != signals_ || frame != frame_ + 1 || frame % kResync == 0) {
        const double angle = kTwoPi * hz * at.seconds() + phase;
        sin_ = std::sin(angle);
        cos_ = std::cos(angle);
    } else {
        turn(sin_, cos_);
    }
    frame_ = frame;
    signals_ = signals;
    return sin_;
}

void SineTrack::sines(double hz, double phase, const SampleAt& first, uint32_t frames, uint64_t signals,
                      double* out) {
    SampleAt at = first;
    for (uint32_t f = 0; f < frames;) {
        out[f++] = sine(hz, phase, at, signals);
        // Up to the next start again, the turns alone, held in registers.
        const auto run =
            static_cast<uint32_t>(std::min<uint64_t>(frames - f, kResync - 1 - frame_ % kResync));
        double s = sin_, c = cos_;
        for (uint32_t k = 0; k < run; ++k) {
            turn(s, c);
            out[f++] = s;
        }
        sin_ = s;
        cos_ = c;
        frame_ += run;
        at.frame = frame_ + 1;
        at.tick = first.tick + (at.frame - first.frame) * first.periodTicks;
    }
}

Signal defaultSignal(uint32_t phy) {
    if (phy < 14) {
        const double k = phy + 1;
        return {SignalKind::Sine, 0.5 * k, 10.0 * k, 0.0, 0.0, 1};
    }
    if (phy == 14) return {SignalKind::Dac1, 0, 0, 0, 0, 1};
    if (phy == 15) return {SignalKind::Dac2, 0, 0, 0, 0, 1};
    if (phy < 31) return {SignalKind::Dc, (double(phy) - 15.0 - 8.0) * 0.25, 0, 0, 0, 1};
    return {SignalKind::Ramp, -5.0, 0.01, 0.0, 0.0, 1000};
}

InputBench::InputBench() {
    restoreDefaults();
}

void InputBench::setSignal(uint32_t phy, const Signal& signal) {
    if (phy >= signals_.size()) return;
    signals_[phy] = signal.kind == SignalKind::Default ? defaultSignal(phy) : signal;
    ++version_;
}

void InputBench::restoreDefaults() {
    for (uint32_t phy = 0; phy < signals_.size(); ++phy) signals_[phy] = defaultSignal(phy);
    ++version_;
}

double InputBench::inputVolts(uint32_t phy, const SampleAt& at, const DacSource& dac) const {
    return inputVolts(phy, at, dac, nullptr);
}

double InputBench::inputVolts(uint32_t phy, const SampleAt& at, const DacSource& dac,
                              SineTrack* track) const {
    if (phy >= signals_.size()) return 0.0;
    return evaluate(signals_[phy], phy, at, dac, track, version_);
}

double InputBench::measure(uint32_t phy, uint32_t mode, const SampleAt& at, const DacSource& dac) const {
    if (mode == X502_LCH_MODE_ZERO) return 0.0;
    if (mode == X502_LCH_MODE_DIFF) {
        const uint32_t x = phy % kXInputs;
        return inputVolts(x, at, dac, at.tracks ? &at.tracks->first : nullptr) -
               inputVolts(x + kXInputs, at, dac, at.tracks ? &at.tracks->second : nullptr);
    }
    return inputVolts(phy, at, dac, at.tracks ? &at.tracks->first : nullptr);
}

void InputBench::inputFrames(uint32_t phy, const SampleAt& first, uint32_t frames, const DacSource& dac,
                             SineTrack* track, double* volts) const {
    const Signal s = phy < signals_.size() ? signals_[phy] : Signal{};
    if (s.kind == SignalKind::Sine && track != nullptr && first.periodTicks != 0) {
        track->sines(s.b, s.c, first, frames, version_, volts);
        for (uint32_t f = 0; f < frames; ++f) volts[f] = s.d + s.a * volts[f];
    } else if (s.kind == SignalKind::Dc) {
        std::fill_n(volts, frames, s.a);
    } else if (s.kind == SignalKind::Ramp) {
        // The frame's place in the period, counted on rather than divided out.
        const uint64_t period = rampPeriod(s);
        uint64_t step = first.frame % period;
        for (uint32_t f = 0; f < frames; ++f) {
            volts[f] = rampVolts(s, step);
            step = step + 1 == period ? 0 : step + 1;
        }
    } else {
        SampleAt at = first;
        for (uint32_t f = 0; f < frames; ++f, ++at.frame, at.tick += at.periodTicks)
            volts[f] = inputVolts(phy, at, dac, track);
    }
}

void InputBench::measureFrames(uint32_t phy, uint32_t mode, const SampleAt& first, uint32_t frames,
                               const DacSource& dac, double* volts) const {
    if (first.tracks == nullptr || (mode != X502_LCH_MODE_COMM && mode != X502_LCH_MODE_DIFF)) {
        SampleAt at = first;
        for (uint32_t f = 0; f < frames; ++f, ++at.frame, at.tick += at.periodTicks)
            volts[f] = measure(phy, mode, at, dac);
        return;
    }
    if (mode == X502_LCH_MODE_COMM) return inputFrames(phy, first, frames, dac, &first.tracks->first, volts);
    // The X input less the Y one.
    const uint32_t x = phy % kXInputs;
    std::array<double, kFramesAtOnce> y;
    inputFrames(x, first, frames, dac, &first.tracks->first, volts);
    inputFrames(x + kXInputs, first, frames, dac, &first.tracks->second, y.data());
    for (uint32_t f = 0; f < frames; ++f) volts[f] -= y[f];
}

bool InputBench::steady(uint32_t phy, uint32_t mode, double* volts) const {
    const auto dc = [&](uint32_t input) {
        return input < signals_.size() && signals_[input].kind == SignalKind::Dc;
    };
    if (mode == X502_LCH_MODE_ZERO) {
        *volts = 0.0;
        return true;
    }
    if (mode == X502_LCH_MODE_DIFF) {
        const uint32_t x = phy % kXInputs;
        if (!dc(x) || !dc(x + kXInputs)) return false;
        *volts = signals_[x].a - signals_[x + kXInputs].a;
        return true;
    }
    if (!dc(phy)) return false;
    *volts = signals_[phy].a;
    return true;
}

} // namespace e16sim
