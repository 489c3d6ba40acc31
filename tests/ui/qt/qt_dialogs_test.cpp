// The Qt dialog service: the address chooser's window driven as a user
// drives it (keys, clicks, Enter, Esc and the close box; the chosen address
// and the list file afterwards) and the wait cursor. The typing rules and the
// list's behaviour are the models'; here each path reaches them once. The
// plug-in serving a host that already runs a QApplication is the Qt host's test.
#include "qt_fixture.h"
#include "ui/ip_edit_model.h"

namespace velmora::ui {
namespace {

using ChooserWindow = QtFixture;

// The list's items, one space apart.
QString Items(QWidget& window) {
    QStringList items;
    auto* list = Child<QListWidget>(window, "lstIP");
    for (int i = 0; list != nullptr && i < list->count(); ++i) items << list->item(i)->text();
    return items.join(' ');
}

// The named boxes' or buttons' texts, joined.
QString Texts(QWidget& window, std::initializer_list<const char*> names, char separator) {
    QStringList texts;
    for (const char* name : names) texts << Child(window, name)->property("text").toString();
    return texts.join(QLatin1Char(separator));
}

// The boxes 3..0, left to right, as an address.
QString Boxes(QWidget& window) {
    return Texts(window, {"txtIP3", "txtIP2", "txtIP1", "txtIP0"}, '.');
}

TEST_F(ChooserWindow, SpeaksTheUsersLanguage) {
    // LC_ALL; the title and the buttons' texts.
    const std::tuple<const char*, QString, QString> languages[] = {
        {"C", "Select IP Address", "OK Cancel Remove Clear"},
        {"ru_RU.UTF-8", "Выбор IP адреса", "OK Отмена Удалить Очистить"}};
    for (const auto& [locale, title, buttons] : languages) {
        SCOPED_TRACE(locale);
        test::ScopedEnv scoped("LC_ALL", locale);
        Choose([&title = title, &buttons = buttons](QWidget& window) {
            EXPECT_EQ(window.windowTitle(), title);
            EXPECT_EQ(Texts(window, {"cmdOK", "cmdCancel", "cmdRemove", "cmdClear"}, ' '), buttons);
        });
    }
}

// OK with an emptied box is refused with a message and the chooser stays
// open; the loopback is what the boxes showed.
TEST_F(ChooserWindow, OkWithAnEmptyBoxIsRefused) {
    MessageWatch messages;
    const int32_t chosen = Choose([&messages](QWidget& window) {
        Retype(window, 1, "\b");
        Click(window, "cmdOK");
        // The message, titled with the module's name, with OK only.
        EXPECT_EQ(std::tuple(messages.Take(), messages.title, messages.buttons),
                  std::tuple(QStringList{"Please select IP address!"}, "E16", 1));
        EXPECT_TRUE(window.isVisible()) << "the chooser closed";
        Retype(window, 1, "7");
        Click(window, "cmdOK");
    });
    EXPECT_EQ(chosen, AddressNumber(127, 0, 7, 1));
}

// Enter is OK's, the default button. The list file fills the list, its first
// address, the last choice, selected and shown; where a new address goes in
// the file is the model's.
TEST_F(ChooserWindow, ATypedAddressIsTakenWithEnter) {
    WriteList("10.0.0.2\r\n");
    const int32_t chosen = Choose([](QWidget& window) {
        EXPECT_EQ(Items(window), "127.0.0.1 10.0.0.2");
        EXPECT_EQ(Child<QListWidget>(window, "lstIP")->currentRow(), 1);
        EXPECT_EQ(Boxes(window), "10.0.0.2") << "the last choice is not shown";
        Retype(window, 3, "192");
        Retype(window, 2, "168");
        Retype(window, 1, "256");
        EXPECT_EQ(Box(window, 1)->text(), "25") << "a digit past 255";
        EXPECT_EQ(Focused(window), "txtIP1") << "the refused digit does not advance";
        Retype(window, 1, "1");
        Retype(window, 0, "10");
        Press(window, Qt::Key_Return);
    });
    EXPECT_EQ(chosen, -1062731510) << "192.168.1.10";
}

// Backspace edits the box with the focus.
TEST_F(ChooserWindow, KeysActWhereTheFocusIs) {
    Choose([](QWidget& window) {
        Retype(window, 3, "123");
        // The key; the box with the focus and the caret in it afterwards.
        const std::tuple<Qt::Key, int, int> moves[] = {
            {Qt::Key_Left, 3, 3}, {Qt::Key_Right, 2, 0}, {Qt::Key_End, 0, 1},      {Qt::Key_Up, 0, 0},
            {Qt::Key_Home, 3, 0}, {Qt::Key_Down, 3, 1},  {Qt::Key_Backspace, 3, 0}};
        for (const auto& [key, box, caret] : moves) {
            Press(window, key);
            EXPECT_EQ(Focused(window), QStringLiteral("txtIP%1").arg(box)) << "key " << key;
            EXPECT_EQ(Box(window, box)->cursorPosition(), caret) << "key " << key;
        }
        EXPECT_EQ(Box(window, 3)->text(), "23") << "backspace";
        Press(window, Qt::Key_Tab);
        EXPECT_EQ(Focused(window), "txtIP2") << "the tab order runs left to right";
    });
}

TEST_F(ChooserWindow, CancelEscOrTheCloseBoxChoosesNoAddress) {
    const std::pair<const char*, void (*)(QWidget&)> closings[] = {
        {"Cancel", [](QWidget& window) { Click(window, "cmdCancel"); }},
        {"Esc", [](QWidget& window) { Press(window, Qt::Key_Escape); }},
        {"close box", [](QWidget& window) { window.close(); }}};
    for (const auto& [name, closing] : closings) {
        const int32_t chosen = Choose([&closing = closing](QWidget& window) {
            closing(window);
            EXPECT_FALSE(window.isVisible()) << "left open";
        });
        EXPECT_EQ(chosen, 0) << name;
    }
}

// The loopback, item 0, cannot be removed.
TEST_F(ChooserWindow, RemoveTakesTheClickedItemOffTheList) {
    Choose([](QWidget& window) { // the loopback alone, selected
        EXPECT_FALSE(Child<QPushButton>(window, "cmdRemove")->isEnabled()) << "item 0 can be removed";
    });
    WriteList("10.0.0.2\r\n10.0.0.3\r\n10.0.0.4\r\n");
    Choose([](QWidget& window) {
        ClickLine(window, "lstIP", 3);
        EXPECT_EQ(Boxes(window), "10.0.0.4") << "the clicked item";
        Click(window, "cmdRemove");
        EXPECT_EQ(Items(window), "127.0.0.1 10.0.0.2 10.0.0.3");
        ClickLine(window, "lstIP", 0);
        EXPECT_FALSE(Child<QPushButton>(window, "cmdRemove")->isEnabled()) << "with item 0 selected";
    });
}

// What Clear leaves in the file, whichever way the chooser closes, is the
// model's.
TEST_F(ChooserWindow, ClearEmptiesTheList) {
    WriteList("10.0.0.2\r\n10.0.0.3\r\n10.0.0.4\r\n");
    Choose([](QWidget& window) {
        ClickLine(window, "lstIP", 1);
        Click(window, "cmdClear");
        EXPECT_EQ(Items(window), "127.0.0.1");
        EXPECT_EQ(Boxes(window), "127.0.0.1") << "the loopback is not shown after Clear";
    });
}

// Over the host's active window, centred on it; on the screen when the host
// shows none.
TEST_F(ChooserWindow, OpensCentredOverTheHostsActiveWindow) {
    QWidget host;
    host.setGeometry(40, 50, 420, 360); // well away from the screen's centre
    const QPoint screen = QApplication::primaryScreen()->availableGeometry().center();
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "host shown" : "no host window");
        if (shown) {
            host.show();
            host.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
        } else {
            host.hide();
            ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; }));
        }
        QRect chooser;
        Choose([&chooser](QWidget& window) { chooser = window.frameGeometry(); });
        const QPoint want = shown ? host.frameGeometry().center() : screen;
        EXPECT_LE((chooser.center() - want).manhattanLength(), 2)
            << "centre at " << chooser.center().x() << "," << chooser.center().y();
    }
}

