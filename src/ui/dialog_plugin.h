// What the driver and its Qt dialogs plug-in agree on: the plug-in's file,
// its one entry point, and the version of the interfaces between them.
// Header-only: both sides compile it.
#pragma once

#include <cstddef>
#include <string>

#include "ui/dialogs.h"

namespace velmora::ui {

// Changes whenever any interface crossing to the plug-in changes (Dialogs,
// SetupFrame, the page interfaces, UpdatingGuard) or any value type they
// pass (EntryCheck, SetupTab, core::Waveform, ...): the plug-in then
// refuses a driver of another version instead of calling through a
// different vtable or layout.
inline constexpr int kDialogInterfaceVersion = 6;

inline constexpr char kQtPluginFile[] = "Lintara.qt.so";
inline constexpr char kQtEntryPoint[] = "LintaraCreateQtDialogs";

// The entry point: the Qt service for a driver of interface version
// `version`, whose address list is in `folder`, on the host's QApplication
// or on one it makes on this thread. Null, with the reason in
// why[0..whySize), when the versions differ or neither application can be
// had.
using QtEntryPoint = Dialogs* (*)(int version, const char* folder, char* why, std::size_t whySize);

// Why a plug-in built for interface version `builtFor` refuses a driver of
// version `driver`.
inline std::string VersionRefusal(int builtFor, int driver) {
    return "the Qt dialogs plug-in was built for dialog interface version " + std::to_string(builtFor) +
           ", the driver has " + std::to_string(driver);
}

} // namespace velmora::ui
