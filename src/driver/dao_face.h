// The IDAO face of a Lintara object: the two analog outputs, their description
// and static levels in codes or volts, each member a thin call inside the
// exception firewall. Host thread only.
#pragma once

#include "driver/face.h"
#include "engine/analog_input.h"
#include "engine/module_link.h"
#include "output/analog_output.h"

namespace velmora::driver {

class DaoFace final : public Face<IDAO> {
public:
    DaoFace(IUnknown& identity, output::AnalogOutput& output, engine::ModuleLink& module,
            const engine::AnalogInput& input)
        : Face(identity), out_(output), module_(module), input_(input) {}

    VELMORA_IDAO_MEMBERS(VELMORA_OVERRIDE_MEMBER)

private:
    output::AnalogOutput& out_;
    engine::ModuleLink& module_;       // the device the levels go to
    const engine::AnalogInput& input_; // the module's name
};

} // namespace velmora::driver
