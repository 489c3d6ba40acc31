// The IDIO face of a Lintara object: the 16 digital inputs and outputs and the
// words written at recording start and stop, each member a thin call inside
// the exception firewall. Host thread only.
#pragma once

#include "dio/digital_io.h"
#include "driver/face.h"
#include "engine/analog_input.h"
#include "engine/module_link.h"

namespace velmora::driver {

class DioFace final : public Face<IDIO> {
public:
    DioFace(IUnknown& identity, dio::DigitalIo& dio, engine::ModuleLink& module,
            const engine::AnalogInput& input)
        : Face(identity), dio_(dio), module_(module), input_(input) {}

    VELMORA_IDIO_MEMBERS(VELMORA_OVERRIDE_MEMBER)

private:
    dio::DigitalIo& dio_;
    engine::ModuleLink& module_;       // the device the words go to
    const engine::AnalogInput& input_; // the module's name
};

} // namespace velmora::driver