using QtService = QtFixture;

Qt::CursorShape Cursor() {
    return QApplication::overrideCursor() != nullptr ? QApplication::overrideCursor()->shape()
                                                     : Qt::BlankCursor;
}

// The wait cursor lies over the host's own, the chooser's arrow over it;
// one off ends any number of ons, and an off too many leaves the host's.
TEST_F(QtService, TheWaitCursorLiesBetweenTheHostsAndTheChoosersArrow) {
    QApplication::setOverrideCursor(Qt::CrossCursor); // the host's own
    dialogs->WaitCursor(true);
    dialogs->WaitCursor(true);
    EXPECT_EQ(Cursor(), Qt::WaitCursor);
    Qt::CursorShape whileOpen = Qt::BlankCursor;
    Choose([&whileOpen](QWidget&) { whileOpen = Cursor(); });
    EXPECT_EQ(whileOpen, Qt::ArrowCursor);
    EXPECT_EQ(Cursor(), Qt::WaitCursor) << "the chooser did not give the cursor back";
    dialogs->WaitCursor(false);
    EXPECT_EQ(Cursor(), Qt::CrossCursor) << "one off ends any number of ons";
    dialogs->WaitCursor(false);
    EXPECT_EQ(Cursor(), Qt::CrossCursor) << "an off too many took the host's cursor";
    QApplication::restoreOverrideCursor();
}

} // namespace
} // namespace velmora::ui
