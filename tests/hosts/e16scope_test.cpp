// e16scope's window against the simulated module, driven as a user drives it:
// Test (OK on the address chooser), Setup (32 single-ended inputs), Start,
// and what the plot then holds; a disconnect; the lines panel's loopback;
// the window before Test, and its settings kept for the next start.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>

#include "e16sim_control.h"
#include "modal_script.h"
#include "scope_window.h"
#include "test_support.h"

namespace e16scope {
namespace {

class ScopeTest : public ::testing::Test {
protected:
    // A store of this process's own: what the setup dialog stores and the
    // window's settings stay out of the tests running beside it.
    static void SetUpTestSuite() {
        store_.emplace();
        if (qApp != nullptr) return;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "e16scope_test";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv); // kept to the end, as a host's
        QApplication::setOrganizationName(QStringLiteral("velmora"));
        QApplication::setApplicationName(QStringLiteral("e16scope_test"));
    }
    static void TearDownTestSuite() { store_.reset(); }
    void SetUp() override {
        e16sim_reset();
        std::string error;
        ASSERT_TRUE(session_.Create(error)) << error;
    }

    // Presses an action of the toolbar; a modal window it opens gets `hands`.
    void Press(ScopeWindow& window, const char* action, std::function<void(QWidget&)> hands = {}) {
        int modals = 0;
        if (hands) OnNextModal(modals, hands);
        auto* pressed = window.findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(pressed, nullptr) << action;
        ASSERT_TRUE(pressed->isEnabled()) << action;
        pressed->trigger();
        if (hands) {
            EXPECT_EQ(modals, 1) << "no dialog after " << action;
        }
    }
    // Test, with OK on 127.0.0.1 in the address chooser.
    void Detect(ScopeWindow& window) {
        Press(window, "test", [](QWidget& chooser) {
            if (auto* list = chooser.findChild<QListWidget*>(QStringLiteral("lstIP"))) list->setCurrentRow(0);
            ClickButton(chooser, QStringLiteral("cmdOK"));
        });
        ASSERT_TRUE(session_.Detected()) << session_.LastError();
    }
    static bool WaitFor(const std::function<bool()>& done, int ms) {
        for (QElapsedTimer t; !done();) {
            if (!t.isValid()) t.start();
            if (t.elapsed() > ms) return false;
            QTest::qWait(20);
        }
        return true;
    }
    static std::vector<double> Values(PlotView* plot, int graph) {
        std::vector<double> values;
        for (const QCPGraphData& point : *plot->graph(graph)->data()) values.push_back(point.value);
        return values;
    }

