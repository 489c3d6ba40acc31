// The scope's acquisition: the latest kadrs of the recorded channels as raw
// codes, the display trigger searched on them as they arrive, and the sweep
// (or the rolling window) to show. No Qt; one thread (the GUI's).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "volts_text.h"

namespace e16scope {

enum class Edge { Rising, Falling };

// Normal: only triggered sweeps, the last one stays shown. Auto: as Normal,
// but the latest window shows until the first sweep, and after one window
// length without a trigger the latest window runs free until the next one. Single: the first sweep after
// arming is held, later triggers are ignored until Rearm or SetTrigger.
enum class TriggerMode { Auto, Normal, Single };

struct TriggerSettings {
    bool on = false;
    std::size_t source = 0; // position in the recorded channels
    Edge edge = Edge::Rising;
    double level = 0;      // volts
    double pretrigger = 0; // part of the window before the trigger point, 0..1
    TriggerMode mode = TriggerMode::Auto;
};

// Roll: no trigger in effect, the latest window shown. Armed: waiting, for
// the first trigger or for one window after the last sweep; the last sweep,
// if any, stays shown. Triggered: sweeps are coming. Auto: running free for
// want of a trigger. Held: a single sweep caught.
enum class SweepState { Roll, Armed, Triggered, Auto, Held };

// Hysteresis of the trigger, in codes: 0.5 % of the full scale of 32000
// codes. Rising fires at the first sample >= level after one below
// level - this; falling mirrors it. Noise of a few codes never retriggers,
// while any signal swinging more than 0.5 % of the range below the level does.
inline constexpr double kHysteresisCodes = 160;

// The volts of a channel's lowest and highest codes at `codesPerVolt`: a
// trigger level past them is never crossed, but one within half a code
// (`slack`) past an end fires as the signal reaches that end.
struct Reach {
    double low, high, slack;
    bool Holds(double level) const { return level >= low - slack && level <= high + slack; }
};
inline Reach LevelReach(float codesPerVolt) {
    const double perVolt = codesPerVolt;
    return {INT16_MIN / perVolt, INT16_MAX / perVolt, 0.5 / perVolt};
}
// The decimals a level is written with: a code of the range or finer.
inline int LevelDecimals(const Reach& reach) {
    return velmora::hosts::CodeDecimals(0.5 / reach.slack);
}

// The samples to show: `kadrs` kadrs of `channels` interleaved codes, the
// older part in `first` and the rest in `second` (often empty). Valid until
// the next Add, Reset or SetTrigger of the Sweeper that gave it.
struct View {
    std::size_t kadrs = 0;
    std::size_t channels = 0;
    // Of the first kadr, in kadrs: from the trigger point for a triggered
    // sweep (the crossing, interpolated: <= 0 unless the pretrigger is 0),
    // else 0 (the window's start).
    double firstTime = 0;
    // Of the first kadr, in kadrs added and skipped since the Sweeper's Reset.
    uint64_t firstKadr = 0;
    bool triggered = false;
    std::span<const int16_t> first, second;
    std::span<const float> codesPerVolt; // per channel

    int16_t Code(std::size_t kadr, std::size_t channel) const {
        const std::size_t at = kadr * channels + channel;
        return at < first.size() ? first[at] : second[at - first.size()];
    }
    double Volts(std::size_t kadr, std::size_t channel) const {
        return Code(kadr, channel) / static_cast<double>(codesPerVolt[channel]);
    }
    // Of `kadr` on the plot's time axis, in kadrs: from the trigger point for
    // a triggered sweep, else from the recording's start.
    double Time(std::size_t kadr) const {
        return (triggered ? firstTime : static_cast<double>(firstKadr)) + static_cast<double>(kadr);
    }
};

// Keeps a ring of two windows of codes and a copy of the sweep shown: for a
// 60 s window of 32 channels at 15625 kadrs/s, some 180 MB. Sweeps do not
// overlap: after one completes, the next trigger must come at least its
// pre-trigger part after its end. Searching costs well under 1 % of a core
// at 500 kS/s.
class Sweeper {
public:
    // Forgets every kadr and sweep: `channels` per kadr, windows of
    // `windowKadrs` (at least 1) kadrs. The trigger settings stay and re-arm.
    void Reset(std::size_t channels, std::size_t windowKadrs, std::vector<float> codesPerVolt);
    // Blocks of any size, larger than the ring too: each sweep that
    // completes on the way is seen and counted.
    void Add(const int16_t* codes, std::size_t kadrs);
    // `kadrs` kadrs that never came (a gap in a stream): no view reaches
    // back across them, and a sweep they would cut is dropped.
    void Skip(uint64_t kadrs);

    // Re-arms with new settings; a sweep already caught stays shown until the
    // next one. False (and no trigger: Roll) when the source is not a
    // recorded channel or the level is not a number.
    bool SetTrigger(const TriggerSettings& settings);
    // Arms again: for Single, catches one more sweep.
    void Rearm();
    const TriggerSettings& Trigger() const { return settings_; }

    SweepState State() const;
    // Triggered sweeps completed since Reset: a new one to draw when this moves.
    // In Roll and Auto the view moves with every Add instead.
    uint64_t Sweeps() const { return sweeps_; }
    // Kadrs added and skipped since Reset.
    uint64_t Received() const { return total_; }
    std::size_t Channels() const { return channels_; }
    View Current() const;

private:
    bool Effective() const;
    std::size_t PreKadrs() const;
    void Arm();
    void Store(const int16_t* codes, std::size_t kadrs);
    void Search(const int16_t* codes, uint64_t from);
    void Fire(uint64_t kadr, double code);
    void Complete();
    void CopyOut(uint64_t from, std::size_t kadrs, std::vector<int16_t>& into) const;
    View Latest() const;

    std::size_t channels_ = 0, window_ = 1, capacity_ = 2;
    std::vector<float> codesPerVolt_;
    std::vector<int16_t> ring_; // capacity_ kadrs: kadr n at slot n % capacity_
    uint64_t total_ = 0;
    uint64_t whole_ = 0; // the first kadr after the last gap

    TriggerSettings settings_;
    bool valid_ = false;      // the settings name a recorded channel
    double levelCode_ = 0;    // the level in the source's codes
    bool primed_ = false;     // beyond the hysteresis band on the far side of the level
    double lastCode_ = 0;     // the source's code in the last kadr searched
    uint64_t searchFrom_ = 0; // earliest kadr a trigger may fire at
    uint64_t waitFrom_ = 0;   // where the wait for the next trigger started
    bool pending_ = false;    // fired, the kadrs after it still coming
    uint64_t pendingStart_ = 0;
    double pendingTime_ = 0; // of the sweep's first kadr from the trigger point
    bool sweptSinceArm_ = false;
    bool freeRunning_ = false;
    bool held_ = false; // Single caught its sweep

    std::vector<int16_t> sweep_; // the last completed sweep, interleaved
    std::size_t sweepKadrs_ = 0;
    uint64_t sweepStart_ = 0;
    double sweepTime_ = 0;
    uint64_t sweeps_ = 0;
};

} // namespace e16scope
