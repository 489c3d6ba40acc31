// The one service through which the driver asks the user for input: address
// chooser, setup dialog, message boxes, wait cursor, URLs and help. Console,
// scripted (tests) and Qt implementations; host thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/address_prompt.h"

namespace velmora::engine {
struct DriverState;
}

namespace velmora::ui {

// SelectIP and WaitCursor serve detection (engine::AddressPrompt).
class Dialogs : public engine::AddressPrompt {
public:
    virtual ~Dialogs() = default;
    // Shows the setup dialog on the driver state it edits; false when it
    // cannot be shown.
    virtual bool ShowSetup(engine::DriverState& s) = 0;
    virtual void MessageBox(const std::string& text, const std::string& title) = 0;
    virtual void OpenUrl(const std::string& url) = 0;
    virtual void ShowHelp(const std::string& helpFile) = 0;
};

// The service in use: chosen at first use (Qt when a display or a
// QApplication exists and the Qt part is built, else the console).
Dialogs& CurrentDialogs();
// Replaces the service (tests); null restores the automatic choice.
void SetDialogs(std::unique_ptr<Dialogs> dialogs);

} // namespace velmora::ui
