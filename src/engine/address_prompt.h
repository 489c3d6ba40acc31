// AddressPrompt: what detection asks of the user, the module's address and a
// busy indication while it opens. The driver's dialog service implements it;
// tests script it. Host thread only.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::engine {

class AddressPrompt {
public:
    // The chosen IPv4 address number (first dotted part in the top byte), 0
    // when cancelled. `title` is the adcName for the message box.
    virtual int32_t SelectIP(const std::string& title) = 0;
    virtual void WaitCursor(bool on) = 0;

protected:
    ~AddressPrompt() = default;
};

} // namespace velmora::engine
