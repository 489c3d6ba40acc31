// e16scope's window against the simulated module, driven as a user drives it:
// Test (OK on the address chooser), Setup (32 single-ended inputs), Start,
// and what the plot then holds; a disconnect and the recovery from it; the
// module named in the status bar; the lines panel's loopback and the DAC
// levels held while the generator plays; a number typed out of a box's range
// refused, and the wheel left to the panel over inputs without the focus; the
// window before Test, and its settings kept for the next start; the driver's
// settings saved when it is let go.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpontaneKeyEvent>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "offscreen_app.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include "channel_table.h"
#include "e16sim_control.h"
#include "measure.h"
#include "measurement_table.h"
#include "modal_script.h"
#include "module_info.h"
#include "raw_publisher.h"
#include "scope_options.h"
#include "scope_window.h"
#include "sim_probes.h"
#include "stream_message.h"
#include "test_support.h"
#include "velmora/registry_store.h"
#include "xy_view.h"

#include <zmq.h>

namespace e16scope {
namespace {

using testing::EndsWith;
using testing::HasSubstr;
using testing::StartsWith;
using namespace std::string_literals;
using namespace std::string_view_literals;

class ScopeTest : public ::testing::Test {
protected:
    explicit ScopeTest(bool singleEnded = false) : singleEnded_(singleEnded) {}
    // A store of this process's own: what the setup dialog stores and the
    // window's settings stay out of the tests running beside it.
    static void SetUpTestSuite() {
        store_.emplace();
        velmora::test::OffscreenApp();
    }
    static void TearDownTestSuite() { store_.reset(); }
    // Each test starts from the driver's first channel table (XY1..XY16),
    // or the single-ended one, whatever an earlier one stored through Setup.
    void SetUp() override {
        e16sim_reset();
        std::string error;
        ASSERT_TRUE(velmora::hosts::StoreChannelTable(singleEnded_, error)) << error;
        ASSERT_TRUE(session_.Create(error)) << error;
    }

    template <class Widget = QWidget> static Widget* Find(ScopeWindow& window, const char* name) {
        return window.findChild<Widget*>(QString::fromLatin1(name));
    }
    // Presses an action of the toolbar: a modal window it opens gets `hands`;
    // one that opens without them is closed and counted against it.
    void Press(ScopeWindow& window, const char* action, std::function<void(QWidget&)> hands = {}) {
        int modals = 0;
        OnNextModal(
            modals, hands ? hands : [](QWidget&) {});
        auto* pressed = Find<QAction>(window, action);
        ASSERT_NE(pressed, nullptr) << action;
        ASSERT_TRUE(pressed->isEnabled()) << action;
        pressed->trigger();
        QCoreApplication::processEvents(); // the watch ends here, dialog or none
        EXPECT_EQ(modals, hands ? 1 : 0) << "the dialogs after " << action;
    }
    static std::string Label(ScopeWindow& window, const char* name) {
        auto* label = Find<QLabel>(window, name);
        return label != nullptr ? label->text().toStdString() : std::string("<no label ") + name + ">";
    }
    // Hands for a save dialog: `name` in the test's own folder typed, then Save.
    static std::function<void(QWidget&)> TypeName(const char* name) {
        return [name](QWidget& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(File(name));
            static_cast<QDialog&>(dialog).accept();
        };
    }
    static bool Enabled(ScopeWindow& w, const char* action) { return Find<QAction>(w, action)->isEnabled(); }
    // Shown, then Test with OK on 127.0.0.1 in the address chooser.
    void Detect(ScopeWindow& window) {
        window.show();
        Press(window, "test", [](QWidget& chooser) {
            if (auto* list = chooser.findChild<QListWidget*>(QStringLiteral("lstIP"))) list->setCurrentRow(0);
            ClickButton(chooser, QStringLiteral("cmdOK"));
        });
        ASSERT_TRUE(session_.Detected()) << session_.LastError();
    }
    // Detected, the channels checked, the rate and the window set where given.
    void Arrange(ScopeWindow& window, const QList<int>& channels, double rate = 0, double seconds = 0) {
        Detect(window);
        window.Channels()->SetChecked(channels);
        if (rate > 0) window.SetRate(rate);
        if (seconds > 0) window.SetWindowSeconds(seconds);
    }
    // Waits until `kadrs` more have come.
    bool MoreKadrs(uint64_t kadrs, int ms = 5000) {
        const uint64_t from = session_.Received();
        return QTest::qWaitFor([&] { return session_.Received() >= from + kadrs; }, ms);
    }
    // A file of the test's own folder: no dialog asks about replacing it.
    static QString File(const char* name) {
        return QString::fromStdString((store_->dir().path() / name).string());
    }
    static std::string Read(const char* name) { return velmora::test::Slurp(File(name).toStdString()); }
    // Channel `row`'s range list (column 1) or offset box (column 2).
    template <class Input> static Input* Cell(ScopeWindow& window, int row, int column) {
        return qobject_cast<Input*>(window.Channels()->cellWidget(row, column));
    }
    // A trace's columns with samples as the plot holds them: min, max, min, max...
    static std::vector<double> Values(PlotView* plot, std::size_t trace) {
        std::vector<double> values;
        for (std::size_t i = 0; i < plot->Traces().Columns(); ++i) {
            if (!plot->Traces().Has(trace, i)) continue;
            const auto [low, high] = plot->Traces().Extent(trace, i);
            values.insert(values.end(), {low, high});
        }
        return values;
    }
    static double LastShown(PlotView* plot) { return plot->Traces().Time(plot->Traces().Columns() - 1); }

