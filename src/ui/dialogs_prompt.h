// DialogsPrompt: detection's address prompt answered by a dialog service.
// The service itself knows no engine type, as it crosses to the Qt plug-in;
// the driver puts this between them. Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "engine/address_prompt.h"
#include "ui/dialogs.h"

namespace velmora::ui {

class DialogsPrompt final : public engine::AddressPrompt {
public:
    explicit DialogsPrompt(Dialogs& dialogs) : dialogs_(dialogs) {}

    int32_t SelectIP(const std::string& title) override { return dialogs_.SelectIP(title); }
    void WaitCursor(bool on) override { dialogs_.WaitCursor(on); }

private:
    Dialogs& dialogs_;
};

} // namespace velmora::ui
