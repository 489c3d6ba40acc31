#include "ui/console_dialogs.h"

#include <algorithm>
#include <iostream>
#include <istream>
#include <ostream>
#include <utility>

#include <unistd.h>

#include "platform/locale.h"
#include "ui/ip_chooser_model.h"
#include "velmora/dotted_address.h"

namespace velmora::ui {
namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// An item number, or -1 when the text is not one.
int32_t ItemNumber(const std::string& text) {
    if (text.empty() || text.size() > 6) return -1;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return -1;
    return std::stoi(text);
}

// Types the text into the boxes the way a user would: each dotted part into
// its box, left to right, over the box's old text. What a box refuses is lost.
void TypeAddress(ucIPModel& edit, const std::string& text) {
    std::size_t from = 0;
    for (int box = ucIPModel::kLeftmost; box >= 0; --box) {
        const auto dot = text.find('.', from);
        const std::string part = from <= text.size() ? text.substr(from, dot - from) : std::string();
        edit.DoubleClick(box);
        edit.KeyPress('\b');
        for (char c : part) {
            if (edit.FocusBox() != box) break; // advanced after the third digit
            edit.KeyPress(c);
        }
        from = dot == std::string::npos ? text.size() + 1 : dot + 1;
    }
}

} // namespace

ConsoleDialogs::ConsoleDialogs(std::filesystem::path folder)
    : in_(std::cin), out_(std::cerr), standardInput_(true), folder_(std::move(folder)) {}

ConsoleDialogs::ConsoleDialogs(std::istream& in, std::ostream& out, std::filesystem::path folder)
    : in_(in), out_(out), standardInput_(false), folder_(std::move(folder)) {}

bool ConsoleDialogs::IsTerminal() const {
    return !standardInput_ || ::isatty(STDIN_FILENO) == 1;
}

int32_t ConsoleDialogs::SelectIP(const std::string& title) {
    dlgIPModel dlg(folder_);
    dlg.Load();
    if (!IsTerminal()) {
        out_ << dlg.Caption() << ": standard input is not a terminal; OK on the selected address\n";
        Accept(dlg, title);
        return dlg.chosenAddress();
    }
    while (dlg.IsOpen()) {
        Print(dlg);
        std::string line;
        if (!std::getline(in_, line)) {
            dlg.CloseBox();
            break;
        }
        Answer(dlg, Trim(line), title);
    }
    return dlg.chosenAddress();
}

void ConsoleDialogs::Print(const dlgIPModel& dlg) {
    out_ << dlg.Caption() << "\n";
    const auto& list = dlg.List();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const bool selected = static_cast<int32_t>(i) == dlg.ListIndex();
        out_ << (selected ? " > " : "   ") << i << "  " << list[i].text << "\n";
    }
    // In the language of the chooser's own texts around it.
    static constexpr const char* kPrompt[] = {"Enter = OK, N = item N, a.b.c.d = address, c = ",
                                              "Enter = OK, N = пункт N, a.b.c.d = адрес, c = "};
    out_ << kPrompt[platform::UiLanguage() == "ru" ? 1 : 0] << ResourceText(kTextCancel);
    if (list.size() >= 2) {
        out_ << ", r N = " << ResourceText(kTextRemove) << ", x = " << ResourceText(kTextClear);
    }
    out_ << ": " << std::flush;
}

void ConsoleDialogs::Answer(dlgIPModel& dlg, const std::string& answer, const std::string& title) {
    const auto count = static_cast<int32_t>(dlg.List().size());
    const int32_t item = ItemNumber(answer);
    const int32_t removeItem = answer.starts_with("r ") ? ItemNumber(Trim(answer.substr(2))) : -1;
    if (answer.empty()) {
        dlg.SelectItem(dlg.ListIndex()); // the boxes show the selected item again
        Accept(dlg, title);
    } else if (answer == "c" || answer == "C") {
        dlg.Cancel();
    } else if (answer == "x" || answer == "X") {
        dlg.Clear();
    } else if (removeItem >= 1 && removeItem < count) {
        dlg.SelectItem(removeItem);
        dlg.Remove();
    } else if (item >= 0 && item < count) {
        dlg.SelectItem(item);
        Accept(dlg, title);
    } else if (ParseDotted(answer)) {
        // Whole: the boxes would drop a digit past 255 unseen here, and
        // another address would be chosen.
        TypeAddress(dlg.Edit(), answer);
        Accept(dlg, title);
    } else {
        MessageBox(ResourceText(kTextSelectAddress), title);
    }
}

void ConsoleDialogs::Accept(dlgIPModel& dlg, const std::string& title) {
    if (!dlg.Ok()) {
        MessageBox(ResourceText(kTextSelectAddress), title);
        return;
    }
    out_ << dlg.Caption() << ": " << DottedText(dlg.chosenAddress()) << "\n";
}

bool ConsoleDialogs::ShowSetup(SetupFrame&) {
    out_ << "The setup dialog needs a display it can open; it is not shown.\n";
    return false;
}

void ConsoleDialogs::MessageBox(const std::string& text, const std::string& title) {
    out_ << title << ": " << text << "\n";
}

} // namespace velmora::ui
