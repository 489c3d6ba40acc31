// The DAC and Digital I/O pages' widgets driven as a user drives them, over
// a driver record with the simulated module: keys typed into the boxes and
// focus leaving them, picks in the lists, clicks on the buttons and boxes;
// what the widgets show, what lands in the page models, the driver record
// and the module, and the input-polling timer as the tab is left and shown.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/te16.h"
#include "driver/driver_ops.h"
#include "e16sim_control.h"
#include "engine/operations.h"
#include "qt_printers.h"
#include "test_support.h"
#include "ui/qt/page_views.h"
#include "ui/qt/qt_application.h"
#include "ui/qt/waveform_picture.h"
#include "ui/scripted_dialogs.h"
#include "ui/setup_model.h"

namespace velmora::ui {
namespace {

using core::Waveform;

constexpr const char* kLevelMessage = "Please, set the number in range from -10 to 10 V!";
constexpr const char* kFrequencyMessage = "Please, set the number in range from 0.5 to 100000!";

// A detected module with outputs and digital lines, the setup dialog's model
// opened on one page and that page's view in an active window of its own, so
// that the focus moves as it does for a user.
class PageViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::string why;
        ASSERT_NE(EnsureApplication(why), nullptr) << why;
        if (!device::VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
        dialogs_ = new ScriptedDialogs;
        SetDialogs(std::unique_ptr<ScriptedDialogs>(dialogs_));
        driver::OnObjectCreated(s);
        dialogs_->QueueAddress(0x7F000001);
        ASSERT_TRUE(engine::TestDevice(s, *dialogs_)) << s.lastError;
    }

    void TearDown() override {
        window.reset();
        dlg.reset();
        while (s.instanceCount > 0) driver::OnObjectDestroyed(s);
        s.module.Release();
        SetDialogs(nullptr);
        e16sim_reset();
    }

    int TabOf(SetupTab tab) const {
        for (int i = 0; i < dlg->TabCount(); ++i)
            if (dlg->Tab(i) == tab) return i;
        ADD_FAILURE() << "no tab " << TabKey(tab);
        return 0;
    }

    // The frame's order: the model is told first, then the view.
    void Select(SetupTab tab) {
        dlg->SelectTab(TabOf(tab));
        if (view != nullptr && tab != page) view->Hidden();
        if (view != nullptr && tab == page) view->Shown();
    }

    void Open(SetupTab tab) {
        dlg = std::make_unique<dlgSetupModel>(s);
        dlg->Activate();
        page = tab;
        dlg->SelectTab(TabOf(tab));
        window = std::make_unique<QWidget>();
        view = tab == SetupTab::DAC ? MakeDacView(*dlg->Dac(), services, window.get())
                                    : MakeDioView(*dlg->Dio(), services, window.get());
        (new QVBoxLayout(window.get()))->addWidget(view);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <typename T = QWidget> T* Child(const QString& name) const {
        T* child = view->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name.toStdString();
        return child;
    }
    static std::string Focused() {
        QWidget* focus = QApplication::focusWidget();
        return focus != nullptr ? focus->objectName().toStdString() : std::string();
    }
    void Click(const QString& name) const { QTest::mouseClick(Child<QAbstractButton>(name), Qt::LeftButton); }

    static double DacLevel(uint32_t channel) {
        double now = 0, level = 0;
        uint32_t flags = 0;
        e16sim_get_dac(E16SIM_MODULE_DAC, channel, &now, &level, &flags);
        return level;
    }
    static uint32_t Lines() {
        uint32_t outputs = 0, pullups = 0;
        e16sim_get_digital(E16SIM_MODULE_DAC, &outputs, &pullups);
        return outputs;
    }

    test::PrivateStore store_;
    test::ScopedEnv locale_{"LC_ALL", "C"};
    driver::DriverState s;
    ScriptedDialogs* dialogs_ = nullptr;
    std::vector<std::string> messages;
    PageServices services{[this](QWidget*, const std::string& text) { messages.push_back(text); }, {}};
    std::unique_ptr<dlgSetupModel> dlg;
    std::unique_ptr<QWidget> window;
    PageView* view = nullptr;
    SetupTab page = SetupTab::General;
};

class DacView : public PageViewTest {
protected:
    void SetUp() override {
        PageViewTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) Open(SetupTab::DAC);
    }

    ucDACModel& Model() const { return *dlg->Dac(); }

