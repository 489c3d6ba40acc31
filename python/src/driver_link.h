// How the extension reaches the driver, as any host does: the driver file that
// goes with this package, its registration in the store when the store names
// another one, and creation by its ProgID. Host-thread calls; no state kept.
#pragma once

#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace lintara {

// A failure the Python side raises as lintara.DriverError; `reason` is the
// driver's own text (LastError and the like) when there is one.
struct DriverFailure : std::runtime_error {
    DriverFailure(const std::string& message, std::string reason = {})
        : std::runtime_error(message), reason(std::move(reason)) {}
    std::string reason;
};

// The driver this package goes with: the file LINTARA_DRIVER names, else the
// one in the build's bin folder, else the installed driver folder; empty when
// none is there. Symbolic links are kept, so the driver's folder is the one
// named.
std::filesystem::path DriverBeside();
// Registers `driver` unless the store already names that file; what a host
// says of the driver it replaced ("" when the store named none).
std::string EnsureRegistered(const std::filesystem::path& driver);
// Creates the driver by its ProgID.
velmora::ComPtr<IADC3> CreateDriver();

} // namespace lintara
