// Static analog output: the description filled at detection, the code/volt
// conversions and the engine operations that write static levels, singly or
// as a block (IDAO and the DAC page share them). Host thread only.
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

// volts = code / dacUnitScale + dacUnitOffset (0 while there is no scale).
double DacCodeToVolts(const driver::DriverState& s, int32_t code);
// code = (volts - dacUnitOffset) * dacUnitScale, rounded half to even and
// held within the Long range; 0 for a level that is not a number.
int32_t DacVoltsToCode(const driver::DriverState& s, double volts);

// 0 <= index < dacChannelsCount.
bool DacIndexInRange(const driver::DriverState& s, int32_t index);
// A channel plays a waveform (only a module with a DAC has channels).
bool DacBusy(const driver::DriverState& s);

// Value and ValueReal lets: a level past a limit writes the limit; an index
// out of range, or a level that is not a number, writes nothing.
void WriteDacCode(driver::DriverState& s, int16_t index, int32_t code);
void WriteDacVolts(driver::DriverState& s, int16_t index, double volts);

// Block writes of `count` values for channels first, first + 1, ...: the
// values of existing channels are clamped in place, both channels named go
// out in one two-channel write, one goes out as a single write. Returns the
// number of values that named an existing channel; count < 1 touches nothing.
int32_t SetDacCodes(driver::DriverState& s, int16_t first, int16_t count, int32_t* values);
int32_t SetDacVolts(driver::DriverState& s, int16_t first, int16_t count, double* values);

} // namespace velmora::output
