// Creates the Lintara driver through the component runtime by its ProgID,
// registering the driver next to this program first when it is not yet
// registered, and holds its IADC3 interface.
#pragma once

#include <string>

#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

namespace e16rec {

class DriverSession {
public:
    // False with `error` set when the driver cannot be created.
    bool Create(std::string& error);
    IADC3* adc() const { return adc_.get(); }

private:
    velmora::ComPtr<IADC3> adc_;
};

// IADC3 Test: false with the driver's LastError in `error` when no module
// was detected.
bool DetectModule(IADC3* adc, std::string& error);

// Stores the driver's channel table so that channel k measures X1..X16,
// Y1..Y16 against ground (singleEnded) or XY1..XY16 differentially.
bool StoreChannelTable(bool singleEnded, std::string& error);

// Helpers for host strings.
std::string ToUtf8(BSTR text);
// The code with its name and message text.
std::string HresultText(HRESULT hr);

} // namespace e16rec
