// What Lintara.qt.so's entry point does behind its C name: the check of the
// driver's interface version, then the Qt service, with nothing thrown into
// the driver. Host thread only.
#pragma once

#include <cstddef>

#include "ui/dialogs.h"

namespace velmora::ui {

// The Qt service for a driver of interface `version`, from a plug-in built
// for interface `builtFor`; null with the reason in why[0..whySize) when the
// two differ or the service cannot start.
Dialogs* EnterQtPlugin(int builtFor, int version, const char* folder, char* why, std::size_t whySize);

} // namespace velmora::ui
