// Module detection: library version check, the address chooser, opening the
// module, its information text and programming it. Host thread only.
#pragma once

#include <cstdint>

namespace velmora::driver {
struct DriverState;
}

namespace velmora::engine {

// The whole detection; returns basePort, 0 on any failure.
int16_t DetectModule(driver::DriverState& s);
// Asks the chooser (ui::CurrentDialogs().SelectIP) and opens the address.
bool OpenChosenAddress(driver::DriverState& s);
void BuildInfoText(driver::DriverState& s);

} // namespace velmora::engine
