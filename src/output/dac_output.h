// Static analog output: the description filled at detection and the engine
// operations that write static levels. Host thread only.
#pragma once

#include <cstdint>

namespace velmora::driver {
struct DriverState;
}

namespace velmora::output {

// Fills the analog-output description for a module with a DAC.
void DescribeDac(driver::DriverState& s);
void SetDacValue(driver::DriverState& s, int16_t channel, double volts);
void SetDacValues(driver::DriverState& s, double volts0, double volts1);
void StopDacOutput(driver::DriverState& s);
void ApplyDacSettings(driver::DriverState& s);

} // namespace velmora::output
