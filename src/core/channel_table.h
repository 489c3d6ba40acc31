// The logical channel table: which physical input each of the 32 logical
// channels measures, and how. Plain data, persisted by the settings and
// programmed into the module by the engine.
#pragma once

#include <array>
#include <cstdint>

#include "core/module_limits.h"

namespace velmora::core {

// One entry: physical input 0..31 (folded when used) and the measuring mode.
struct ChannelEntry {
    int16_t source = 0;
    int16_t singleEnded = 0; // nonzero: measured against ground
};

using ChannelTable = std::array<ChannelEntry, kChannels>;

// Logical channel k measures input k differentially.
inline ChannelTable DefaultChannelTable() {
    ChannelTable table{};
    for (int16_t k = 0; k < kChannels; ++k) table[static_cast<std::size_t>(k)] = {k, 0};
    return table;
}

} // namespace velmora::core
