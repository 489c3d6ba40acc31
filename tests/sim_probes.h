// What the simulated module's outputs were last told, read through its
// control API (the same library instance the code under test drives).
#pragma once

#include <cstdint>

#include "e16sim_control.h"

namespace velmora::test {

// The digital output lines of the module with the DAC.
inline uint32_t ModuleLines() {
    uint32_t outputs = 0, pullups = 0;
    e16sim_get_digital(E16SIM_MODULE_DAC, &outputs, &pullups);
    return outputs;
}

// The state of the module with the DAC.
inline e16sim_state ModuleState() {
    e16sim_state st{};
    e16sim_get_state(E16SIM_MODULE_DAC, &st);
    return st;
}

// The static level of a DAC channel, volts.
inline double ModuleDacLevel(uint32_t channel) {
    double now = 0, level = 0;
    uint32_t flags = 0;
    e16sim_get_dac(E16SIM_MODULE_DAC, channel, &now, &level, &flags);
    return level;
}

} // namespace velmora::test
