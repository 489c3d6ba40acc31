// Lintara.qt.so's one entry point: the driver's dialog service loads the
// library and asks it for the Qt implementation, naming the interface
// version it was built with.
#include <cstddef>
#include <type_traits>

#include "ui/dialog_plugin.h"
#include "ui/qt/plugin_entry.h"

extern "C" __attribute__((visibility("default"))) velmora::ui::Dialogs*
LintaraCreateQtDialogs(int version, const char* folder, char* why, std::size_t whySize) {
    return velmora::ui::EnterQtPlugin(velmora::ui::kDialogInterfaceVersion, version, folder, why, whySize);
}

// The entry point's type is the one the driver calls through.
static_assert(std::is_same_v<decltype(&LintaraCreateQtDialogs), velmora::ui::QtEntryPoint>);
