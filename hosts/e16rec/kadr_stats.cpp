#include "kadr_stats.h"

#include <algorithm>
#include <cmath>

namespace e16rec {

void RampCheck::Add(double volts) {
    const int step = static_cast<int>(std::lround((volts + 5.0) / 0.01)) % 1000;
    if (prev_ >= 0) {
        const int advance = (step - prev_ + 1000) % 1000;
        if (stride_ == 0) stride_ = std::max(advance, 1);
        if (advance == 0)
            ++repeated_;
        else
            lost_ += (advance - stride_ + 1000) % 1000 / stride_;
    }
    prev_ = step;
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