    static inline std::optional<velmora::test::PrivateStore> store_;
    const bool singleEnded_;
    ScopeSession session_;
};

// The channel table stored for the module `serial`; empty without one.
std::vector<uint8_t> StoredChannelTable(const std::string& serial) {
    std::vector<velmora::reg::RegValueEntry> values;
    const std::string key = velmora::stored::DriverKey() + "\\" + serial;
    velmora::reg::RegEnumValuesAll(velmora::reg::HKEY_CURRENT_USER, key.c_str(), &values);
    for (const auto& value : values)
        if (value.name == velmora::stored::kChannelTableValue) return value.data;
    return {};
}

// X1..X16 and Y1..Y16 against ground: Y16 carries the module's ramp.
class ScopeSingleEnded : public ScopeTest {
protected:
    ScopeSingleEnded() : ScopeTest(true) {}
};

// A first window a person can use: 1280 x 800 at least, four fifths of a
// large screen, and never past the screen's free area.
TEST(ScopeFirstWindow, TakesMostOfTheScreenNoLessThan1280By800) {
    // The screen's free area, the window's size.
    const std::pair<QSize, QSize> cases[] = {{{1920, 1040}, {1536, 832}},
                                             {{2560, 1400}, {2048, 1120}},
                                             {{1366, 728}, {1280, 728}},
                                             {{1024, 700}, {1024, 700}}};
    for (const auto& [available, expected] : cases)
        EXPECT_EQ(FirstWindowSize(available), expected) << available.width();
}

TEST_F(ScopeTest, RecordsToAFileTheKadrsItPlots) {
    ScopeWindow window(session_);
    window.resize(1900, 900);
    Detect(window);
    Press(window, "setup", [](QWidget& dialog) {
        ShowTab(dialog, QStringLiteral("tabSetup"), QStringLiteral("ADC"));
        ClickButton(dialog, QStringLiteral("cmdChSet1")); // 32 single-ended inputs
        ClickButton(dialog, QStringLiteral("cmdDialog0"));
    });
    ASSERT_EQ(window.Channels()->item(31, 0)->text(), "Y16") << "the panel shows the driver's new names";
    EXPECT_EQ(StoredChannelTable("SIM0001"), velmora::hosts::ChannelTable(true)) << "saved at OK";
    window.Channels()->SetChecked({0, 31});
    window.SetRate(1000);
    window.SetWindowSeconds(1);
    ASSERT_GE(window.Plot()->PixelColumns(), 1000u);
    Press(window, "start");
    // A name ending in .he5 is written as HDF5, whose files begin with its signature.
    ASSERT_TRUE(window.RecordTo(File("e16scope_test.he5")));
    ASSERT_TRUE(MoreKadrs(1500, 10000));
    // A file begun later says when its own first kadr came.
    const uint64_t csvFirst = session_.Received();
    ASSERT_TRUE(window.RecordTo(File("e16scope_test.csv")));
    // The pointer over the plot reads time and a trace's value there as the
    // samples roll under it, until it leaves.
    QTest::mouseMove(window.Plot(), window.Plot()->rect().center());
    const std::string read = Label(window, "cursor");
    EXPECT_THAT(read, testing::AnyOf(HasSubstr("X1: "), HasSubstr("Y16: ")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Label(window, "cursor") != read; }, 3000))
        << "a reading of samples no longer under the pointer: " << read;
    QEvent left(QEvent::Leave);
    QCoreApplication::sendEvent(window.Plot(), &left);
    ASSERT_TRUE(MoreKadrs(200));
    EXPECT_EQ(Label(window, "cursor"), "") << "a reading where the pointer no longer is";
    // Paused, the plot stands still while the recording goes on.
    Press(window, "pause");
    const double lastShown = LastShown(window.Plot());
    ASSERT_TRUE(MoreKadrs(200));
    EXPECT_EQ(LastShown(window.Plot()), lastShown);
    // A name typed without an extension takes the dialog's.
    Press(window, "export", TypeName("e16scope_view"));
    EXPECT_EQ(window.statusBar()->currentMessage(), "Exported the view to e16scope_view.csv");
    Press(window, "image", TypeName("e16scope_view"));
    EXPECT_EQ(window.statusBar()->currentMessage(), "Saved the view to e16scope_view.png");
    EXPECT_THAT(Label(window, "file"), EndsWith(" kadrs to e16scope_test.csv"));
    const double started = velmora::hosts::StartTime(velmora::hosts::ModuleOf(session_.adc()).get());
    Press(window, "start"); // now Stop
    EXPECT_EQ(LastShown(window.Plot()), lastShown) << "a stop redrew the paused display";
    Press(window, "pause"); // running again, it shows the last kadrs
    EXPECT_GT(LastShown(window.Plot()), lastShown);
    EXPECT_EQ(Read("e16scope_test.he5").substr(0, 8), std::string("\x89HDF\r\n\x1a\n", 8));

    ASSERT_EQ(session_.Traces().KadrsPerColumn(), 1u) << "one kadr a column: the plot holds every sample";
    const std::vector<double> x1 = Values(window.Plot(), 0), y16 = Values(window.Plot(), 1);
    ASSERT_GE(x1.size(), 2000u);
    const auto [low, high] = std::minmax_element(x1.begin(), x1.end());
    EXPECT_NEAR((*high - *low) / 2, 0.5, 0.005) << "X1's amplitude";
    // Y16 climbs 0.01 V (32 codes) a kadr and falls back every 1000 kadrs.
    std::vector<long> steps;
    for (std::size_t i = 2; i < y16.size(); i += 2)
        steps.push_back(std::lround((y16[i] - y16[i - 2]) * 3200));
    EXPECT_THAT(steps, testing::Each(testing::AnyOf(32, -999 * 32)));
    EXPECT_THAT(steps, testing::Contains(-999 * 32)) << "no fall";

    // The module's description comes first, as the driver named it.
    const QStringList lines =
        QString::fromStdString(Read("e16scope_test.csv")).split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 2) << "no rows";
    EXPECT_THAT(
        lines[0].toStdString(),
        testing::AllOf(HasSubstr("SIM0001"), HasSubstr("127.0.0.1"),
                       HasSubstr("start_time " + velmora::hosts::IsoUtc(started + csvFirst / 1000.0))));
    EXPECT_EQ(lines[1].toStdString(), "time,X1,Y16");
    EXPECT_LE(static_cast<uint64_t>(lines.size() - 2), session_.Received());
}

// Each loss ends the running recording with the driver's reason and the
// kadrs it received; the row's presses then open the module again, without
// the chooser, and record.
TEST_F(ScopeTest, RecoversFromADisconnect) {
    const std::pair<const char*, std::vector<const char*>> recoveries[] = {
        {"Test, then Start", {"test", "start"}}, {"Start alone", {"start"}}};
    ScopeWindow window(session_);
    Arrange(window, {0}, 1000);
    Press(window, "start");
    auto* start = Find<QAction>(window, "start");
    for (const auto& [how, presses] : recoveries) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(QTest::qWaitFor([&] { return session_.Received() > 0; }, 5000)) << "no data";
        ASSERT_EQ(e16sim_fault_disconnect_after(E16SIM_MODULE_DAC, 1000), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !session_.Recording(); }, 15000))
            << "the recording never ended";
        const std::string why = session_.LastError();
        ASSERT_FALSE(why.empty()) << "the driver gave no reason";
        EXPECT_THAT(Label(window, "error"), StartsWith(why));
        EXPECT_THAT(Label(window, "error"), EndsWith("; " + std::to_string(session_.Received()) +
                                                     " kadrs received; Start opens the module again"))
            << "against " << session_.Received() << " drained";
        EXPECT_FALSE(session_.Detected()) << "a lost module still counts as detected";
        // Start (its text, enabled), Test enabled, Record not.
        EXPECT_EQ(std::tuple(start->text().toStdString(), start->isEnabled(), Enabled(window, "test"),
                             Enabled(window, "record")),
                  std::tuple("&Start", true, true, false));

        e16sim_fault_clear_all();
        for (const char* press : presses) Press(window, press);
        ASSERT_TRUE(session_.Recording()) << Label(window, "error");
        EXPECT_EQ(start->text(), "&Stop");
        EXPECT_EQ(Label(window, "error"), "");
        EXPECT_THAT(Label(window, "module"), HasSubstr("SIM0001"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return session_.Received() >= 500; }, 5000))
        << "no data after the recovery";
    Press(window, "start"); // now Stop
    EXPECT_FALSE(session_.Recording());
    EXPECT_EQ(Label(window, "error"), "") << "a stop the user asked for is no failure";
}

