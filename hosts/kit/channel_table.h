// The driver's stored channel table as hosts set it, in the layout of
// velmora/stored_channels.h: the preset tables and the name the driver
// then gives each channel. e16rec's --inputs, e16scope and the Python
// package's store_inputs share it. Public headers only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <velmora/stored_channels.h>

namespace velmora::hosts {

// Channel k measures X1..X16, Y1..Y16 against ground (singleEnded) or
// XY1..XY16 differentially (channels 16..31: the calibration zero).
std::vector<uint8_t> ChannelTable(bool singleEnded);
// The name the driver gives channel k with that table.
std::string TableChannelName(int16_t channel, bool singleEnded);
// Stores the table in the module-independent key and in the key of every
// module the driver has seen (detection reads the module's own key), in one
// transaction; false with `error` set.
bool StoreChannelTable(bool singleEnded, std::string& error);

// A host's --inputs: keep the stored table, or store one of the two.
enum class InputsChoice { Keep, SingleEnded, Differential };
// "se" or "diff"; nothing for any other word.
std::optional<InputsChoice> ParseInputs(const std::string& word);
// Stores the table `choice` names (nothing for Keep); false with `error` set.
bool StoreInputs(InputsChoice choice, std::string& error);

} // namespace velmora::hosts
