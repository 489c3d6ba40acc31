// The lifecycle of the shared DriverState as Lintara objects come and go:
// the first object prepares the settings, describes the analog input and
// loads the settings; the last one closes the module and saves them.
// Host thread only.
#pragma once

#include "engine/driver_state.h"

namespace velmora::driver {

using engine::DriverState;

// The record that every object and the worker share. It lives from the first
// object's construction (or the first call here) to the last object's
// destruction; a later first object starts with a fresh one, as a fresh
// process would. Only what the behaviour keeps for the whole process carries
// over: the digital record (its start and stop words, and `present` once a
// module was seen) and the setup dialog's last tab.
DriverState& State();
// After the last object's OnObjectDestroyed: the record goes.
void EndLifetime();

// Construction and destruction of a Lintara object (first in, last out).
void OnObjectCreated(DriverState& s);
void OnObjectDestroyed(DriverState& s);

void InitFirstInstance(DriverState& s);
void InitDescription(DriverState& s);
void ShutdownLastInstance(DriverState& s);

} // namespace velmora::driver
