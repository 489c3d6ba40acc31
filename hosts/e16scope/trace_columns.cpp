#include "trace_columns.h"

#include <algorithm>
#include <cmath>

namespace e16scope {

void ReduceInto(MinMax* pairs, const int16_t* codes, std::size_t channels, std::size_t kadrs) {
    for (std::size_t k = 0; k < kadrs; ++k, codes += channels)
        for (std::size_t c = 0; c < channels; ++c) {
            pairs[c].min = std::min(pairs[c].min, codes[c]);
            pairs[c].max = std::max(pairs[c].max, codes[c]);
        }
}

void TraceColumns::Reset(std::size_t channels, std::size_t kadrsPerColumn, std::size_t capacity) {
    channels_ = channels;
    kadrsPerColumn_ = std::max<std::size_t>(kadrsPerColumn, 1);
    capacity_ = std::max<std::size_t>(capacity, 1);
    ring_.assign(capacity_ * channels_, MinMax{});
    partial_.assign(channels_, MinMax{});
    partialKadrs_ = next_ = count_ = 0;
    completed_ = 0;
}

void TraceColumns::Add(const int16_t* codes, std::size_t kadrs) {
    if (channels_ == 0) return;
    while (kadrs > 0) {
        const std::size_t take = std::min(kadrs, kadrsPerColumn_ - partialKadrs_);
        ReduceInto(partial_.data(), codes, channels_, take);
        codes += take * channels_;
        kadrs -= take;
        partialKadrs_ += take;
        if (partialKadrs_ == kadrsPerColumn_) Complete();
    }
}

// A gap longer than the ring leaves every kept column empty: only the count
// of the columns past goes on.
void TraceColumns::Skip(uint64_t kadrs) {
    if (channels_ == 0) return;
    const std::size_t room = kadrsPerColumn_ - partialKadrs_;
    if (kadrs < room) {
        partialKadrs_ += static_cast<std::size_t>(kadrs);
        return;
    }
    kadrs -= room;
    Complete();
    const uint64_t whole = kadrs / kadrsPerColumn_;
    const uint64_t kept = std::min<uint64_t>(whole, capacity_);
    for (uint64_t i = 0; i < kept; ++i) Complete();
    completed_ += whole - kept;
    partialKadrs_ = static_cast<std::size_t>(kadrs % kadrsPerColumn_);
}

void TraceColumns::Complete() {
    std::copy(partial_.begin(), partial_.end(),
              ring_.begin() + static_cast<std::ptrdiff_t>(next_ * channels_));
    std::fill(partial_.begin(), partial_.end(), MinMax{});
    partialKadrs_ = 0;
    next_ = (next_ + 1) % capacity_;
    count_ = std::min(count_ + 1, capacity_);
    ++completed_;
}

MinMax TraceColumns::At(std::size_t channel, std::size_t column) const {
    const std::size_t slot = (next_ + capacity_ - count_ + column) % capacity_;
    return ring_[slot * channels_ + channel];
}

std::size_t KadrsPerColumn(double windowKadrs, std::size_t columns) {
    if (!(windowKadrs > 0) || columns == 0) return 1;
    return std::max<std::size_t>(
        1, static_cast<std::size_t>(std::ceil(windowKadrs / static_cast<double>(columns))));
}

} // namespace e16scope
