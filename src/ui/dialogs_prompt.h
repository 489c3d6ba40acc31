// DialogsPrompt: detection's address prompt answered by the dialog service,
// brought up only when the detection asks: one of an address the host set
// opens no display. The service itself knows no engine type, as it crosses
// to the Qt plug-in; the driver puts this between them. Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "engine/address_prompt.h"
#include "ui/dialogs.h"

namespace velmora::ui {

class DialogsPrompt final : public engine::AddressPrompt {
public:
    int32_t SelectIP(const std::string& title) override { return CurrentDialogs().SelectIP(title); }
    void WaitCursor(bool on) override {
        if (Dialogs* dialogs = CursorDialogs()) dialogs->WaitCursor(on);
    }
};

} // namespace velmora::ui
