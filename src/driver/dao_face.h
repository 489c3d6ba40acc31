// The IDAO face of a Lintara object: the two analog outputs, their description
// and static levels in codes or volts, each member a thin call inside the
// exception firewall. Host thread only.
#pragma once

#include "driver/face.h"

namespace velmora::driver {

class DaoFace final : public Face<IDAO> {
public:
    using Face::Face;

    VELMORA_IDAO_MEMBERS(VELMORA_OVERRIDE_MEMBER)
};

} // namespace velmora::driver
