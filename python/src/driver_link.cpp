#include "driver_link.h"

#include "driver_access.h"

#include <velmora/registry_store.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace lintara {
namespace {

namespace fs = std::filesystem;
namespace reg = velmora::reg;

// This extension's own folder.
fs::path PackageFolder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&PackageFolder), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return fs::absolute(info.dli_fname).parent_path();
}

} // namespace

fs::path DriverBeside() {
    if (const char* named = std::getenv("LINTARA_DRIVER"); named != nullptr && *named != '\0')
        return fs::absolute(named).lexically_normal();
    const fs::path folder = PackageFolder();
    for (const char* relative : {LINTARA_BUILD_DRIVER_DIR, LINTARA_INSTALL_DRIVER_DIR}) {
        const fs::path driver = (folder / relative / "Lintara.adc").lexically_normal();
        std::error_code ec;
        if (fs::is_regular_file(driver, ec)) return driver;
    }
    return {};
}

std::string EnsureRegistered(const fs::path& driver) {
    const std::string registered = velmora::hosts::RegisteredDriver();
    if (velmora::hosts::SameFile(registered, driver)) return {};
    std::string error;
    if (!velmora::hosts::RegisterDriver(driver, error)) throw DriverFailure(error);
    return velmora::hosts::ReplacedDriverNote(registered, driver);
}

velmora::ComPtr<IADC3> CreateDriver() {
    std::string error;
    velmora::ComPtr<IADC3> adc = velmora::hosts::CreateByProgId(error);
    if (!adc) throw DriverFailure(error);
    return adc;
}

} // namespace lintara
