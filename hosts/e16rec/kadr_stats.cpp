#include "kadr_stats.h"

#include <algorithm>
#include <cmath>

namespace e16rec {

void RampCheck::Add(double volts) {
    // Volts off the ramp's span (another signal, a stream's) still land on a step.
    int step = static_cast<int>(std::lround((volts + 5.0) / 0.01) % 1000);
    if (step < 0) step += 1000;
    if (prev_ >= 0) ++advances_[static_cast<std::size_t>((step - prev_ + 1000) % 1000)];
    prev_ = step;
}

// An advance of k strides lost k - 1 kadrs, modulo the ramp's 1000 steps.
int64_t RampCheck::lost() const {
    const auto commonest = std::max_element(advances_.begin() + 1, advances_.end());
    if (*commonest == 0) return 0;
    const auto stride = commonest - advances_.begin();
    int64_t lost = 0;
    for (std::ptrdiff_t advance = 1; advance < 1000; ++advance)
        lost += advances_[static_cast<std::size_t>(advance)] * ((advance - stride + 1000) % 1000 / stride);
    return lost;
}

KadrStats::KadrStats(std::vector<ChannelStats> channels, int rampPosition)
    : channels_(std::move(channels)), rampPosition_(rampPosition) {}

void KadrStats::Add(const int16_t* kadrs, int32_t count) {
    const std::size_t n = channels_.size();
    for (int32_t k = 0; k < count; ++k) {
        const int16_t* kadr = kadrs + k * n;
        for (std::size_t i = 0; i < n; ++i) {
            ChannelStats& c = channels_[i];
            c.minCode = std::min(c.minCode, kadr[i]);
            c.maxCode = std::max(c.maxCode, kadr[i]);
            c.codeSum += kadr[i];
        }
        if (rampPosition_ >= 0) ramp_.Add(kadr[rampPosition_] / channels_[rampPosition_].scale);
    }
    kadrs_ += count;
}

} // namespace e16rec
