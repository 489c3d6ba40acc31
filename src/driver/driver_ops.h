// The lifecycle of the shared DriverState as Lintara objects come and go:
// the first object prepares the settings, describes the analog input and
// loads the settings; the last one closes the module and saves them.
// Host thread only.
#pragma once

#include "engine/driver_state.h"

namespace velmora::driver {

using engine::DriverState;

// The process-wide record that every object and the worker share.
DriverState& State();

// Construction and destruction of a Lintara object (first in, last out).
void OnObjectCreated(DriverState& s);
void OnObjectDestroyed(DriverState& s);

void InitFirstInstance(DriverState& s);
void InitDescription(DriverState& s);
void ShutdownLastInstance(DriverState& s);

} // namespace velmora::driver
