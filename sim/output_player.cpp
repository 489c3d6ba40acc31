#include "output_player.h"

#include <algorithm>

#include "device/x502api.h"

namespace e16sim {

bool splitOutWords(const uint32_t* words, uint32_t count,
                   std::array<std::vector<double>, kOutChannels>* out) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t channel = 0;
        uint32_t data = 0;
        if (!decodeOutWord(words[i], &channel, &data)) return false;
        (*out)[channel].push_back(outLevel(channel, data));
    }
    return true;
}

void OutputPlayer::reset() {
    mode_ = Mode::None;
    load_.clear();
    loadSize_ = 0;
    for (auto& track : tracks_) track.clear();
    for (auto& cycle : cycle_) cycle.reset();
}

int32_t OutputPlayer::beginCycleLoad(uint32_t words) {
    if (words == 0 || words > kMaxCycleWords) return X502_ERR_INVALID_OUT_SIZE;
    mode_ = Mode::CycleLoad;
    load_.clear();
    load_.reserve(words);
    loadSize_ = words;
    return X502_ERR_OK;
}

void OutputPlayer::beginPreload() {
    mode_ = Mode::Preload;
    for (auto& track : tracks_) track.clear();
    for (auto& cycle : cycle_) cycle.reset();
}

uint64_t OutputPlayer::unplayed(bool playing, uint64_t nowTick) const {
    uint64_t total = 0;
    for (const auto& track : tracks_) {
        for (const auto& seg : track) {
            if (seg.cyclic) continue;
            const uint64_t end = seg.start + seg.samples->size();
            const uint64_t from = playing ? std::max(seg.start, nowTick + 1) : seg.start;
            if (end > from) total += end - from;
        }
    }
    return total;
}

uint32_t OutputPlayer::readyForSend(bool playing, uint64_t nowTick) const {
    if (mode_ == Mode::CycleLoad) return loadSize_ - static_cast<uint32_t>(load_.size());
    if (mode_ != Mode::Preload) return 0;
    const uint64_t used = unplayed(playing, nowTick);
    return used >= fifoCapacity_ ? 0 : fifoCapacity_ - static_cast<uint32_t>(used);
}

void OutputPlayer::appendFifo(uint32_t channel, std::vector<double>&& samples, bool playing,
                              uint64_t nowTick) {
    if (samples.empty()) return;
    auto& track = tracks_[channel];
    uint64_t start = track.empty() ? 0 : track.back().start + track.back().samples->size();
    // After an underrun the new data play from the next tick, not in the past.
    if (playing) start = std::max(start, nowTick + 1);
    track.push_back({start, std::make_shared<const std::vector<double>>(std::move(samples)), false});
}

int32_t OutputPlayer::accept(const uint32_t* words, uint32_t count, bool playing, uint64_t nowTick) {
    if (mode_ == Mode::None) return X502_ERR_OUT_NOT_PREPARED;
    const uint32_t take = std::min(count, readyForSend(playing, nowTick));
    std::array<std::vector<double>, kOutChannels> split;
    if (!splitOutWords(words, take, &split)) return X502_ERR_INVALID_OUT_WORD;
    if (mode_ == Mode::CycleLoad) {
        load_.insert(load_.end(), words, words + take);
    } else {
        for (uint32_t ch = 0; ch < kOutChannels; ++ch) appendFifo(ch, std::move(split[ch]), playing, nowTick);
    }
    return static_cast<int32_t>(take);
}

uint64_t OutputPlayer::nextBoundary(uint64_t nowTick) const {
    for (const auto& track : tracks_) {
        if (track.empty() || !track.back().cyclic || track.back().samples->empty()) continue;
        const Segment& seg = track.back();
        const uint64_t len = seg.samples->size();
        if (seg.start > nowTick) return seg.start;
        return seg.start + ((nowTick - seg.start) / len + 1) * len;
    }
    return nowTick + 1;
}

void OutputPlayer::placeCycle(uint32_t channel, uint64_t start, const Samples& samples) {
    auto& track = tracks_[channel];
    while (!track.empty() && track.back().start >= start) track.pop_back();
    track.push_back({start, samples, true});
    cycle_[channel] = samples;
}

int32_t OutputPlayer::activateCycle(bool force, bool playing, uint64_t nowTick, uint64_t* startTick) {
    if (mode_ != Mode::CycleLoad) return X502_ERR_OUT_CYCLE_NOT_LOADED;
    if (load_.size() != loadSize_) return X502_ERR_OUT_CYCLE_INCOMPLETE;
    std::array<std::vector<double>, kOutChannels> split;
    if (!splitOutWords(load_.data(), loadSize_, &split)) return X502_ERR_INVALID_OUT_WORD;
    const uint64_t start = !playing ? 0 : (force ? nowTick + 1 : nextBoundary(nowTick));
    for (uint32_t ch = 0; ch < kOutChannels; ++ch) {
        placeCycle(ch, start, std::make_shared<const std::vector<double>>(std::move(split[ch])));
    }
    mode_ = Mode::None;
    load_.clear();
    *startTick = start;
    return X502_ERR_OK;
}

bool OutputPlayer::level(uint32_t channel, uint64_t tick, double* value) const {
    const auto& track = tracks_[channel];
    for (auto it = track.rbegin(); it != track.rend(); ++it) {
        if (it->start > tick) continue;
        const auto& samples = *it->samples;
        if (samples.empty()) return false;
        const uint64_t offset = tick - it->start;
        if (it->cyclic)
            *value = samples[offset % samples.size()];
        else
            *value = offset < samples.size() ? samples[offset] : samples.back();
        return true;
    }
    return false;
}

void OutputPlayer::trim(uint64_t keepTick) {
    for (auto& track : tracks_) {
        while (track.size() >= 2 && track[1].start <= keepTick) track.pop_front();
    }
}

void OutputPlayer::stop() {
    if (mode_ == Mode::Preload) mode_ = Mode::None;
    for (uint32_t ch = 0; ch < kOutChannels; ++ch) {
        tracks_[ch].clear();
        if (cycle_[ch]) tracks_[ch].push_back({0, cycle_[ch], true});
    }
}

const std::vector<double>& OutputPlayer::activeCycle(uint32_t channel) const {
    static const std::vector<double> kNone;
    return cycle_[channel] ? *cycle_[channel] : kNone;
}

} // namespace e16sim
