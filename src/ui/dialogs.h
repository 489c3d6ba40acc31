// The one service through which the driver asks the user for input: address
// chooser, setup dialog, message boxes, wait cursor, URLs and help. Console,
// scripted (tests) and Qt implementations; host thread only. The Qt one lives
// in the dialogs plug-in, so this interface and what it takes cross the
// plug-in's boundary (see dialog_plugin.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/setup_frame.h"

namespace velmora::ui {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The chosen IPv4 address number (first dotted part in the top byte), 0
    // when cancelled. `title` is the adcName for the message box.
    virtual int32_t SelectIP(const std::string& title) = 0;
    virtual void WaitCursor(bool on) = 0;
    // Shows the setup dialog the driver made over its state, whose pages
    // edit it; false when it cannot be shown.
    virtual bool ShowSetup(SetupFrame& frame) = 0;
    virtual void MessageBox(const std::string& text, const std::string& title) = 0;
};

// The service in use, chosen at first use (see ChooseDialogs in
// qt_loader.h): the Qt plug-in beside the driver when a display or the
// host's Qt is there and the plug-in loads, else the console.
Dialogs& CurrentDialogs();
// The service for a wait cursor: the one in use, or the Qt one in a host
// that runs Qt already; null otherwise, for a console host needs none.
Dialogs* CursorDialogs();
// Replaces the service (tests); null restores the automatic choice.
void SetDialogs(std::unique_ptr<Dialogs> dialogs);

} // namespace velmora::ui
