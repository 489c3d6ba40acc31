// e16rec: records the E16 module through the Lintara driver into a CSV file
// of volts or an HDF5 file of codes and prints a summary; or opens the
// driver's address chooser or setup dialog alone.
//
// Exit status: 0 when every requested kadr was recorded and written; 1 on an
// error (a full disk, a file that fell its buffer behind) or a recording the
// driver ended early (the reason on standard error, the driver's own text
// included); 2 for a bad command line; 128 + the signal when SIGINT, SIGTERM
// or SIGHUP stopped it (the file then holds every kadr received until then,
// and the summary says so).
#include "commands.h"
#include "driver_session.h"
#include "options.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "platform/module_folder.h"
#include "ui/ip_edit_model.h"
#include "ui/qt_loader.h"

namespace {

// The chooser the driver shows at detection, over the same address list (the
// driver's), its messages titled with the driver's adcName.
int ChooseAddress() {
    const std::filesystem::path driver = velmora::hosts::DriverBeside();
    const auto dialogs = velmora::ui::ChooseDialogs(
        driver.empty() ? velmora::platform::ModuleFolder() : driver.parent_path(), std::cerr);
    const int32_t address = dialogs->SelectIP("E16");
    if (address == 0) {
        std::fprintf(stderr, "e16rec: no address chosen\n");
        return 1;
    }
    std::puts(velmora::ui::DottedText(address).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = e16rec::ParseOptions(argc, argv, error);
    if (!options) {
        if (error.empty()) return std::fputs(e16rec::Usage().c_str(), stdout) < 0;
        std::fprintf(stderr, "e16rec: %s\n", error.c_str());
        return 2;
    }
    if (options->chooseAddress) return ChooseAddress();
    if (options->setup) return e16rec::SetupCommand(*options);
    return e16rec::RecordCommand(*options);
}
