// Channel lists as hosts take them on their command lines: "0-3,8,31" names
// logical channels 0..31 in scan order, a channel again where it is to be
// sampled again. One parser for e16rec and e16scope.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "velmora/interfaces.h"

namespace velmora::hosts {

// "0-3,8,31" → {0,1,2,3,8,31}; nothing for a malformed list, a channel out
// of 0..31, a range running backwards, or more than the driver takes (kMaxInputChannels).
std::optional<std::vector<int16_t>> ParseChannelList(const std::string& text);

} // namespace velmora::hosts
