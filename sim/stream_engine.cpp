#include "stream_engine.h"

#include <algorithm>

#include "device/x502api.h"
#include "word_format.h"

namespace e16sim {
namespace {

// Frames of a level start's watch worked out in one call at most: about a
// millisecond's work.
constexpr uint64_t kMaxWatchedFrames = 1u << 15;

bool internalClock(uint32_t syncMode) {
    return syncMode == X502_SYNC_INTERNAL || syncMode == X502_SYNC_EXTERNAL_MASTER;
}

bool isEdgeStart(uint32_t mode) {
    return mode == X502_SYNC_SYN1_RISE || mode == X502_SYNC_SYN1_FALL || mode == X502_SYNC_SYN2_RISE ||
           mode == X502_SYNC_SYN2_FALL;
}

bool isLevelStart(uint32_t mode) {
    return mode >= X502_SYNC_ADC_ABOVE_LEVEL && mode <= X502_SYNC_ADC_BELOW_LEVEL;
}

} // namespace

void StreamEngine::start(const Config& cfg, bool adc, bool din, uint64_t capacity, Clock::time_point now,
                         uint32_t timeScale) {
    cfg_ = cfg;
    timeScale_ = std::max<uint32_t>(timeScale, 1);
    tracks_.assign(cfg.lchCount, PositionTracks{});
    steadyWords_.assign(cfg.lchCount, -1);
    replay_.clear();
    adc_ = adc;
    din_ = din;
    capacity_ = capacity;
    origin_ = now;
    period_ = std::max<uint64_t>(1, cfg.framePeriod());
    consumed_ = produced_ = 0;
    overflowAt_ = kNever;
    scanFrame_ = 0;
    havePrev_ = false;
    beginFlow(0);
    edgeCode_ = cfg.startMode;
    if (!internalClock(cfg.syncMode))
        state_ = State::NoClock;
    else if (isEdgeStart(cfg.startMode))
        state_ = State::WaitEdge;
    else if (isLevelStart(cfg.startMode))
        state_ = State::Scan;
}

void StreamEngine::beginFlow(uint64_t frame) {
    state_ = State::Flow;
    firstFrame_ = frame;
    adcStart_ = adcNext_ = frame * cfg_.lchCount;
    const uint64_t startTick = frame * period_;
    dinStart_ = dinNext_ = (startTick + cfg_.dinDiv - 1) / cfg_.dinDiv;
}

bool StreamEngine::fireEdge(uint32_t startCode, Clock::time_point now) {
    if (state_ != State::WaitEdge || startCode != edgeCode_) return false;
    origin_ = now;
    beginFlow(0);
    return true;
}

uint64_t StreamEngine::tickAt(Clock::time_point now) const {
    if (now <= origin_) return 0;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now - origin_).count();
    return static_cast<uint64_t>(ns) * 6 * timeScale_ / 125; // 48 ticks per microsecond of the module
}

// The first moment at which tickAt reaches `tick`.
Clock::time_point StreamEngine::timeOfTick(uint64_t tick) const {
    const uint64_t per = 6 * timeScale_;
    return origin_ + std::chrono::nanoseconds((tick * 125 + per - 1) / per);
}

void StreamEngine::update(Clock::time_point now, const SampleSource& source) {
    const uint64_t tick = tickAt(now);
    if (state_ == State::Scan) scan(tick, source);
    if (state_ != State::Flow) return;
    produced_ = producedBy(tick);
    // The buffer overflowed when more was produced than it holds unread;
    // everything after its last free place is lost.
    if (!overflowed() && produced_ - consumed_ > capacity_) overflowAt_ = consumed_ + capacity_;
}

bool StreamEngine::levelReached(double volts) {
    const double level = cfg_.watch.level;
    bool reached = false;
    switch (cfg_.startMode) {
    case X502_SYNC_ADC_ABOVE_LEVEL:
        reached = volts > level;
        break;
    case X502_SYNC_ADC_BELOW_LEVEL:
        reached = volts < level;
        break;
    case X502_SYNC_ADC_EDGE_RISE:
        reached = havePrev_ && prevVolts_ <= level && volts > level;
        break;
    case X502_SYNC_ADC_EDGE_FALL:
        reached = havePrev_ && prevVolts_ >= level && volts < level;
        break;
    default:
        break;
    }
    prevVolts_ = volts;
    havePrev_ = true;
    return reached;
}