// The trigger's level dragged on the plot stands at the level plus the
// source trace's offset; the panel, the sweep and its label take the level itself. An
// offset changed while recording moves the trace and its level line. The
// level stays within what the source's codes reach.
TEST_F(ScopeTest, TheLevelDraggedOnThePlotIsTheTriggersLevel) {
    ScopeWindow window(session_);
    Arrange(window, {0, 1});
    Cell<QComboBox>(window, 1, 1)->setCurrentIndex(1); // ±2.5 V
    auto* offset = Cell<QDoubleSpinBox>(window, 0, 2);
    offset->setValue(1.0);
    Press(window, "start");
    Find<QComboBox>(window, "triggerMode")->setCurrentText(QStringLiteral("Normal"));
    emit window.Plot()->TriggerLevelDragged(1.25);
    EXPECT_DOUBLE_EQ(session_.Sweep().Trigger().level, 0.25) << "through the panel";
    offset->setValue(-2.0);
    EXPECT_DOUBLE_EQ(window.Plot()->TriggerLevel(), -1.75);
    EXPECT_TRUE(window.Plot()->TriggerLabel().startsWith("T 0.2500 V")) << "labelled with the level itself";
    EXPECT_DOUBLE_EQ(window.Plot()->Traces().Style(0).offset, -2.0);

    // A level past the source's codes, which would never trigger, is refused
    // with the bound of the source chosen.
    const std::tuple<int, const char*, const char*> refusals[] = {{0, "10.24", "from -10.24 to 10.2397 V"},
                                                                  {1, "-3", "from -2.56 to 2.55992 V"}};
    auto* level = Find<QDoubleSpinBox>(window, "triggerLevel");
    auto* source = Find<QComboBox>(window, "triggerSource");
    for (const auto& [row, typed, reach] : refusals) {
        source->setCurrentIndex(row);
        level->selectAll();
        QTest::keyClicks(level, QString::fromLatin1(typed));
        QTest::keyClick(level, Qt::Key_Return);
        EXPECT_EQ(Label(window, "error"), "Trigger level: "s + typed +
                                              " V refused. Please, set the number in range " + reach +
                                              "! It stays at 0.25 V.");
    }
    EXPECT_TRUE(window.Plot()->TriggerLabel().startsWith("T 0.25000 V")) << "a code of ±2.5 V";
    // A start on a narrower range takes the level in, and says so.
    source->setCurrentIndex(0);
    level->setValue(5);
    Press(window, "start"); // now Stop
    Cell<QComboBox>(window, 0, 1)->setCurrentIndex(1);
    Press(window, "start");
    EXPECT_EQ(window.Trigger()->Settings().level, 2.55992);
    EXPECT_EQ(Label(window, "error"), "The trigger level 5 V is past what XY1 reaches: it is now 2.55992 V");
}

// Normal shows only sweeps: before the first, and after a new window, the
// plot, the measurements and the export hold nothing; XY1 stays within
// 1.25..2.25 V.
TEST_F(ScopeTest, NormalShowsNothingBeforeItsFirstSweep) {
    ScopeWindow window(session_);
    Arrange(window, {0}, 1000, 0.2);
    Find<QComboBox>(window, "triggerMode")->setCurrentText(QStringLiteral("Normal"));
    auto* level = Find<QDoubleSpinBox>(window, "triggerLevel");
    level->setValue(5);
    Press(window, "start");
    for (const double window_seconds : {0.2, 0.1}) {
        SCOPED_TRACE(window_seconds);
        window.SetWindowSeconds(window_seconds);
        ASSERT_TRUE(MoreKadrs(501));
        QTest::qWait(300); // drawn and measured since
        EXPECT_EQ(window.Plot()->Traces().Columns(), 0u);
        EXPECT_EQ(window.Views()->MeasurementsCsv(),
                  "channel,min_v,max_v,mean_v,rms_v,vpp_v,freq_hz,clipped\n");
        EXPECT_FALSE(window.ExportView(File("e16scope_unswept.csv")));
        level->setValue(1.75);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return window.Plot()->Traces().Columns() > 0 && window.Views()->Measured(); }, 5000));
        level->setValue(5);
    }
}

// The cursors stand on the kadrs nearest them, and the table reads each
// channel's samples there, in its own volts, though a pixel column spans a
// dozen kadrs; the XY view plots
// the pair chosen, each with its offset: XYk is a sine of 0.5k V at 10k Hz
// about (8 - k) / 4 V, XY2 here moved up by 3 V.
// At the first window's size, eight channels' measurements and cursor
// readings show whole, without scrolling. Volts, the offsets' too, are
// written to a code of their channel's range.
TEST_F(ScopeTest, CursorsAndTheXyViewShowTheTracesChosen) {
    ScopeWindow window(session_);
    window.resize(1280, 800);
    Arrange(window, {0, 1, 2, 3, 4, 5, 6, 7}, 10000, 1);
    Cell<QDoubleSpinBox>(window, 1, 2)->setValue(3.0);
    Cell<QComboBox>(window, 1, 1)->setCurrentIndex(1); // ±2.5 V
    Press(window, "start");
    ASSERT_TRUE(MoreKadrs(12000, 10000));
    Press(window, "start"); // now Stop
    PlotView* plot = window.Plot();
    ASSERT_GE(plot->Traces().Time(1) - plot->Traces().Time(0), 0.001) << "columns of many kadrs";
    const double t1 = plot->Traces().Time(100) + 0.00037, t2 = plot->Traces().Time(130) + 0.00071;
    plot->SetCursorTimes(t1, t2);
    Press(window, "cursors");
    QCoreApplication::processEvents(); // laid out
    auto* table = window.findChild<CursorTable*>();
    auto* measurements = window.findChild<MeasurementTable*>();
    ASSERT_EQ(table->rowCount(), 10);
    EXPECT_EQ(plot->CursorTimes(), std::pair(t1, t2)) << "the cursors stay where they were put";
    for (const QTableWidget* shown : std::vector<QTableWidget*>{table, measurements}) {
        SCOPED_TRACE(shown->objectName().toStdString());
        EXPECT_GE(shown->viewport()->height(), shown->verticalHeader()->length());
        EXPECT_GE(shown->viewport()->width(), shown->horizontalHeader()->length());
    }
    // Kadr n's channel c was taken at n / 10000 + c / 80000 s.
    const auto truth = [](int k, double t) {
        const double at = std::round(t * 10000) / 10000 + (k - 1) / 80000.0;
        return 0.5 * k * std::sin(2 * M_PI * 10 * k * at) + (8 - k) * 0.25;
    };
    const double k1 = std::round(t1 * 10000), k2 = std::round(t2 * 10000); // the kadrs nearest
    EXPECT_EQ(table->item(0, 1)->text(), SecondsText(k1 / 10000));
    EXPECT_EQ(table->item(0, 3)->text(), SecondsText((k2 - k1) / 10000)) << "the samples' distance";
    for (int k = 1; k <= 8; ++k)
        for (int column = 1; column <= 2; ++column)
            EXPECT_NEAR(table->item(1 + k, column)->text().toDouble(), truth(k, column == 1 ? t1 : t2), 6e-4)
                << "XY" << k << " at t" << column;
    const auto decimals = [](const QTableWidget* shown, int row) {
        return static_cast<int>(shown->item(row, 1)->text().section(QLatin1Char('.'), 1).size());
    };
    // XY1's and XY2's (±2.5 V) volts in the cursor table, the measurements and the offsets.
    EXPECT_EQ(std::tuple(decimals(table, 2), decimals(table, 3), decimals(measurements, 1),
                         Cell<QDoubleSpinBox>(window, 0, 2)->decimals(),
                         Cell<QDoubleSpinBox>(window, 1, 2)->decimals()),
              std::tuple(4, 5, 5, 4, 5));

    Find<QComboBox>(window, "yChannel")->setCurrentIndex(1);
    Find<QComboBox>(window, "view")->setCurrentIndex(static_cast<int>(ViewKind::Xy));
    QCoreApplication::processEvents();
    EXPECT_FALSE(Enabled(window, "cursors")) << "time lines offered where time is no axis";
    auto* xy = window.findChild<XyView*>();
    EXPECT_NEAR(xy->xAxis->range().center(), 1.75, 0.05);
    EXPECT_NEAR(xy->yAxis->range().center(), 4.5, 0.05);
    EXPECT_EQ(xy->yAxis->label(), "XY2, V");
}

