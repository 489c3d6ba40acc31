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
    // The plug-in's folder: the driver's, which is this program's.
    std::unique_ptr<Dialogs> Choose(const std::filesystem::path& folder = platform::ModuleFolder()) {
        return ChooseDialogs(folder, err);
    }
    static bool IsConsole(const std::unique_ptr<Dialogs>& dialogs) {
        return dynamic_cast<ConsoleDialogs*>(dialogs.get()) != nullptr;
    }

    test::ScopedEnv noWayland{"WAYLAND_DISPLAY", std::nullopt};
    test::ScopedEnv noPlatform{"QT_QPA_PLATFORM", std::nullopt};
    std::ostringstream err;
};

// Qt would abort the host on a display it cannot open.
TEST_F(ServiceChoice, ADisplayThatDoesNotAnswerLeavesTheConsoleWithTheReason) {
    test::ScopedEnv display("DISPLAY", ":987");
    const auto dialogs = Choose();
    EXPECT_TRUE(IsConsole(dialogs));
    EXPECT_NE(err.str().find("no display can be opened"), std::string::npos) << err.str();
}

TEST_F(ServiceChoice, AMissingPluginLeavesTheConsoleWithTheReason) {
    test::ScopedEnv display("DISPLAY", ":987");
    test::TempDir empty;
    const auto dialogs = Choose(empty.path());
    EXPECT_TRUE(IsConsole(dialogs));
    EXPECT_NE(err.str().find("cannot load " + (empty.path() / kQtPluginFile).string()), std::string::npos)
        << err.str();
}

// The offscreen platform stands in for the display.
TEST_F(ServiceChoice, WithADisplayThePluginMakesTheApplicationOnThisThread) {
    test::ScopedEnv display("DISPLAY", ":987");
    test::ScopedEnv offscreen("QT_QPA_PLATFORM", "offscreen");
    const auto dialogs = Choose();
    ASSERT_FALSE(IsConsole(dialogs)) << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(test::IsLoaded("libQt6Widgets.so.6"));
    dialogs->WaitCursor(true); // needs the application
    dialogs->WaitCursor(false);
}

// A real X server, run by xvfb-run in a test of its own (skipped elsewhere):
// one with no other client resets when the last one leaves, so a probe that
// let go before Qt connected made Qt abort.
TEST_F(ServiceChoice, OnAnXServerThePluginMakesTheApplication) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display; the xvfb-run test runs this";
    const auto dialogs = Choose();
    ASSERT_FALSE(IsConsole(dialogs)) << err.str();
    EXPECT_EQ(err.str(), "");
    dialogs->WaitCursor(true);
    dialogs->WaitCursor(false);
}

} // namespace
} // namespace velmora::ui
