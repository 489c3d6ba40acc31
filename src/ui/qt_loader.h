// Choosing the dialog service: the Qt views live in a plug-in library beside
// the driver, loaded with dlopen at first use, so the driver never links Qt.
// Host thread only.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

#include "ui/dialog_plugin.h"
#include "ui/dialogs.h"

namespace velmora::ui {

// Worth trying Qt: DISPLAY or WAYLAND_DISPLAY is set, or the process has
// already loaded Qt (a Qt host may run a QApplication).
bool QtWanted();
// The process has loaded Qt already: a Qt host.
bool QtInProcess();
// folder/Lintara.qt.so asked for its service as a driver of interface
// `version`; null with `why` set when the plug-in, Qt's libraries or a
// usable application cannot be had, or the plug-in was built for another
// version.
std::unique_ptr<Dialogs> LoadQtDialogs(const std::filesystem::path& folder, std::string& why,
                                       int version = kDialogInterfaceVersion);
// Qt when wanted and loaded, else the console; when Qt was wanted and could
// not be had, `err` says why.
std::unique_ptr<Dialogs> ChooseDialogs(const std::filesystem::path& folder, std::ostream& err);

} // namespace velmora::ui
