#include "platform/module_folder.h"

#include <dlfcn.h>

namespace velmora::platform {

std::filesystem::path ModuleFolder(const void* address) {
    if (address == nullptr) address = reinterpret_cast<const void*>(&ModuleFolder);
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0') {
        return {};
    }
    std::error_code ec;
    auto file = std::filesystem::canonical(info.dli_fname, ec);
    // The main program reports its name as given on the command line.
    if (ec) file = std::filesystem::canonical("/proc/self/exe", ec);
    return ec ? std::filesystem::path{} : file.parent_path();
}

} // namespace velmora::platform
