// The address boxes and the address chooser without a toolkit: the typing
// rules, focus moves, the remembered list and its file as a careless or
// hostile folder may hold it; the chooser on a terminal, and the console
// serving where there is no display. The chooser window's tests drive the
// same model through the widgets; without a terminal it is e16rec's test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "list_folder_test.h"
#include "platform/module_folder.h"
#include "ui/console_dialogs.h"
#include "ui/ip_chooser_model.h"
#include "ui/ip_edit_model.h"
#include "ui/qt_loader.h"

namespace velmora::ui {
namespace {

using testing::AllOf;
using testing::HasSubstr;

std::string Boxes(const ucIPModel& ip) {
    return ip.Text(3) + "." + ip.Text(2) + "." + ip.Text(1) + "." + ip.Text(0);
}

// Types into the focused box; returns the characters that were accepted.
std::string Type(ucIPModel& ip, const std::string& keys) {
    std::string accepted;
    for (char c : keys)
        if (ip.KeyPress(c)) accepted += c;
    return accepted;
}

// A full box moves the focus on, except the rightmost; a box emptied by a cut
// leaves no address.
TEST(UcIpTest, AnAddressNeedsAByteInEveryBox) {
    ucIPModel ip; // the focus starts in the leftmost box
    EXPECT_EQ(Type(ip, "192168"), "192168");
    EXPECT_EQ(ip.FocusBox(), 1) << "after two full boxes";
    EXPECT_EQ(Type(ip, "0"), "0");
    EXPECT_EQ(Type(ip, "07"), "7") << "a 0 behind a lone 0, then a digit";
    ip.KeyDown(IpKey::Right);
    EXPECT_EQ(Type(ip, "256.a"), "25") << "a digit past 255, a dot or a letter";
    EXPECT_EQ(Type(ip, "5"), "5");
    EXPECT_EQ(ip.FocusBox(), 0) << "the rightmost box keeps the focus";
    EXPECT_EQ(Boxes(ip), "192.168.7.255") << "\"07\" shows as 7";
    EXPECT_EQ(ip.Value(), AddressNumber(192, 168, 7, 255));
    ip.Edit(1, "", 0);
    EXPECT_EQ(ip.Value(), 0) << "an empty box";
    EXPECT_EQ(Boxes(ip), "192.168..255") << "the other boxes kept";
}

TEST(UcIpTest, CaretKeysCrossBoxesOnlyAtTheEdges) {
    ucIPModel ip;
    ip.SetValue(AddressNumber(10, 20, 30, 40));
    // Focused box, caret, selection length; the key; the box and caret after it.
    const std::tuple<int, int, int, IpKey, int, int> moves[] = {
        {1, 1, 0, IpKey::Left, 1, 0},  {1, 0, 0, IpKey::Up, 2, 2},   {2, 2, 0, IpKey::Down, 1, 0},
        {1, 0, 2, IpKey::Right, 0, 0}, {0, 0, 0, IpKey::Home, 3, 0}, {3, 0, 0, IpKey::Left, 3, 0},
        {3, 0, 0, IpKey::End, 0, 2},   {0, 2, 0, IpKey::Right, 0, 2}};
    for (const auto& [box, caret, length, key, toBox, toCaret] : moves) {
        SCOPED_TRACE(testing::Message() << "key " << static_cast<int>(key) << " in box " << box << " at "
                                        << caret << " selecting " << length);
        ip.Focus(box, caret, length);
        ip.KeyDown(key);
        EXPECT_EQ(ip.FocusBox(), toBox) << "box";
        EXPECT_EQ(ip.SelStart(), toCaret) << "caret";
    }
}

class ChooserTest : public ListFolderTest {
protected:
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& item : dlg.List()) texts.push_back(item.text);
        return texts;
    }
    // The addresses offered after a fresh load, the loopback first.
    std::size_t Offered() {
        dlgIPModel model(dir.path());
        model.Load();
        return model.List().size();
    }

    dlgIPModel dlg{dir.path()};
};

