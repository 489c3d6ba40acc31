// The chooser on a terminal and the chooser's texts in English and Russian.
// Without a terminal it is e16rec's test, through the program.
#include "ui/console_dialogs.h"

#include <sstream>

#include <gtest/gtest.h>

#include "list_folder_test.h"
#include "platform/module_folder.h"
#include "test_support.h"
#include "ui/ip_chooser_model.h"
#include "ui/qt_loader.h"

namespace velmora::ui {
namespace {

class ConsoleTest : public ListFolderTest {
protected:
    // Runs the chooser with the lines a user types on the terminal.
    int32_t Answer(const std::string& typed) {
        std::istringstream in(typed);
        return ConsoleDialogs(in, out, dir.path()).SelectIP("E16");
    }
    bool Said(const std::string& text, std::size_t times = 1) const {
        std::size_t at = 0;
        for (std::size_t n = 0; n < times; ++n, ++at)
            if ((at = out.str().find(text, at)) == std::string::npos) return false;
        return true;
    }

    test::ScopedEnv all{"LC_ALL", "C"};
    std::ostringstream out;
};

TEST_F(ConsoleTest, EnterTakesTheSelectedItemANumberPicksOneAnAddressIsTypedOrAskedAgain) {
    WriteList("10.0.0.2\r\n");
    EXPECT_EQ(Answer("\n"), 0x0A000002) << "Enter";
    EXPECT_TRUE(Said(" > 1  10.0.0.2")) << "the selection is not marked:\n" << out.str();
    EXPECT_EQ(Answer("0\n"), 0x7F000001) << "item 0";
    EXPECT_EQ(Answer("192.168.1.10\n"), -1062731510) << "a typed address";
    EXPECT_EQ(ReadList(), "192.168.1.10\r\n10.0.0.2\r\n") << "the typed address on top";
    EXPECT_EQ(Answer(" 1.2.3.256 \n"), AddressNumber(1, 2, 3, 25)) << "the box refuses the 6";
    out.str("");
    EXPECT_EQ(Answer("1.2.3\n9\n0\n"), 0x7F000001);
    EXPECT_TRUE(Said("E16: Please select IP address!", 2)) << "not asked again:\n" << out.str();
}

TEST_F(ConsoleTest, CancelRemoveClearAndEndOfInput) {
    WriteList("10.0.0.2\r\n10.0.0.3\r\n");
    EXPECT_EQ(Answer("c\n"), 0) << "cancel";
    EXPECT_EQ(Answer("r 1\n\n"), 0x0A000003) << "remove item 1, then Enter on the next";
    EXPECT_EQ(ReadList(), "10.0.0.3\r\n") << "after the removal";
    EXPECT_EQ(Answer(""), 0) << "end of input";
    EXPECT_EQ(Answer("x\nc\n"), 0) << "clear, then cancel";
    EXPECT_EQ(ReadList(), "") << "after clear and cancel";
}

// The chooser window's tests read every text in both languages.
TEST_F(ConsoleTest, RussianWhereTheUserInterfaceIsRussian) {
    test::ScopedEnv none("LC_ALL", ""), messages("LC_MESSAGES", ""), lang("LANG", "ru_RU.UTF-8");
    EXPECT_EQ(Answer("?\nc\n"), 0);
    EXPECT_TRUE(Said("E16: Пожалуйста укажите IP адрес!")) << "asked in another language:\n" << out.str();
    EXPECT_TRUE(Said("Выбор IP адреса")) << out.str();
}

// This program has no Qt: without a display the plug-in is not even loaded.
TEST(DialogService, WithoutADisplayTheConsoleServesAndQtIsNotLoaded) {
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
