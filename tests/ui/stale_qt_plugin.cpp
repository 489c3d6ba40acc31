// Lintara.qt.so as a build of other dialog interfaces made it: the plug-in's
// own entry, built for the interface version before the driver's.
#include <cstddef>
#include <type_traits>

#include "ui/dialog_plugin.h"
#include "ui/qt/plugin_entry.h"

extern "C" __attribute__((visibility("default"))) velmora::ui::Dialogs*
LintaraCreateQtDialogs(int version, const char* folder, char* why, std::size_t whySize) {
    return velmora::ui::EnterQtPlugin(velmora::ui::kDialogInterfaceVersion - 1, version, folder, why,
                                      whySize);
}

static_assert(std::is_same_v<decltype(&LintaraCreateQtDialogs), velmora::ui::QtEntryPoint>);
