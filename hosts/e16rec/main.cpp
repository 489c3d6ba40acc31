// e16rec: records the E16 module through the Lintara driver into a CSV file
// of volts or an HDF5 file of codes and prints a summary; or opens the
// driver's address chooser or setup dialog alone.
//
// Exit status: 0 when every requested kadr was recorded and written; 1 on an
// error (a full disk, a file that fell its buffer behind) or a recording the
// driver, or with --source the publisher, ended early (the reason on
// standard error, the driver's own text included); 2 for a bad command
// line; 128 + the signal when SIGINT, SIGTERM or SIGHUP stopped it (the file
// then holds every kadr received until then, and the summary says so),
// except a run without a length (--publish or --source without -t or -n),
// which a signal ends normally.
#include "commands.h"
#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

// Empty counts as unset, as the driver counts it.
bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--version") return std::puts("e16rec " VELMORA_VERSION) < 0;
    std::string error;
    const auto options = e16rec::ParseOptions(argc, argv, error);
    if (!options) {
        if (error.empty()) return std::fputs(e16rec::Usage().c_str(), stdout) < 0;
        std::fprintf(stderr, "e16rec: %s\n", error.c_str());
        return 2;
    }
    if (options->chooseAddress) return e16rec::ChooseCommand();
    if (options->setup) {
        // The dialog is a window, and e16rec no Qt host of its own.
        if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
            std::fputs("e16rec: --setup needs a display for the setup dialog; neither DISPLAY nor "
                       "WAYLAND_DISPLAY is set\n",
                       stderr);
            return 1;
        }
        return e16rec::SetupCommand(*options);
    }
    const int status = e16rec::RecordCommand(*options);
    if (e16rec::WriterLeftBehind()) {
        std::fflush(stdout);
        std::_Exit(status);
    }
    return status;
}