// Whichever module the driver opened, the status bar names it by the
// driver's own words: serial number, address and the backend that answered.
TEST_F(ScopeTest, TheStatusBarNamesTheModuleTheDriverOpened) {
    ScopeWindow window(session_);
    window.show();
    EXPECT_THAT(Label(window, "module"), testing::Not(HasSubstr("SIM000"))) << "a module before Test";
    const auto module = velmora::hosts::ModuleOf(session_.adc());
    ASSERT_NE(module.get(), nullptr);
    for (const auto& [address, serial] :
         {std::pair{"127.0.0.1", "SIM0001"}, std::pair{"127.0.0.2", "SIM0002"}}) {
        SCOPED_TRACE(address);
        module->Close(); // the address counts for the next detection only
        std::string error;
        ASSERT_TRUE(velmora::hosts::SetModuleAddress(module.get(), address, error)) << error;
        Press(window, "test");
        ASSERT_TRUE(session_.Detected()) << session_.LastError();
        EXPECT_THAT(Label(window, "module"), testing::AllOf(HasSubstr(serial), HasSubstr(address)));
        EXPECT_THAT(Label(window, "backend"), HasSubstr("simulated module"));
    }
}

TEST_F(ScopeTest, TheLinesPanelDrivesTheOutputs) {
    ScopeWindow window(session_);
    Detect(window);
    auto* line3 = Find<QCheckBox>(window, "do3"); // bit 2, as on the DIO page
    session_.SetDigitalOutputs(0x8001);           // as the setup dialog may, before the panel looked
    QTest::mouseClick(line3, Qt::LeftButton, {}, QPoint(4, line3->height() / 2));
    EXPECT_EQ(session_.DigitalOutputs(), 0x8005u) << "a click changes its own line only";
    EXPECT_TRUE(Find<QCheckBox>(window, "do16")->isChecked());
    QTest::mouseClick(line3, Qt::LeftButton, {}, QPoint(4, line3->height() / 2));
    session_.SetDigitalOutputs(0);
    QTest::mouseClick(line3, Qt::LeftButton, {}, QPoint(4, line3->height() / 2));
    auto* dac1 = Find<QDoubleSpinBox>(window, "dac1");
    dac1->setValue(1.5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Find<QCheckBox>(window, "di3")->isChecked(); }, 3000))
        << "input 3 never showed output 3";
    EXPECT_EQ(session_.DigitalOutputs(), 1u << 2);
    EXPECT_NEAR(velmora::test::ModuleDacLevel(0), 1.5, 1e-3);

    // A recording with the generator armed (a sine on DAC1): the levels are
    // its own until the stop, and then the user's again.
    Press(window, "setup", [](QWidget& dialog) {
        ShowTab(dialog, QStringLiteral("tabSetup"), QStringLiteral("DAC"));
        auto* kind = dialog.findChild<QComboBox*>(QStringLiteral("cboDACType"));
        kind->setCurrentIndex(3);
        emit kind->activated(3);
        ClickButton(dialog, QStringLiteral("cmdDACSet0")); // Start
        ClickButton(dialog, QStringLiteral("cmdDialog0"));
    });
    for (const bool playing : {true, false}) {
        Press(window, "start"); // Start, then Stop
        SCOPED_TRACE(playing ? "playing" : "stopped");
        ASSERT_EQ(session_.GeneratorPlaying(), playing);
        EXPECT_EQ(dac1->isEnabled(), !playing);
        EXPECT_EQ(dac1->text(), playing ? "generator" : "0.000") << "the level Start set for a sine";
        EXPECT_EQ(dac1->toolTip().contains(QStringLiteral("generator")), playing);
    }
    // A script's level would last only until the start.
    ScopeOptions script;
    script.address = 0x7F000001;
    script.dac[0] = 1.0;
    EXPECT_FALSE(window.Apply(script));
    EXPECT_EQ(Label(window, "error"),
              "--dac: the waveform generator (Setup, DAC page) plays on the outputs while recording");
    Press(window, "start"); // now Stop
}

// The side panel's input named `name`, or the channel table's cell widget of
// channel 1 in `column`.
QWidget* PanelInput(ScopeWindow& window, const char* name, int column) {
    if (column >= 0) return window.Channels()->cellWidget(0, column);
    return window.findChild<QWidget*>(QString::fromLatin1(name));
}

// A spin box's value or a list's row.
double InputValue(QWidget* input) {
    if (auto* box = qobject_cast<QDoubleSpinBox*>(input)) return box->value();
    return qobject_cast<QComboBox*>(input)->currentIndex();
}

