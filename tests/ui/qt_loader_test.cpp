// Choosing the dialog service in a program that has no Qt of its own, as the
// driver does: the Qt plug-in when a display is named and it can be used, the
// console with the reason otherwise. Each test runs in its own process (as
// ctest runs them): a loaded Qt stays for the process.
#include "ui/qt_loader.h"

#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/module_folder.h"
#include "test_support.h"
#include "ui/console_dialogs.h"

namespace velmora::ui {
namespace {

class ServiceChoice : public ::testing::Test {
protected:
    // The plug-in's folder: the driver's, which is this program's. The
    // console serves when the choice says so in err.
    bool ConsoleWith(const std::string& reason,
                     const std::filesystem::path& folder = platform::ModuleFolder()) {
        dialogs = ChooseDialogs(folder, err);
        const bool console = dynamic_cast<ConsoleDialogs*>(dialogs.get()) != nullptr;
        EXPECT_NE(err.str().find(reason), std::string::npos) << err.str();
        return console;
    }
    void UseTheApplication() {
        dialogs->WaitCursor(true); // needs the application
        dialogs->WaitCursor(false);
    }

    test::ScopedEnv noWayland{"WAYLAND_DISPLAY", std::nullopt}, noPlatform{"QT_QPA_PLATFORM", std::nullopt};
    std::ostringstream err;
    std::unique_ptr<Dialogs> dialogs;
};

// Qt would abort the host on a display it cannot open.
TEST_F(ServiceChoice, ADisplayThatDoesNotAnswerOrAMissingPluginLeavesTheConsoleWithTheReason) {
    test::ScopedEnv display("DISPLAY", ":987");
    EXPECT_TRUE(ConsoleWith("no display can be opened"));
    test::TempDir empty;
    err.str("");
    EXPECT_TRUE(ConsoleWith("cannot load " + (empty.path() / kQtPluginFile).string(), empty.path()));
}

// The offscreen platform stands in for the display.
TEST_F(ServiceChoice, WithADisplayThePluginMakesTheApplicationOnThisThread) {
    test::ScopedEnv display("DISPLAY", ":987"), offscreen("QT_QPA_PLATFORM", "offscreen");
    ASSERT_FALSE(ConsoleWith(""));
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(test::IsLoaded("libQt6Widgets.so.6"));
    UseTheApplication();
}

// A real X server, run by xvfb-run in a test of its own (skipped elsewhere):
// one with no other client resets when the last one leaves, so a probe that
// let go before Qt connected made Qt abort.
TEST_F(ServiceChoice, OnAnXServerThePluginMakesTheApplication) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display; the xvfb-run test runs this";
    ASSERT_FALSE(ConsoleWith(""));
    EXPECT_EQ(err.str(), "");
    UseTheApplication();
}

} // namespace
} // namespace velmora::ui
