#include "measure.h"

#include "csv_field.h"
#include "csv_text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace e16scope {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Crossings whose longest interval is over this many times their shortest
// are uneven.
constexpr double kEvenSpread = 1.5;

struct Sums {
    int16_t min = INT16_MAX, max = INT16_MIN;
    int64_t sum = 0, squares = 0; // 60 s at 15625 kadrs/s of full-scale codes fit with room
};

// Rising crossings of one channel, with hysteresis, in kadrs. The levels are
// compared as whole codes (code >= level is code >= ceil(level)), so that
// the loop over millions of samples stays in integers. Fed negated codes
// and level, it counts the falling crossings.
struct Crossings {
    double level = 0;
    int fire = 0, arm = 0; // fires at >= fire once under arm
    bool primed = false;
    int last = 0;
    std::size_t count = 0;
    double first = 0, latest = 0;
    double shortest = std::numeric_limits<double>::infinity(), longest = 0; // intervals, kadrs

    void At(double codes, double hysteresis) {
        *this = Crossings{};
        level = codes;
        fire = static_cast<int>(std::clamp(std::ceil(level), -65536.0, 65536.0));
        arm = static_cast<int>(std::clamp(std::ceil(level - hysteresis), -65536.0, 65536.0));
    }
    // The swing from `lowest` to `highest` arms and fires it.
    bool Crossed(int lowest, int highest) const { return lowest < arm && highest >= fire; }
    void See(std::size_t kadr, int code) {
        if (code < arm) {
            primed = true;
        } else if (primed && code >= fire) {
            primed = false;
            const double at = static_cast<double>(kadr) - 1 + (level - last) / (code - last);
            if (count++ == 0) {
                first = at;
            } else {
                shortest = std::min(shortest, at - latest);
                longest = std::max(longest, at - latest);
            }
            latest = at;
        }
        last = code;
    }
};

// Calls see(first kadr, codes, kadrs) for each span of the view.
template <typename See> void EachSpan(const View& view, See see) {
    std::size_t kadr = 0;
    for (std::span<const int16_t> part : {view.first, view.second}) {
        const std::size_t kadrs = part.size() / view.channels;
        see(kadr, part.data(), kadrs);
        kadr += kadrs;
    }
}

// Channel by channel in separate arrays, so that the loop over a kadr's
// channels vectorises.
std::vector<Sums> Sum(const View& view) {
    const std::size_t channels = view.channels;
    std::vector<int16_t> least(channels, INT16_MAX), most(channels, INT16_MIN);
    std::vector<int64_t> sum(channels, 0), squares(channels, 0);
    EachSpan(view, [&](std::size_t, const int16_t* codes, std::size_t kadrs) {
        int16_t* lo = least.data();
        int16_t* hi = most.data();
        int64_t* total = sum.data();
        int64_t* square = squares.data();
        for (std::size_t k = 0; k < kadrs; ++k, codes += channels)
            for (std::size_t c = 0; c < channels; ++c) {
                const int16_t code = codes[c];
                lo[c] = std::min(lo[c], code);
                hi[c] = std::max(hi[c], code);
                total[c] += code;
                square[c] += int32_t{code} * code;
            }
    });
    std::vector<Sums> sums(channels);
    for (std::size_t c = 0; c < channels; ++c) sums[c] = {least[c], most[c], sum[c], squares[c]};
    return sums;
}

// Feeds the channels marked in `counting` their codes times kSign (-1: the
// falling crossings, as rising ones of the negated codes), a channel at a
// time over blocks that stay in the first-level cache.
template <int kSign>
void SeeCodes(const View& view, const std::vector<bool>& counting, std::vector<Crossings>& crossings) {
    constexpr std::size_t kBlock = 256;
    EachSpan(view, [&](std::size_t first, const int16_t* codes, std::size_t kadrs) {
        for (std::size_t from = 0; from < kadrs; from += kBlock) {
            const std::size_t to = std::min(kadrs, from + kBlock);
            for (std::size_t c = 0; c < view.channels; ++c) {
                if (!counting[c]) continue;
                Crossings& x = crossings[c];
                for (std::size_t k = from; k < to; ++k)
                    x.See(first + k, kSign * codes[k * view.channels + c]);
            }
        }
    });
}

