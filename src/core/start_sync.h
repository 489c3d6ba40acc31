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

struct StartSync {
    StartMode mode = StartMode::Internal;
    SyncDirection direction = SyncDirection::Above;
    int16_t channel = 0; // logical channel watched
    int16_t range = 0;   // its range while watched
    int16_t level = 0;   // in codes of that range
};

} // namespace velmora::core