// A wheel turned a notch over `input` (up: 1, down: -1) as the window
// system sends it: to the widget under the pointer, as a spontaneous event
// (sendEvent would make it a synthetic one, which goes to no parent).
void Wheel(QWidget* input, int notch) {
    QWidget* window = input->window();
    const QPoint at = input->mapTo(window, input->rect().center());
    QWidget* under = window->childAt(at);
    ASSERT_TRUE(under == input || input->isAncestorOf(under));
    QWheelEvent wheel(under->mapFrom(window, at), window->mapToGlobal(at), QPoint(), QPoint(0, 120 * notch),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(under, &wheel);
}

// A wheel over an input of the side panel that has no focus scrolls the panel
// (or the channel table) and changes nothing, an output least of all; once
// the input has the focus, the wheel is its own.
TEST_F(ScopeTest, AWheelChangesOnlyTheInputWithTheFocus) {
    ScopeWindow window(session_);
    window.resize(1280, 600);
    Detect(window);
    window.activateWindow(); // the inputs take the focus in the active window only
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* panel = Find<QScrollArea>(window, "sidePanel");
    const struct {
        const char* name;
        int column; // in the channel table, which scrolls instead of the panel; or -1
        int notch;  // away from the panel's end and the input's limit
    } cases[] = {{"dac1", -1, 1},        {"dac2", -1, 1},         {"rate", -1, -1},
                 {"window", -1, -1},     {"triggerMode", -1, -1}, {"triggerLevel", -1, -1},
                 {"pretrigger", -1, -1}, {"view", -1, -1},        {"range", 1, -1},
                 {"offset", 2, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* input = PanelInput(window, c.name, c.column);
        ASSERT_NE(input, nullptr);
        panel->ensureWidgetVisible(input, 50, 50);
        input->clearFocus();
        const double value = InputValue(input), dac1 = session_.Dac(0), dac2 = session_.Dac(1);
        const int scrolled = panel->verticalScrollBar()->value();
        Wheel(input, c.notch);
        EXPECT_EQ(std::tuple(InputValue(input), session_.Dac(0), session_.Dac(1)),
                  std::tuple(value, dac1, dac2))
            << "the input, DAC1 and DAC2 changed";
        EXPECT_EQ(panel->verticalScrollBar()->value() != scrolled, c.column < 0) << "the panel scrolled";
        panel->ensureWidgetVisible(input, 50, 50);
        input->setFocus();
        Wheel(input, c.notch);
        EXPECT_NE(InputValue(input), value) << "the focused input took no wheel";
    }
}

// A number typed out of a side-panel box's range and entered is refused with
// the range in the status bar, the value (a DAC's output) left as it was; one
// in range is taken, and ends that box's refusal; so is one finer than the
// box's decimals, not cut to them unsaid.
TEST_F(ScopeTest, ANumberTypedOutOfRangeIsRefusedAndTheValueStays) {
    ScopeWindow window(session_);
    Detect(window);
    window.Views()->SetKind(ViewKind::Spectrum); // which shows Averages
    const struct {
        const char* box; // its name, or "offset" for the first channel's
        double before;
        const char* typed;
        double after; // after Enter
        const char* refusal;
    } cases[] = {
        {"dac2", 3, "-12", 3,
         "DAC2: -12 V refused. Please, set the number in range from -10 to 10 V! It stays at 3 V."},
        {"dac2", 3, "10.5", 3,
         "DAC2: 10.5 V refused. Please, set the number in range from -10 to 10 V! It stays at 3 V."},
        {"dac2", 3, "-7.5", -7.5, ""},
        {"dac2", 3, "10", 10, ""},
        {"dac2", 3, "1.2345", 3,
         "DAC2: 1.2345 V refused. Please, set a number of 3 decimals at most in range from -10 to 10 V! It "
         "stays at 3 V."},
        {"dac2", 3, "0,5", 0.5, ""}, // a decimal comma, never a thousands separator
        {"triggerLevel", 0, "15", 0,
         "Trigger level: 15 V refused. Please, set the number in range from -12 to 12 V! It stays at 0 V."},
        {"pretrigger", 50, "150", 50,
         "Pre-trigger: 150 % refused. Please, set the number in range from 0 to 100 %! It stays at 50 %."},
        {"pretrigger", 50, "12,5", 50,
         "Pre-trigger: 12.5 % refused. Please, set a whole number in range from 0 to 100 %! It stays at 50 "
         "%."},
        {"offset", 0, "25", 0,
         "XY1 offset: 25 V refused. Please, set the number in range from -20 to 20 V! It stays at 0 V."},
        {"rate", 1000, "1000000", 1000,
         "Rate: 1000000 kadrs/s refused. Please, set the number in range from 1 to 500000 kadrs/s! It stays "
         "at 1000 kadrs/s."},
        {"averages", 4, "65", 4,
         "Averages: 65 refused. Please, set the number in range from 1 to 64! It stays at 4."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.box) + " " + c.typed);
        auto* box = qobject_cast<QDoubleSpinBox*>(PanelInput(window, c.box, c.box == "offset"sv ? 2 : -1));
        ASSERT_NE(box, nullptr);
        box->setValue(c.before); // a refusal before stays shown
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QString::fromLatin1(c.typed));
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_NEAR(box->value(), c.after, 1e-6);
        if (c.box == "dac2"sv) {
            EXPECT_NEAR(session_.Dac(1), c.after, 1e-6);
        }
        EXPECT_EQ(Label(window, "error"), c.refusal);
    }
}

// The first `fields` fields of `channel`'s row in the measurements' CSV; empty without one.
std::string Measured(const std::string& csv, const std::string& channel, int fields) {
    const std::size_t row = csv.find("\n" + channel + ",");
    std::size_t end = row;
    for (int field = 0; field < fields && end != std::string::npos; ++field) end = csv.find(',', end + 1);
    return row == std::string::npos ? std::string() : csv.substr(row + 1, end - row - 1);
}

