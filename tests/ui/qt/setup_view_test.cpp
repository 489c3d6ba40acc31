// The setup dialog's window driven as a user drives it, over a driver record
// with the simulated module: the tabs and their pages, OK against Cancel,
// Esc and the close box, Help, and the General and ADC pages' controls
// reaching the driver state.
#include <QAbstractButton>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>

#include <algorithm>

#include "driver_record.h"
#include "qt_fixture.h"
#include "ui/general_page_model.h"

namespace velmora::ui {
namespace {

using core::StartMode;

// Stands in for the desktop's file opener.
class Desktop : public QObject {
    Q_OBJECT
public:
    Desktop() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
    ~Desktop() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList opened;
public slots:
    void Open(const QUrl& url) { opened << url.toLocalFile(); }
};

// The driver's record with the module's description; detected on demand.
class SetupWindow : public QtFixture {
protected:
    void SetUp() override {
        QtFixture::SetUp();
        if (!device::VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
        driver::OnObjectCreated(s);
    }
    void TearDown() override {
        while (s.instanceCount > 0) driver::OnObjectDestroyed(s);
        s.module.Release();
        e16sim_reset();
    }

    void Detect() {
        ScriptedDialogs answers;
        answers.QueueAddress(test::kSimWithDac);
        ASSERT_TRUE(engine::TestDevice(s, answers)) << s.lastError;
    }
    // ShowSetup with `user` acting on the open dialog.
    bool OpenSetup(std::function<void(QWidget&)> user) {
        WhenOpen(std::move(user));
        return dialogs->ShowSetup(s);
    }

    static QTabWidget* Tabs(QWidget& window) { return Child<QTabWidget>(window, "tabSetup"); }
    static QStringList Captions(QWidget& window) {
        QStringList captions;
        for (int i = 0; i < Tabs(window)->count(); ++i) captions << Tabs(window)->tabText(i);
        return captions;
    }
    static void ClickTab(QWidget& window, int index) {
        QTabBar* bar = Tabs(window)->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    // The page's view, null until its tab was first selected.
    static QWidget* View(QWidget& window, const char* name) {
        return window.findChild<QWidget*>(QString::fromLatin1(name));
    }
    static QStringList Lines(QWidget& window) {
        QStringList lines;
        auto* list = Child<QListWidget>(window, "lstADCh");
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        return lines;
    }
    static void ClickLine(QWidget& window, int row) {
        auto* list = Child<QListWidget>(window, "lstADCh");
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }
    static void ClickOption(QWidget& window, const char* name) {
        QTest::mouseClick(Child<QAbstractButton>(window, name), Qt::LeftButton);
    }
    static QString Shown(QWidget& window, const char* field) {
        if (auto* combo = window.findChild<QComboBox*>(QString::fromLatin1(field)))
            return combo->currentText();
        return Child<QLineEdit>(window, field)->text();
    }
    // Enabled with the window's background, or disabled with the button face's.
    static bool Looks(QWidget& window, const char* field, bool enabled) {
        QWidget* box = Child(window, field);
        const QColor want = QApplication::palette().color(enabled ? QPalette::Base : QPalette::Button);
        return box->isEnabled() == enabled && box->palette().color(QPalette::Base) == want;
    }

    test::PrivateStore store_;
    driver::DriverState s;
};

TEST_F(SetupWindow, PagesAreMadeWhenFirstSelectedHelpAndF1OpenTheFileAndTheTabIsRemembered) {
    Detect();
    s.settings.helpFile = (dir.path() / "LCardE16.chm").string();
    Desktop desktop;
    OpenSetup([](QWidget& window) {
        EXPECT_EQ(Captions(window), (QStringList{"General", "ADC", "DAC", "DIO"}));
        EXPECT_NE(View(window, "tabGeneral"), nullptr);
        EXPECT_EQ(View(window, "tabDAC"), nullptr) << "a page made before its tab was selected";
        ClickTab(window, 2);
        EXPECT_NE(View(window, "tabDAC"), nullptr);
        EXPECT_EQ(View(window, "tabADC"), nullptr) << "a tab passed over got its page";
        Click(window, "cmdDialog2");
        QTest::keyClick(window.focusWidget(), Qt::Key_F1);
        Click(window, "cmdDialog0");
    });
    const QString help = QString::fromStdString(s.settings.helpFile);
    EXPECT_EQ(desktop.opened, (QStringList{help, help})) << "Help and F1 open the help file";
    OpenSetup([](QWidget& window) {
        EXPECT_EQ(Tabs(window)->currentIndex(), 2) << "the tab selected at the last closing";
        EXPECT_EQ(View(window, "tabGeneral"), nullptr);
        window.close();
    });
}

// A window too small for a page would clip a caption or squeeze a box:
// every control with a text gets at least the room it asks for, inside the
// page.
void ExpectUnclipped(QWidget& page, int tab) {
    for (QWidget* w : page.findChildren<QWidget*>()) {
        const bool texted = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) ||
                            qobject_cast<QComboBox*>(w) || qobject_cast<QGroupBox*>(w);
        if (!w->isVisible() || !texted) continue;
        const std::string name = w->objectName().toStdString() + " on tab " + std::to_string(tab);
        const QSize wanted = qobject_cast<QGroupBox*>(w) ? w->minimumSizeHint() : w->sizeHint();
        EXPECT_GE(w->width(), wanted.width()) << name;
        EXPECT_GE(w->height(), wanted.height()) << name;
        EXPECT_TRUE(page.rect().contains(QRect(w->mapTo(&page, QPoint(0, 0)), w->size())))
            << name << " out of the page";
    }
}

// The Tab key goes through a page's controls before the buttons below it.
void ExpectTabOrderThrough(QWidget& window, QWidget& page, int tab) {
    const auto controls = page.findChildren<QWidget*>();
    if (std::none_of(controls.begin(), controls.end(),
                     [](QWidget* w) { return w->focusPolicy() & Qt::TabFocus; }))
        return; // nothing on it takes the focus
    QWidget* ok = window.findChild<QWidget*>(QStringLiteral("cmdDialog0"));
    ok->setFocus();
    QTest::keyClick(ok, Qt::Key_Backtab);
    EXPECT_TRUE(page.isAncestorOf(window.focusWidget()))
        << "Shift+Tab from OK leaves the page on tab " << tab;
}

TEST_F(SetupWindow, EveryPageShowsItsControlsUnclippedAndBeforeTheButtons) {
    Detect();
    OpenSetup([](QWidget& window) {
        for (int tab = 0; tab < Tabs(window)->count(); ++tab) {
            ClickTab(window, tab);
            QApplication::processEvents(); // the new page laid out
            ExpectUnclipped(*Tabs(window)->currentWidget(), tab);
            ExpectTabOrderThrough(window, *Tabs(window)->currentWidget(), tab);
        }
        Click(window, "cmdDialog1");
    });
}

TEST_F(SetupWindow, OnlyOkStoresThePagesNotCancelEscOrTheCloseBox) {
    const std::vector<std::pair<const char*, std::function<void(QWidget&)>>> closings = {
        {"Cancel", [](QWidget& window) { Click(window, "cmdDialog1"); }},
        {"Esc", [](QWidget& window) { QTest::keyClick(window.focusWidget(), Qt::Key_Escape); }},
        {"close box", [](QWidget& window) { window.close(); }},
        {"OK", [](QWidget& window) { Click(window, "cmdDialog0"); }},
    };
    for (const auto& [name, closing] : closings) {
        s.sync.mode = StartMode::Internal;
        const bool shown = OpenSetup([&closing = closing](QWidget& window) {
            EXPECT_EQ(Captions(window), QStringList{"General"}) << "before detection";
            EXPECT_TRUE(window.windowTitle().startsWith("Lintara Setup (v"))
                << window.windowTitle().toStdString();
            EXPECT_FALSE(Child(window, "cmdDialog2")->isEnabled()) << "Help without a help file";
            EXPECT_TRUE(Child<QPushButton>(window, "cmdDialog0")->isDefault()) << "OK is not the default";
            auto* synchro = Child<QComboBox>(window, "cboSynchro");
            synchro->setFocus();
            QTest::keyClick(synchro, Qt::Key_Down);
            EXPECT_EQ(synchro->currentText(), "TRIG Rise");
            closing(window);
        });
        EXPECT_TRUE(shown) << name;
        EXPECT_EQ(s.sync.mode, std::string(name) == "OK" ? StartMode::Syn1Rise : StartMode::Internal) << name;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << name << " left the dialog open";
    }
}

// The slider holds the level negated: up raises the level. The logo opens
// the documentation.
TEST_F(SetupWindow, GeneralPageControlsReachTheModelAndOkStoresTheAnalogStart) {
    Detect();
    s.sync.level = 5000;
    Desktop desktop;
    OpenSetup([](QWidget& window) {
        QTest::mouseClick(Child(window, "imgLogo"), Qt::LeftButton);
        EXPECT_NE(Child<QPlainTextEdit>(window, "txtInfo")->toPlainText().indexOf("SIM0001"), -1);
        EXPECT_TRUE(Looks(window, "txtSLevel", false)) << "None: the analog controls are off";
        EXPECT_FALSE(Child(window, "optSType0")->isEnabled());
        auto* synchro = Child<QComboBox>(window, "cboSynchro");
        synchro->setFocus();
        QTest::keyClicks(synchro, "AI3");
        EXPECT_TRUE(Looks(window, "txtSLevel", true));
        EXPECT_EQ(Shown(window, "txtSLevel"), "1.562") << "5000 codes on 10 V";
        ClickOption(window, "optSType2");
        QTest::mouseClick(Child(window, "cmdCZero"), Qt::LeftButton);
        auto* slider = Child<QSlider>(window, "slSLevel");
        QTest::keyClick(slider, Qt::Key_PageUp);
        EXPECT_EQ(Shown(window, "txtSLevel"), "1.00") << "Set 0, then a volt up";
        auto* range = Child<QComboBox>(window, "cboSRange");
        range->setFocus();
        QTest::keyClick(range, Qt::Key_Down);
        EXPECT_EQ(Shown(window, "txtSLevel"), "0.25") << "the same position on 2.5 V";
        Click(window, "cmdDialog0");
    });
    EXPECT_EQ(s.sync.mode, StartMode::AnalogLevel);
    EXPECT_EQ(s.sync.channel, 2);
    EXPECT_EQ(s.sync.range, 1);
    EXPECT_EQ(s.sync.direction, core::SyncDirection::FallingThrough);
    EXPECT_EQ(s.sync.level, 3200);
    EXPECT_EQ(desktop.opened, QStringList{QString::fromStdString((dir.path() / kDocumentationFile).string())})
        << "the logo opens the documentation in the driver's folder";
}

TEST_F(SetupWindow, AdcPageControlsReachTheModelAndOkStoresTheTable) {
    Detect();
    OpenSetup([](QWidget& window) {
        ClickTab(window, 1);
        ASSERT_EQ(Lines(window).size(), 32);
        EXPECT_EQ(Lines(window)[16], "AI17\tCalibration 0");
        Click(window, "cmdChSet1");
        ClickLine(window, 19);
        EXPECT_EQ(Child<QGroupBox>(window, "frChInput")->title(), "&AI20:");
        EXPECT_TRUE(Child<QAbstractButton>(window, "optACh3")->isChecked());
        EXPECT_EQ(Shown(window, "cboADChSrc"), "Y4");
        ClickOption(window, "optACh1");
        EXPECT_EQ(Lines(window)[19], "AI20\tCalibration 0");
        EXPECT_TRUE(Looks(window, "cboADChSrc", false));
        ClickOption(window, "optACh3");
        auto* source = Child<QComboBox>(window, "cboADChSrc");
        source->setFocus();
        QTest::keyClicks(source, "Y10");
        EXPECT_EQ(Lines(window)[19], "AI20\tY10");
        Click(window, "cmdDialog0");
    });
    EXPECT_EQ(s.input.channelTable[0].singleEnded, 1);
    EXPECT_EQ(s.input.channelTable[19].source, 25);
    EXPECT_EQ(s.input.channelTable[19].singleEnded, 1);
}

} // namespace
} // namespace velmora::ui

#include "setup_view_test.moc"
