// Creates the Lintara driver through the component runtime by its ProgID,
// registering the driver next to this program first when it is not yet
// registered, and holds its IADC3 and IModule interfaces.
#pragma once

#include <cstdio>
#include <string>

#include "driver_access.h"

namespace e16rec {

class DriverSession {
public:
    // False with `error` set when the driver cannot be created. The driver
    // beside this program is the one used: when the store names another
    // one, or one that is gone, a line on `notes` says so and the one beside
    // is registered instead.
    bool Create(std::string& error, std::FILE* notes = stderr);
    IADC3* adc() const { return adc_.get(); }
    // Set whenever adc() is: a driver without the face is refused.
    IModule* module() const { return module_.get(); }

private:
    velmora::ComPtr<IADC3> adc_;
    velmora::ComPtr<IModule> module_;
};

// IADC3 Test: false with the driver's LastError in `error`, naming the
// address refused, when no module was detected.
bool DetectModule(IADC3* adc, IModule* module, std::string& error);

} // namespace e16rec