// A new window's sweep is drawn and measured, though the sweeps count anew
// and it has the old one's number, and its rolling traces go on at their
// time; while the display is paused, every view
// drawn again shows and measures the samples paused, as Export view saves
// them. Y16 climbs 0.01 V a kadr through 0 V.
TEST_F(ScopeSingleEnded, ANewWindowAndAPausedDisplayShowTheirOwnSamples) {
    ScopeWindow window(session_);
    Arrange(window, {31}, 2000, 0.2);
    Find<QComboBox>(window, "triggerMode")->setCurrentText(QStringLiteral("Single"));
    Press(window, "start");
    for (const auto& [seconds, measured] :
         {std::pair{0.2, "Y16,-2,1.99"}, std::pair{0.05, "Y16,-0.5,0.49"}}) {
        SCOPED_TRACE(seconds);
        window.SetWindowSeconds(seconds);
        // Measured, then drawn at the next frame.
        EXPECT_TRUE(QTest::qWaitFor(
            [&, seconds = seconds, measured = measured] {
                return Measured(window.Views()->MeasurementsCsv(), "Y16", 4).starts_with(measured) &&
                       std::abs(window.Plot()->xAxis->range().lower + seconds / 2) < 1e-3;
            },
            5000))
            << window.Views()->MeasurementsCsv();
        EXPECT_NEAR(window.Plot()->xAxis->range().size(), seconds, 1e-9);
    }
    // An offset moves the held sweep's trace; it is still the sweep held.
    const uint64_t held = session_.Sweep().Current().firstKadr;
    Cell<QDoubleSpinBox>(window, 31, 2)->setValue(0.5);
    ASSERT_TRUE(MoreKadrs(2500)) << "a ramp's crossing, and more";
    EXPECT_EQ(session_.Sweep().Current().firstKadr, held) << "another sweep replaced the one held";
    Find<QComboBox>(window, "triggerMode")->setCurrentText(QStringLiteral("Off"));
    const double before = static_cast<double>(session_.Received()) / 2000;
    window.SetWindowSeconds(0.2); // the traces start over: a whole window of them
    ASSERT_TRUE(QTest::qWaitFor([&] { return session_.Sweep().Current().kadrs == 400; }, 5000));
    // Drawn at a frame to come: till then the plot may hold the last sweep.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.Plot()->Traces().Columns() > 0 && LastShown(window.Plot()) > before; }, 5000))
        << "the time goes on from the recording's start: " << LastShown(window.Plot()) << " after " << before;
    Press(window, "pause");
    const std::string paused = Measured(window.Views()->MeasurementsCsv(), "Y16", 4);
    ASSERT_TRUE(window.ExportView(File("e16scope_frozen.csv")));
    ASSERT_TRUE(MoreKadrs(301));
    for (const ViewKind kind : {ViewKind::Xy, ViewKind::Spectrum, ViewKind::Time})
        window.Views()->SetKind(kind);
    EXPECT_EQ(Measured(window.Views()->MeasurementsCsv(), "Y16", 4), paused);
    ASSERT_TRUE(window.ExportView(File("e16scope_frozen_again.csv")));
    EXPECT_EQ(Read("e16scope_frozen_again.csv"), Read("e16scope_frozen.csv"));
    // A new recording is shown as it comes: the pause was the old one's.
    Press(window, "start"); // now Stop
    Press(window, "start");
    EXPECT_FALSE(Find<QAction>(window, "pause")->isChecked());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.Plot()->Traces().Columns() > 0 && LastShown(window.Plot()) > 0.1; }, 5000))
        << "a display still paused";
}

// The table measures the kadrs the plot shows: a rolling window shorter than
// the measurements' spacing is drawn with them alone, its extremes the
// table's whenever it is looked at; Stop drains the last kadrs, which the
// table measures as the plot shows them.
TEST_F(ScopeSingleEnded, TheTableMeasuresTheKadrsThePlotShowsRollingAndStopped) {
    ScopeWindow window(session_);
    Arrange(window, {0}, 1000, 0.05); // half of X1's period: each kadr more moves its numbers
    Press(window, "start");
    ASSERT_TRUE(MoreKadrs(300));
    for (int look = 0; look < 8; ++look) {
        QTest::qWait(97);
        const std::vector<double> drawn = Values(window.Plot(), 0);
        ASSERT_FALSE(drawn.empty());
        const auto [low, high] = std::minmax_element(drawn.begin(), drawn.end());
        double min = NAN, max = NAN;
        std::sscanf(Measured(window.Views()->MeasurementsCsv(), "X1", 3).c_str(), "X1,%lf,%lf", &min, &max);
        EXPECT_NEAR(min, *low, 1e-4) << look;
        EXPECT_NEAR(max, *high, 1e-4) << look;
    }
    Press(window, "start"); // now Stop
    const View view = session_.Sweep().Current();
    ASSERT_EQ(view.firstKadr + view.kadrs, session_.Received());
    // Up to the frequency, which the averaged spectrum gives here.
    const std::string measured = Measured(
        MeasurementsCsv(Measure(view, session_.Rate(), window.Trigger()->Settings()), {"X1"}), "X1", 6);
    ASSERT_FALSE(measured.empty());
    EXPECT_EQ(Measured(window.Views()->MeasurementsCsv(), "X1", 6), measured);
}

// A script's run that was refused keeps the user's settings as well; one
// whose module was lost before its time ends with status 1, its actions
// done all the same. The actions wait for the kadrs of the time asked when
// the module holds them back, the grace's time at most, then fail saying so.
TEST_F(ScopeTest, AScriptsRunEndsAsItRecorded) {
    {
        ScopeWindow window(session_);
        window.Channels()->SetChecked({2, 5});
    }
    const auto exported = store_->dir().path() / "e16scope_script.csv";
    const auto image = store_->dir().path() / "e16scope_script.png";
    std::filesystem::remove(exported);
    ScopeOptions options;
    options.address = 0x7F000009; // no module there
    options.channels = std::vector<int16_t>{7};
    options.rate = 1000;
    options.after = 2;
    options.exportView = exported.string();
    ASSERT_FALSE(ScopeWindow(session_).Apply(options));
    options.address = 0x7F000001;
    {
        ScopeWindow window(session_);
        ASSERT_TRUE(window.Apply(options));
        ASSERT_EQ(e16sim_fault_disconnect_after(E16SIM_MODULE_DAC, 200), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(exported); }, 10000));
        EXPECT_FALSE(session_.Recording());
        EXPECT_EQ(window.UnattendedStatus(), 1);
    }
    // The screenshot, the last action, ends the run's wait.
    options.after = options.window = 0.2;
    options.screenshot = image.string();
    for (const bool released : {true, false}) {
        SCOPED_TRACE(released ? "released" : "stalled for good");
        std::filesystem::remove(exported);
        std::filesystem::remove(image);
        ASSERT_EQ(e16sim_fault_stall(E16SIM_MODULE_DAC, 1), 0);
        ScopeWindow window(session_);
        ASSERT_TRUE(window.Apply(options));
        testing::internal::CaptureStderr();
        QTest::qWait(400);
        if (released) e16sim_fault_stall(E16SIM_MODULE_DAC, 0);
        const bool ended = QTest::qWaitFor([&] { return std::filesystem::exists(image); }, 5000);
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(ended);
        EXPECT_EQ(window.UnattendedStatus(), released ? 0 : 1);
        if (released)
            EXPECT_EQ(std::ranges::count(velmora::test::Slurp(exported), '\n'),
                      1 + std::lround(0.2 * session_.Rate()))
                << said;
        else
            EXPECT_THAT(
                said,
                HasSubstr(
                    "e16scope: the module sent only 0 of the 200 kadrs of --after 0.2 in the 2 s after it"));
    }
    ScopeWindow again(session_);
    EXPECT_EQ(again.Channels()->Checked(), (QList<int>{2, 5}));
}

