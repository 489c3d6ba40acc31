#include "ui/console_dialogs.h"

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <istream>
#include <memory>
#include <ostream>
#include <utility>

#include <iconv.h>
#include <unistd.h>

#include "platform/locale.h"
#include "ui/ip_chooser_model.h"
#include "ui/qt_loader.h"
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

// What was wrong with an answer that chose nothing, in the chooser's language.
std::string WhyRefused(const std::string& answer, int32_t count) {
    const bool ru = platform::UiLanguage() == "ru";
    const bool remove = answer.starts_with("r ");
    const std::string number = remove ? Trim(answer.substr(2)) : answer;
    const int32_t item = ItemNumber(number);
    if (remove && item == 0) return ru ? "Пункт 0 не удаляется." : "Item 0 cannot be removed.";
    if (item >= count) return (ru ? "Нет пункта " : "There is no item ") + number + ".";
    return "\"" + answer + "\"" +
           (ru ? " — не номер пункта и не адрес a.b.c.d из четырёх чисел от 0 до 255."
               : " is neither an item number nor an address a.b.c.d of four numbers 0 to 255.");
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

// Past the character at in, a lead byte and its continuation bytes.
void SkipCharacter(char*& in, std::size_t& left) {
    do {
        ++in, --left;
    } while (left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
}

std::string Convert(iconv_t cd, std::string utf8) {
    std::string result;
    char* in = utf8.data();
    std::size_t inLeft = utf8.size();
    char buffer[256];
    for (bool done = false; !done;) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        done = inLeft == 0; // then the call ends a shift state
        const std::size_t n = ::iconv(cd, done ? nullptr : &in, &inLeft, &out, &outLeft);
        result.append(buffer, out);
        if (n == static_cast<std::size_t>(-1) && errno != E2BIG && inLeft > 0) {
            result += '?'; // neither in the set nor transliterated
            SkipCharacter(in, inLeft);
        }
    }
    return result;
}

// The UTF-8 text in the character set of the user's locale, which the
// terminal shows: what the set lacks is transliterated (Cyrillic to Latin
// letters in ASCII) or becomes '?'.
std::string ForTerminal(const std::string& utf8) {
    const std::string charset = platform::Charset();
    if (charset == "UTF-8") return utf8;
    const auto none = reinterpret_cast<iconv_t>(-1);
    iconv_t cd = ::iconv_open((charset + "//TRANSLIT").c_str(), "UTF-8");
    if (cd == none) cd = ::iconv_open("ASCII//TRANSLIT", "UTF-8");
    if (cd == none) return utf8;
    const std::unique_ptr<void, int (*)(iconv_t)> closing(cd, &::iconv_close);
    return Convert(cd, utf8);
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
        Say(dlg.Caption() + ": standard input is not a terminal; OK on the selected address\n");
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
    std::string text = dlg.Caption() + "\n";
    const auto& list = dlg.List();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const bool selected = static_cast<int32_t>(i) == dlg.ListIndex();
        text += (selected ? " > " : "   ") + std::to_string(i) + "  " + list[i].text + "\n";
    }
    // In the language of the chooser's own texts around it.
    static constexpr const char* kPrompt[] = {"Enter = OK, N = item N, a.b.c.d = address, c = ",
                                              "Enter = OK, N = пункт N, a.b.c.d = адрес, c = "};
    text += kPrompt[platform::UiLanguage() == "ru" ? 1 : 0] + ResourceText(kTextCancel);
    if (list.size() >= 2)
        text += ", r N = " + ResourceText(kTextRemove) + ", x = " + ResourceText(kTextClear);
    Say(text + ": ");
}

void ConsoleDialogs::Say(const std::string& utf8) {
    out_ << ForTerminal(utf8) << std::flush;
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
        MessageBox(ResourceText(kTextSelectAddress) + " " + WhyRefused(answer, count), title);
    }
}

void ConsoleDialogs::Accept(dlgIPModel& dlg, const std::string& title) {
    if (!dlg.Ok()) {
        MessageBox(ResourceText(kTextSelectAddress), title);
        return;
    }
    Say(dlg.Caption() + ": " + DottedText(dlg.chosenAddress()) + "\n");
}

bool ConsoleDialogs::ShowSetup(SetupFrame&) {
    // With a display named, the choice of the console said why it has none
    // (which display, or which plug-in): not said again.
    Say(QtWanted() ? "Lintara: the setup dialog is not shown.\n"
                   : "Lintara: the setup dialog needs a display; neither DISPLAY nor WAYLAND_DISPLAY is set, "
                     "so it is not shown.\n");
    return false;
}

void ConsoleDialogs::MessageBox(const std::string& text, const std::string& title) {
    Say(title + ": " + text + "\n");
}

} // namespace velmora::ui
