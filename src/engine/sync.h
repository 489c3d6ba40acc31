// Start synchronization: turns the start settings into the module's
// start-synchronization calls. Host thread only.
#pragma once

#include "core/channel_table.h"
#include "core/start_sync.h"

namespace velmora::device {
class TE16;
}

namespace velmora::engine {

// The channel table names the input that an analog-level start watches.
void ProgramSync(const core::StartSync& sync, const core::ChannelTable& table, device::TE16& dev);

} // namespace velmora::engine