TEST_F(ScopeTest, BeforeTestItShowsOnlyWhatNeedsNoModule) {
    {
        ScopeWindow window(session_);
        window.SetWindowSeconds(2);
        window.SetRate(250);
    }
    ScopeWindow again(session_);
    EXPECT_EQ(std::pair(Find<QDoubleSpinBox>(again, "rate")->value(),
                        Find<QComboBox>(again, "window")->currentText().toStdString()),
              std::pair(250.0, "2 s"s));
    EXPECT_EQ(again.Channels()->item(5, 0)->text().toStdString(), session_.ChannelName(5))
        << "the driver's names before Test";
    EXPECT_FALSE(Enabled(again, "start")) << "a start before Test";
    EXPECT_FALSE(Find<QDoubleSpinBox>(again, "dac1")->isEnabled()) << "no DAC before Test";
    const QCPRange span = again.Plot()->xAxis->range();
    EXPECT_EQ(std::pair(span.lower, span.upper), std::pair(0.0, 2.0)) << "the empty plot spans the window";
}

// By keyboard alone: the toolbar's buttons answer their keys (Ctrl+T is
// Test, which asks for the address), Tab goes through the channel table and
// on out of it, round the window through inputs that show the focus, and F5
// starts at the rate typed in the box with the focus.
TEST_F(ScopeTest, KeysReachTheToolbarAndTabLeavesTheChannelTable) {
    ScopeWindow window(session_);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    int modals = 0;
    OnNextModal(modals, [](QWidget& chooser) { ClickButton(chooser, QStringLiteral("cmdCancel")); });
    QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(modals, 1) << "no chooser after Ctrl+T";
    ChannelPanel* table = window.Channels();
    table->setFocus();
    const auto inTable = [&] {
        return table == QApplication::focusWidget() || table->isAncestorOf(QApplication::focusWidget());
    };
    for (int i = 0; i < 200 && inTable(); ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_FALSE(inTable()) << "Tab stays in the table";
    Detect(window);
    window.activateWindow(); // the chooser had it
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* rate = Find<NumberBox>(window, "rate");
    rate->setFocus();
    // Round the window and back: every stop an input that shows its focus.
    for (int stops = 0; stops < 300; ++stops) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* stop = QApplication::focusWidget();
        if (stop == rate) break;
        EXPECT_TRUE(qobject_cast<QAbstractButton*>(stop) || qobject_cast<QComboBox*>(stop) ||
                    qobject_cast<QAbstractSpinBox*>(stop) || qobject_cast<QLineEdit*>(stop) ||
                    qobject_cast<QTableView*>(stop))
            << "a stop that shows no focus: " << stop->metaObject()->className() << " "
            << stop->objectName().toStdString();
    }
    EXPECT_EQ(QApplication::focusWidget(), rate) << "Tab does not come round";
    rate->selectAll();
    QTest::keyClicks(rate, "2000");
    QTest::keyClick(rate, Qt::Key_F5);
    ASSERT_TRUE(session_.Recording());
    EXPECT_EQ(session_.Rate(), 2000);
    QTest::keyClick(rate, Qt::Key_F5);
    EXPECT_FALSE(session_.Recording());
}

// Letting the driver go saves its settings first and gives the driver's
// reason when they could not be saved; a store that works gives none.
TEST_F(ScopeTest, ReleasingTheDriverSavesItsSettingsOrSaysWhyNot) {
    const auto blocker = store_->dir().path() / "a file, no folder";
    std::ofstream(blocker) << "x";
    for (const bool canSave : {true, false}) {
        SCOPED_TRACE(canSave ? "the private store" : "a store that cannot be made");
        ScopeSession session;
        std::string error;
        ASSERT_TRUE(session.Create(error)) << error;
        ASSERT_TRUE(session.SetAddress("127.0.0.1", error)) << error;
        ASSERT_TRUE(session.Detect()) << session.LastError();
        std::optional<velmora::test::ScopedEnv> env; // XDG_CONFIG_HOME while letting go
        if (!canSave) env.emplace("XDG_CONFIG_HOME", (blocker / "config").string());
        EXPECT_THAT(session.Release(),
                    canSave ? testing::Matcher<std::string>(testing::IsEmpty()) : HasSubstr("not saved"));
    }
}

// The window's own settings that cannot be written are said on closing.
TEST_F(ScopeTest, AWindowWhoseSettingsCannotBeWrittenSaysSo) {
    const std::string file = QSettings().fileName().toStdString();
    std::filesystem::remove(file);
    std::filesystem::create_directories(file);
    testing::internal::CaptureStderr();
    { ScopeWindow window(session_); }
    const std::string said = testing::internal::GetCapturedStderr();
    std::filesystem::remove(file);
    EXPECT_EQ(said, "e16scope: warning: the window's channels, rate and size were not saved: " + file +
                        " cannot be written\n");
}

// A message of `kadrs` kadrs from kadr `first` of the module `serial`, every
// code 3200: the channels on ranges from `range` on, each scale four times
// the one before.
struct Message {
    int64_t first, kadrs;
    std::vector<std::string> channels = {"Y15", "Y16"};
    int64_t range = 0;
    const char* end = nullptr;
    std::string serial = "SIM0009";
};
std::vector<std::string> Frames(const Message& m) {
    velmora::hosts::StreamHeader h;
    h.serial = m.serial;
    h.firstKadr = m.first;
    h.kadrs = m.kadrs;
    h.channels = m.channels;
    for (std::size_t i = 0; i < h.channels.size(); ++i) {
        h.ranges.push_back(m.range + static_cast<int64_t>(i));
        h.codesPerVolt.push_back(3200.0f * static_cast<float>(1 << (2 * i)));
    }
    h.rate = 1000;
    if (m.end != nullptr) h.end = m.end;
    const std::vector<int16_t> codes(static_cast<std::size_t>(m.kadrs) * h.channels.size(), 3200);
    std::string payload;
    velmora::hosts::AppendPayload(codes.data(), codes.size(), payload);
    return {velmora::hosts::StreamTopic(h.serial), velmora::hosts::HeaderJson(h), payload};
}

