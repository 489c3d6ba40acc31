#include "device/vendor_api.h"

#include <dlfcn.h>

#include "platform/module_folder.h"

namespace velmora::device {
namespace {

// Internal linkage, so its address always lies in the module that holds this
// code, whichever other module also carries the platform helpers.
void FolderAnchor() {}

void* OpenFirst(const std::vector<std::string>& candidates, std::vector<std::string>& loaded) {
    for (const auto& file : candidates) {
        if (void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            loaded.push_back(file);
            return handle;
        }
    }
    return nullptr;
}

// The first library of the list that has the symbol.
void* Find(const char* name, std::initializer_list<void*> handles) {
    for (void* handle : handles) {
        if (handle == nullptr) continue;
        if (void* symbol = ::dlsym(handle, name)) return symbol;
    }
    return nullptr;
}

template <typename Fn> void Bind(Fn& slot, void* symbol) {
    // POSIX guarantees that a dlsym result converts to a function pointer.
    slot = reinterpret_cast<Fn>(symbol);
}

} // namespace

VendorLibraryPaths DefaultVendorPaths(const std::filesystem::path& driverFolder) {
    VendorLibraryPaths paths;
    paths.x502 = {(driverFolder / "libx502api.so.1").string(), "libx502api.so.1"};
    paths.e502 = {(driverFolder / "libe502api.so.1").string(), "libe502api.so.1"};
    paths.simulator = {(driverFolder / "libe16sim.so").string()};
    return paths;
}

VendorApi VendorApi::Load(const VendorLibraryPaths& paths) {
    VendorApi api;
    void* x502 = OpenFirst(paths.x502, api.libraries);
    void* e502 = OpenFirst(paths.e502, api.libraries);
    if (x502 == nullptr && e502 == nullptr) {
        x502 = OpenFirst(paths.simulator, api.libraries);
        api.simulator = x502 != nullptr;
    }
#define VELMORA_BIND_X502(name) Bind(api.name, Find(#name, {x502, e502}));
#define VELMORA_BIND_E16(name) Bind(api.name, Find(#name, {e502, x502}));
    X502API_ENTRIES(VELMORA_BIND_X502)
    E502API_ENTRIES(VELMORA_BIND_E16)
#undef VELMORA_BIND_X502
#undef VELMORA_BIND_E16
    return api;
}

const VendorApi& VendorApi::Process() {
    // A function-local static: built once, the first caller's thread does the
    // loading while any other waits.
    static const VendorApi table =
        Load(DefaultVendorPaths(platform::ModuleFolder(reinterpret_cast<const void*>(&FolderAnchor))));
    return table;
}

} // namespace velmora::device
