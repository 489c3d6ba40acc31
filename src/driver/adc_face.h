// The IADC3 face of a Lintara object: analog input. Every member is a thin
// call into the shared DriverState, the driver's private operations or the
// engine, run inside the exception firewall. Host thread only.
#pragma once

#include "driver/face.h"

namespace velmora::driver {

class AdcFace final : public Face<IADC3> {
public:
    using Face::Face;

    VELMORA_IADC3_MEMBERS(VELMORA_OVERRIDE_MEMBER)
};

} // namespace velmora::driver