    void SelectOutput(int channel) const {
        auto* list = Child<QListWidget>(QStringLiteral("lstChannels"));
        const QRect line = list->visualItemRect(list->item(channel));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
    }
    // Picked with the keys on the closed list.
    void ChooseKind(Waveform kind) const {
        auto* kinds = Child<QComboBox>(QStringLiteral("cboDACType"));
        kinds->setFocus();
        QTest::keyClick(kinds, Qt::Key_Home);
        for (int k = 0; k < static_cast<int>(kind); ++k) QTest::keyClick(kinds, Qt::Key_Down);
    }
    // The box's text replaced by `keys`, then Tab.
    void Enter(const QString& box, const char* keys) const {
        QWidget* edit = Child(box);
        edit->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, QString::fromLatin1(keys));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    bool Enabled(const char* name) const { return Child(QString::fromLatin1(name))->isEnabled(); }
    // The colour behind the box's text as it is drawn now.
    std::string Background(const char* name) const {
        return Child(QString::fromLatin1(name))->palette().color(QPalette::Base).name().toStdString();
    }
    bool Bold(const char* name) const { return Child(QString::fromLatin1(name))->font().bold(); }
};

TEST_F(DacView, ALevelOrRateOutOfRangeIsToldAndKeepsTheFocusUntilCorrected) {
    SelectOutput(0);
    ChooseKind(Waveform::Dc);
    Enter("cboDAC0", "12");
    EXPECT_EQ(messages, std::vector<std::string>{kLevelMessage});
    EXPECT_EQ(Focused(), "cboDAC0");
    Enter("cboDAC0", "abc");
    EXPECT_EQ(messages, std::vector<std::string>(2, kLevelMessage)) << "not a number";
    EXPECT_EQ(Focused(), "cboDAC0");
    EXPECT_EQ(Model().PageWave(0).amplitude, 0) << "a refused entry reached the page";
    Enter("cboDAC0", "1.5");
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(Focused(), "slDAC0");
    EXPECT_EQ(Model().PageWave(0).amplitude, 4800);
    EXPECT_EQ(Child<QSlider>(QStringLiteral("slDAC0"))->value(), 4800);
    EXPECT_EQ(Child<QListWidget>(QStringLiteral("lstChannels"))->item(0)->text(), "AO1: DC\tA=1.5 V");
    QTest::keyClick(Child(QStringLiteral("slDAC0")), Qt::Key_PageUp); // a volt up
    EXPECT_EQ(Model().PageWave(0).amplitude, 8000);
    EXPECT_EQ(Child<QComboBox>(QStringLiteral("cboDAC0"))->currentText(), "2.5");
    EXPECT_EQ(Child<QListWidget>(QStringLiteral("lstChannels"))->item(0)->text(), "AO1: DC\tA=2.5 V");

    ChooseKind(Waveform::Sine);
    SelectOutput(1);
    ChooseKind(Waveform::Sine);
    EXPECT_EQ(Child<QLabel>(QStringLiteral("lblDACType"))->text(), "AO2 &Type:");
    QComboBox* baseline = Child<QComboBox>(QStringLiteral("cboDAC1"));
    baseline->setFocus();
    QTest::keyClick(baseline, Qt::Key_Down); // the item under "10"
    EXPECT_EQ(Model().PageWave(1).baseline, 31200) << "9.75 V picked";
    EXPECT_EQ(Child<QSlider>(QStringLiteral("slDAC1"))->value(), 31200);
    Enter("cboRate0", "0");
    EXPECT_EQ(messages.back(), kFrequencyMessage);
    EXPECT_EQ(Focused(), "cboRate0");
    Enter("cboRate0", "250");
    EXPECT_EQ(Model().PageFrequency(), 250.0);
    Enter("cboRate1", "1");
    EXPECT_EQ(messages.size(), 3u) << "the upper end is allowed";
    EXPECT_EQ(Model().PageWave(0).phase, 1.0) << "the first output's offset, with AO2 selected";
    EXPECT_EQ(Model().PageWave(1).phase, 0.0);
    Enter("cboRate0", "0");
    EXPECT_EQ(messages.size(), 4u);
    window.reset();
    EXPECT_EQ(messages.size(), 4u) << "a box was checked as the page went away";
    dlg->Ok();
    EXPECT_EQ(s.output.generator.signalFreq, 250.0);
    EXPECT_EQ(s.output.generator.waves[1].baseline, 31200);
}

TEST_F(DacView, EnabledStatesColoursAndThePictureFollowTheWaveforms) {
    // A host's palette whose disabled boxes would keep the window colour.
    const QPalette before = QApplication::palette();
    QPalette host = before;
    const QColor window(255, 255, 240), face(200, 210, 220);
    host.setColor(QPalette::Base, window);
    host.setColor(QPalette::Button, face);
    QApplication::setPalette(host);
    struct Restore {
        const QPalette& palette;
        ~Restore() { QApplication::setPalette(palette); }
    } restore{before};
    struct Case {
        Waveform first, second;
        bool amplitude, baseline, frequency, phase;
    };
    const Case cases[] = {
        {Waveform::Dc, Waveform::Off, true, false, false, false},
        {Waveform::Off, Waveform::Off, false, false, false, false},
        {Waveform::Sine, Waveform::Noise, true, true, true, false},
        {Waveform::Triangle, Waveform::Pulse, true, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "kinds " << static_cast<int>(c.first) << ", " << static_cast<int>(c.second));
        SelectOutput(1);
        ChooseKind(c.second);
        SelectOutput(0);
        ChooseKind(c.first);
        EXPECT_EQ(Enabled("lblDAC0") && Enabled("cboDAC0") && Enabled("slDAC0"), c.amplitude);
        EXPECT_EQ(Enabled("lblDAC1") || Enabled("cboDAC1") || Enabled("slDAC1"), c.baseline);
        EXPECT_EQ(Enabled("lblRate0") && Enabled("cboRate0"), c.frequency);
        EXPECT_EQ(Enabled("lblRate1") || Enabled("cboRate1"), c.phase);
        EXPECT_EQ(Background("cboDAC0"), (c.amplitude ? window : face).name().toStdString());
        EXPECT_EQ(Background("cboRate1"), (c.phase ? window : face).name().toStdString());
        const QPixmap shown = Child<QLabel>(QStringLiteral("imgType"))->pixmap();
        EXPECT_EQ(shown.toImage(), WaveformPicture(c.first).convertToFormat(shown.toImage().format()));
    }
}

TEST_F(DacView, StartArmsTheGeneratorOnlyForAWaveformAndTheActiveButtonIsBold) {
    s.output.SetValues(s.Device(), 1.0, -2.0);
    EXPECT_TRUE(Bold("cmdDACSet0"));
    Click(QStringLiteral("cmdDACSet0"));
    EXPECT_FALSE(s.output.streamEnabled) << "both outputs Off";
    EXPECT_TRUE(Bold("cmdDACSet0"));
    EXPECT_FALSE(Bold("cmdDACSet1"));
    EXPECT_EQ(DacLevel(0), 0.0);
    EXPECT_EQ(DacLevel(1), 0.0);
    SelectOutput(1);
    ChooseKind(Waveform::Ramp);
    Click(QStringLiteral("cmdDACSet0"));
    EXPECT_TRUE(s.output.streamEnabled);
    EXPECT_EQ(s.output.generator.waves[1].waveform, Waveform::Ramp) << "Start stores the page";
    EXPECT_FALSE(Bold("cmdDACSet0"));
    EXPECT_TRUE(Bold("cmdDACSet1"));
    Click(QStringLiteral("cmdDACSet1"));
    EXPECT_FALSE(s.output.streamEnabled);
    EXPECT_TRUE(Bold("cmdDACSet0"));
}

TEST(WaveformPictures, SevenDistinctPicturesOfTheSameSizeDrawnAlikeEachTime) {
    std::vector<QImage> pictures;
    for (int16_t kind = 0; kind < core::kWaveformCount; ++kind) {
        const QImage picture = WaveformPicture(static_cast<Waveform>(kind));
        EXPECT_EQ(picture.size(), QSize(203, 33));
        EXPECT_EQ(picture, WaveformPicture(static_cast<Waveform>(kind))) << "kind " << kind;
        for (const QImage& before : pictures) EXPECT_NE(picture, before) << "kind " << kind;
        pictures.push_back(picture);
    }
    EXPECT_EQ(WaveformPicture(static_cast<Waveform>(9)), pictures[0]) << "an unknown kind shows Off";
}

class DioView : public PageViewTest {
protected:
    void SetUp() override {
        PageViewTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) Open(SetupTab::DIO);
    }