// What the chooser skips stays in the file until the list changes.
TEST_F(ChooserTest, BadOrRepeatedLinesAreSkippedButLeftInTheFile) {
    const std::string file = "10.0.0.2\r\n300.1.1.1\r\n10.0.0.2\r\n1.2.3.4.5\r\n010.0.0.1\r\n";
    WriteList(file);
    dlg.Load();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"127.0.0.1", "10.0.0.2", "1.2.3.4", "10.0.0.1"}));
    dlg.SelectItem(3);
    ASSERT_TRUE(dlg.Ok());
    EXPECT_EQ(dlg.chosenAddress(), AddressNumber(10, 0, 0, 1));
    EXPECT_EQ(ReadList(), file) << "a listed address changed the list";
    dlg.Load();
    dlg.Cancel();
    EXPECT_EQ(dlg.chosenAddress(), 0) << "after Cancel";
    EXPECT_EQ(ReadList(), file) << "unchanged, so not rewritten";
}

// The loopback, item 0, is never removed.
TEST_F(ChooserTest, RemoveSelectsTheNextItemOrTheLast) {
    WriteList("10.0.0.1\r\n10.0.0.2\r\n10.0.0.3\r\n");
    dlg.Load();
    // Item removed; the item selected and the address shown after it.
    const std::tuple<int32_t, int32_t, std::string> removals[] = {
        {3, 2, "10.0.0.2"}, {1, 1, "10.0.0.2"}, {0, 0, "127.0.0.1"}};
    for (const auto& [item, selected, shown] : removals) {
        dlg.SelectItem(item);
        dlg.Remove();
        EXPECT_EQ(dlg.ListIndex(), selected) << "removing " << item;
        EXPECT_EQ(Boxes(dlg.Edit()), shown) << "removing " << item;
    }
    EXPECT_EQ(Texts(), (std::vector<std::string>{"127.0.0.1", "10.0.0.2"}));
}

TEST_F(ChooserTest, OnlyARegularFileIsRead) {
    ASSERT_EQ(::mkfifo(ListFile().c_str(), 0600), 0);
    EXPECT_EQ(Offered(), 1u) << "a FIFO in the file's place, nobody writing into it";
    std::filesystem::remove(ListFile());
    std::filesystem::create_symlink("/dev/zero", ListFile());
    EXPECT_EQ(Offered(), 1u) << "a link to a device";
    std::filesystem::remove(ListFile());
    std::filesystem::create_directory(ListFile());
    EXPECT_EQ(Offered(), 1u) << "a directory";
    std::filesystem::remove(ListFile());
    std::ofstream(dir.path() / "real.txt") << "10.0.0.1\r\n";
    std::filesystem::create_symlink(dir.path() / "real.txt", ListFile());
    EXPECT_EQ(Offered(), 2u) << "a link to a regular file is still a regular file";
}

TEST_F(ChooserTest, AHugeFileIsReadOnlyAsFarAsItsLimits) {
    WriteList(std::string(40u << 20, '\n') + "10.0.0.1\r\n"); // 40 MiB of empty lines first
    EXPECT_EQ(Offered(), 1u) << "the address lies past the first MiB";
    WriteList(std::string(70000, '\n') + "10.0.0.2\n");
    EXPECT_EQ(Offered(), 1u) << "the address lies past line 65536";
    std::string many;
    for (int i = 0; i < 65535; ++i)
        many += "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256) + "\r\n";
    WriteList(many + "10.1.0.0\r\n");
    EXPECT_EQ(Offered(), 65536u) << "the loopback and 65535 addresses, the repeat once";
}

class ConsoleTest : public ListFolderTest {
protected:
    // Runs the chooser with the lines a user types on the terminal.
    int32_t Answer(const std::string& typed) {
        std::istringstream in(typed);
        return ConsoleDialogs(in, out, dir.path()).SelectIP("E16");
    }
    std::size_t Count(const std::string& text) const {
        std::size_t times = 0;
        for (auto at = out.str().find(text); at != std::string::npos; at = out.str().find(text, at + 1))
            ++times;
        return times;
    }

    test::ScopedEnv all{"LC_ALL", "C"};
    std::ostringstream out;
};

