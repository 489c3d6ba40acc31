// ConsoleDialogs: the dialog service without a display. The address chooser
// talks to the user on the terminal; messages go to standard error, in the
// character set of the user's locale (LC_CTYPE). When standard input is not
// a terminal the chooser takes its preselected address.
// Not thread-safe; host thread only.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

#include "platform/module_folder.h"
#include "ui/dialogs.h"

namespace velmora::ui {

class dlgIPModel;

class ConsoleDialogs : public Dialogs {
public:
    // Standard input and standard error; the address list in folder.
    explicit ConsoleDialogs(std::filesystem::path folder = platform::ModuleFolder());
    // A terminal given as two streams (tests): in always counts as a terminal.
    ConsoleDialogs(std::istream& in, std::ostream& out, std::filesystem::path folder);

    // Answers: Enter = OK on the selected item, a number picks an item, an
    // address is typed into the boxes, "c" cancels, "r N" removes item N,
    // "x" clears the list. The end of input closes the chooser.
    int32_t SelectIP(const std::string& title) override;
    bool ShowSetup(SetupFrame& frame) override;
    void MessageBox(const std::string& text, const std::string& title) override;
    void WaitCursor(bool) override {}

private:
    bool IsTerminal() const;
    void Print(const dlgIPModel& dlg);
    // Writes the UTF-8 text as the terminal shows it.
    void Say(const std::string& utf8);
    void Answer(dlgIPModel& dlg, const std::string& answer, const std::string& title);
    void Accept(dlgIPModel& dlg, const std::string& title);

    std::istream& in_;
    std::ostream& out_;
    bool standardInput_;
    std::filesystem::path folder_;
};

} // namespace velmora::ui