// The Stream field instead of the module: the channels come with the first
// message, checked in the panel with their ranges and the stream's rate, the
// status bar names the publisher and the gaps, kadrs missing are drawn as a
// break, a malformed message is said and passed (another module's quietly),
// a publisher restarted on the endpoint is watched anew (a trigger channel
// it lacks is said), the
// panel's offsets apply to its channels in order, the publisher's end is
// said and the watch goes on to its next recording, and after Stop the
// panel shows the user's own channels and rate again, which the window stores.
TEST_F(ScopeTest, AStreamIsPlottedWithItsPublisherInTheStatusBar) {
    const std::string endpoint = "ipc://" + File("stream").toStdString();
    void* context = zmq_ctx_new();
    void* socket = zmq_socket(context, ZMQ_XPUB); // tells the window's subscription
    ASSERT_EQ(zmq_bind(socket, endpoint.c_str()), 0);
    const auto send = [socket](const std::vector<std::string>& frames) {
        velmora::test::SendFrames(socket, frames);
    };
    ScopeWindow window(session_);
    window.show();
    window.SetRate(250); // the stream's is shown instead
    window.Channels()->SetChecked({2, 5});
    auto* range = Cell<QComboBox>(window, 1, 1);
    range->setCurrentIndex(3);
    window.SetSource(QString::fromStdString(endpoint));
    Cell<QDoubleSpinBox>(window, 0, 2)->setValue(0.5); // before the stream's names
    Press(window, "start");
    EXPECT_THAT(Label(window, "module"), StartsWith("Waiting for the first message from ipc://"));
    zmq_pollitem_t subscribed{socket, 0, ZMQ_POLLIN, 0};
    char frame[16];
    ASSERT_TRUE(QTest::qWaitFor([&] { return zmq_poll(&subscribed, 1, 0) == 1; }, 10000));
    ASSERT_GT(zmq_recv(socket, frame, sizeof frame, 0), 0);
    send(Frames({0, 100}));
    send({"E16/SIM0009", "{not json"});
    send(Frames({.first = 0, .kadrs = 7, .serial = "SIM00090"})); // another module's: passed over
    send(Frames({104, 50}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session_.Received() == 150; }, 5000)) << session_.Received();
    EXPECT_EQ(window.Plot()->Traces().Traces(), 2u);
    EXPECT_EQ(window.Channels()->Checked(), (QList<int>{0, 1}));
    EXPECT_EQ(window.Channels()->item(1, 0)->text(), "Y16");
    const auto shownRows = [&window] {
        int rows = 0;
        while (rows < ChannelPanel::kChannels && !window.Channels()->isRowHidden(rows)) ++rows;
        return rows;
    };
    EXPECT_EQ(shownRows(), 2) << "the driver's Y16 shown under the stream's";
    EXPECT_EQ(range->currentIndex(), 1) << "the stream's range, not the one the panel had";
    auto* rate = Find<QDoubleSpinBox>(window, "rate");
    EXPECT_EQ(rate->value(), 1000);
    // Drawn at a frame to come: all 154 kadrs' time, the gap's too.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window.Plot()->Traces().Columns() * session_.Traces().KadrsPerColumn() >= 154; }, 5000))
        << "not drawn";
    EXPECT_THAT(Values(window.Plot(), 0), testing::Each(1.5)) << "1 V and the first row's offset";
    EXPECT_THAT(Label(window, "module"), HasSubstr("SIM0009"));
    EXPECT_EQ(Label(window, "fill"), "1 gap (4 kadrs missing)");
    { // kadrs 100..103 missing: the columns they fill are empty, the later ones at their time
        const ColumnTraces& traces = window.Plot()->Traces();
        const auto per = static_cast<long>(session_.Traces().KadrsPerColumn());
        ASSERT_EQ(traces.Columns(), 154 / per);
        for (std::size_t i = 0; i < traces.Columns(); ++i) {
            const long first = std::lround(traces.Time(i) * 1000);
            EXPECT_EQ(traces.Has(0, i), first < 100 || first + per > 104) << "column from kadr " << first;
        }
    }
    EXPECT_THAT(Label(window, "error"), HasSubstr("a message of 2 frames, not 3"));
    EXPECT_FALSE(Enabled(window, "record"));
    Find<QComboBox>(window, "triggerMode")->setCurrentText(QStringLiteral("Auto"));
    Find<QComboBox>(window, "triggerSource")->setCurrentText(QStringLiteral("Y16"));
    send(Frames({5000, 30, {"X1"}})); // watched from its kadr 5000 on
    ASSERT_TRUE(QTest::qWaitFor([&] { return session_.Received() == 180; }, 5000)) << session_.Received();
    EXPECT_EQ(window.Plot()->Traces().Traces(), 1u);
    EXPECT_EQ(window.Channels()->Checked(), QList<int>{0});
    EXPECT_EQ(shownRows(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Values(window.Plot(), 0).empty(); }, 5000)) << "not drawn";
    EXPECT_THAT(Values(window.Plot(), 0), testing::Each(1.5)) << "the offset kept for the new recording";
    const auto per = static_cast<double>(session_.Traces().KadrsPerColumn());
    EXPECT_NEAR(LastShown(window.Plot()), (std::floor(5030 / per) - 1) * per / 1000, 1e-9) << "not from 0";
    EXPECT_THAT(Label(window, "module"), HasSubstr("recording 2 (the publisher restarted)"));
    EXPECT_EQ(Label(window, "fill"), "0 gaps (0 kadrs missing)");
    EXPECT_EQ(Label(window, "error"), "the new recording has no Y16: the trigger takes X1");
    // An end is said, and the watch goes on for the next recording: a
    // normal end beside the stream's name, any other as an error.
    send(Frames({.first = 5030, .kadrs = 0, .channels = {"X1"}, .end = "complete"}));
    const auto said = [&](const std::string& end) {
        const std::string text = "the publisher ended: " + end + "; watching for its next recording";
        return QTest::qWaitFor([&] { return Label(window, "error") == text; }, 5000);
    };
    const auto red = [&] { return Find<QLabel>(window, "error")->styleSheet().contains("#b00000"); };
    ASSERT_TRUE(said("complete")) << Label(window, "error");
    EXPECT_FALSE(red()) << "a normal end in the error's red";
    // On a range no list here names.
    send(Frames({.first = 0, .kadrs = 10, .channels = {"X2"}, .range = 9}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session_.Received() == 190; }, 5000)) << session_.Received();
    EXPECT_THAT(Label(window, "module"), HasSubstr("recording 3"));
    EXPECT_EQ(Cell<QComboBox>(window, 0, 1)->currentText(), "") << "the last recording's range shown";
    send(
        Frames({.first = 10, .kadrs = 0, .channels = {"X2"}, .range = 9, .end = "failed: the disk is full"}));
    ASSERT_TRUE(said("failed: the disk is full")) << Label(window, "error");
    EXPECT_TRUE(red());
    Press(window, "start"); // now Stop
    EXPECT_FALSE(session_.Recording());
    EXPECT_TRUE(Find<QLineEdit>(window, "source")->isEnabled());
    // The panel is the user's again, to choose the module's channels.
    EXPECT_EQ(shownRows(), ChannelPanel::kChannels);
    EXPECT_EQ(std::tuple(window.Channels()->Checked(), window.Channels()->item(1, 0)->text().toStdString(),
                         range->currentIndex(), rate->value()),
              std::tuple(QList<int>{2, 5}, "XY2"s, 3, 250.0));
    EXPECT_EQ(Label(window, "achieved"), "") << "the stream's rate beside the user's own";
    EXPECT_EQ(Label(window, "module"), "No module yet: Test detects it") << "the stream still named";
    zmq_close(socket);
    zmq_ctx_term(context);
}

} // namespace
} // namespace e16scope