void StreamEngine::scan(uint64_t tick, const SampleSource& source) {
    const SyncWatch& w = cfg_.watch;
    const uint64_t last = tick / period_;
    if (scanFrame_ > last) return;
    // A fast clock makes frames quicker than the watch works them out, under
    // the library's lock: past kMaxWatchedFrames a call checks every k-th
    // frame, and a start comes up to k - 1 frames late (one shorter than k
    // frames may pass unseen).
    const uint64_t stride = (last - scanFrame_) / kMaxWatchedFrames + 1;
    for (; scanFrame_ <= last; scanFrame_ += stride) {
        const uint64_t at = scanFrame_ * period_;
        const SampleAt sample{at, scanFrame_, 0};
        const double volts =
            codeToVolts(voltsToCode(source.channelVolts(w.phy, w.mode, sample), w.range), w.range);
        if (levelReached(volts)) {
            beginFlow(scanFrame_);
            return;
        }
    }
}

uint64_t StreamEngine::producedBy(uint64_t tick) const {
    uint64_t total = 0;
    if (adc_) {
        const uint64_t n = cfg_.lchCount;
        const uint64_t upTo = tick / period_ * n + std::min<uint64_t>(n, tick % period_ / cfg_.adcDiv + 1);
        if (upTo > adcStart_) total += upTo - adcStart_;
    }
    if (din_) {
        const uint64_t upTo = tick / cfg_.dinDiv + 1;
        if (upTo > dinStart_) total += upTo - dinStart_;
    }
    return total;
}

uint64_t StreamEngine::availableLimit() const {
    return std::min(produced_, overflowAt_);
}

Clock::time_point StreamEngine::timeWhenAvailable(uint64_t count) const {
    const uint64_t target = consumed_ + count;
    if (state_ != State::Flow || (!adc_ && !din_) || target > overflowAt_) return Clock::time_point::max();
    uint64_t hi = 1;
    while (producedBy(hi) < target) hi *= 2;
    uint64_t lo = 0;
    while (lo < hi) {
        const uint64_t mid = lo + (hi - lo) / 2;
        if (producedBy(mid) >= target)
            hi = mid;
        else
            lo = mid + 1;
    }
    return timeOfTick(lo);
}

uint64_t StreamEngine::adcTick(uint64_t index) const {
    const uint64_t n = cfg_.lchCount;
    return index / n * period_ + index % n * cfg_.adcDiv;
}

uint32_t StreamEngine::adcWordAt(uint64_t index, const SampleSource& source) {
    const uint32_t pos = static_cast<uint32_t>(index % cfg_.lchCount);
    const uint64_t tick = adcTick(index);
    const LChannel& ch = cfg_.table[pos];
    const SampleAt at{tick, index / cfg_.lchCount, pos, &tracks_[pos], period_};
    return adcWord(pos, ch.mode, voltsToCode(source.channelVolts(ch.phy, ch.mode, at), ch.range));
}

// The word of each position whose volts stay put (a DC input, a zero),
// looked up again at each call since the signals may have been set since.
void StreamEngine::noteSteadyWords(const SampleSource& source) {
    for (uint32_t pos = 0; pos < cfg_.lchCount; ++pos) {
        const LChannel& ch = cfg_.table[pos];
        double volts = 0.0;
        steadyWords_[pos] = source.steadyVolts(ch.phy, ch.mode, &volts)
                                ? int64_t{adcWord(pos, ch.mode, voltsToCode(volts, ch.range))}
                                : int64_t{-1};
    }
}

