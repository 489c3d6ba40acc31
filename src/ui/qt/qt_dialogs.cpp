#include "ui/qt/qt_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include <exception>

#include "ui/ip_chooser_model.h"
#include "ui/qt/ip_chooser_view.h"
#include "ui/qt/qt_application.h"
#include "ui/qt/setup_view.h"

namespace velmora::ui {
namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Qt's own warning when nothing opens a file: the dialog says it instead,
// and the host's standard error carries the host's lines only.
QtMessageHandler g_hostHandler = nullptr;
void WithoutLauncherWarning(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QStringLiteral("Unable to detect a launcher"))) return;
    if (g_hostHandler != nullptr) g_hostHandler(type, context, text);
}

bool OpenFile(const std::string& path) {
    g_hostHandler = qInstallMessageHandler(WithoutLauncherWarning);
    const bool opened = QDesktopServices::openUrl(QUrl::fromLocalFile(Text(path)));
    qInstallMessageHandler(g_hostHandler);
    return opened;
}

} // namespace

void ShowMessageBox(QWidget* parent, const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, Text(title), Text(text), QMessageBox::Ok, parent);
    box.exec();
}

std::unique_ptr<QtDialogs> QtDialogs::Create(std::filesystem::path folder, std::string& why) {
    if (EnsureApplication(why) == nullptr) return nullptr;
    return std::unique_ptr<QtDialogs>(new QtDialogs(std::move(folder)));
}

// The arrow while the chooser is open, whatever cursor the host had; the
// host's cursor comes back when it closes. Over the host's active window,
// centred on it, as its child; on the screen when the host shows none.
int32_t QtDialogs::SelectIP(const std::string& title) {
    dlgIPModel model(folder_);
    model.Load();
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    {
        dlgIP dialog(
            model,
            [&title](QWidget* parent, const std::string& text) { ShowMessageBox(parent, text, title); },
            QApplication::activeWindow());
        dialog.exec();
    }
    if (model.IsOpen()) model.CloseBox(); // the application quit under the dialog
    QApplication::restoreOverrideCursor();
    QCoreApplication::processEvents();
    return model.chosenAddress();
}

// Modal over the host's active window. A failure while the dialog is made or
// shown ends it with a message; what the pages stored before stays.
bool QtDialogs::ShowSetup(SetupFrame& frame) {
    QWidget* const host = QApplication::activeWindow();
    const std::string title = frame.Title();
    std::string failure;
    try {
        const PageServices services{
            [title](QWidget* parent, const std::string& text) { ShowMessageBox(parent, text, title); },
            [title](QWidget* parent, const std::string& path) {
                // A file no program here opens is said, not dropped.
                if (!OpenFile(path)) ShowMessageBox(parent, "No program here opens " + path + ".", title);
            }};
        dlgSetup dialog(frame, services, host);
        dialog.exec();
        failure = dialog.Failure();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    QCoreApplication::processEvents();
    if (failure.empty()) return true;
    ShowMessageBox(host, ErrorMessage(failure), title);
    return false;
}

void QtDialogs::MessageBox(const std::string& text, const std::string& title) {
    ShowMessageBox(QApplication::activeWindow(), text, title);
}

void QtDialogs::WaitCursor(bool on) {
    if (on == waiting_) return;
    waiting_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace velmora::ui
