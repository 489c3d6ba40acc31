// Per-channel statistics of a recording in volts, and the check of the Y16
// frame ramp that tells lost or repeated kadrs. Single-threaded.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace e16rec {

// Kept in codes, so that the sum is exact however long the recording, and a
// constant channel's mean is its value to the last bit (in volts its sum
// rounded, and 0.38625 V showed as min 0.3862, mean 0.3863).
struct ChannelStats {
    std::string name;
    double scale = 1; // codes per volt
    int16_t minCode = std::numeric_limits<int16_t>::max();
    int16_t maxCode = std::numeric_limits<int16_t>::min();
    int64_t codeSum = 0;

    double Min() const { return minCode / scale; }
    double Max() const { return maxCode / scale; }
    double Mean(int64_t kadrs) const {
        return static_cast<double>(codeSum) / static_cast<double>(kadrs) / scale;
    }
    // A code at either end of int16: the input reached the end of its range,
    // and what lay beyond read the same.
    bool Clipped() const {
        return minCode == std::numeric_limits<int16_t>::min() ||
               maxCode == std::numeric_limits<int16_t>::max();
    }
};

// The Y16 input carries volts = -5 + 0.01 x (n mod 1000) for frame n, so two
// consecutive kadrs are one step apart; at a rate below the module's slowest
// frame the driver keeps one frame in N, and they are N steps apart. That
// stride is the commonest advance, so that a kadr lost early does not set it.
class RampCheck {
public:
    void Add(double volts);
    // The next kadr does not follow the last one (a stream's gap, counted
    // there): compare from it on.
    void Restart() { prev_ = -1; }
    int64_t lost() const;
    int64_t repeated() const { return advances_[0]; }

private:
    int prev_ = -1;
    std::array<int64_t, 1000> advances_{}; // how often two kadrs were so many steps apart
};

class KadrStats {
public:
    // rampPosition: position in the kadr of the Y16 channel, -1 for none.
    KadrStats(std::vector<ChannelStats> channels, int rampPosition);
    void Add(const int16_t* kadrs, int32_t count);
    // Kadrs known to be missing before the next ones: not lost again.
    void Gap() { ramp_.Restart(); }

    const std::vector<ChannelStats>& channels() const { return channels_; }
    int64_t kadrs() const { return kadrs_; }
    bool hasRamp() const { return rampPosition_ >= 0; }
    const RampCheck& ramp() const { return ramp_; }

private:
    std::vector<ChannelStats> channels_;
    int rampPosition_;
    int64_t kadrs_ = 0;
    RampCheck ramp_;
};

} // namespace e16rec
