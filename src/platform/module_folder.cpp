#include "platform/module_folder.h"

#include <dlfcn.h>

namespace velmora::platform {

std::filesystem::path ModuleFolder(const void* address) {
    if (address == nullptr) address = reinterpret_cast<const void*>(&ModuleFolder);
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0') {
        return {};
    }
    // Symbolic links are kept: a library linked into another folder belongs to
    // that folder, which is how tests give the driver a private folder.
    std::error_code ec;
    std::filesystem::path file(info.dli_fname);
    if (!std::filesystem::exists(file, ec)) {
        // The main program may report its name as given on the command line.
        file = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (ec) return {};
    }
    return std::filesystem::absolute(file, ec).lexically_normal().parent_path();
}

} // namespace velmora::platform
