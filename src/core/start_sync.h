// The start synchronization of a recording: how the module waits before its
// first kadr. Plain data, persisted by the settings and programmed by the
// engine at each start.
#pragma once

#include <cstdint>

namespace velmora::core {

// Stored as these numbers; any other number starts at once, like Internal.
enum class StartMode : int16_t {
    Internal = 0,
    Syn1Rise = 1, // TRIG rising edge
    Syn1Fall = 2,
    Syn2Rise = 3, // INT rising edge
    Syn2Fall = 4,
    AnalogLevel = 5, // a watched input meets a level
};

// The level condition of AnalogLevel, in the order of the module's start codes
// (above the level, rising through it, falling through it, below it); others
// are ignored.
enum class SyncDirection : int16_t { Above = 0, RisingThrough = 1, FallingThrough = 2, Below = 3 };

// The kinds of start, one row each, in the order of the General page's
// list. A new kind is a row here (with its stored number) and the
// simulator's behaviour for it: the page's list, the programming and the
// settings' loading follow from the rows.
struct StartKind {
    StartMode mode;
    // The page's item; a kind that watches an input lists one item per
    // input instead, "AI1", "AI2", ...
    const char* caption;
    // The module's start code; for a level kind, that of "above the level",
    // the other directions following it in SyncDirection's order.
    uint32_t moduleCode;
    bool digitalInput; // waits for a digital input edge: the pull-ups go off
    bool level;        // watches an analog input against a level
};

inline constexpr StartKind kStartKinds[] = {
    {StartMode::Internal, "None", 0, false, false},     {StartMode::Syn1Rise, "TRIG Rise", 2, true, false},
    {StartMode::Syn1Fall, "TRIG Fall", 3, true, false}, {StartMode::Syn2Rise, "INT Rise", 6, true, false},
    {StartMode::Syn2Fall, "INT Fall", 7, true, false},  {StartMode::AnalogLevel, "AI", 8, false, true},
};

// The row of a stored mode; the first (Internal) for a number no row has.
constexpr const StartKind& StartKindOf(StartMode mode) {
    for (const StartKind& kind : kStartKinds)
        if (kind.mode == mode) return kind;
    return kStartKinds[0];
}

struct StartSync {
    StartMode mode = StartMode::Internal;
    SyncDirection direction = SyncDirection::Above;
    int16_t channel = 0; // logical channel watched
    int16_t range = 0;   // its range while watched
    int16_t level = 0;   // in codes of that range
};

} // namespace velmora::core
