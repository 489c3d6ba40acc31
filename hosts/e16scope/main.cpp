// e16scope: a desktop window over the Lintara driver. Test detects the
// module, Start records the checked channels and plots them live, Setup opens
// the driver's own dialog, Record to file writes what is plotted.
#include "scope_session.h"
#include "scope_window.h"

#include <QApplication>
#include <QMessageBox>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kHelp = R"(Usage: e16scope [--source ENDPOINT] [--help]
Shows the E16 module's analog inputs live through the Lintara driver.

  --source ENDPOINT  watch what e16rec --publish sends (tcp://HOST:PORT or
                     ipc://PATH) instead of the module, from now on; the
                     window's Stream field takes the same

Test detects the module (the driver asks for its address), Start records the
checked channels at the rate asked and plots them in volts over the time
window chosen, Setup opens the driver's setup dialog, Record to file writes
the recording as CSV, or as HDF5 for a name ending in .h5, .hdf5 or .he5. The
panel below the channels sets the analog outputs' levels and shows and
toggles the digital lines. The status bar names the module the driver opened
and, when the driver ends a recording by itself (a lost connection, an
overflow, silence), why; Test or Start then opens the module again.

The window's settings are kept in the user's config folder
(~/.config/velmora/e16scope.conf).
)";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("velmora"));
    QApplication::setApplicationName(QStringLiteral("e16scope"));
    std::string source;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--source" && i + 1 < argc) {
            source = argv[++i];
        } else if (arg.starts_with("--source=")) {
            source = arg.substr(9);
        } else {
            std::fprintf(stderr, "e16scope: unknown option %s (e16scope --help tells the options)\n",
                         argv[i]);
            return 2;
        }
    }
    e16scope::ScopeSession session;
    std::string error;
    if (!session.Create(error)) {
        QMessageBox::critical(nullptr, QStringLiteral("e16scope"), QString::fromStdString(error));
        std::fprintf(stderr, "e16scope: %s\n", error.c_str());
        return 1;
    }
    int status = 0;
    {
        e16scope::ScopeWindow window(session);
        window.show();
        if (!source.empty()) {
            window.SetSource(QString::fromStdString(source));
            window.StartStop();
        }
        status = QApplication::exec();
    }
    // One line, whatever line ends the driver's text carries.
    std::string unsaved = session.Release();
    std::replace_if(
        unsaved.begin(), unsaved.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    unsaved.erase(unsaved.find_last_not_of(' ') + 1);
    if (!unsaved.empty()) std::fprintf(stderr, "e16scope: warning: %s\n", unsaved.c_str());
    return status;
}
