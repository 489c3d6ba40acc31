// Creates the Lintara driver through the component runtime by its ProgID,
// registering the driver next to this program first when it is not yet
// registered, and holds its IADC3 interface.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

private:
    velmora::ComPtr<IADC3> adc_;
};

// IADC3 Test: false with the driver's LastError in `error` when no module
// was detected.
bool DetectModule(IADC3* adc, std::string& error);

// Stores the driver's channel table so that channel k measures X1..X16,
// Y1..Y16 against ground (singleEnded) or XY1..XY16 differentially: in the
// driver's module-independent key and in the key of every module it has
// seen, since detection reads the module's own key.
bool StoreChannelTable(bool singleEnded, std::string& error);
// The name the driver gives channel k with that table.
std::string TableChannelName(int16_t channel, bool singleEnded);

using velmora::hosts::DriverBeside;
using velmora::hosts::DriverFolder;
using velmora::hosts::LoadedBackend;
using velmora::hosts::RegisteredDriver;

// While it lives, the driver's address chooser is answered with `address`
// without asking anyone: the address list starts with it, no display is
// offered and standard input is not a terminal. The list file and the rest
// are put back when it goes.
class AddressAnswer {
public:
    AddressAnswer(const std::filesystem::path& folder, int32_t address);
    ~AddressAnswer();
    AddressAnswer(const AddressAnswer&) = delete;
    AddressAnswer& operator=(const AddressAnswer&) = delete;

private:
    std::filesystem::path list_;
    std::optional<std::string> saved_;                        // the list file as it was; none: there was none
    std::vector<std::pair<std::string, std::string>> hidden_; // display variables taken away
    int input_ = -1;                                          // standard input as it was
};

using velmora::hosts::Utf8;

} // namespace e16rec
