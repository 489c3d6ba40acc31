#include "ui/dialogs.h"

#include <iostream>
#include <utility>

#include "platform/module_folder.h"
#include "ui/qt_loader.h"

namespace velmora::ui {
namespace {

std::unique_ptr<Dialogs>& Current() {
    static std::unique_ptr<Dialogs> dialogs;
    return dialogs;
}

} // namespace

Dialogs& CurrentDialogs() {
    std::unique_ptr<Dialogs>& dialogs = Current();
    if (!dialogs) dialogs = ChooseDialogs(platform::ModuleFolder(), std::cerr);
    return *dialogs;
}

Dialogs* CursorDialogs() {
    return Current() || QtInProcess() ? &CurrentDialogs() : nullptr;
}

void SetDialogs(std::unique_ptr<Dialogs> dialogs) {
    Current() = std::move(dialogs);
}

} // namespace velmora::ui
