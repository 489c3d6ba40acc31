#include "driver/driver_state.h"

#include "device/te16.h"
#include "platform/thread.h"
#include "settings/cregistry.h"

namespace velmora::driver {

DriverState::DriverState() = default;

// A record that goes while recording still runs (a test's own record, or a
// host that never released its objects) must not leave the worker behind.
DriverState::~DriverState() {
    busy.store(false, std::memory_order_release); // the worker stops at its next check
    if (!thread) return;
    if (device) device->StopStreams(); // ends a pending receive at once
    thread->Join();
}

DriverState& State() {
    // Never destroyed: at exit the vendor library may already be unloaded, and
    // the record's device object must not call into it then.
    static DriverState* const state = new DriverState;
    return *state;
}

} // namespace velmora::driver
