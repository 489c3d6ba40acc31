// The Qt dialog service apart from the chooser's window: message boxes, the
// wait cursor, URLs and help, and the plug-in serving a host that already
// runs a QApplication.
#include <QDesktopServices>
#include <QUrl>

#include <sstream>

#include "platform/module_folder.h"
#include "qt_fixture.h"
#include "ui/console_dialogs.h"
#include "ui/qt_loader.h"

namespace velmora::ui {
namespace {

using QtService = QtFixture;

Qt::CursorShape Cursor() {
    return QApplication::overrideCursor() != nullptr ? QApplication::overrideCursor()->shape()
                                                     : Qt::BlankCursor;
}

TEST_F(QtService, TheWaitCursorComesAndGoesOverTheHostsCursor) {
    QApplication::setOverrideCursor(Qt::CrossCursor); // the host's own
    dialogs->WaitCursor(true);
    EXPECT_EQ(Cursor(), Qt::WaitCursor);
    dialogs->WaitCursor(true);
    dialogs->WaitCursor(false);
    EXPECT_EQ(Cursor(), Qt::CrossCursor) << "one off ends any number of ons";
    dialogs->WaitCursor(false);
    EXPECT_EQ(Cursor(), Qt::CrossCursor) << "an off too many took the host's cursor";
    QApplication::restoreOverrideCursor();
}

TEST_F(QtService, TheChooserShowsTheArrowAndGivesTheHostsCursorBack) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Qt::CursorShape whileOpen = Qt::BlankCursor;
    Choose([&whileOpen](QWidget& window) {
        whileOpen = Cursor();
        Click(window, "cmdCancel");
    });
    EXPECT_EQ(whileOpen, Qt::ArrowCursor);
    EXPECT_EQ(Cursor(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
}

// Stands in for the desktop's browser and help viewer.
class Desktop : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

TEST_F(QtService, UrlsAndHelpGoToTheDesktop) {
    Desktop desktop;
    for (const char* scheme : {"https", "file"}) QDesktopServices::setUrlHandler(scheme, &desktop, "Open");
    dialogs->OpenUrl("https://www.example.com/e16");
    dialogs->ShowHelp("/opt/driver/LCard E16.chm");
    for (const char* scheme : {"https", "file"}) QDesktopServices::unsetUrlHandler(scheme);
    ASSERT_EQ(desktop.opened.size(), 2);
    EXPECT_EQ(desktop.opened[0], QUrl("https://www.example.com/e16"));
    EXPECT_EQ(desktop.opened[1], QUrl::fromLocalFile("/opt/driver/LCard E16.chm"));
}

// This program is a Qt host: its QApplication exists, so the service is the
// plug-in's, on this application, with no display named.
TEST_F(QtService, APluginServesAHostThatRunsAQApplication) {
    test::ScopedEnv noX("DISPLAY", std::nullopt);
    test::ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
    QCoreApplication* const app = QCoreApplication::instance();
    std::ostringstream err;
    std::unique_ptr<Dialogs> chosen = ChooseDialogs(platform::ModuleFolder(), err);
    EXPECT_EQ(err.str(), "") << "no fallback expected";
    EXPECT_EQ(dynamic_cast<ConsoleDialogs*>(chosen.get()), nullptr) << "the console was chosen";
    Seen seen;
    AnswerMessage(seen);
    chosen->MessageBox("from the plug-in", "E16");
    EXPECT_EQ(seen.text, "from the plug-in") << "no box on this application";
    EXPECT_EQ(QCoreApplication::instance(), app) << "a second application";
}

} // namespace
} // namespace velmora::ui

#include "qt_dialogs_test.moc"
