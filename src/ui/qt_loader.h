// Choosing the dialog service: the Qt views live in a plug-in library beside
// the driver, loaded with dlopen at first use, so the driver never links Qt.
// The plug-in's one entry point is declared here for both sides.
// Host thread only.
#pragma once

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

#include "ui/dialogs.h"

namespace velmora::ui {

inline constexpr char kQtPluginFile[] = "Lintara.qt.so";
inline constexpr char kQtEntryPoint[] = "LintaraCreateQtDialogs";
// Raised whenever Dialogs, the setup frame or a page interface changes, so
// a stale plug-in refuses instead of calling through a different vtable.
inline constexpr int kDialogsVersion = 4;

// The entry point: the Qt service for the driver whose address list is in
// `folder`, on the host's QApplication or on one it makes on this thread.
// Null, with the reason in why[0..whySize), when neither can be had.
using QtEntryPoint = Dialogs* (*)(int version, const char* folder, char* why, std::size_t whySize);

// Worth trying Qt: DISPLAY or WAYLAND_DISPLAY is set, or the process has
// already loaded Qt (a Qt host may run a QApplication).
bool QtWanted();
// folder/Lintara.qt.so asked for its service; null with `why` set when the
// plug-in, Qt's libraries or a usable application cannot be had.
std::unique_ptr<Dialogs> LoadQtDialogs(const std::filesystem::path& folder, std::string& why);
// Qt when wanted and loaded, else the console; when Qt was wanted and could
// not be had, `err` says why.
std::unique_ptr<Dialogs> ChooseDialogs(const std::filesystem::path& folder, std::ostream& err);

} // namespace velmora::ui
