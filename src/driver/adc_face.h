// The IADC3 face of a Lintara object: analog input. Every member is a thin
// call into the analog-input subsystems of the DriverState it is given (the
// setup, the ring, the acquisition, the module) or an engine operation, run
// inside the exception firewall. Host thread only.
#pragma once

#include "driver/face.h"
#include "engine/driver_state.h"

namespace velmora::driver {

class AdcFace final : public Face<IADC3> {
public:
    AdcFace(IUnknown& identity, engine::DriverState& state) : Face(identity), s_(state) {}

    VELMORA_IADC3_MEMBERS(VELMORA_OVERRIDE_MEMBER)

private:
    // Analog input touches most subsystems: detection, recording and the
    // dialogs all span them.
    engine::DriverState& s_;
};

} // namespace velmora::driver
