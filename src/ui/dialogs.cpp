#include "ui/dialogs.h"

#include <utility>

#include "ui/console_dialogs.h"

namespace velmora::ui {
namespace {

std::unique_ptr<Dialogs>& Current() {
    static std::unique_ptr<Dialogs> dialogs;
    return dialogs;
}

} // namespace

Dialogs& CurrentDialogs() {
    std::unique_ptr<Dialogs>& dialogs = Current();
    if (!dialogs) dialogs = std::make_unique<ConsoleDialogs>();
    return *dialogs;
}

void SetDialogs(std::unique_ptr<Dialogs> dialogs) {
    Current() = std::move(dialogs);
}

} // namespace velmora::ui
