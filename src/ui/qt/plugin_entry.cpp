#include "ui/qt/plugin_entry.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "ui/dialog_plugin.h"
#include "ui/qt/qt_dialogs.h"

namespace velmora::ui {
namespace {

void Say(const std::string& text, char* why, std::size_t whySize) {
    if (why == nullptr || whySize == 0) return;
    const std::size_t n = std::min(text.size(), whySize - 1);
    std::memcpy(why, text.data(), n);
    why[n] = '\0';
}

} // namespace

Dialogs* EnterQtPlugin(int builtFor, int version, const char* folder, char* why, std::size_t whySize) {
    try {
        if (version != builtFor) {
            Say(VersionRefusal(builtFor, version), why, whySize);
            return nullptr;
        }
        std::string reason;
        auto dialogs = QtDialogs::Create(folder != nullptr ? folder : "", reason);
        if (!dialogs) Say(reason, why, whySize);
        return dialogs.release();
    } catch (const std::exception& e) {
        Say(e.what(), why, whySize);
    } catch (...) {
        Say("the Qt dialogs failed to start", why, whySize);
    }
    return nullptr;
}

} // namespace velmora::ui
