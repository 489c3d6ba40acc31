#include "spectrum.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fftw3.h>

namespace e16scope {

// A real-to-complex plan of one size with its buffers and Hann window.
// FFTW's planner is not thread-safe: plans are made on the GUI thread only.
struct SpectrumAnalyzer::Plan {
    explicit Plan(std::size_t points)
        : n(points), in(fftw_alloc_real(points)), out(fftw_alloc_complex(points / 2 + 1)),
          plan(fftw_plan_dft_r2c_1d(static_cast<int>(points), in, out, FFTW_ESTIMATE)), window(points) {
        // Periodic Hann: its sum is exactly n / 2.
        const double step = 2 * std::acos(-1.0) / static_cast<double>(n);
        for (std::size_t i = 0; i < n; ++i) window[i] = 0.5 - 0.5 * std::cos(step * static_cast<double>(i));
        double sum = 0;
        for (double w : window) sum += w;
        // Amplitude-corrected, one-sided: a sine of amplitude A peaks at
        // |X| = A sum / 2, whose rms A / sqrt(2) squared is 2 |X|^2 / sum^2.
        power = 1 / (sum * sum);
    }
    ~Plan() {
        fftw_destroy_plan(plan);
        fftw_free(out);
        fftw_free(in);
    }
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;

    std::size_t n;
    double* in;
    fftw_complex* out;
    fftw_plan plan;
    std::vector<double> window;
    double power = 1;
};

namespace {

bool SevenSmooth(std::size_t x) {
    for (std::size_t f : {2u, 3u, 5u, 7u})
        while (x % f == 0) x /= f;
    return x == 1;
}

} // namespace

std::size_t SpectrumPoints(std::size_t kadrs, std::size_t maxPoints) {
    std::size_t x = std::min(kadrs, std::max(maxPoints, kMinSpectrumPoints));
    if (x < kMinSpectrumPoints) return 0;
    while (!SevenSmooth(x)) --x; // such numbers are dense: a few steps
    return x;
}

double Spectrum::PeakFrequency(std::size_t channel) const {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    if (points == 0 || channel >= dbv.size() || dbv[channel].size() < 3) return kNaN;
    const std::vector<double>& db = dbv[channel];
    const auto peak = static_cast<std::size_t>(std::max_element(db.begin() + 1, db.end()) - db.begin());
    std::vector<double> levels(db.begin() + 1, db.end());
    const auto middle = levels.begin() + static_cast<std::ptrdiff_t>(levels.size() / 2);
    std::nth_element(levels.begin(), middle, levels.end());
    if (peak < 2 || db[peak] < *middle + kToneOverMedianDb) return kNaN;
    double delta = 0;
    if (peak + 1 < db.size()) {
        const double a = db[peak - 1], b = db[peak], c = db[peak + 1];
        const double curve = a - 2 * b + c;
        if (curve < 0) delta = std::clamp(0.5 * (a - c) / curve, -0.5, 0.5);
    }
    return (static_cast<double>(peak) + delta) * rate / static_cast<double>(points);
}

SpectrumAnalyzer::SpectrumAnalyzer() = default;
SpectrumAnalyzer::~SpectrumAnalyzer() = default;

void SpectrumAnalyzer::SetMaxPoints(std::size_t points) {
    maxPoints_ = std::max(points, kMinSpectrumPoints);
}

void SpectrumAnalyzer::SetAveraging(std::size_t count) {
    averaging_ = std::max<std::size_t>(count, 1);
    ResetAverage();
}

void SpectrumAnalyzer::ResetAverage() {
    history_.clear();
    sum_.clear();
    slot_ = filled_ = 0;
}

const Spectrum& SpectrumAnalyzer::Compute(const View& view, double rate) {
    const std::size_t n = rate > 0 ? SpectrumPoints(view.kadrs, maxPoints_) : 0;
    const std::size_t channels = view.channels, bins = n / 2 + 1;
    if (n != spectrum_.points || rate != spectrum_.rate || channels != spectrum_.dbv.size()) {
        ResetAverage();
        spectrum_.points = n;
        spectrum_.rate = rate;
        spectrum_.frequency.resize(n == 0 ? 0 : bins);
        for (std::size_t k = 0; k < spectrum_.frequency.size(); ++k)
            spectrum_.frequency[k] = static_cast<double>(k) * rate / static_cast<double>(n);
        spectrum_.dbv.assign(channels, std::vector<double>(spectrum_.frequency.size(), kFloorDbv));
    }
    spectrum_.averaged = 0;
    if (n == 0) return spectrum_;
    plan_ = &PlanFor(n);
    const std::size_t row = channels * bins;
    if (history_.size() != averaging_ * row) {
        history_.assign(averaging_ * row, 0.0F);
        sum_.assign(row, 0.0);
    }
    float* slot = history_.data() + slot_ * row;
    if (filled_ == averaging_)
        for (std::size_t i = 0; i < row; ++i) sum_[i] -= slot[i];
    for (std::size_t c = 0; c < channels; ++c) Transform(view, c, slot + c * bins);
    for (std::size_t i = 0; i < row; ++i) sum_[i] = averaging_ == 1 ? slot[i] : sum_[i] + slot[i];
    filled_ = std::min(filled_ + 1, averaging_);
    slot_ = (slot_ + 1) % averaging_;
    Average(channels, bins);
    return spectrum_;
}

// The channel's newest plan_->n samples in volts, windowed, as power per
// bin (V rms squared).
void SpectrumAnalyzer::Transform(const View& view, std::size_t channel, float* power) {
    Plan& p = *plan_;
    const std::size_t channels = view.channels, skip = view.kadrs - p.n;
    const double volts = 1.0 / view.codesPerVolt[channel];
    const std::size_t inFirst = view.first.size() / channels;
    std::size_t i = 0;
    for (std::size_t k = skip; k < inFirst && i < p.n; ++k, ++i)
        p.in[i] = view.first[k * channels + channel] * volts * p.window[i];
    for (std::size_t k = std::max(skip, inFirst) - inFirst; i < p.n; ++k, ++i)
        p.in[i] = view.second[k * channels + channel] * volts * p.window[i];
    fftw_execute(p.plan);
    const std::size_t bins = p.n / 2 + 1;
    for (std::size_t k = 0; k < bins; ++k) {
        const double one = k == 0 || 2 * k == p.n ? 1 : 2; // DC and Nyquist have no mirror
        const double re = p.out[k][0], im = p.out[k][1];
        power[k] = static_cast<float>((re * re + im * im) * p.power * one);
    }
}

// Plans are kept for the last few sizes: a window growing while it fills, or
// views of two sizes taking turns, do not plan again each time.
SpectrumAnalyzer::Plan& SpectrumAnalyzer::PlanFor(std::size_t points) {
    constexpr std::size_t kKept = 4;
    const auto same = [points](const std::unique_ptr<Plan>& p) { return p->n == points; };
    auto found = std::find_if(plans_.begin(), plans_.end(), same);
    if (found == plans_.end()) {
        if (plans_.size() == kKept) plans_.erase(plans_.begin());
        plans_.push_back(std::make_unique<Plan>(points));
        found = plans_.end() - 1;
    }
    std::rotate(found, found + 1, plans_.end());
    return *plans_.back();
}

void SpectrumAnalyzer::Average(std::size_t channels, std::size_t bins) {
    const double floor = std::pow(10.0, kFloorDbv / 10);
    const double share = 1.0 / static_cast<double>(filled_);
    for (std::size_t c = 0; c < channels; ++c) {
        std::vector<double>& db = spectrum_.dbv[c];
        const double* sum = sum_.data() + c * bins;
        for (std::size_t k = 0; k < bins; ++k) db[k] = 10 * std::log10(std::max(sum[k] * share, floor));
    }
    spectrum_.averaged = filled_;
}

} // namespace e16scope
