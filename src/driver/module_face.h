// The IModule face of a Lintara object: the address the next detection
// opens, the module's identity, the recording's counters and end, the
// settings' save and Close. Thin calls into the DriverState inside the
// exception firewall. Host thread only.
#pragma once

#include "driver/face.h"
#include "engine/driver_state.h"

namespace velmora::driver {

class ModuleFace final : public Face<IModule> {
public:
    ModuleFace(IUnknown& identity, engine::DriverState& state) : Face(identity), s_(state) {}

    VELMORA_IMODULE_MEMBERS(VELMORA_OVERRIDE_MEMBER)

private:
    engine::DriverState& s_;
};

} // namespace velmora::driver
