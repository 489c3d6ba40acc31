#include "signals.h"

#include <cmath>
#include <numbers>

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
    const uint64_t h = mix(mix(at.frame * 64 + at.pos) ^ (uint64_t{phy} << 56));
    return static_cast<double>(h >> 11) / 4503599627370496.0 - 1.0;
}

double sineVolts(const Signal& s, double seconds) {
    return s.d + s.a * std::sin(2.0 * std::numbers::pi * s.b * seconds + s.c);
}

double evaluate(const Signal& s, uint32_t phy, const SampleAt& at, const DacSource& dac) {
    switch (s.kind) {
    case SignalKind::Sine:
        return sineVolts(s, at.seconds);
    case SignalKind::Dc:
        return s.a;
    case SignalKind::Ramp:
        return s.a + s.b * static_cast<double>(at.frame % (s.period == 0 ? 1 : s.period));
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
}

void InputBench::restoreDefaults() {
    for (uint32_t phy = 0; phy < signals_.size(); ++phy) signals_[phy] = defaultSignal(phy);
}

double InputBench::inputVolts(uint32_t phy, const SampleAt& at, const DacSource& dac) const {
    if (phy >= signals_.size()) return 0.0;
    return evaluate(signals_[phy], phy, at, dac);
}

double InputBench::measure(uint32_t phy, uint32_t mode, const SampleAt& at, const DacSource& dac) const {
    if (mode == X502_LCH_MODE_ZERO) return 0.0;
    if (mode == X502_LCH_MODE_DIFF) {
        const uint32_t x = phy % kXInputs;
        return inputVolts(x, at, dac) - inputVolts(x + kXInputs, at, dac);
    }
    return inputVolts(phy, at, dac);
}

} // namespace e16sim
