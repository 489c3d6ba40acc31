// The scope's spectrum: each channel's newest samples of a view through a
// Hann window and a real FFT (FFTW), as dBV (re 1 V rms) against frequency,
// optionally a power average of the last few. No Qt; one thread (the GUI's).
#pragma once

#include "sweep.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace e16scope {

// At most this many samples per channel: 32 channels of 16384 points cost
// about 4 ms of CPU (a one-second window of 15625 points, 5^6, about 6 ms),
// so four spectra a second take under 3 % of a core, and 10000 kadrs/s still
// resolve 0.6 Hz.
inline constexpr std::size_t kDefaultSpectrumPoints = 16384;
// Fewer samples give no spectrum.
inline constexpr std::size_t kMinSpectrumPoints = 16;
// dBV of a bin with no power at all.
inline constexpr double kFloorDbv = -200;
// How far a tone stands over the median bin: white noise's strongest of
// 8192 bins stands about 11 dB over it.
inline constexpr double kToneOverMedianDb = 20;

struct Spectrum {
    double rate = 0;                      // kadrs per second
    std::size_t points = 0;               // samples per channel transformed; 0: no spectrum
    std::size_t averaged = 0;             // spectra in the power average shown
    std::vector<double> frequency;        // Hz: bin k at k * rate / points, 0..rate / 2
    std::vector<std::vector<double>> dbv; // per channel, per bin

    // The strongest tone's frequency, refined by a parabola through the dB
    // of its neighbours. NaN where the spectrum resolves no tone: without a
    // spectrum, when the strongest bin above DC is bin 1 (under two periods
    // in the samples, or the DC the Hann window spreads there), or when it
    // stands less than kToneOverMedianDb over the channel's median bin
    // (noise).
    double PeakFrequency(std::size_t channel) const;
};

// Samples transformed for `kadrs` kadrs under a cap of `maxPoints`: the largest
// product of 2, 3, 5 and 7 not above either, so that the FFT stays fast and
// whole-second windows keep bins on whole hertz; 0 below kMinSpectrumPoints.
std::size_t SpectrumPoints(std::size_t kadrs, std::size_t maxPoints);

class SpectrumAnalyzer {
public:
    SpectrumAnalyzer();
    ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    // The cap on samples per channel (at least kMinSpectrumPoints).
    void SetMaxPoints(std::size_t points);
    // Power average of the last `count` spectra (1: none). Starts over, as it
    // does when the points, the rate or the channels change.
    void SetAveraging(std::size_t count);
    void ResetAverage();

    // The newest samples of every channel of `view`, taken at `rate` kadrs
    // per second, added to the average; the result stays until the next call.
    const Spectrum& Compute(const View& view, double rate);
    const Spectrum& Last() const { return spectrum_; }

private:
    struct Plan;
    void Transform(const View& view, std::size_t channel, float* power);
    void Average(std::size_t channels, std::size_t bins);
    Plan& PlanFor(std::size_t points);

    std::size_t maxPoints_ = kDefaultSpectrumPoints;
    std::size_t averaging_ = 1;
    Plan* plan_ = nullptr;                     // of the size in use, one of plans_
    std::vector<std::unique_ptr<Plan>> plans_; // the sizes used last, newest last
    std::vector<float> history_;               // averaging_ slots of channels x bins powers
    std::vector<double> sum_;                  // the slots' sum
    std::size_t slot_ = 0, filled_ = 0;
    Spectrum spectrum_;
};

} // namespace e16scope
