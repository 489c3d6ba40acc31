// A fixture for the Qt dialog service on the offscreen platform: a private
// driver folder, the service made over it (with its QApplication), and what a
// user does to an open modal window, run from the window's own event loop.
#pragma once

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "../list_folder_test.h"
#include "test_support.h"
#include "ui/qt/qt_dialogs.h"

// Failures show Qt's texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace velmora::ui {

// Stands in for the desktop's browser and file opener while it lives.
class Desktop : public QObject {
    Q_OBJECT
public:
    Desktop() {
        for (const char* scheme : {"https", "file"}) QDesktopServices::setUrlHandler(scheme, this, "Open");
    }
    ~Desktop() override {
        for (const char* scheme : {"https", "file"}) QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

template <typename T = QWidget> T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}
inline QLineEdit* Box(QWidget& window, int box) {
    return Child<QLineEdit>(window, ("txtIP" + std::to_string(box)).c_str());
}
// The box the user is typing in.
inline QString Focused(QWidget& window) {
    return window.focusWidget() != nullptr ? window.focusWidget()->objectName() : QString();
}
// A click on a list's line, scrolled into view first.
inline void ClickLine(QWidget& window, const char* name, int row) {
    auto* list = Child<QListWidget>(window, name);
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}
// Keys go where the focus is, as a user's do.
inline void Press(QWidget& window, Qt::Key key) {
    QTest::keyClick(window.focusWidget(), key);
}
// A click on a push button, a check box or an option.
inline void Click(QWidget& window, const char* button) {
    QTest::mouseClick(Child<QAbstractButton>(window, button), Qt::LeftButton);
}
// Double click on a box: its text selected, ready to be typed over.
inline void Retype(QWidget& window, int box, const char* keys) {
    QTest::mouseDClick(Box(window, box), Qt::LeftButton);
    for (const char* k = keys; *k != '\0'; ++k) QTest::keyClick(window.focusWidget(), *k);
}

// Answers every message box with OK while it lives and keeps its text, so a
// message that should not come fails a check instead of waiting for a user.
class MessageWatch {
public:
    MessageWatch() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || box->button(QMessageBox::Ok) == nullptr) return;
            seen_ << box->text();
            title = box->windowTitle();
            buttons = static_cast<int>(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start(10);
    }
    // The texts seen since the last call.
    QStringList Take() { return std::exchange(seen_, {}); }
    // The last box's title and number of buttons.
    QString title;
    int buttons = 0;

private:
    QTimer timer_;
    QStringList seen_;
};

class QtFixture : public ListFolderTest {
protected:
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1); // before the application is made
        std::string why;
        dialogs = QtDialogs::Create(dir.path(), why);
        ASSERT_TRUE(dialogs) << why;
    }

    // Runs `user` on the modal window once it is open. A window the user
    // left open is closed by its close box, so the test ends.
    static void WhenOpen(std::function<void(QWidget&)> user) {
        QTimer::singleShot(0, qApp, [user] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr) {
                ADD_FAILURE() << "no modal window is open";
                return;
            }
            user(*modal);
            if (modal->isVisible()) modal->close();
        });
    }

    // SelectIP("E16") with `user` acting on the chooser.
    int32_t Choose(std::function<void(QWidget&)> user) {
        WhenOpen(std::move(user));
        return dialogs->SelectIP("E16");
    }

    test::ScopedEnv language{"LC_ALL", "C"};
    std::unique_ptr<QtDialogs> dialogs;
};

} // namespace velmora::ui
