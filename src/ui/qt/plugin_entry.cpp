// Lintara.qt.so's one entry point: the driver's dialog service loads the
// library and asks it for the Qt implementation.
#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <type_traits>

#include "ui/qt/qt_dialogs.h"
#include "ui/qt_loader.h"

namespace {

void Say(const std::string& text, char* why, std::size_t whySize) {
    if (why == nullptr || whySize == 0) return;
    const std::size_t n = std::min(text.size(), whySize - 1);
    std::memcpy(why, text.data(), n);
    why[n] = '\0';
}

} // namespace

extern "C" __attribute__((visibility("default"))) velmora::ui::Dialogs*
LintaraCreateQtDialogs(int version, const char* folder, char* why, std::size_t whySize) {
    // Nothing may be thrown into the driver.
    try {
        if (version != velmora::ui::kDialogsVersion) {
            Say("the Qt dialogs plug-in was built for another version of the driver", why, whySize);
            return nullptr;
        }
        std::string reason;
        auto dialogs = velmora::ui::QtDialogs::Create(folder != nullptr ? folder : "", reason);
        if (!dialogs) Say(reason, why, whySize);
        return dialogs.release();
    } catch (const std::exception& e) {
        Say(e.what(), why, whySize);
    } catch (...) {
        Say("the Qt dialogs failed to start", why, whySize);
    }
    return nullptr;
}

// The entry point's type is the one the driver calls through.
static_assert(std::is_same_v<decltype(&LintaraCreateQtDialogs), velmora::ui::QtEntryPoint>);
