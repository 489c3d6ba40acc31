// The driver's persisted configuration under HKEY_CURRENT_USER: one
// module-independent key and one key per module serial number; and the help
// file. Host thread only; failures are silent by design.
#pragma once

#include <filesystem>
#include <string>

namespace velmora::driver {
struct DriverState;
}

namespace velmora::settings {

using driver::DriverState;

void PrepareSettingsLocation(DriverState& s, const std::string& name);
// Sets helpFile to the first "LCard*.chm" in the driver's folder; no match
// leaves it as it was.
void LocateHelpFile(DriverState& s);
// The full name of that file in folder, "" when there is none.
std::string FindHelpFile(const std::filesystem::path& folder);
// An empty (or blank) serial selects the module-independent key.
void LoadSettings(DriverState& s, const std::string& serial);
void LoadDacSettings(DriverState& s, const std::string& serial);
void SaveSettings(DriverState& s, const std::string& serial);

} // namespace velmora::settings
