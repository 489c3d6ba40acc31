#include "ui/qt_loader.h"

#include <dlfcn.h>

#include <array>
#include <cstdlib>
#include <ostream>

#include "ui/console_dialogs.h"

namespace velmora::ui {
namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Already mapped into the process; never loads it.
bool Loaded(const char* library) {
    void* handle = ::dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    ::dlclose(handle);
    return true;
}

} // namespace

bool QtInProcess() {
    return Loaded("libQt6Core.so.6");
}

bool QtWanted() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || QtInProcess();
}

std::unique_ptr<Dialogs> LoadQtDialogs(const std::filesystem::path& folder, std::string& why, int version) {
    const std::string file = (folder / kQtPluginFile).string();
    // Kept for the process: Qt's application object and its threads may
    // outlive any one use of the service.
    void* plugin = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (plugin == nullptr) {
        const char* error = ::dlerror();
        why = "cannot load " + file + ": " + (error != nullptr ? error : "unknown error");
        return nullptr;
    }
    const auto create = reinterpret_cast<QtEntryPoint>(::dlsym(plugin, kQtEntryPoint));
    if (create == nullptr) {
        why = file + " has no " + kQtEntryPoint;
        return nullptr;
    }
    std::array<char, 512> reason{};
    std::unique_ptr<Dialogs> dialogs(create(version, folder.c_str(), reason.data(), reason.size()));
    if (!dialogs) why = reason.data();
    return dialogs;
}

std::unique_ptr<Dialogs> ChooseDialogs(const std::filesystem::path& folder, std::ostream& err) {
    if (QtWanted()) {
        std::string why;
        if (auto dialogs = LoadQtDialogs(folder, why)) return dialogs;
        err << "Lintara: dialogs on the console: " << why << "\n";
    }
    return std::make_unique<ConsoleDialogs>(folder);
}

} // namespace velmora::ui
