// DriverState: the composition of the driver's subsystems, one instance per
// process shared by every Lintara object and the worker. Each subsystem owns
// its state and operations; what spans several of them (detection, start
// and stop, the setters that reprogram the module) lives in operations.h.
// Host thread only, except what Acquisition and InputRing mark as shared.
#pragma once

#include <cstdint>
#include <string>

#include "core/start_sync.h"
#include "dio/digital_io.h"
#include "engine/acquisition.h"
#include "engine/analog_input.h"
#include "engine/input_ring.h"
#include "engine/module_link.h"
#include "engine/single_reading.h"
#include "output/analog_output.h"
#include "settings/driver_settings.h"

namespace velmora::engine {

struct DriverState {
    DriverState();
    ~DriverState();
    DriverState(const DriverState&) = delete;
    DriverState& operator=(const DriverState&) = delete;

    // Destroyed in reverse order: the acquisition (joining its worker) goes
    // before the ring and the module the worker uses.
    ModuleLink module;
    AnalogInput input;
    core::StartSync sync;
    InputRing ring;
    Acquisition acquisition;
    SingleReading single;
    output::AnalogOutput output;
    dio::DigitalIo dio;
    settings::DriverSettings settings;

    std::string lastError;
    // Why the last recording ended by itself; "" while recording, after a
    // stop and before any start.
    std::string endReason;
    int32_t instanceCount = 0;
    int16_t setupLastTab = 0;

    device::TE16* Device() const { return module.Device(); }
    // The analog-input values the settings persist.
    settings::InputRecord InputSettings();
};

} // namespace velmora::engine
