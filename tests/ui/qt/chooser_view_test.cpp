// The address chooser's window driven as a user drives it: keys typed into
// the boxes, clicks on the list and the buttons, Enter, Esc and the close
// box; the chosen address and the list file afterwards.
#include <QListWidget>

#include "qt_fixture.h"
#include "ui/ip_edit_model.h"

namespace velmora::ui {
namespace {

using ChooserWindow = QtFixture;

QStringList Items(QWidget& window) {
    QStringList items;
    auto* list = window.findChild<QListWidget*>(QStringLiteral("lstIP"));
    for (int i = 0; list != nullptr && i < list->count(); ++i) items << list->item(i)->text();
    return items;
}

int SelectedRow(QWidget& window) {
    return window.findChild<QListWidget*>(QStringLiteral("lstIP"))->currentRow();
}

// Boxes 3..0, left to right.
QStringList Boxes(QWidget& window) {
    QStringList texts;
    for (int box = 3; box >= 0; --box)
        texts << window.findChild<QLineEdit*>(QStringLiteral("txtIP%1").arg(box))->text();
    return texts;
}

bool RemoveEnabled(QWidget& window) {
    return window.findChild<QPushButton*>(QStringLiteral("cmdRemove"))->isEnabled();
}

TEST_F(ChooserWindow, WithoutAListOnlyTheLoopbackIsShownAndOkTakesIt) {
    const int32_t chosen = Choose([](QWidget& window) {
        EXPECT_EQ(window.windowTitle(), "Select IP Address");
        EXPECT_EQ(Child<QPushButton>(window, "cmdOK")->text(), "OK");
        EXPECT_TRUE(Child<QPushButton>(window, "cmdOK")->isDefault()) << "OK is not the default button";
        EXPECT_EQ(Child<QPushButton>(window, "cmdCancel")->text(), "Cancel");
        EXPECT_EQ(Child<QPushButton>(window, "cmdRemove")->text(), "Remove");
        EXPECT_EQ(Child<QPushButton>(window, "cmdClear")->text(), "Clear");
        EXPECT_EQ(Items(window), QStringList{"127.0.0.1"});
        EXPECT_EQ(SelectedRow(window), 0);
        EXPECT_EQ(Boxes(window), (QStringList{"127", "0", "0", "1"}));
        EXPECT_FALSE(RemoveEnabled(window)) << "item 0 can be removed";
        Click(window, "cmdOK");
    });
    EXPECT_EQ(chosen, 0x7F000001);
    EXPECT_FALSE(std::filesystem::exists(ListFile())) << "an unchanged list was written";
}

TEST_F(ChooserWindow, TheFileFillsTheListAndEnterTakesTheFirstRememberedAddress) {
    WriteList("10.0.0.2\r\n300.1.1.1\r\n10.0.0.2\r\n1.2.3.4.5\r\n010.0.0.1\r\n");
    const int32_t chosen = Choose([](QWidget& window) {
        EXPECT_EQ(Items(window), (QStringList{"127.0.0.1", "10.0.0.2", "1.2.3.4", "10.0.0.1"}));
        EXPECT_EQ(SelectedRow(window), 1);
        EXPECT_EQ(Boxes(window), (QStringList{"10", "0", "0", "2"}));
        EXPECT_TRUE(RemoveEnabled(window));
        Press(window, Qt::Key_Return);
    });
    EXPECT_EQ(chosen, 0x0A000002);
    EXPECT_EQ(ReadList(), "10.0.0.2\r\n300.1.1.1\r\n10.0.0.2\r\n1.2.3.4.5\r\n010.0.0.1\r\n") << "rewritten";
}

TEST_F(ChooserWindow, ATypedAddressBecomesTheTopOfTheRememberedList) {
    WriteList("10.0.0.2\r\n");
    const int32_t chosen = Choose([](QWidget& window) {
        Retype(window, 3, "192");
        EXPECT_EQ(Focused(window), "txtIP2") << "no advance after the third digit";
        Retype(window, 2, "168");
        Retype(window, 1, "1");
        Retype(window, 0, "10");
        EXPECT_EQ(Boxes(window), (QStringList{"192", "168", "1", "10"}));
        Click(window, "cmdOK");
    });
    EXPECT_EQ(chosen, -1062731510) << "192.168.1.10";
    EXPECT_EQ(ReadList(), "192.168.1.10\r\n10.0.0.2\r\n");

    EXPECT_EQ(Choose([](QWidget& window) {
                  QListWidget* list = Child<QListWidget>(window, "lstIP");
                  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                    list->visualItemRect(list->item(2)).center());
                  EXPECT_EQ(Boxes(window), (QStringList{"10", "0", "0", "2"})) << "the clicked item";
                  Click(window, "cmdOK");
              }),
              0x0A000002);
    EXPECT_EQ(ReadList(), "192.168.1.10\r\n10.0.0.2\r\n") << "a listed address changes nothing";
}

TEST_F(ChooserWindow, BoxesTakeOnlyBytesAndTheCaretMovesBetweenThem) {
    const int32_t chosen = Choose([](QWidget& window) {
        Retype(window, 0, "256");
        EXPECT_EQ(Box(window, 0)->text(), "25") << "the 6 makes 256";
        EXPECT_EQ(Focused(window), "txtIP0");
        Retype(window, 1, "00");
        EXPECT_EQ(Box(window, 1)->text(), "0") << "a 0 behind a single 0";
        Retype(window, 2, "a.-");
        EXPECT_EQ(Box(window, 2)->text(), "0") << "letters, dots and signs are refused";
        Retype(window, 3, "123");
        EXPECT_EQ(Focused(window), "txtIP2") << "after three digits";
        EXPECT_EQ(Box(window, 2)->cursorPosition(), 0);
        Press(window, Qt::Key_Left);
        EXPECT_EQ(Focused(window), "txtIP3") << "Left at the start of a box";
        EXPECT_EQ(Box(window, 3)->cursorPosition(), 3) << "the caret at the end of the box on the left";
        Press(window, Qt::Key_Right);
        EXPECT_EQ(Focused(window), "txtIP2") << "Right at the end of a box";
        Press(window, Qt::Key_End);
        EXPECT_EQ(Focused(window), "txtIP0");
        EXPECT_EQ(Box(window, 0)->cursorPosition(), 2) << "End: the end of the last box";
        Press(window, Qt::Key_Home);
        EXPECT_EQ(Focused(window), "txtIP3");
        EXPECT_EQ(Box(window, 3)->cursorPosition(), 0) << "Home: the start of the first box";
        Press(window, Qt::Key_Tab);
        EXPECT_EQ(Focused(window), "txtIP2") << "the tab order runs left to right";
        Press(window, Qt::Key_End);
        Press(window, Qt::Key_Backspace);
        EXPECT_EQ(Box(window, 0)->text(), "2") << "backspace";
        Press(window, Qt::Key_Escape);
    });
    EXPECT_EQ(chosen, 0) << "Esc";
}

TEST_F(ChooserWindow, OkWithAnEmptyBoxSaysSoAndTheChooserStaysOpen) {
    Seen seen;
    const int32_t chosen = Choose([&seen](QWidget& window) {
        Retype(window, 1, "\b");
        EXPECT_EQ(Box(window, 1)->text(), "");
        AnswerMessage(seen);
        Click(window, "cmdOK");
        EXPECT_EQ(seen.text, "Please select IP address!");
        EXPECT_EQ(seen.title, "E16") << "the module's name";
        EXPECT_EQ(seen.buttons, 1) << "OK only";
        EXPECT_TRUE(window.isVisible()) << "the chooser closed";
        Retype(window, 1, "7");
        Click(window, "cmdOK");
    });
    EXPECT_EQ(chosen, AddressNumber(127, 0, 7, 1));
    EXPECT_EQ(ReadList(), "127.0.7.1\r\n");
}

TEST_F(ChooserWindow, ClearThenCancelWritesAnEmptyList) {
    WriteList("10.0.0.2\r\n10.0.0.3\r\n");
    const int32_t chosen = Choose([](QWidget& window) {
        Click(window, "cmdClear");
        EXPECT_EQ(Items(window), QStringList{"127.0.0.1"});
        EXPECT_EQ(Boxes(window), (QStringList{"127", "0", "0", "1"}));
        EXPECT_FALSE(RemoveEnabled(window));
        Click(window, "cmdCancel");
    });
    EXPECT_EQ(chosen, 0);
    ASSERT_TRUE(std::filesystem::exists(ListFile()));
    EXPECT_EQ(ReadList(), "");
}

TEST_F(ChooserWindow, RemoveTakesTheSelectedItemAndTheCloseBoxKeepsTheChange) {
    WriteList("10.0.0.2\r\n10.0.0.3\r\n10.0.0.4\r\n");
    const int32_t chosen = Choose([](QWidget& window) {
        QListWidget* list = Child<QListWidget>(window, "lstIP");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(3)).center());
        EXPECT_EQ(Boxes(window), (QStringList{"10", "0", "0", "4"})) << "the clicked item";
        Click(window, "cmdRemove");
        EXPECT_EQ(Items(window), (QStringList{"127.0.0.1", "10.0.0.2", "10.0.0.3"}));
        EXPECT_EQ(SelectedRow(window), 2) << "the last item after the last was removed";
        EXPECT_EQ(Boxes(window), (QStringList{"10", "0", "0", "3"}));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        EXPECT_FALSE(RemoveEnabled(window)) << "with item 0 selected";
        window.close(); // the close box
    });
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(ReadList(), "10.0.0.2\r\n10.0.0.3\r\n");
}

TEST_F(ChooserWindow, RussianWhereTheUserInterfaceIsRussian) {
    test::ScopedEnv russian("LC_ALL", "ru_RU.UTF-8");
    Seen seen;
    const int32_t chosen = Choose([&seen](QWidget& window) {
        EXPECT_EQ(window.windowTitle(), "Выбор IP адреса");
        EXPECT_EQ(Child<QPushButton>(window, "cmdOK")->text(), "OK");
        EXPECT_EQ(Child<QPushButton>(window, "cmdCancel")->text(), "Отмена");
        EXPECT_EQ(Child<QPushButton>(window, "cmdRemove")->text(), "Удалить");
        EXPECT_EQ(Child<QPushButton>(window, "cmdClear")->text(), "Очистить");
        Retype(window, 0, "\b");
        AnswerMessage(seen);
        Click(window, "cmdOK");
        Click(window, "cmdCancel");
    });
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(seen.text, "Пожалуйста укажите IP адрес!");
}

} // namespace
} // namespace velmora::ui
