// The setup dialog as a Qt host opens it through IADC3 ShowSetting: the
// driver's dialogs come from its plug-in on the host's QApplication, and the
// user's OK reaches the host interfaces and, when the host lets the driver
// go, the registry store.
#include <QApplication>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>

#include "host.h"

namespace e2e {
namespace {

// The host's application, made before a test counts the process's threads,
// on the offscreen platform. Only the test's own process (RunFresh) has one.
class QtHost : public ::testing::Environment {
public:
    void SetUp() override {
        if (std::getenv("E2E_FRESH") == nullptr) return;
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "e2e_qt_test";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv); // kept to the end, as a host's
    }
};
[[maybe_unused]] ::testing::Environment* const kQtHost = ::testing::AddGlobalTestEnvironment(new QtHost);

// Runs `user` on the next modal window from its own event loop; counts the
// windows it found.
void WhenOpen(int& opened, std::function<void(QWidget&)> user) {
    QTimer::singleShot(0, qApp, [&opened, user] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        ++opened;
        user(*modal);
        if (modal->isVisible()) modal->close();
    });
}

void Click(QWidget& window, const char* name) {
    auto* button = window.findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

// Test, with OK on the address chooser's preselected 127.0.0.1.
ComPtr<IADC3> ChosenAdc() {
    int choosers = 0;
    WhenOpen(choosers, [](QWidget& chooser) { Click(chooser, "cmdOK"); });
    ComPtr<IADC3> adc = DetectedAdc();
    EXPECT_EQ(choosers, 1) << "the chooser was not the plug-in's window";
    return adc;
}

std::u16string ChannelName(IADC3* adc, int16_t channel) {
    BSTR name = nullptr;
    EXPECT_EQ(adc->get_ChannelName(&channel, &name), S_OK);
    return Take(name);
}

HOST_TEST(SetupDialog, OkOnTheAdcPageReachesTheHostInterfacesAndTheStoreAtRelease) {
    ComPtr<IADC3> adc = ChosenAdc();
    int dialogs = 0;
    WhenOpen(dialogs, [](QWidget& dialog) {
        auto* tabs = dialog.findChild<QTabWidget*>(QStringLiteral("tabSetup"));
        ASSERT_NE(tabs, nullptr);
        ASSERT_EQ(tabs->tabText(1), "ADC");
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
        Click(dialog, "cmdChSet1"); // 32 single-ended inputs
        Click(dialog, "cmdDialog0");
    });
    VARIANT_BOOL result = VARIANT_TRUE;
    ASSERT_EQ(adc->ShowSetting(&result), S_OK);
    EXPECT_EQ(dialogs, 1) << "no setup dialog on the host's application";
    EXPECT_EQ(result, VARIANT_FALSE) << "ShowSetting answers false whatever the user did";
    EXPECT_EQ(ChannelName(adc.get(), 0), u"X1");
    EXPECT_EQ(ChannelName(adc.get(), 16), u"Y1");
    EXPECT_EQ(ReadValue(kSettingsKey, "ADChannels"), "") << "the dialog wrote to the store itself";
    adc.reset(); // the last object: the settings are saved
    std::string singleEnded(32, '\0');
    for (int k = 0; k < 32; ++k) singleEnded[k] = static_cast<char>(k | 32);
    EXPECT_EQ(ReadValue(kSettingsKey, "ADChannels"), singleEnded);
}

} // namespace
} // namespace e2e
