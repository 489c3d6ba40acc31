#include "sweep.h"

#include <algorithm>
#include <cmath>

namespace e16scope {

void Sweeper::Reset(std::size_t channels, std::size_t windowKadrs, std::vector<float> codesPerVolt) {
    channels_ = channels;
    window_ = std::max<std::size_t>(windowKadrs, 1);
    // A window and its pre-trigger: a sweep may reach back one window from
    // the block being searched, which is at most a window long.
    capacity_ = 2 * window_;
    codesPerVolt_ = std::move(codesPerVolt);
    codesPerVolt_.resize(channels_, 1.0F);
    ring_.assign(capacity_ * channels_, 0);
    total_ = whole_ = 0;
    sweep_.clear();
    sweepKadrs_ = 0;
    sweepTime_ = 0;
    sweeps_ = 0;
    freeRunning_ = false;
    SetTrigger(settings_);
}

bool Sweeper::SetTrigger(const TriggerSettings& settings) {
    settings_ = settings;
    settings_.pretrigger =
        std::isfinite(settings.pretrigger) ? std::clamp(settings.pretrigger, 0.0, 1.0) : 0.0;
    valid_ =
        settings_.source < channels_ && std::isfinite(settings_.level) && codesPerVolt_[settings_.source] > 0;
    levelCode_ = valid_ ? std::clamp(settings_.level * codesPerVolt_[settings_.source], double{INT16_MIN},
                                     double{INT16_MAX})
                        : 0;
    Arm();
    return valid_ || !settings_.on;
}

void Sweeper::Rearm() {
    Arm();
}

void Sweeper::Arm() {
    primed_ = false;
    pending_ = false;
    held_ = false;
    sweptSinceArm_ = false;
    // The pre-trigger part of the first sweep must have been received, after
    // the last gap.
    searchFrom_ = std::max<uint64_t>(total_, whole_ + PreKadrs());
    waitFrom_ = searchFrom_;
    // Running free stays so while the level is being moved.
    if (settings_.mode != TriggerMode::Auto || !Effective()) freeRunning_ = false;
}

bool Sweeper::Effective() const {
    return settings_.on && valid_;
}

std::size_t Sweeper::PreKadrs() const {
    const auto pre =
        static_cast<std::size_t>(std::lround(settings_.pretrigger * static_cast<double>(window_)));
    return std::min(pre, window_);
}

void Sweeper::Add(const int16_t* codes, std::size_t kadrs) {
    if (channels_ == 0) return;
    while (kadrs > 0) {
        // No more than a window at a time, so that a sweep found in it is
        // still whole in the ring when it completes.
        const std::size_t take = std::min(kadrs, window_);
        const uint64_t from = total_;
        Store(codes, take);
        if (Effective() && !held_) Search(codes, from);
        codes += take * channels_;
        kadrs -= take;
    }
    if (Effective() && !held_ && !pending_ && settings_.mode == TriggerMode::Auto &&
        total_ >= waitFrom_ + window_)
        freeRunning_ = true;
}

// The wait for Auto's free run starts again after the gap too: its window
// holds no trigger only if it was seen whole.
void Sweeper::Skip(uint64_t kadrs) {
    if (channels_ == 0 || kadrs == 0) return;
    total_ += kadrs;
    whole_ = total_;
    pending_ = false;
    primed_ = false;
    searchFrom_ = std::max(searchFrom_, whole_ + PreKadrs());
    waitFrom_ = std::max(waitFrom_, whole_);
}

void Sweeper::Store(const int16_t* codes, std::size_t kadrs) {
    std::size_t done = 0;
    while (done < kadrs) {
        const std::size_t slot = (total_ + done) % capacity_;
        const std::size_t run = std::min(kadrs - done, capacity_ - slot);
        std::copy_n(codes + done * channels_, run * channels_,
                    ring_.begin() + static_cast<std::ptrdiff_t>(slot * channels_));
        done += run;
    }
    total_ += kadrs;
}

// Runs the hysteresis over the source's codes of the kadrs stored last
// (kadr `from` is codes[0]), firing and completing sweeps on the way.
void Sweeper::Search(const int16_t* codes, uint64_t from) {
    const bool rising = settings_.edge == Edge::Rising;
    const double far = rising ? levelCode_ - kHysteresisCodes : levelCode_ + kHysteresisCodes;
    const int16_t* code = codes + settings_.source;
    for (uint64_t k = from; k < total_ && !held_; ++k, code += channels_) {
        if (pending_ && k >= pendingStart_ + window_) Complete();
        if (held_) break;
        const double c = *code;
        if (rising ? c < far : c > far) {
            primed_ = true;
        } else if (primed_ && (rising ? c >= levelCode_ : c <= levelCode_)) {
            primed_ = false; // a crossing in the hold-off is spent all the same
            if (!pending_ && k >= searchFrom_) Fire(k, c);
        }
        lastCode_ = c;
    }
    if (pending_ && total_ >= pendingStart_ + window_) Complete();
}

// The crossing lies between kadr - 1 (lastCode_, before the level) and kadr.
void Sweeper::Fire(uint64_t kadr, double code) {
    const double fraction = (levelCode_ - lastCode_) / (code - lastCode_); // in (0, 1]
    const std::size_t pre = PreKadrs();
    pending_ = true;
    pendingStart_ = kadr - pre;
    // Kadr `kadr` sits 1 - fraction after the trigger point.
    pendingTime_ = -static_cast<double>(pre) + (1.0 - fraction);
}

void Sweeper::Complete() {
    CopyOut(pendingStart_, window_, sweep_);
    sweepKadrs_ = window_;
    sweepStart_ = pendingStart_;
    sweepTime_ = pendingTime_;
    ++sweeps_;
    pending_ = false;
    sweptSinceArm_ = true;
    freeRunning_ = false;
    // The next sweep starts after this one ends: its pre-trigger part must
    // come after this one's end.
    searchFrom_ = pendingStart_ + window_ + PreKadrs();
    waitFrom_ = searchFrom_;
    if (settings_.mode == TriggerMode::Single) held_ = true;
}

void Sweeper::CopyOut(uint64_t from, std::size_t kadrs, std::vector<int16_t>& into) const {
    into.resize(kadrs * channels_);
    std::size_t done = 0;
    while (done < kadrs) {
        const std::size_t slot = (from + done) % capacity_;
        const std::size_t run = std::min(kadrs - done, capacity_ - slot);
        std::copy_n(ring_.begin() + static_cast<std::ptrdiff_t>(slot * channels_), run * channels_,
                    into.begin() + static_cast<std::ptrdiff_t>(done * channels_));
        done += run;
    }
}

SweepState Sweeper::State() const {
    if (!Effective()) return SweepState::Roll;
    if (held_) return SweepState::Held;
    if (freeRunning_) return SweepState::Auto;
    if (sweptSinceArm_ && (pending_ || total_ < waitFrom_ + window_)) return SweepState::Triggered;
    return SweepState::Armed;
}

// Auto shows the newest window until its first sweep too, as it will once it
// runs free; Normal and Single show only sweeps.
View Sweeper::Current() const {
    const SweepState state = State();
    const bool waiting = state == SweepState::Armed && sweepKadrs_ == 0;
    if (state == SweepState::Roll || state == SweepState::Auto ||
        (waiting && settings_.mode == TriggerMode::Auto))
        return Latest();
    View view;
    view.channels = channels_;
    view.codesPerVolt = codesPerVolt_;
    if (sweepKadrs_ == 0) return view;
    view.kadrs = sweepKadrs_;
    view.firstTime = sweepTime_;
    view.firstKadr = sweepStart_;
    view.triggered = true;
    view.first = sweep_;
    return view;
}

// The newest window (or all received since the last gap, while less),
// straight from the ring.
View Sweeper::Latest() const {
    View view;
    view.channels = channels_;
    view.codesPerVolt = codesPerVolt_;
    view.kadrs = static_cast<std::size_t>(std::min<uint64_t>(total_ - whole_, window_));
    view.firstKadr = total_ - view.kadrs;
    const std::size_t slot = static_cast<std::size_t>((total_ - view.kadrs) % capacity_);
    const std::size_t firstKadrs = std::min(view.kadrs, capacity_ - slot);
    const std::span<const int16_t> ring(ring_);
    view.first = ring.subspan(slot * channels_, firstKadrs * channels_);
    view.second = ring.subspan(0, (view.kadrs - firstKadrs) * channels_);
    return view;
}

} // namespace e16scope
