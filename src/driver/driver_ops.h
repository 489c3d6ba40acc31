// The driver object's own operations on the shared record: the lifecycle of
// the first and last object, the analog-input description, and the private
// operations that the IADC3 members delegate to. Host thread only.
#pragma once

#include <cstdint>

namespace velmora::driver {

struct DriverState;

// Construction and destruction of a Lintara object (first in, last out).
void OnObjectCreated(DriverState& s);
void OnObjectDestroyed(DriverState& s);

void InitDescription(DriverState& s);
void InitFirstInstance(DriverState& s);
void ShutdownLastInstance(DriverState& s);

bool TestDevice(DriverState& s);
int16_t GetChannelRange(const DriverState& s, int16_t index);
void SetChannelRange(DriverState& s, int16_t index, int16_t rangeIndex);
float GetRate(DriverState& s);
void SetRate(DriverState& s, float newRate);
bool StartRecordChecked(DriverState& s);
void StopRecordNow(DriverState& s);
// InputSizeData let: stores the request and recomputes the sizes; a running
// recording keeps its ring until the next start.
void SetInputSizeRequested(DriverState& s, int32_t size);

} // namespace velmora::driver
