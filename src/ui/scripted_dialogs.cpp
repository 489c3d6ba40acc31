#include "ui/scripted_dialogs.h"

namespace velmora::ui {

int32_t ScriptedDialogs::SelectIP(const std::string& title) {
    selectIpTitles.push_back(title);
    if (addresses_.empty()) return 0;
    const int32_t address = addresses_.front();
    addresses_.pop_front();
    return address;
}

bool ScriptedDialogs::ShowSetup(engine::DriverState& state) {
    setupStates.push_back(&state);
    if (setups_.empty()) return true;
    const bool shown = setups_.front();
    setups_.pop_front();
    return shown;
}

void ScriptedDialogs::MessageBox(const std::string& text, const std::string& title) {
    messages.push_back({text, title});
}

} // namespace velmora::ui
