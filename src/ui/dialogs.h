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
} // namespace velmora::engine

namespace velmora::ui {

// SelectIP and WaitCursor serve detection (engine::AddressPrompt).
class Dialogs : public engine::AddressPrompt {
public:
    virtual ~Dialogs() = default;
    // Shows the setup dialog over the driver's state, which its pages edit;
    // false when it cannot be shown.
    virtual bool ShowSetup(engine::DriverState& state) = 0;
    virtual void MessageBox(const std::string& text, const std::string& title) = 0;
    virtual void OpenUrl(const std::string& url) = 0;
    virtual void ShowHelp(const std::string& helpFile) = 0;
};

// The service in use, chosen at first use (see ChooseDialogs in
// qt_loader.h): the Qt plug-in beside the driver when a display or the
// host's Qt is there and the plug-in loads, else the console.
Dialogs& CurrentDialogs();
// Replaces the service (tests); null restores the automatic choice.
void SetDialogs(std::unique_ptr<Dialogs> dialogs);

} // namespace velmora::ui
