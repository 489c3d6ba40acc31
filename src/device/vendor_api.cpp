#include "device/vendor_api.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/module_folder.h"

namespace velmora::device {
namespace {

// Internal linkage, so its address always lies in the module that holds this
// code, whichever other module also carries the platform helpers.
void FolderAnchor() {}

// What the loader says after "NAME: " of a name it finds nowhere, in the
// language it speaks now (a host's setlocale translates it).
std::string NotFoundText() {
    constexpr const char* kNowhere = "libvelmora-nowhere.so.0";
    if (::dlopen(kNowhere, RTLD_NOW | RTLD_LOCAL) != nullptr) return {};
    const char* error = ::dlerror();
    const std::string text = error != nullptr ? error : "";
    const std::string prefix = std::string(kNowhere) + ": ";
    return text.starts_with(prefix) ? text.substr(prefix.size()) : text;
}

// A file that failed to load is there unless the loader found none of that
// name: a path names a file (a dangling link too), a bare name is searched
// (the driver's run path first, then the system's).
bool Present(const std::string& file, const std::string& why) {
    if (file.find('/') != std::string::npos) {
        struct stat s {};
        return ::lstat(file.c_str(), &s) == 0;
    }
    return why != file + ": " + NotFoundText();
}

void* OpenFirst(const std::vector<std::string>& candidates, std::vector<std::string>& loaded,
                std::string& unloadable) {
    for (const auto& file : candidates) {
        if (void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            loaded.push_back(file);
            return handle;
        }
        const char* error = ::dlerror();
        std::string why = error != nullptr ? error : "";
        if (!unloadable.empty() || !Present(file, why)) continue;
        if (why.starts_with(file + ": ")) why.erase(0, file.size() + 2);
        unloadable = file + " does not load: " + why;
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

template <typename Fn> void Bind(VendorApi& api, Fn& slot, const char* name, void* symbol) {
    // POSIX guarantees that a dlsym result converts to a function pointer.
    slot = reinterpret_cast<Fn>(symbol);
    if (symbol == nullptr && !api.libraries.empty()) api.missing.emplace_back(name);
}

std::string Joined(const std::vector<std::string>& items, std::size_t most) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < most; ++i) text += (i > 0 ? ", " : "") + items[i];
    if (items.size() > most) text += " and " + std::to_string(items.size() - most) + " more";
    return text;
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
    void* x502 = OpenFirst(paths.x502, api.libraries, api.unloadable);
    void* e502 = OpenFirst(paths.e502, api.libraries, api.unloadable);
    if (x502 != nullptr || e502 != nullptr) {
        api.unloadable.clear(); // another file of the name served
    } else if (api.unloadable.empty()) {
        x502 = OpenFirst(paths.simulator, api.libraries, api.unloadable);
        api.simulator = x502 != nullptr;
    }
#define VELMORA_BIND_X502(name) Bind(api, api.name, #name, Find(#name, {x502, e502}));
#define VELMORA_BIND_E16(name) Bind(api, api.name, #name, Find(#name, {e502, x502}));
    X502API_ENTRIES(VELMORA_BIND_X502)
    E502API_ENTRIES(VELMORA_BIND_E16)
#undef VELMORA_BIND_X502
#undef VELMORA_BIND_E16
    return api;
}

std::string VendorApi::UnreachableText() const {
    if (missing.empty()) return kVendorUnreachableText;
    return std::string(kVendorUnreachableText) + ": " + Joined(missing, 3) + " not found in " +
           Joined(libraries, libraries.size());
}

const VendorApi& VendorApi::Process() {
    // A function-local static: built once, the first caller's thread does the
    // loading while any other waits.
    static const VendorApi table =
        Load(DefaultVendorPaths(platform::ModuleFolder(reinterpret_cast<const void*>(&FolderAnchor))));
    return table;
}

} // namespace velmora::device
