#include "output/waveforms.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "output/analog_output.h"
#include "output/dsp.h"

namespace velmora::output {

namespace {

using core::Waveform;

// x minus x truncated toward zero: a negative x keeps a fraction in (-1, 0].
double Frac(double x) {
    return x - std::trunc(x);
}

// One channel's buffer, with the quantities every kind shares.
struct Build {
    double* x;
    std::size_t len;
    double spp;   // samples per period
    double a, b;  // amplitude and baseline, volts
    double phase; // fraction of a period
};

void FillSine(const Build& w) {
    // |A| cos(θ + 3π/2) = A sin θ for A >= 0; |A| cos(θ + π/2) for A < 0.
    const double p = Frac(w.phase + (w.a >= 0.0 ? 0.75 : 0.25));
    Tone(w.x, w.len, 1.0 / w.spp, kTwoPi * p, std::fabs(w.a));
    Add(w.b, w.x, w.len);
}

void FillPulse(const Build& w) {
    for (std::size_t i = 0; i < w.len; ++i)
        w.x[i] = Frac(static_cast<double>(i) / w.spp + w.phase) < 0.5 ? w.a : -w.a;
    Add(w.b, w.x, w.len);
}

void FillTriangle(const Build& w, double p, double asym) {
    Triangle(w.x, w.len, 1.0 / w.spp, kTwoPi * p, std::fabs(w.a), asym);
    Add(w.b, w.x, w.len);
}

// A rising sawtooth from the baseline for A >= 0, a falling one from the top otherwise.
void FillRamp(const Build& w) {
    if (w.a >= 0.0)
        FillTriangle(w, Frac(w.phase + 0.5), -kPi);
    else
        FillTriangle(w, Frac(w.phase), kPi);
}

void Fill(const Build& w, Waveform waveform) {
    switch (waveform) {
    case Waveform::Dc: // the amplitude is the level; the baseline is not added
        Set(w.a, w.x, w.len);
        break;
    case Waveform::Noise:
        RandomUniform(w.x, w.len, w.b - w.a, w.b + w.a, NextNoiseSeed());
        break;
    case Waveform::Sine:
        FillSine(w);
        break;
    case Waveform::Pulse:
        FillPulse(w);
        break;
    case Waveform::Ramp:
        FillRamp(w);
        break;
    case Waveform::Triangle:
        FillTriangle(w, Frac(w.phase + (w.a >= 0.0 ? 0.5 : 0.0)), 0.0);
        break;
    default: // "Off" and unknown kinds stay at 0 V, not at the baseline
        break;
    }
}

void BuildChannel(const AnalogOutput& out, const core::WaveSettings& wave, DacChannel& ch, double spp) {
    ch.samples.assign(static_cast<std::size_t>(out.bufferLength), 0.0);
    const Build w{ch.samples.data(),
                  ch.samples.size(),
                  spp,
                  out.CodeToVolts(wave.amplitude),
                  out.CodeToVolts(wave.baseline),
                  wave.phase};
    Fill(w, wave.waveform);
    ThresholdBelow(w.x, w.len, out.voltMin);
    ThresholdAbove(w.x, w.len, out.voltMax);
}

// The first whole number of periods that keeps the rate within the maximum.
// Capped at one period per sample, which only a frequency above the maximum
// rate (never stored by the page or the settings) could reach.
int32_t PeriodsInBuffer(double length, double freq, double rateMax) {
    const double cap = std::max(length, 1.0);
    int32_t n = 1;
    while (length * freq / n > rateMax && n < cap) ++n;
    return n;
}

uint64_t Scramble(uint64_t z) {
    z = (z ^ (z >> 33)) * 0xFF51AFD7ED558CCDull;
    z = (z ^ (z >> 33)) * 0xC4CEB9FE1A85EC53ull;
    return z ^ (z >> 33);
}

} // namespace

double NextNoiseSeed() {
    // A Weyl sequence scrambled per draw. Relaxed: each caller needs only a
    // position of its own, not any order with other memory.
    static std::atomic<uint64_t> position{
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    const uint64_t z = Scramble(position.fetch_add(0x9E3779B97F4A7C15ull, std::memory_order_relaxed));
    const float unit = static_cast<float>(z >> 40) * 0x1p-24f; // [0, 1)
    return static_cast<double>(unit) * 100.0;
}

bool GenerateWaveforms(AnalogOutput& out) {
    auto& channels = out.channels;
    for (std::size_t i = 0; i < channels.size(); ++i)
        channels[i].running = core::Plays(out.generator.waves[i].waveform);
    out.activeCount = static_cast<int16_t>(channels[0].running + channels[1].running);
    if (out.activeCount == 0) return false;

    double& freq = out.generator.signalFreq;
    if (freq < out.signalFreqMin) freq = out.signalFreqMin;
    const double words = static_cast<double>(out.bufferWords) / out.activeCount;
    out.bufferLength = std::max(static_cast<int32_t>(std::nearbyint(words)), int32_t{0});

    const double length = out.bufferLength;
    const int32_t n = PeriodsInBuffer(length, freq, out.outRateMax);
    out.outRate = length * freq / n;
    const double spp = length / n;
    for (std::size_t i = 0; i < channels.size(); ++i)
        BuildChannel(out, out.generator.waves[i], channels[i], spp);
    return true;
}

} // namespace velmora::output