// The rising crossings of each channel's level; where fewer than two rise
// in the view, the falling ones (a window that starts on a rising crossing
// still holds a whole period between its falling ones).
std::vector<Crossings> Cross(const View& view, const std::vector<Sums>& sums,
                             const TriggerSettings& trigger) {
    std::vector<Crossings> crossings(view.channels);
    std::vector<double> hysteresis(view.channels), middle(view.channels);
    for (std::size_t c = 0; c < view.channels; ++c) {
        Crossings& x = crossings[c];
        hysteresis[c] = CrossingHysteresis(sums[c].max - sums[c].min);
        middle[c] = (static_cast<double>(sums[c].min) + sums[c].max) / 2;
        // The trigger level counts on its source only where the swing can
        // cross it: a level the signal never reaches says nothing of its period.
        if (trigger.on && trigger.source == c && std::isfinite(trigger.level)) {
            x.At(trigger.level * view.codesPerVolt[c], hysteresis[c]);
            if (x.Crossed(sums[c].min, sums[c].max)) continue;
        }
        x.At(middle[c], hysteresis[c]);
    }
    SeeCodes<1>(view, std::vector<bool>(view.channels, true), crossings);
    std::vector<bool> few(view.channels);
    for (std::size_t c = 0; c < view.channels; ++c) {
        few[c] = crossings[c].count < 2;
        if (!few[c]) continue;
        // Falling, a level near the top arms above it, where the swing may not reach.
        Crossings& x = crossings[c];
        x.At(-x.level, hysteresis[c]);
        if (!x.Crossed(-sums[c].max, -sums[c].min)) x.At(-middle[c], hysteresis[c]);
    }
    if (std::find(few.begin(), few.end(), true) != few.end()) SeeCodes<-1>(view, few, crossings);
    return crossings;
}

} // namespace

double CrossingHysteresis(double swingCodes) {
    return std::max(swingCodes / 10, 2.0);
}

std::vector<Measurement> Measure(const View& view, double rate, const TriggerSettings& trigger,
                                 const Spectrum* spectrum) {
    std::vector<Measurement> out(view.channels, Measurement{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN});
    if (view.kadrs == 0 || view.channels == 0) return out;
    const std::vector<Sums> sums = Sum(view);
    const std::vector<Crossings> crossings = Cross(view, sums, trigger);
    const auto n = static_cast<double>(view.kadrs);
    for (std::size_t c = 0; c < view.channels; ++c) {
        const double volts = 1.0 / view.codesPerVolt[c];
        Measurement& m = out[c];
        m.min = sums[c].min * volts;
        m.max = sums[c].max * volts;
        m.vpp = m.max - m.min;
        m.mean = static_cast<double>(sums[c].sum) / n * volts;
        m.rms = std::sqrt(static_cast<double>(sums[c].squares) / n) * volts;
        m.clippedLow = sums[c].min == INT16_MIN;
        m.clippedHigh = sums[c].max == INT16_MAX;
        const Crossings& x = crossings[c];
        if (x.count >= 2 && x.latest > x.first && rate > 0) {
            m.freq = static_cast<double>(x.count - 1) * rate / (x.latest - x.first);
            m.freqStep = m.freq / (x.latest - x.first);
        }
        m.uneven = x.count >= 3 && x.longest > kEvenSpread * x.shortest;
    }
    if (spectrum != nullptr) FillFromSpectrum(out, *spectrum);
    return out;
}

namespace {

bool Unsure(const Measurement& m) {
    return (std::isnan(m.freq) || m.uneven) && m.vpp > 0;
}

} // namespace

bool WantsSpectrum(const std::vector<Measurement>& measurements) {
    return std::any_of(measurements.begin(), measurements.end(), Unsure);
}

void FillFromSpectrum(std::vector<Measurement>& measurements, const Spectrum& spectrum) {
    for (std::size_t c = 0; c < measurements.size(); ++c) {
        Measurement& m = measurements[c];
        if (!Unsure(m)) continue;
        const double peak = spectrum.PeakFrequency(c);
        if (m.uneven && std::isnan(peak)) continue; // no tone: the crossings' mean rate stands
        m.freq = peak;
        m.freqStep = spectrum.rate / static_cast<double>(spectrum.points);
    }
}

int FrequencyDecimals(double hertz, double step) {
    const double size = std::fabs(hertz);
    const int decimals = size < 100 ? 3 : size < 1000 ? 2 : size < 10000 ? 1 : 0;
    if (!(step > 0)) return decimals;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, decimals);
}

std::optional<std::size_t> KadrAt(const View& view, double rate, double seconds) {
    const double kadr = std::round(seconds * rate - view.Time(0));
    if (!(rate > 0 && kadr >= 0 && kadr < static_cast<double>(view.kadrs))) return std::nullopt;
    return static_cast<std::size_t>(kadr);
}

std::string MeasurementsCsv(const std::vector<Measurement>& measurements,
                            const std::vector<std::string>& names) {
    std::string csv = "channel,min_v,max_v,mean_v,rms_v,vpp_v,freq_hz,clipped\n";
    for (std::size_t c = 0; c < measurements.size(); ++c) {
        velmora::hosts::AppendCsvField(csv, c < names.size() ? names[c] : std::to_string(c + 1));
        const Measurement& m = measurements[c];
        for (double value : {m.min, m.max, m.mean, m.rms, m.vpp}) {
            csv += ',';
            AppendNumber(csv, value, std::chars_format::general, 7);
        }
        csv += ',';
        if (m.freqStep > 0 && std::isfinite(m.freq))
            AppendNumber(csv, m.freq, std::chars_format::fixed, FrequencyDecimals(m.freq, m.freqStep));
        else
            AppendNumber(csv, m.freq, std::chars_format::general, 7); // NaN
        csv += m.clippedLow || m.clippedHigh ? ",1\n" : ",0\n";
    }
    return csv;
}

} // namespace e16scope
