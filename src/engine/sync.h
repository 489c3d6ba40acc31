// Start synchronization: turns the five sync settings into the module's
// start-synchronization calls. Host thread only.
#pragma once

namespace velmora::driver {
struct DriverState;
}

namespace velmora::engine {

void ProgramSync(driver::DriverState& s);

} // namespace velmora::engine
