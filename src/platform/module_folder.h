// The folder of a loaded library or program: where the driver finds its
// simulator, address list and help file. Thread-safe.
#pragma once

#include <filesystem>

namespace velmora::platform {

// The folder of the module (shared library or executable) that holds the code
// at `address`; the module of this function when address is null.
std::filesystem::path ModuleFolder(const void* address = nullptr);

} // namespace velmora::platform
