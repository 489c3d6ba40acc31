// e16scope: a desktop oscilloscope over the Lintara driver. The command line
// presets the window or runs it unattended (record, then export, screenshot
// or measure, and exit); the window does the rest.
#include "channel_table.h"
#include "scope_options.h"
#include "scope_session.h"
#include "scope_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThreadPool>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Ctrl-C, a terminal's hang-up and a kill end the run as the close box
// does: the file completed, the settings saved, the driver let go. The
// handler only writes to a pipe that the event loop reads; a signal the
// shell or nohup had ignored stays ignored, and a second one acts at once.
int signalPipe[2] = {-1, -1};
std::atomic<int> caught{0};
std::vector<int> handled; // the signals given OnSignal

void OnSignal(int number) {
    caught.store(number);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void QuitOnSignals(QApplication& app) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        for (const int number : handled) ::signal(number, SIG_DFL);
        QApplication::quit();
    });
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        if (::sigaction(number, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (::sigaction(number, &action, nullptr) == 0) handled.push_back(number);
    }
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--version") return std::puts("e16scope " VELMORA_VERSION) < 0;
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
    QuitOnSignals(app);
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
        if (caught.load() != 0) status = 128 + caught.load(); // as the shell says a signal's end
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
