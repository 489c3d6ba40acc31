// The DAC and Digital I/O pages' widgets driven as a user drives them, over
// a driver record with the simulated module. The page models hold the
// behaviour; here each kind of control shows that it reaches its model and
// draws what the model holds: keys typed into a box and focus leaving it, an
// item picked, a slider moved, buttons and boxes clicked, the polling timer.
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

#include "driver_record.h"
#include "qt_printers.h"
#include "ui/qt/page_views.h"
#include "ui/qt/qt_application.h"
#include "ui/qt/waveform_picture.h"
#include "ui/setup_model.h"

namespace velmora::ui {
namespace {

using core::Waveform;
using test::ModuleDacLevel;
using test::ModuleLines;

constexpr const char* kLevelMessage = "Please, set the number in range from -10 to 10 V!";

// The setup dialog's model opened on one page over a detected module, and
// that page's view in an active window of its own, so that the focus moves
// as it does for a user.
class PageViewTest : public test::DriverRecordTest {
protected:
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::string why;
        ASSERT_NE(EnsureApplication(why), nullptr) << why;
        DriverRecordTest::SetUp();
        if (!IsSkipped()) Detect();
    }
    void TearDown() override {
        window.reset();
        dlg.reset();
        DriverRecordTest::TearDown();
    }

    // The frame's order: the model is told first, then the view.
    void Select(SetupTab tab) {
        for (int i = 0; i < dlg->TabCount(); ++i)
            if (dlg->Tab(i) == tab) dlg->SelectTab(i);
        if (view == nullptr) return;
        if (tab == page)
            view->Shown();
        else
            view->Hidden();
    }

    void Open(SetupTab tab) {
        dlg = std::make_unique<dlgSetupModel>(s);
        dlg->Activate();
        page = tab;
        Select(tab);
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
    bool Enabled(const QString& name) const { return Child(name)->isEnabled(); }
    static std::string Focused() {
        QWidget* focus = QApplication::focusWidget();
        return focus != nullptr ? focus->objectName().toStdString() : std::string();
    }
    void Click(const QString& name) const { QTest::mouseClick(Child<QAbstractButton>(name), Qt::LeftButton); }

    std::vector<std::string> messages;
    PageServices services{[this](QWidget*, const std::string& text) { messages.push_back(text); }, {}};
    std::unique_ptr<dlgSetupModel> dlg;
    std::unique_ptr<QWidget> window;
    PageView* view = nullptr;
    SetupTab page = SetupTab::General;
};

// A host's palette, whose disabled boxes would keep the window colour.
class DacView : public PageViewTest {
protected:
    void SetUp() override {
        QPalette host = before;
        host.setColor(QPalette::Base, window_);
        host.setColor(QPalette::Button, face);
        QApplication::setPalette(host);
        PageViewTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) Open(SetupTab::DAC);
    }
    void TearDown() override {
        PageViewTest::TearDown();
        QApplication::setPalette(before);
    }

    ucDACModel& Model() const { return *dlg->Dac(); }
    QString Line(int channel) const { return Child<QListWidget>("lstChannels")->item(channel)->text(); }

    void SelectOutput(int channel) const {
        auto* list = Child<QListWidget>("lstChannels");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(channel)).center());
    }
    // Picked with the keys on the closed list.
    void ChooseKind(Waveform kind) const {
        auto* kinds = Child<QComboBox>("cboDACType");
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
    bool Bold(const char* name) const { return Child(name)->font().bold(); }
    QColor Base(const char* name) const { return Child(name)->palette().color(QPalette::Base); }
    void ExpectPicture(Waveform kind) const {
        const QImage shown = Child<QLabel>("imgType")->pixmap().toImage();
        EXPECT_EQ(shown, WaveformPicture(kind).convertToFormat(shown.format())) << static_cast<int>(kind);
    }

    const QPalette before = QApplication::palette();
    const QColor window_{255, 255, 240}, face{200, 210, 220};
};