    QString Title(const char* frame) const { return Child<QGroupBox>(QString::fromLatin1(frame))->title(); }
    bool Enabled(const QString& name) const { return Child(name)->isEnabled(); }
    QTimer* Timer() const { return view->findChild<QTimer*>(QStringLiteral("tmrDI")); }
};

TEST_F(DioView, OutputBoxesComposeTheStartWordAndReachTheLinesOnlyWithOut) {
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(Child<QLabel>(QStringLiteral("lblInBin%1").arg(k))->text(), QString::number(16 - k));
        EXPECT_EQ(Child<QLabel>(QStringLiteral("lblOutBin%1").arg(k))->text(), QString::number(16 - k));
        EXPECT_TRUE(Child(QStringLiteral("chkOut%1").arg(k))->isVisible()) << k << " of 16 lines";
        EXPECT_FALSE(Enabled(QStringLiteral("chkIn%1").arg(k))) << "inputs are shown only";
    }
    EXPECT_FALSE(Enabled("cmdStart0"));
    EXPECT_FALSE(Enabled("cmdShow0"));
    Click("chkStart0");
    EXPECT_TRUE(Enabled("cmdStart0") && Enabled("cmdShow0"));
    Click("chkOut15"); // bit 0
    Click("chkOut12"); // bit 3
    EXPECT_EQ(Title("frDO"), "Output: 0x0009 (9)");
    EXPECT_EQ(Lines(), 0u) << "without Out";
    Click("cmdStart0");
    EXPECT_EQ(Child<QCheckBox>(QStringLiteral("chkStart0"))->text(), "On Start: 0x0009 (9)");
    EXPECT_EQ(dlg->Dio()->Copy().doStartValue, 9);
    EXPECT_EQ(s.dio.doStartValue, 0) << "before OK";

    EXPECT_TRUE(Enabled("cmdOutput4"));
    Click("chkOutput");
    EXPECT_EQ(Lines(), 9u) << "Out writes the composed word";
    EXPECT_FALSE(Enabled("cmdOutput4")) << "Reset while Out is ticked";
    Click("cmdOutput0");
    EXPECT_EQ(Lines(), 0u) << "Clear with Out";
    EXPECT_FALSE(Child<QCheckBox>(QStringLiteral("chkOut15"))->isChecked());
    Click("chkOutput");
    EXPECT_TRUE(Enabled("cmdOutput4"));
    Click("cmdShow0");
    EXPECT_TRUE(Child<QCheckBox>(QStringLiteral("chkOut12"))->isChecked()) << "the start word shown";
    EXPECT_EQ(Lines(), 0u);
    window.reset();
    dlg->Ok();
    EXPECT_EQ(s.dio.doStartValue, 9);
    EXPECT_TRUE(s.dio.doStartEnabled);
}

