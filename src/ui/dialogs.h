// The one service through which the driver asks the user for input: address
// chooser, setup dialog, message boxes, wait cursor, URLs and help. Console,
// scripted (tests) and Qt implementations; host thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velmora::ui {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The chosen IPv4 address number (first dotted part in the top byte), 0
    // when cancelled. `title` is the adcName for the message box.
    virtual int32_t SelectIP(const std::string& title) = 0;
    // Shows the setup dialog; false when it cannot be shown.
    virtual bool ShowSetup() = 0;
    virtual void MessageBox(const std::string& text, const std::string& title) = 0;
    virtual void WaitCursor(bool on) = 0;
    virtual void OpenUrl(const std::string& url) = 0;
    virtual void ShowHelp(const std::string& helpFile) = 0;
};

// The service in use: chosen at first use (Qt when a display or a
// QApplication exists and the Qt part is built, else the console).
Dialogs& CurrentDialogs();
// Replaces the service (tests); null restores the automatic choice.
void SetDialogs(std::unique_ptr<Dialogs> dialogs);

} // namespace velmora::ui
