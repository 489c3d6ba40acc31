#include "measure.h"

#include "csv_text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace e16scope {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Sums {
    int16_t min = INT16_MAX, max = INT16_MIN;
    int64_t sum = 0, squares = 0; // 60 s at 15625 kadrs/s of full-scale codes fit with room
};

// Rising crossings of one channel, with hysteresis, in kadrs.
struct Crossings {
    double level = 0, below = 0; // codes: fires at >= level once under `below`
    bool primed = false;
    double last = 0;
    std::size_t count = 0;
    double first = 0, latest = 0;

    void See(std::size_t kadr, double code) {
        if (code < below) {
            primed = true;
        } else if (primed && code >= level) {
            primed = false;
            const double at = static_cast<double>(kadr) - 1 + (level - last) / (code - last);
            if (count++ == 0) first = at;
            latest = at;
        }
        last = code;
    }
};

// Calls see(kadr, codes of that kadr) over both spans of the view.
template <typename See> void EachKadr(const View& view, See see) {
    std::size_t kadr = 0;
    for (std::span<const int16_t> part : {view.first, view.second})
        for (std::size_t at = 0; at + view.channels <= part.size(); at += view.channels)
            see(kadr++, &part[at]);
}

std::vector<Sums> Sum(const View& view) {
    std::vector<Sums> sums(view.channels);
    EachKadr(view, [&sums](std::size_t, const int16_t* codes) {
        for (std::size_t c = 0; c < sums.size(); ++c) {
            Sums& s = sums[c];
            s.min = std::min(s.min, codes[c]);
            s.max = std::max(s.max, codes[c]);
            s.sum += codes[c];
            s.squares += int64_t{codes[c]} * codes[c];
        }
    });
    return sums;
}

std::vector<Crossings> Cross(const View& view, const std::vector<Sums>& sums,
                             const TriggerSettings& trigger) {
    std::vector<Crossings> crossings(view.channels);
    for (std::size_t c = 0; c < view.channels; ++c) {
        const double swing = sums[c].max - sums[c].min;
        const bool source = trigger.on && trigger.source == c && std::isfinite(trigger.level);
        crossings[c].level = source ? trigger.level * view.codesPerVolt[c]
                                    : (static_cast<double>(sums[c].min) + sums[c].max) / 2;
        crossings[c].below = crossings[c].level - CrossingHysteresis(swing);
    }
    EachKadr(view, [&crossings](std::size_t kadr, const int16_t* codes) {
        for (std::size_t c = 0; c < crossings.size(); ++c) crossings[c].See(kadr, codes[c]);
    });
    return crossings;
}

} // namespace

double CrossingHysteresis(double swingCodes) {
    return std::clamp(swingCodes / 10, 2.0, kHysteresisCodes);
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
        const Crossings& x = crossings[c];
        if (x.count >= 2 && x.latest > x.first && rate > 0)
            m.freq = static_cast<double>(x.count - 1) * rate / (x.latest - x.first);
        else if (spectrum != nullptr)
            m.freq = spectrum->PeakFrequency(c);
    }
    return out;
}

std::string MeasurementsCsv(const std::vector<Measurement>& measurements,
                            const std::vector<std::string>& names) {
    std::string csv = "channel,min_v,max_v,mean_v,rms_v,vpp_v,freq_hz\n";
    for (std::size_t c = 0; c < measurements.size(); ++c) {
        AppendField(csv, c < names.size() ? names[c] : std::to_string(c + 1));
        const Measurement& m = measurements[c];
        for (double value : {m.min, m.max, m.mean, m.rms, m.vpp, m.freq}) {
            csv += ',';
            AppendNumber(csv, value, std::chars_format::general, 7);
        }
        csv += '\n';
    }
    return csv;
}

} // namespace e16scope