    static inline std::optional<velmora::test::PrivateStore> store_;
    ScopeSession session_;
};

TEST_F(ScopeTest, PlotsX1sSineAndY16sRampUnbrokenAndRecordsTheSameToAFile) {
    ScopeWindow window(session_);
    window.resize(1900, 900);
    window.show();
    Detect(window);
    Press(window, "setup", [](QWidget& dialog) {
        ShowTab(dialog, QStringLiteral("tabSetup"), QStringLiteral("ADC"));
        ClickButton(dialog, QStringLiteral("cmdChSet1")); // 32 single-ended inputs
        ClickButton(dialog, QStringLiteral("cmdDialog0"));
    });
    ASSERT_EQ(window.Channels()->item(31, 0)->text(), "Y16") << "the panel shows the driver's new names";
    window.Channels()->SetChecked({0, 31});
    window.SetRate(1000);
    window.SetWindowSeconds(1);
    ASSERT_GE(window.Plot()->PixelColumns(), 1000u);
    Press(window, "start");
    const auto file = std::filesystem::path(::testing::TempDir()) / "e16scope_test.csv";
    ASSERT_TRUE(window.RecordTo(QString::fromStdString(file.string())));
    ASSERT_TRUE(WaitFor([&] { return session_.Received() >= 1500; }, 10000));
    // Paused, the plot stands still while the recording goes on.
    Press(window, "pause");
    const double lastShown =
        window.Plot()->graph(0)->data()->at(window.Plot()->graph(0)->dataCount() - 1)->key;
    const uint64_t receivedWhenPaused = session_.Received();
    ASSERT_TRUE(WaitFor([&] { return session_.Received() > receivedWhenPaused + 200; }, 5000));
    EXPECT_EQ(window.Plot()->graph(0)->data()->at(window.Plot()->graph(0)->dataCount() - 1)->key, lastShown);
    Press(window, "pause");
    // The pointer over the plot reads time and a trace's value.
    QTest::mouseMove(window.Plot(), window.Plot()->rect().center());
    const QString cursor = window.findChild<QLabel*>(QStringLiteral("cursor"))->text();
    EXPECT_TRUE(cursor.contains("X1: ") || cursor.contains("Y16: ")) << cursor.toStdString();
    EXPECT_TRUE(
        window.findChild<QLabel*>(QStringLiteral("file"))->text().endsWith(" kadrs to e16scope_test.csv"));
    Press(window, "start"); // now Stop
    EXPECT_FALSE(session_.Recording());
    EXPECT_TRUE(window.findChild<QAction*>(QStringLiteral("test"))->isEnabled());

    ASSERT_DOUBLE_EQ(session_.Rate(), 1000);
    ASSERT_EQ(session_.Traces().KadrsPerColumn(), 1u) << "one kadr a column: the plot holds every sample";
    const std::vector<double> x1 = Values(window.Plot(), 0), y16 = Values(window.Plot(), 1);
    ASSERT_GE(x1.size(), 2000u);
    const auto [low, high] = std::minmax_element(x1.begin(), x1.end());
    EXPECT_NEAR((*high - *low) / 2, 0.5, 0.005) << "X1's amplitude";
    // Y16 climbs 0.01 V a kadr and falls back every 1000 kadrs.
    int wraps = 0;
    for (std::size_t i = 2; i < y16.size(); i += 2) {
        const long step = std::lround((y16[i] - y16[i - 2]) * 3200);
        if (step == -999 * 32) {
            ++wraps;
        } else {
            ASSERT_EQ(step, 32) << "Y16's ramp breaks at point " << i / 2;
        }
    }
    EXPECT_GE(wraps, 1);

    std::ifstream csv(file);
    std::string header, row;
    std::getline(csv, header);
    EXPECT_EQ(header, "time,X1,Y16");
    std::size_t rows = 0;
    for (; std::getline(csv, row); ++rows) {}
    EXPECT_GT(rows, 0u);
    EXPECT_LE(rows, session_.Received());
}

TEST_F(ScopeTest, ADisconnectShowsWhyAndStopsTheRecording) {
    ScopeWindow window(session_);
    window.show();
    Detect(window);
    window.Channels()->SetChecked({0});
    window.SetRate(1000);
    Press(window, "start");
    ASSERT_TRUE(WaitFor([&] { return session_.Received() > 0; }, 5000));
    ASSERT_EQ(e16sim_fault_disconnect_after(E16SIM_MODULE_DAC, 1000), 0);
    ASSERT_TRUE(WaitFor([&] { return !session_.Recording(); }, 15000)) << "the recording never ended";
    const QString error = window.findChild<QLabel*>(QStringLiteral("error"))->text();
    EXPECT_TRUE(error.startsWith("no data for 5 s")) << error.toStdString();
    EXPECT_TRUE(error.contains("kadrs never came")) << error.toStdString();
    EXPECT_GT(session_.Lost(), 0u);
    auto* start = window.findChild<QAction*>(QStringLiteral("start"));
    EXPECT_EQ(start->text(), "&Start");
    EXPECT_TRUE(start->isEnabled());
}

TEST_F(ScopeTest, TheLinesPanelSetsOutputsAndShowsTheirLoopback) {
    ScopeWindow window(session_);
    window.show();
    Detect(window);
    auto* line3 = window.findChild<QCheckBox*>(QStringLiteral("do3"));
    QTest::mouseClick(line3, Qt::LeftButton, {}, QPoint(4, line3->height() / 2));
    auto* dac1 = window.findChild<QDoubleSpinBox*>(QStringLiteral("dac1"));
    dac1->setValue(1.5);
    ASSERT_TRUE(
        WaitFor([&] { return window.findChild<QCheckBox*>(QStringLiteral("di3"))->isChecked(); }, 3000))
        << "input 3 never showed output 3";
    EXPECT_EQ(session_.DigitalOutputs(), 1u << 3);
    double now = 0, level = 0;
    uint32_t flags = 0;
    ASSERT_EQ(e16sim_get_dac(E16SIM_MODULE_DAC, 0, &now, &level, &flags), 0);
    EXPECT_NEAR(level, 1.5, 1e-3);
}

TEST_F(ScopeTest, BeforeTestItShowsTheDriversNamesOffersNoStartAndKeepsItsSettings) {
    {
        ScopeWindow window(session_);
        window.Channels()->SetChecked({2, 5});
        window.SetWindowSeconds(5);
    }
    ScopeWindow again(session_);
    EXPECT_EQ(again.Channels()->Checked(), (QList<int>{2, 5}));
    EXPECT_EQ(again.Channels()->item(5, 0)->text().toStdString(), session_.ChannelName(5))
        << "the driver's names before Test";
    EXPECT_FALSE(again.findChild<QAction*>(QStringLiteral("start"))->isEnabled()) << "a start before Test";
    EXPECT_FALSE(again.findChild<QDoubleSpinBox*>(QStringLiteral("dac1"))->isEnabled())
        << "no DAC before Test";
    EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("window"))->currentText(), "5 s");
}

} // namespace
} // namespace e16scope
