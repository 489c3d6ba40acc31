// e16scope: a desktop oscilloscope over the Lintara driver. The command line
// presets the window or runs it unattended (record, then export, screenshot
// or measure, and exit); the window does the rest.
#include "channel_table.h"
#include "scope_options.h"
#include "scope_session.h"
#include "scope_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

namespace {

QtMessageHandler qtMessages = nullptr;

// The offscreen platform says the first of every window it shows, and Qt the
// second wherever no login session set a runtime folder (cron, ssh, a
// container) before it takes one in /tmp: a script's standard error keeps
// e16scope's own lines.
void QuietPlatform(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text == QLatin1String("This plugin does not support propagateSizeHints()") ||
        text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    qtMessages(type, context, text);
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<e16scope::ScopeOptions> options = e16scope::ParseScopeOptions(argc, argv, error);
    if (!options) {
        if (error.empty()) {
            std::fputs(e16scope::Usage().c_str(), stdout);
            return 0;
        }
        std::fprintf(stderr, "e16scope: %s\n", error.c_str());
        return 2;
    }
    qtMessages = qInstallMessageHandler(QuietPlatform);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("velmora"));
    QApplication::setApplicationName(QStringLiteral("e16scope"));
    // Stored before the driver is made, which reads the table as it starts.
    if (!velmora::hosts::StoreInputs(options->inputs, error)) {
        std::fprintf(stderr, "e16scope: %s\n", error.c_str());
        return 1;
    }
    e16scope::ScopeSession session;
    if (!session.Create(error)) {
        if (!options->after)
            QMessageBox::critical(nullptr, QStringLiteral("e16scope"), QString::fromStdString(error));
        std::fprintf(stderr, "e16scope: %s\n", error.c_str());
        return 1;
    }
    int status = 0;
    {
        e16scope::ScopeWindow window(session);
        window.show();
        // An unattended run ends by itself with its own status; a refusal
        // before it could start ends it at once.
        status = window.Apply(*options) ? QApplication::exec() : 1;
        if (options->after) status = window.UnattendedStatus();
    }
    // Qt draws large images on its global pool's threads; those are let go
    // while the application still stands, not during the exit.
    QThreadPool::globalInstance()->waitForDone();
    // One line, whatever line ends the driver's text carries.
    std::string unsaved = session.Release();
    std::replace_if(
        unsaved.begin(), unsaved.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    unsaved.erase(unsaved.find_last_not_of(' ') + 1);
    if (!unsaved.empty()) std::fprintf(stderr, "e16scope: warning: %s\n", unsaved.c_str());
    return status;
}