TEST_F(DioView, InputsArePolledOnlyWhileInIsTickedAndThePageShown) {
    ASSERT_NE(Timer(), nullptr);
    EXPECT_FALSE(Timer()->isActive());
    EXPECT_EQ(Timer()->interval(), 1000);
    Click("chkInput");
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(Title("frDI"), "Input: 0x0000 (0)");
    s.dio.WriteOutputs(s.Device(), 0x00F0); // the inputs read the lines back
    EXPECT_TRUE(QTest::qWaitFor([&] { return Title("frDI") == "Input: 0x00F0 (240)"; }, 3000)) << "no poll";
    EXPECT_TRUE(Child<QCheckBox>(QStringLiteral("chkIn8"))->isChecked()) << "bit 7";
    EXPECT_FALSE(Child<QCheckBox>(QStringLiteral("chkIn7"))->isChecked()) << "bit 8";

    Select(SetupTab::General);
    EXPECT_FALSE(Timer()->isActive()) << "the tab left";
    s.dio.WriteOutputs(s.Device(), 0x0F00);
    Select(SetupTab::DIO);
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(Title("frDI"), "Input: 0x0F00 (3840)") << "refreshed when shown";
    EXPECT_EQ(Title("frDO"), "Output: 0x0F00 (3840)") << "the word last written";
    Click("chkInput");
    EXPECT_FALSE(Timer()->isActive());
    Select(SetupTab::General);
    Select(SetupTab::DIO);
    EXPECT_FALSE(Timer()->isActive()) << "In not ticked";
}

} // namespace
} // namespace velmora::ui
