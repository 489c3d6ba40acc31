// The scope's measurements: per channel over a view's samples, in volts, the
// extremes, mean, rms and frequency, and their CSV for automation. No Qt.
#pragma once

#include "spectrum.h"
#include "sweep.h"

#include <optional>
#include <string>
#include <vector>

namespace e16scope {

// NaN where a view has no samples. rms counts the mean in (DC + AC).
struct Measurement {
    double min, max, mean, rms, vpp;
    // Hz, from the rising crossings of a level (the falling ones where fewer
    // than two rise): the trigger level on the trigger's source where its
    // swing crosses it that way, else halfway between min and max;
    // (crossings - 1) over the time from the first to the last, each
    // crossing interpolated between its two kadrs. With fewer than two
    // crossings, or uneven ones, the spectrum's peak (FillFromSpectrum);
    // else NaN, or the uneven crossings' mean rate.
    double freq;
    // Hz: what freq resolves, and so the decimals it is written with. The
    // spectrum's bin when freq is its peak's; for crossings, freq over their
    // span in kadrs: an interpolated crossing is sure to within a kadr,
    // closer only for a waveform known between its samples.
    double freqStep = 0;
    // A sample at the lowest or highest code: the input reached that end of
    // its range, and what lay beyond read the same, so min or max is a bound.
    bool clippedLow = false, clippedHigh = false;
    // The crossings' longest interval is over 1.5 times their shortest: near
    // the Nyquist frequency the samples hide some crossings, and a period
    // that wanders has no one frequency.
    bool uneven = false;
};

// Decimals a frequency is written with: fewer the higher it is (3 under
// 100 Hz, 0 from 10 kHz), and none finer than `step` (0: no bound).
int FrequencyDecimals(double hertz, double step);

// Hysteresis of the frequency's crossings in codes: a tenth of the channel's
// swing, so that noise of up to that peak to peak counts no crossing, and at
// least 2 codes.
double CrossingHysteresis(double swingCodes);

// One Measurement per channel of `view`, taken at `rate` kadrs per second.
// Two passes over every sample, about 2 ns each: a 60 s view of 32 channels
// at 15625 kadrs/s takes some 70 ms, so measure a triggered view once per
// sweep, not once per drain.
// `trigger` gives the source's level when on; `spectrum` (may be null), of
// the same view, is handed to FillFromSpectrum.
std::vector<Measurement> Measure(const View& view, double rate, const TriggerSettings& trigger,
                                 const Spectrum* spectrum = nullptr);

// Some channel with a swing has too few crossings for a frequency, or uneven ones.
bool WantsSpectrum(const std::vector<Measurement>& measurements);
// Such channels take the spectrum's peak, where it resolves a tone; a flat
// channel has no frequency.
void FillFromSpectrum(std::vector<Measurement>& measurements, const Spectrum& spectrum);

// The kadr of `view` nearest `seconds` on the plot's time axis (View::Time)
// at `rate`, where a cursor there reads the samples themselves rather than
// the pixel column drawn over them; none outside the view.
std::optional<std::size_t> KadrAt(const View& view, double rate, double seconds);

// "channel,min_v,max_v,mean_v,rms_v,vpp_v,freq_hz,clipped" and a row per
// channel, named from `names` (by position, else its number from 1); seven
// significant digits, a spectrum's frequency to its bin, NaN as "nan";
// clipped 1 when either end was reached, else 0.
std::string MeasurementsCsv(const std::vector<Measurement>& measurements,
                            const std::vector<std::string>& names);

} // namespace e16scope
