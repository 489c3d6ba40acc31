// The setup dialog's window driven as a user drives it, over a driver record
// with the simulated module: the tabs, OK against Cancel, Esc and the close
// box, Help, the layout, and the pages' controls. The page models hold the
// behaviour; here each kind of control shows once that it reaches its model
// and draws what the model holds.
#include <span>
#include <tuple>

#include "driver_record.h"
#include "qt_fixture.h"
#include "ui/qt/waveform_picture.h"
#include "ui/setup_model.h"

namespace velmora::ui {
namespace {

using core::StartMode;
using core::Waveform;
using test::ModuleDacLevel;
using test::ModuleLines;

// The driver's record with the module detected, unless a test's fixture says
// otherwise.
class SetupWindow : public QtFixture {
protected:
    void SetUp() override {
        QtFixture::SetUp();
        if (!device::VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
        driver::OnObjectCreated(s);
        // A host's palette whose disabled boxes would keep the window colour.
        before_ = QApplication::palette();
        QPalette host = before_;
        host.setColor(QPalette::Base, QColor(255, 255, 240));
        host.setColor(QPalette::Button, QColor(200, 210, 220));
        QApplication::setPalette(host);
        if (!detect_) return;
        ScriptedDialogs answers;
        answers.QueueAddress(test::kSimWithDac);
        ASSERT_TRUE(engine::TestDevice(s, answers)) << s.lastError;
    }
    void TearDown() override {
        QApplication::setPalette(before_);
        while (s.instanceCount > 0) driver::OnObjectDestroyed(s);
        s.module.Release();
        e16sim_reset();
    }

    // ShowSetup, as the driver calls it, with `user` acting on the open
    // dialog, on the page of `tab`.
    bool OpenSetup(int tab, std::function<void(QWidget&)> user) {
        WhenOpen([user, tab](QWidget& window) {
            if (tab > 0) ClickTab(window, tab);
            ASSERT_TRUE(QTest::qWaitForWindowActive(&window)) << "focus moves only in the active window";
            user(window);
        });
        dlgSetupModel frame(s, dir.path());
        return dialogs->ShowSetup(frame);
    }

    static QTabWidget* Tabs(QWidget& window) { return Child<QTabWidget>(window, "tabSetup"); }
    static void ClickTab(QWidget& window, int index) {
        QTabBar* bar = Tabs(window)->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    static bool Enabled(QWidget& window, const char* name) { return Child(window, name)->isEnabled(); }
    // Keys on a list or a slider with the focus.
    static void Keys(QWidget& window, const char* name, std::initializer_list<Qt::Key> keys) {
        QWidget* target = Child(window, name);
        target->setFocus();
        for (Qt::Key key : keys) QTest::keyClick(target, key);
    }
    // The box's text replaced by `keys`, then the key `then` (none for
    // Qt::Key_unknown).
    static void Type(QWidget& window, const char* box, const char* keys, Qt::Key then = Qt::Key_Tab) {
        QWidget* edit = Child(window, box);
        edit->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, QString::fromLatin1(keys));
        if (then != Qt::Key_unknown) QTest::keyClick(window.focusWidget(), then);
    }
    // Both outputs periodic, so that every box of the DAC page is enabled.
    void PeriodicOutputs() {
        for (core::WaveSettings& wave : s.output.generator.waves) wave = {Waveform::Sine, 3200, 0, 0.0};
    }
    // Enabled with the window's background, or disabled with the button face's.
    static bool Looks(QWidget& window, const char* field, bool enabled) {
        const QColor want = QApplication::palette().color(enabled ? QPalette::Base : QPalette::Button);
        return Enabled(window, field) == enabled &&
               Child(window, field)->palette().color(QPalette::Base) == want;
    }

    bool detect_ = true;
    QPalette before_;
    test::PrivateStore store_;
    driver::DriverState s;
};

// The ways out of the dialog, OK last.
const std::pair<const char*, void (*)(QWidget&)> kClosings[] = {
    {"Cancel", [](QWidget& window) { Click(window, "cmdDialog1"); }},
    {"Esc", [](QWidget& window) { QTest::keyClick(window.focusWidget(), Qt::Key_Escape); }},
    {"close box", [](QWidget& window) { window.close(); }},
    {"OK", [](QWidget& window) { Click(window, "cmdDialog0"); }},
};

// The record before any detection: the General page alone.
class UndetectedSetupWindow : public SetupWindow {
protected:
    UndetectedSetupWindow() { detect_ = false; }
};

TEST_F(UndetectedSetupWindow, OnlyOkStoresThePagesNotCancelEscOrTheCloseBox) {
    for (const auto& [name, closing] : kClosings) {
        SCOPED_TRACE(name);
        const bool shown = OpenSetup(0, [&closing = closing](QWidget& window) {
            EXPECT_EQ(Tabs(window)->count(), 1) << "before detection, General only";
            EXPECT_EQ(window.windowTitle().left(16), "Lintara Setup (v");
            EXPECT_FALSE(Enabled(window, "cmdDialog2")) << "Help without a help file";
            Keys(window, "cboSynchro", {Qt::Key_Down}); // TRIG Rise
            closing(window);
            EXPECT_FALSE(window.isVisible()) << "left the dialog open";
        });
        EXPECT_TRUE(shown);
        EXPECT_EQ(s.sync.mode, std::string(name) == "OK" ? StartMode::Syn1Rise : StartMode::Internal);
    }
}

// The tab selected at closing opens next, its page alone made.
TEST_F(SetupWindow, PagesAreMadeWhenFirstSelected) {
    OpenSetup(0, [](QWidget& window) {
        EXPECT_EQ(Tabs(window)->tabText(3), "DIO");
        EXPECT_NE(window.findChild<QWidget*>("tabGeneral"), nullptr);
        EXPECT_EQ(window.findChild<QWidget*>("tabDAC"), nullptr) << "a page made before its tab was selected";
        ClickTab(window, 2);
        EXPECT_EQ(window.findChild<QWidget*>("tabADC"), nullptr) << "a tab passed over got its page";
        Click(window, "cmdDialog0");
    });
    OpenSetup(0, [](QWidget& window) {
        EXPECT_EQ(Tabs(window)->currentIndex(), 2) << "the tab selected at the last closing";
        EXPECT_EQ(window.findChild<QWidget*>("tabGeneral"), nullptr);
    });
}

// A window too small for a page would clip a caption or squeeze a box: every
// control with a text gets at least the room it asks for, inside the page;
// and the Tab key goes through the page's controls before the buttons below.
TEST_F(SetupWindow, EveryPageIsLaidOut) {
    OpenSetup(0, [](QWidget& window) {
        for (int tab = 0; tab < Tabs(window)->count(); ++tab) {
            ClickTab(window, tab);
            QApplication::processEvents(); // the new page laid out
            QWidget& page = *Tabs(window)->currentWidget();
            for (QWidget* w : page.findChildren<QWidget*>()) {
                const bool texted = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) ||
                                    qobject_cast<QComboBox*>(w) || qobject_cast<QGroupBox*>(w);
                if (!w->isVisible() || !texted) continue;
                const QSize wanted = qobject_cast<QGroupBox*>(w) ? w->minimumSizeHint() : w->sizeHint();
                EXPECT_TRUE(w->width() >= wanted.width() && w->height() >= wanted.height() &&
                            page.rect().contains(QRect(w->mapTo(&page, QPoint(0, 0)), w->size())))
                    << w->objectName().toStdString() << " on tab " << tab << ": " << w->width() << "x"
                    << w->height() << " for " << wanted.width() << "x" << wanted.height();
            }
            QWidget* ok = Child(window, "cmdDialog0");
            ok->setFocus();
            QTest::keyClick(ok, Qt::Key_Backtab);
            EXPECT_TRUE(page.isAncestorOf(window.focusWidget()))
                << "Shift+Tab from OK leaves the page on tab " << tab;
        }
    });
}

// Help and F1 open the help file, the logo the documentation in the driver's
// folder; with no program to open it (the offscreen desktop has none), a
// message says so.
TEST_F(SetupWindow, EachLinkOpensItsFile) {
    s.settings.helpFile = (dir.path() / "LCardE16.chm").string();
    const QUrl help = QUrl::fromLocalFile(QString::fromStdString(s.settings.helpFile));
    const std::tuple<const char*, void (*)(QWidget&), QUrl> links[] = {
        {"Help", [](QWidget& window) { Click(window, "cmdDialog2"); }, help},
        {"F1", [](QWidget& window) { QTest::keyClick(window.focusWidget(), Qt::Key_F1); }, help},
        {"the logo", [](QWidget& window) { QTest::mouseClick(Child(window, "imgLogo"), Qt::LeftButton); },
         QUrl::fromLocalFile((dir.path() / kDocumentationFile).c_str())}};
    for (const auto& [name, link, url] : links) {
        Desktop desktop;
        OpenSetup(0, link);
        EXPECT_EQ(desktop.opened, QList<QUrl>{url}) << name;
    }
    MessageWatch messages;
    OpenSetup(0, std::get<1>(links[0]));
    EXPECT_EQ(messages.Take(), QStringList{"No program here opens " + help.toLocalFile() + "."});
}

// The slider holds the level negated: up raises the level.
TEST_F(SetupWindow, GeneralPageControlsReachTheModel) {
    s.sync.level = 5000;
    OpenSetup(0, [](QWidget& window) {
        EXPECT_NE(Child<QPlainTextEdit>(window, "txtInfo")->toPlainText().indexOf("SIM0001"), -1);
        EXPECT_TRUE(Looks(window, "txtSLevel", false)) << "None: the analog controls are off";
        QTest::keyClicks(Child(window, "cboSynchro"), "AI3");
        EXPECT_TRUE(Enabled(window, "txtSLevel"));
        EXPECT_EQ(Child(window, "txtSLevel")->palette().color(QPalette::Base),
                  QApplication::palette().color(QPalette::Button))
            << "the level's box takes no typing, and looks it";
        Click(window, "optSType2");
        Click(window, "cmdCZero");
        Keys(window, "slSLevel", {Qt::Key_PageUp});
        EXPECT_EQ(Child<QLineEdit>(window, "txtSLevel")->text(), "1.00") << "Set 0, then a volt up";
        Keys(window, "cboSRange", {Qt::Key_Down});
        Click(window, "cmdDialog0");
    });
    EXPECT_EQ(std::tuple(s.sync.direction, s.sync.level, s.sync.range),
              std::tuple(core::SyncDirection::FallingThrough, 3200, 1));
}

TEST_F(SetupWindow, AdcPageControlsReachTheModel) {
    OpenSetup(0, [](QWidget& window) {
        ClickTab(window, 1);
        ClickLine(window, "lstADCh", 19);
        EXPECT_EQ(Child<QGroupBox>(window, "frChInput")->title(), "&AI20:");
        Click(window, "optACh3");
        QTest::keyClicks(Child(window, "cboADChSrc"), "Y10");
        EXPECT_EQ(Child<QListWidget>(window, "lstADCh")->item(19)->text(), "AI20\tY10");
    });
}

TEST_F(SetupWindow, DacPageControlsReachTheModel) {
    OpenSetup(2, [](QWidget& window) {
        Keys(window, "cboDACType", {Qt::Key_Down}); // DC
        EXPECT_TRUE(Looks(window, "cboDAC0", true) && Looks(window, "cboDAC1", false));
        for (const char* name : {"lblDAC1", "slDAC1", "lblRate0", "cboRate0", "lblRate1"})
            EXPECT_FALSE(Enabled(window, name)) << name << " for DC";
        Keys(window, "slDAC0", {Qt::Key_PageUp}); // a volt up
        EXPECT_EQ(Child<QComboBox>(window, "cboDAC0")->currentText(), "1");

        ClickLine(window, "lstChannels", 1);
        EXPECT_EQ(Child<QLabel>(window, "lblDACType")->text(), "AO2 &Type:");
        Keys(window, "cboDACType", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}); // Sine
        const QImage sine = WaveformPicture(Waveform::Sine);
        EXPECT_EQ(Child<QLabel>(window, "imgType")->pixmap().toImage().convertToFormat(sine.format()), sine);
        Keys(window, "cboDAC1", {Qt::Key_Down}); // the item under "10": 9.75 V
        Click(window, "cmdDACSet0");
        EXPECT_EQ(ModuleDacLevel(0), 1.0) << "Start stores the page and sets a DC level";
        EXPECT_TRUE(Child(window, "cmdDACSet1")->font().bold()) << "Stop is not bold after Start";
        Click(window, "cmdDACSet1");
    });
    EXPECT_EQ(s.output.generator.waves[1].baseline, 31200) << "stored by Start";
    EXPECT_FALSE(s.output.streamEnabled) << "stopped";
}

// Enter in a box, or Tab away from it, commits what was typed or says why
// not; a refused box keeps the focus. Enter never closes the dialog then,
// not even after the value the box holds was typed again; Enter with nothing
// typed is OK's.
TEST_F(SetupWindow, EnterOrTabInADacBoxCommitsTheEntryNotTheDialog) {
    PeriodicOutputs();
    // The box, what is typed and the key after it; the message, none when it
    // passes. The bounds of each box are the model's, Tab's refusal is with
    // the refused entry's; here Enter once refused, then every box once taken.
    const std::tuple<const char*, const char*, Qt::Key, QString> entries[] = {
        {"cboDAC0", "12", Qt::Key_Return, "Please, set the number in range from -10 to 10 V!"},
        {"cboDAC0", "1.3", Qt::Key_Return, {}},
        {"cboDAC1", "-2.5", Qt::Key_Return, {}},
        {"cboRate0", "250", Qt::Key_Return, {}},
        {"cboRate0", "250", Qt::Key_Return, {}}, // what it holds, typed again
        {"cboRate1", "0.3", Qt::Key_Return, {}}};
    MessageWatch messages;
    OpenSetup(2, [&](QWidget& window) {
        for (const auto& [box, typed, key, message] : entries) {
            SCOPED_TRACE(testing::Message() << box << " " << typed << " key " << key);
            Type(window, box, typed, key);
            ASSERT_TRUE(window.isVisible()) << "Enter closed the dialog";
            EXPECT_EQ(messages.Take(), message.isEmpty() ? QStringList() : QStringList{message});
            EXPECT_EQ(Focused(window), box) << "the focus left the box";
            EXPECT_EQ(Child<QComboBox>(window, box)->currentText(), typed);
        }
        EXPECT_EQ(Child<QListWidget>(window, "lstChannels")->item(0)->text(), "AO1: Sine\tA=1.3 V\tB=-2.5 V");
        QTest::keyClick(window.focusWidget(), Qt::Key_Return);
        EXPECT_FALSE(window.isVisible()) << "Enter with nothing typed is OK";
    });
    EXPECT_EQ(s.output.generator.signalFreq, 250.0);
    EXPECT_EQ(s.output.generator.waves[0].phase, 0.3);
}

// An entry of 12 V left in a box, then a Tab, a click on the page (which
// goes no further: the list and Start stay as they were) or OK by Enter on
// another tab: refused, its page comes back with the box keeping the focus
// and the text. After the refusal the dialog is the active window again:
// leaving the fixed box checks it, and a click on the page reaches its
// target. Every way out but OK drops the entry silently.
TEST_F(SetupWindow, ARefusedDacEntryHoldsTheDialogUntilFixedOrDropped) {
    const std::pair<const char*, void (*)(QWidget&)> refusing[] = {
        {"Tab", [](QWidget& window) { Press(window, Qt::Key_Tab); }},
        {"a click on the list", [](QWidget& window) { ClickLine(window, "lstChannels", 1); }},
        {"a click on Start", [](QWidget& window) { Click(window, "cmdDACSet0"); }},
        {"Enter on another tab", [](QWidget& window) {
             ClickTab(window, 0);
             Child(window, "cboSynchro")->setFocus();
             Press(window, Qt::Key_Return);
         }}};
    MessageWatch messages;
    for (const auto& [name, refuse] : refusing) {
        SCOPED_TRACE(name);
        PeriodicOutputs();
        s.output.pageChannel = 0; // AO1 again, which the last click left
        OpenSetup(2, [&refuse = refuse, &messages](QWidget& window) {
            Type(window, "cboDAC0", "12", Qt::Key_unknown);
            refuse(window);
            ASSERT_TRUE(window.isVisible()) << "OK took a refused entry";
            EXPECT_EQ(messages.Take(), QStringList{"Please, set the number in range from -10 to 10 V!"});
            // The page, the focus and the text kept; the list and Start as they were.
            EXPECT_EQ(std::tuple(Tabs(window)->currentIndex(), Focused(window),
                                 Child<QComboBox>(window, "cboDAC0")->currentText(),
                                 Child<QListWidget>(window, "lstChannels")->currentRow(),
                                 Child<QAbstractButton>(window, "cmdDACSet0")->isDown()),
                      std::tuple(2, "cboDAC0", "12", 0, false));
            QCoreApplication::processEvents(); // as between a person's keys
            Type(window, "cboDAC0", "1.5", Qt::Key_Tab);
            EXPECT_EQ(std::tuple(messages.Take(), Focused(window)), std::tuple(QStringList(), "slDAC0"));
            ClickLine(window, "lstChannels", 1);
            EXPECT_EQ(Child<QListWidget>(window, "lstChannels")->currentRow(), 1);
            Click(window, "cmdDialog0");
        });
        EXPECT_FALSE(s.output.streamEnabled) << "Start took the click";
        EXPECT_EQ(s.output.generator.waves[0].amplitude, 4800) << "the fixed entry, stored by OK";
    }
    for (const auto& [name, closing] : std::span(kClosings).first<3>()) { // all but OK
        SCOPED_TRACE(name);
        OpenSetup(2, [&closing = closing](QWidget& window) {
            Type(window, "cboDAC0", "12", Qt::Key_unknown);
            closing(window);
            EXPECT_FALSE(window.isVisible());
        });
        EXPECT_EQ(messages.Take(), QStringList()) << "the entry was checked";
        EXPECT_EQ(s.output.generator.waves[0].amplitude, 4800) << "as the last OK stored it";
    }
}

// Tab goes through a page in reading order: top to bottom, left to right,
// the level's Set 0 after its slider; read-only boxes take no stop.
TEST_F(SetupWindow, TabGoesThroughAPageInReadingOrder) {
    PeriodicOutputs();
    s.sync.mode = core::StartMode::AnalogLevel;
    const std::pair<int, QStringList> pages[] = {
        {0,
         {"qt_tabwidget_tabbar", "cboSynchro", "optSType0", "cboSRange", "slSLevel", "cmdCZero",
          "cmdDialog0"}}, // an analog level start: every control enabled
        {2,
         {"lstChannels", "cboDACType", "cboDAC0", "slDAC0", "cboDAC1", "slDAC1", "cboRate0", "cmdDACSet0",
          "cboRate1", "cmdDACSet1"}},
        {3, {"chkInput",   "chkOut0",    "chkOut1",   "chkOut2",   "chkOut3",    "chkOut4",    "chkOut5",
             "chkOut6",    "chkOut7",    "chkOut8",   "chkOut9",   "chkOut10",   "chkOut11",   "chkOut12",
             "chkOut13",   "chkOut14",   "chkOut15",  "chkOutput", "cmdOutput0", "cmdOutput1", "cmdOutput2",
             "cmdOutput3", "cmdOutput4", "chkStart0", "chkStart1"}}, // Set and Show wait for their word's box
    };
    for (const auto& [tab, order] : pages) {
        OpenSetup(tab, [&order = order](QWidget& window) {
            Child(window, order[0].toLatin1().constData())->setFocus(Qt::TabFocusReason);
            QStringList went{Focused(window)};
            for (qsizetype i = 1; i < order.size(); ++i) {
                QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
                went << Focused(window);
            }
            EXPECT_EQ(went, order);
        });
    }
}

// Ctrl+Tab and Ctrl+PgDown go to the next page, Ctrl+Shift+Tab and
// Ctrl+PgUp to the one before, round the ends, wherever the focus is: a
// drop-down list, a switch, the buttons below.
TEST_F(SetupWindow, CtrlTabChangesThePageFromAnyControl) {
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers, int> moves[] = {
        {"cboSynchro", Qt::Key_Tab, ctrl, 1},
        {"cmdDialog1", Qt::Key_Backtab, ctrl | Qt::ShiftModifier, 0},
        {"cmdDialog0", Qt::Key_PageUp, ctrl, 3},
        {"chkOut0", Qt::Key_PageDown, ctrl, 0},
    };
    OpenSetup(0, [&moves](QWidget& window) {
        for (const auto& [from, key, modifiers, page] : moves) {
            SCOPED_TRACE(from);
            Child(window, from)->setFocus(Qt::TabFocusReason);
            QTest::keyClick(window.focusWidget(), key, modifiers);
            EXPECT_EQ(Tabs(window)->currentIndex(), page);
            EXPECT_TRUE(window.isVisible()) << "the key closed the dialog";
        }
        Click(window, "cmdDialog1");
    });
}

// "In" and "Out" are switches, not buttons that take Enter from the dialog;
// both are made alike, Out shows it.
TEST_F(SetupWindow, EnterOnASwitchPressesOk) {
    int toggles = 0;
    const uint32_t lines = ModuleLines();
    OpenSetup(3, [&toggles](QWidget& window) {
        Click(window, "chkStart0"); // stored by OK only
        Click(window, "chkOut15");  // written only with Out
        auto* out = Child<QPushButton>(window, "chkOutput");
        QObject::connect(out, &QAbstractButton::toggled, [&toggles] { ++toggles; });
        out->setFocus(Qt::TabFocusReason);
        QTest::keyClick(out, Qt::Key_Return);
        EXPECT_FALSE(window.isVisible()) << "Enter did not press OK";
    });
    // Out not toggled, the outputs not written, OK pressed.
    EXPECT_EQ(std::tuple(toggles, ModuleLines(), s.dio.doStartEnabled), std::tuple(0, lines, true));
}

TEST_F(SetupWindow, DioPageBoxesComposeTheWords) {
    OpenSetup(3, [](QWidget& window) {
        EXPECT_FALSE(Enabled(window, "chkIn0")) << "inputs are shown only";
        Click(window, "chkStart0");
        Click(window, "chkOut15"); // bit 0
        Click(window, "chkOut12"); // bit 3
        EXPECT_EQ(Child<QGroupBox>(window, "frDO")->title(), "Output: 0x0009 (9)");
        Click(window, "cmdStart0");
        EXPECT_EQ(Child<QCheckBox>(window, "chkStart0")->text(), "On Start: 0x0009 (9)");
        Click(window, "chkOutput");
        EXPECT_EQ(ModuleLines(), 9u) << "Out writes the composed word";
        EXPECT_FALSE(Enabled(window, "cmdOutput4")) << "Reset while Out is ticked";
        Click(window, "cmdOutput0");
        EXPECT_EQ(ModuleLines(), 0u) << "Clear with Out";
        Click(window, "cmdShow0");
        EXPECT_TRUE(Child<QAbstractButton>(window, "chkOut12")->isChecked()) << "the start word shown";
        Click(window, "cmdDialog0");
    });
    EXPECT_EQ(s.dio.doStartValue, 9);
}

TEST_F(SetupWindow, DioInputsArePolledWhileTheirTabIsShown) {
    OpenSetup(3, [this](QWidget& window) {
        QTimer* timer = Child<QTimer>(window, "tmrDI");
        Click(window, "chkInput");
        s.dio.WriteOutputs(s.Device(), 0x00F0); // the inputs read the lines back
        QGroupBox* frame = Child<QGroupBox>(window, "frDI");
        EXPECT_TRUE(QTest::qWaitFor([&] { return frame->title() == "Input: 0x00F0 (240)"; }, 3000));
        EXPECT_TRUE(Child<QCheckBox>(window, "chkIn8")->isChecked() &&
                    !Child<QCheckBox>(window, "chkIn7")->isChecked())
            << "bit 7 alone";
        ClickTab(window, 0);
        EXPECT_FALSE(timer->isActive()) << "the tab left";
        s.dio.WriteOutputs(s.Device(), 0x0F00);
        ClickTab(window, 3);
        EXPECT_TRUE(timer->isActive()) << "the tab shown again";
        EXPECT_EQ(frame->title(), "Input: 0x0F00 (3840)") << "refreshed when shown";
        Click(window, "chkInput");
        EXPECT_FALSE(timer->isActive()) << "In unticked";
    });
}

TEST(WaveformPictures, SevenDistinctPicturesDrawnAlikeEachTime) {
    std::vector<QImage> pictures;
    for (int16_t kind = 0; kind < core::kWaveformCount; ++kind) {
        const QImage picture = WaveformPicture(static_cast<Waveform>(kind));
        EXPECT_EQ(picture, WaveformPicture(static_cast<Waveform>(kind))) << "kind " << kind;
        for (const QImage& before : pictures) EXPECT_NE(picture, before) << "kind " << kind;
        pictures.push_back(picture);
    }
    EXPECT_EQ(WaveformPicture(static_cast<Waveform>(9)), pictures[0]) << "an unknown kind shows Off";
}

} // namespace
} // namespace velmora::ui