TEST_F(DacView, BoxesAreCheckedAsTheFocusLeavesOrAnItemIsPickedAndTheControlsFollow) {
    SelectOutput(0);
    ChooseKind(Waveform::Dc);
    ExpectPicture(Waveform::Dc);
    EXPECT_TRUE(Enabled("lblDAC0") && Enabled("cboDAC0") && Enabled("slDAC0"));
    for (const char* name : {"lblDAC1", "cboDAC1", "slDAC1", "lblRate0", "cboRate0", "lblRate1", "cboRate1"})
        EXPECT_FALSE(Enabled(name)) << name << " for DC";
    EXPECT_EQ(Base("cboDAC0"), window_);
    EXPECT_EQ(Base("cboDAC1"), face) << "a disabled box";
    Enter("cboDAC0", "12");
    EXPECT_EQ(messages, std::vector<std::string>{kLevelMessage});
    EXPECT_EQ(Focused(), "cboDAC0") << "the focus left a refused box";
    Enter("cboDAC0", "1.5");
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Model().PageWave(0).amplitude, 4800);
    EXPECT_EQ(Child<QSlider>("slDAC0")->value(), 4800);
    EXPECT_EQ(Line(0), "AO1: DC\tA=1.5 V");
    QTest::keyClick(Child("slDAC0"), Qt::Key_PageUp); // a volt up
    EXPECT_EQ(Model().PageWave(0).amplitude, 8000);
    EXPECT_EQ(Child<QComboBox>("cboDAC0")->currentText(), "2.5");

    SelectOutput(1);
    EXPECT_EQ(Child<QLabel>("lblDACType")->text(), "AO2 &Type:");
    ChooseKind(Waveform::Sine);
    ExpectPicture(Waveform::Sine);
    EXPECT_TRUE(Enabled("slDAC1") && Enabled("lblRate0") && Enabled("cboRate0"));
    EXPECT_EQ(Base("cboDAC1"), window_);
    QComboBox* baseline = Child<QComboBox>("cboDAC1");
    baseline->setFocus();
    QTest::keyClick(baseline, Qt::Key_Down); // the item under "10"
    EXPECT_EQ(Model().PageWave(1).baseline, 31200) << "9.75 V picked";
    Enter("cboRate0", "250");
    EXPECT_EQ(Model().PageFrequency(), 250.0);
    Enter("cboRate0", "0");
    EXPECT_EQ(messages.size(), 2u);
    window.reset();
    EXPECT_EQ(messages.size(), 2u) << "a box was checked as the page went away";
    dlg->Ok();
    EXPECT_EQ(s.output.generator.signalFreq, 250.0);
    EXPECT_EQ(s.output.generator.waves[1].baseline, 31200);
}

TEST_F(DacView, StartArmsTheGeneratorStopStopsItAndTheActiveButtonIsBold) {
    s.output.SetValues(s.Device(), 1.0, -2.0);
    Click("cmdDACSet0");
    EXPECT_FALSE(s.output.streamEnabled) << "both outputs Off";
    EXPECT_EQ(ModuleDacLevel(1), 0.0) << "an Off output at 0 V";
    EXPECT_TRUE(Bold("cmdDACSet0"));
    SelectOutput(1);
    ChooseKind(Waveform::Ramp);
    Click("cmdDACSet0");
    EXPECT_TRUE(s.output.streamEnabled);
    EXPECT_EQ(s.output.generator.waves[1].waveform, Waveform::Ramp) << "Start stores the page";
    EXPECT_FALSE(Bold("cmdDACSet0"));
    EXPECT_TRUE(Bold("cmdDACSet1"));
    Click("cmdDACSet1");
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

    QString Title(const char* frame) const { return Child<QGroupBox>(frame)->title(); }
    bool Ticked(const QString& box) const { return Child<QCheckBox>(box)->isChecked(); }
    QTimer* Timer() const { return view->findChild<QTimer*>("tmrDI"); }
};

TEST_F(DioView, BoxesComposeTheWordButtonsActOnItAndOkStoresTheStartWord) {
    EXPECT_EQ(Child<QLabel>("lblInBin0")->text(), "16");
    EXPECT_EQ(Child<QLabel>("lblOutBin15")->text(), "1");
    EXPECT_FALSE(Enabled("chkIn0")) << "inputs are shown only";
    EXPECT_FALSE(Enabled("cmdStart0"));
    Click("chkStart0");
    EXPECT_TRUE(Enabled("cmdStart0") && Enabled("cmdShow0"));
    Click("chkOut15"); // bit 0
    Click("chkOut12"); // bit 3
    EXPECT_EQ(Title("frDO"), "Output: 0x0009 (9)");
    Click("cmdStart0");
    EXPECT_EQ(Child<QCheckBox>("chkStart0")->text(), "On Start: 0x0009 (9)");
    EXPECT_EQ(ModuleLines(), 0u) << "without Out";
    Click("chkOutput");
    EXPECT_EQ(ModuleLines(), 9u) << "Out writes the composed word";
    EXPECT_FALSE(Enabled("cmdOutput4")) << "Reset while Out is ticked";
    Click("cmdOutput0");
    EXPECT_EQ(ModuleLines(), 0u) << "Clear with Out";
    EXPECT_FALSE(Ticked("chkOut15"));
    Click("cmdShow0");
    EXPECT_TRUE(Ticked("chkOut12")) << "the start word shown";
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
    s.dio.WriteOutputs(s.Device(), 0x00F0); // the inputs read the lines back
    EXPECT_TRUE(QTest::qWaitFor([&] { return Title("frDI") == "Input: 0x00F0 (240)"; }, 3000)) << "no poll";
    EXPECT_TRUE(Ticked("chkIn8")) << "bit 7";
    EXPECT_FALSE(Ticked("chkIn7")) << "bit 8";
    Select(SetupTab::General);
    EXPECT_FALSE(Timer()->isActive()) << "the tab left";
    s.dio.WriteOutputs(s.Device(), 0x0F00);
    Select(SetupTab::DIO);
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(Title("frDI"), "Input: 0x0F00 (3840)") << "refreshed when shown";
    Click("chkInput");
    EXPECT_FALSE(Timer()->isActive());
}

} // namespace
} // namespace velmora::ui
