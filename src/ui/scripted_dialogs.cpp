#include "ui/scripted_dialogs.h"

namespace velmora::ui {

int32_t ScriptedDialogs::SelectIP(const std::string& title) {
    selectIpTitles.push_back(title);
    if (addresses_.empty()) return 0;
    const int32_t address = addresses_.front();
    addresses_.pop_front();
    return address;
}

bool ScriptedDialogs::ShowSetup(SetupFrame& frame) {
    SetupUser user;
    if (!setups_.empty()) {
        user = std::move(setups_.front());
        setups_.pop_front();
        if (!user) return false;
    }
    std::vector<std::string>& tabs = setupTabs.emplace_back();
    for (int i = 0; i < frame.TabCount(); ++i) tabs.push_back(frame.TabCaption(i));
    frame.Activate();
    if (user) user(frame);
    if (frame.IsOpen()) frame.Cancel();
    return true;
}

void ScriptedDialogs::MessageBox(const std::string& text, const std::string& title) {
    messages.push_back({text, title});
}

} // namespace velmora::ui
