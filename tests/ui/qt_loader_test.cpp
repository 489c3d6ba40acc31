// Choosing the dialog service in a program that has no Qt of its own, as the
// driver does: the Qt plug-in when a display is named and it can be used, the
// console with the reason otherwise; a plug-in built for other dialog
// interfaces than the driver's refuses it. Each test runs in its own process
// (as ctest runs them): a loaded Qt stays for the process.
#include "ui/qt_loader.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>

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
    // The plug-in serves, with nothing said, and its application works.
    void ExpectThePlugin() {
        ASSERT_FALSE(ConsoleWith(""));
        EXPECT_EQ(err.str(), "");
        dialogs->WaitCursor(true); // needs the application
        dialogs->WaitCursor(false);
    }

    test::ScopedEnv noWayland{"WAYLAND_DISPLAY", std::nullopt}, noPlatform{"QT_QPA_PLATFORM", std::nullopt};
    std::ostringstream err;
    std::unique_ptr<Dialogs> dialogs;
};

// The plug-in's text when the driver's interface version is not its own.
std::string Refusal(int plugin, int driver) {
    return "the Qt dialogs plug-in was built for dialog interface version " + std::to_string(plugin) +
           ", the driver has " + std::to_string(driver);
}

// Qt would abort the host on a display it cannot open. The stale plug-in is
// a Lintara.qt.so built for the interface version before the driver's.
TEST_F(ServiceChoice, ADisplayThatDoesNotAnswerAMissingOrAStalePluginLeavesTheConsoleWithTheReason) {
    test::ScopedEnv display("DISPLAY", ":987");
    test::TempDir empty;
    const std::filesystem::path stale = platform::ModuleFolder() / "stale_qt_plugin";
    // The plug-in's folder; what err says.
    const std::tuple<std::filesystem::path, std::string> cases[] = {
        {platform::ModuleFolder(), "no display can be opened"},
        {empty.path(), "cannot load " + (empty.path() / kQtPluginFile).string()},
        {stale, "dialogs on the console: " + Refusal(kDialogInterfaceVersion - 1, kDialogInterfaceVersion)},
    };
    for (const auto& [folder, reason] : cases) {
        SCOPED_TRACE(folder.string());
        err.str("");
        EXPECT_TRUE(ConsoleWith(reason, folder));
    }
}

// The build's own plug-in, asked by drivers of the versions around its own.
TEST_F(ServiceChoice, ThePluginRefusesADriverOfAnotherInterfaceVersion) {
    test::ScopedEnv display("DISPLAY", ":987");
    for (const int driver : {kDialogInterfaceVersion - 1, kDialogInterfaceVersion + 1}) {
        std::string why;
        EXPECT_EQ(LoadQtDialogs(platform::ModuleFolder(), why, driver), nullptr) << driver;
        EXPECT_EQ(why, Refusal(kDialogInterfaceVersion, driver));
    }
}

// The offscreen platform stands in for the display.
TEST_F(ServiceChoice, WithADisplayThePluginMakesTheApplicationOnThisThread) {
    test::ScopedEnv display("DISPLAY", ":987"), offscreen("QT_QPA_PLATFORM", "offscreen");
    ExpectThePlugin();
    EXPECT_TRUE(test::IsLoaded("libQt6Widgets.so.6"));
}

// A real X server, run by xvfb-run in a test of its own (skipped elsewhere):
// one with no other client resets when the last one leaves, so a probe that
// let go before Qt connected made Qt abort.
TEST_F(ServiceChoice, OnAnXServerThePluginMakesTheApplication) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display; the xvfb-run test runs this";
    ExpectThePlugin();
}

} // namespace
} // namespace velmora::ui