// Enter takes the selected item, marked in the list: the last choice.
TEST_F(ConsoleTest, EachAnswerChoosesItsAddress) {
    const std::string list = "10.0.0.2\r\n10.0.0.3\r\n";
    // What the user types; the address chosen, the list file after it when it
    // changes, and how often an answer that is no choice is refused, saying why.
    const std::tuple<const char*, int32_t, const char*, std::size_t, const char*> answers[] = {
        {"\n", 0x0A000002, nullptr, 0, ""},                                                 // Enter
        {"0\n", 0x7F000001, nullptr, 0, ""},                                                // item 0
        {"192.168.1.10\n", -1062731510, "192.168.1.10\r\n10.0.0.2\r\n10.0.0.3\r\n", 0, ""}, // on top
        {" 1.2.3.256 \n0\n", 0x7F000001, nullptr, 1, // not 1.2.3.25, as the box would take it
         "\"1.2.3.256\" is neither an item number nor an address a.b.c.d of four numbers 0 to 255."},
        {"c\n", 0, nullptr, 0, ""},
        {"r 1\n\n", 0x0A000003, "10.0.0.3\r\n", 0, ""}, // remove item 1, then Enter on the next
        {"", 0, nullptr, 0, ""},                        // the end of input
        {"x\nc\n", 0, "", 0, ""},                       // clear, then cancel
        {"r 0\nc\n", 0, nullptr, 1, "Please select IP address! Item 0 cannot be removed."},
        {"1.2.3\n9\n0\n", 0x7F000001, nullptr, 2,
         "address! There is no item 9.\n"}}; // asked again after each
    for (const auto& [typed, address, after, refusals, why] : answers) {
        SCOPED_TRACE(testing::PrintToString(std::string(typed)));
        WriteList(list);
        out.str("");
        EXPECT_EQ(Answer(typed), address);
        EXPECT_EQ(ReadList(), after != nullptr ? after : list) << "the list file";
        EXPECT_THAT(out.str(), HasSubstr(" > 1  10.0.0.2")) << "the selection is not marked";
        EXPECT_EQ(Count("E16: Please select IP address!"), refusals) << out.str();
        EXPECT_THAT(out.str(), HasSubstr(why));
    }
}

// The chooser window's tests read every text in both languages. The texts
// come in the terminal's character set: Cyrillic in ASCII as Latin letters.
TEST_F(ConsoleTest, RussianWhereTheUserInterfaceIsRussian) {
    test::ScopedEnv none("LC_ALL", ""), messages("LC_MESSAGES", ""), lang("LANG", "ru_RU.UTF-8");
    {
        test::ScopedEnv ctype("LC_CTYPE", ""); // LANG's, named though not on this machine
        EXPECT_EQ(Answer("?\nc\n"), 0);
        EXPECT_THAT(out.str(), AllOf(HasSubstr("E16: Пожалуйста укажите IP адрес!"),
                                     HasSubstr("Выбор IP адреса"), HasSubstr("\"?\" — не номер пункта"),
                                     HasSubstr("Enter = OK, N = пункт N, a.b.c.d = адрес, c = Отмена")));
    }
    test::ScopedEnv ctype("LC_CTYPE", "C");
    out.str("");
    EXPECT_EQ(Answer("?\nc\n"), 0);
    const std::string ascii = out.str();
    EXPECT_THAT(ascii, AllOf(HasSubstr("E16: Pozhalujsta"), HasSubstr("c = Otmena")));
    EXPECT_TRUE(std::all_of(ascii.begin(), ascii.end(), [](char c) { return c > 0; })) << ascii;
}

// This program has no Qt: without a display the plug-in is not even loaded.
TEST(DialogService, WithoutADisplayTheConsoleServesWithoutQt) {
    test::ScopedEnv noX("DISPLAY", std::nullopt), noWayland("WAYLAND_DISPLAY", std::nullopt);
    ASSERT_FALSE(test::IsLoaded("libQt6Core.so.6")) << "Qt was in the process before";
    std::ostringstream err;
    const std::unique_ptr<Dialogs> dialogs = ChooseDialogs(platform::ModuleFolder(), err);
    EXPECT_NE(dynamic_cast<ConsoleDialogs*>(dialogs.get()), nullptr) << "not the console";
    EXPECT_EQ(err.str(), "") << "a fallback was reported";
    EXPECT_FALSE(test::IsLoaded((platform::ModuleFolder() / kQtPluginFile).string()))
        << "the plug-in was loaded";
    EXPECT_FALSE(test::IsLoaded("libQt6Core.so.6")) << "Qt was loaded";
}

} // namespace
} // namespace velmora::ui