// The ADC stream alone: a frame cut at either end word by word, whole frames
// position by position, so that a position's signal is looked at once per
// chunk rather than at every word. Steady positions' words are copied.
void StreamEngine::generateAdc(uint32_t* out, uint32_t count, const SampleSource& source) {
    const uint32_t n = cfg_.lchCount;
    noteSteadyWords(source);
    const auto words = [&](uint32_t* to, uint32_t k) {
        for (uint32_t i = 0; i < k; ++i, ++adcNext_) {
            const auto pos = static_cast<uint32_t>(adcNext_ % n);
            const int64_t steady = steadyWords_[pos];
            to[i] = steady >= 0 ? static_cast<uint32_t>(steady) : adcWordAt(adcNext_, source);
        }
    };
    const uint32_t head = std::min<uint32_t>(count, static_cast<uint32_t>((n - adcNext_ % n) % n));
    words(out, head);
    const uint32_t frames = (count - head) / n;
    generateFrames(out + head, frames, source);
    const uint64_t body = uint64_t{frames} * n;
    words(out + head + body, static_cast<uint32_t>(count - head - body));
}

void StreamEngine::generateFrames(uint32_t* out, uint32_t frames, const SampleSource& source) {
    const uint32_t n = cfg_.lchCount;
    for (uint32_t done = 0; done < frames;) {
        const uint32_t chunk = std::min(frames - done, kFramesAtOnce);
        const uint64_t frame = adcNext_ / n;
        for (uint32_t pos = 0; pos < n; ++pos) {
            uint32_t* word = out + uint64_t{done} * n + pos;
            if (const int64_t steady = steadyWords_[pos]; steady >= 0) {
                for (uint32_t f = 0; f < chunk; ++f) word[uint64_t{f} * n] = static_cast<uint32_t>(steady);
                continue;
            }
            const LChannel& ch = cfg_.table[pos];
            const SampleAt first{frame * period_ + uint64_t{pos} * cfg_.adcDiv, frame, pos, &tracks_[pos],
                                 period_};
            source.channelFrames(ch.phy, ch.mode, first, chunk, frameVolts_.data());
            for (uint32_t f = 0; f < chunk; ++f)
                word[uint64_t{f} * n] = adcWord(pos, ch.mode, voltsToCode(frameVolts_[f], ch.range));
        }
        done += chunk;
        adcNext_ += uint64_t{chunk} * n;
    }
}

void StreamEngine::replay(uint32_t frames, const SampleSource& source) {
    replay_.clear();
    if (frames == 0 || !adc_ || din_ || state_ != State::Flow || adcStart_ != 0) return;
    replay_.resize(uint64_t{frames} * cfg_.lchCount);
    generateAdc(replay_.data(), static_cast<uint32_t>(replay_.size()), source);
    adcNext_ = adcStart_;
}

// The replayed words from adcNext_ on, wrapping round at the block's end.
void StreamEngine::copyReplay(uint32_t* out, uint32_t count) {
    const uint64_t size = replay_.size();
    uint64_t at = adcNext_ % size;
    for (uint32_t done = 0; done < count;) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(count - done, size - at));
        std::copy_n(replay_.data() + at, n, out + done);
        done += n;
        at = 0;
    }
    adcNext_ += count;
}

void StreamEngine::generate(uint32_t* out, uint32_t count, const SampleSource& source) {
    if (adc_ && !din_) {
        if (replaying())
            copyReplay(out, count);
        else
            generateAdc(out, count, source);
        consumed_ += count;
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t dinTick = dinNext_ * cfg_.dinDiv;
        if (adc_ && (!din_ || adcTick(adcNext_) <= dinTick)) {
            out[i] = adcWordAt(adcNext_++, source);
        } else {
            out[i] = dinWord(source.digitalInputs(dinTick));
            ++dinNext_;
        }
    }
    consumed_ += count;
}

uint64_t StreamEngine::pendingTick() const {
    if (state_ == State::Scan) return scanFrame_ * period_;
    uint64_t tick = kNever;
    if (state_ != State::Flow) return tick;
    if (adc_) tick = adcTick(adcNext_);
    if (din_) tick = std::min(tick, dinNext_ * cfg_.dinDiv);
    return tick;
}

} // namespace e16sim
