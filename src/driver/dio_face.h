// The IDIO face of a Lintara object: the 16 digital inputs and outputs and the
// words written at recording start and stop, each member a thin call inside
// the exception firewall. Host thread only.
#pragma once

#include "driver/face.h"

namespace velmora::driver {

class DioFace final : public Face<IDIO> {
public:
    using Face::Face;

    VELMORA_IDIO_MEMBERS(VELMORA_OVERRIDE_MEMBER)
};

} // namespace velmora::driver
