// The Qt dialog service apart from the chooser's window: the wait cursor,
// URLs and help. The plug-in serving a host that already runs a QApplication
// is the Qt host's test.
#include <QDesktopServices>
#include <QUrl>

#include "qt_fixture.h"

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

} // namespace
} // namespace velmora::ui

#include "qt_dialogs_test.moc"
