#include "driver_session.h"

namespace e16rec {

bool DriverSession::Create(std::string& error, std::FILE* notes) {
    adc_ = velmora::hosts::CreateDriver("e16rec", error, notes);
    if (adc_.get() == nullptr) return false;
    module_ = velmora::hosts::ModuleOf(adc_.get());
    if (module_.get() != nullptr) return true;
    error = "the driver " + velmora::hosts::RegisteredDriver() + " has no IModule interface; it is too old";
    adc_.reset();
    return false;
}

bool DetectModule(IADC3* adc, IModule* module, std::string& error) {
    VARIANT_BOOL detected = VARIANT_FALSE;
    adc->Test(&detected);
    if (detected) return true;
    const std::string why = velmora::hosts::LastError(adc);
    const std::string address = velmora::hosts::IdentifyModule(module).address;
    error = why.empty() ? "no module: no address was chosen"
                        : "no module" + (address.empty() ? "" : " at " + address) + ": " + why;
    return false;
}

} // namespace e16rec
