// The test program's entry: the tests, or one child procedure when started as
// `--e2e-child=NAME` by a test that needs a fresh host process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "host.h"

int main(int argc, char** argv) {
    // The console dialogs answer the address chooser, and with standard input
    // not a terminal they take the preselected address without asking.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    if (std::freopen("/dev/null", "r", stdin) == nullptr) return 2;
    constexpr std::string_view kChild = "--e2e-child=";
    if (argc == 2 && std::string_view(argv[1]).starts_with(kChild)) {
        return e2e::RunChildProcedure(std::string(std::string_view(argv[1]).substr(kChild.size())));
    }
    // A sanitizer runtime may start a helper thread along with the program's
    // first thread; let that happen before any test counts threads.
    std::thread([] {}).join();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
