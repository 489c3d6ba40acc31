// The setup dialog's frame and the pages that act on the module, against the
// simulated module: the tab set per module, the remembered tab, what OK and
// Cancel store, the DAC page's Start and Stop, and the digital lines.
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "driver_record.h"
#include "e16sim_control.h"
#include "ui/setup_model.h"

namespace velmora::ui {
namespace {

using core::StartMode;
using core::Waveform;
using test::kSimWithoutDac;
using test::ModuleDacLevel;
using test::ModuleLines;

// The module with analog outputs detected, unless a test detects another.
class SetupDialogTest : public test::DriverRecordTest {
protected:
    void SetUp() override {
        DriverRecordTest::SetUp();
        if (!IsSkipped()) Detect();
    }

    // The dialog opened on the tab of `tab`.
    static void Open(dlgSetupModel& dlg, SetupTab tab) {
        dlg.Activate();
        for (int i = 0; i < dlg.TabCount(); ++i)
            if (dlg.Tab(i) == tab) dlg.SelectTab(i);
        ASSERT_EQ(dlg.Tab(dlg.SelectedTab()), tab);
    }
    // The dialog open on the DIO page, with the output boxes of bits 0 and 1
    // ticked when `bits01`.
    ucDIOModel& DioPage(bool bits01 = false) {
        Open(dlg.emplace(s), SetupTab::DIO);
        if (bits01) {
            dlg->Dio()->OutputBoxClick(15, true); // bit 0
            dlg->Dio()->OutputBoxClick(14, true); // bit 1
        }
        return *dlg->Dio();
    }

    std::optional<dlgSetupModel> dlg; // DioPage's
};

TEST(SetupTitle, CarriesTheVersion) {
    EXPECT_EQ(SetupTitle("Lintara", 3, 2, 1), "Lintara Setup (v3.2.1)");
}

// The window's tests read the tabs, Help, the remembered tab and which pages
// are made through it.
TEST_F(SetupDialogTest, TheHelpContextIsTheModules) {
    s.settings.helpFile = (store_.dir().path() / "LCardE16.chm").string();
    EXPECT_EQ(dlgSetupModel(s).HelpContext(), 16) << "from E16";
}

// The tab is remembered by the close box too.
TEST_F(SetupDialogTest, APageStaysMadeUntilTheDialogCloses) {
    {
        dlgSetupModel dlg(s);
        dlg.Activate();
        dlg.SelectTab(3);
        EXPECT_FALSE(dlg.PageVisible(0)) << "the page left";
        EXPECT_TRUE(dlg.PageExists(0)) << "a page stays made while the dialog is open";
        dlg.CloseBox();
        EXPECT_EQ(dlg.Dio(), nullptr) << "pages are released at closing";
    }
    EXPECT_EQ(s.setupLastTab, 3) << "the close box keeps the tab too";
}

TEST_F(SetupDialogTest, ARememberedTabBeyondTheTabsOpensTheFirst) {
    s.module.Release(); // for the module without outputs
    Detect(kSimWithoutDac);
    s.setupLastTab = 3;
    dlgSetupModel dlg(s);
    std::vector<std::string> captions;
    for (int i = 0; i < dlg.TabCount(); ++i) captions.push_back(dlg.TabCaption(i));
    EXPECT_EQ(captions, (std::vector<std::string>{"General", "ADC", "DIO"}));
    dlg.Activate();
    EXPECT_EQ(dlg.SelectedTab(), 0) << "tab 3 of three tabs";
    EXPECT_TRUE(dlg.PageVisible(0));
}

TEST_F(SetupDialogTest, OkStoresOnlyThePagesThatWereMade) {
    const int64_t programmed = e16sim_call_count("X502_SetLChannel");
    {
        dlgSetupModel dlg(s);
        dlg.Activate();
        dlg.General()->SelectSynchro(2);
        dlg.Ok();
    }
    EXPECT_EQ(s.sync.mode, StartMode::Syn1Fall);
    EXPECT_EQ(e16sim_call_count("X502_SetLChannel"), programmed) << "the ADC page was never made";

    dlgSetupModel dlg(s);
    Open(dlg, SetupTab::ADC);
    dlg.Adc()->ChooseOption(ucADCModel::kSingleX);
    dlg.Ok();
    EXPECT_EQ(s.input.channelTable[0].singleEnded, 1);
    e16sim_config pending{};
    e16sim_get_config(E16SIM_MODULE_DAC, 0, &pending);
    EXPECT_EQ(pending.lch[0].mode, 0u) << "the module measures channel 0 against ground at once";
}

TEST_F(SetupDialogTest, CancelStoresNothingButWhatWasAppliedAtOnceStays) {
    s.dio.doStartValue = 5;
    {
        dlgSetupModel dlg(s);
        dlg.Activate();
        dlg.General()->SelectSynchro(3);
        Open(dlg, SetupTab::ADC);
        dlg.Adc()->ChSet(ucADCModel::kPresetSingle);
        Open(dlg, SetupTab::DAC);
        ucDACModel& dac = *dlg.Dac();
        dac.SelectChannel(0);
        dac.ChooseWaveform(static_cast<int>(Waveform::Dc));
        ASSERT_TRUE(dac.CheckLevel(0, "2").passed);
        dac.Start();
        dac.SelectChannel(1);
        dac.ChooseWaveform(static_cast<int>(Waveform::Sine));
        Open(dlg, SetupTab::DIO);
        ucDIOModel& dio = *dlg.Dio();
        dio.StartSwitch(0, true);
        dio.OutputButton(ucDIOModel::kSetAll);
        dio.SetWord(0);
        dio.OutputSwitch(true);
        dlg.Cancel();
    }
    EXPECT_EQ(std::tuple(s.sync.mode, s.input.channelTable[0].singleEnded, s.dio.doStartValue,
                         s.dio.doStartEnabled),
              std::tuple(StartMode::Internal, 0, 5, false));
    EXPECT_EQ(std::tuple(s.output.generator.waves[0].waveform, s.output.generator.waves[1].waveform),
              std::tuple(Waveform::Dc, Waveform::Off))
        << "the first stored by Start, the second edited after it";
    // Applied at once: the DC level and the lines written with Out.
    EXPECT_EQ(std::tuple(ModuleDacLevel(0), ModuleLines(), s.dio.doValue), std::tuple(2.0, 0xFFFFu, 0xFFFF));
}

// A phase typed on the DAC page reads back the same after the settings are
// saved and loaded again; 1, a whole period, as 0, as the settings keep the
// phase. Each starts from the phase the one before saved.
TEST_F(SetupDialogTest, APhaseTypedOnThePageReadsBackAfterReloading) {
    const std::tuple<const char*, double, const char*> phases[] = {
        {"1", 0.0, "0"},        {"0.999", 0.999, "0.999"}, {"1.0", 0.0, "0"},
        {"0.25", 0.25, "0.25"}, {"0", 0.0, "0"},
    };
    for (const auto& [typed, phase, shown] : phases) {
        SCOPED_TRACE(typed);
        {
            dlgSetupModel dlg(s);
            Open(dlg, SetupTab::DAC);
            for (int c : {1, 0}) {
                dlg.Dac()->SelectChannel(c);
                dlg.Dac()->ChooseWaveform(static_cast<int>(Waveform::Sine));
            }
            dlg.Dac()->Edit(ucDACModel::kPhase, typed);
            ASSERT_TRUE(dlg.CommitEntries().passed);
            EXPECT_EQ(dlg.Dac()->RateText(1), shown) << "before the save";
            EXPECT_EQ(dlg.Dac()->PageWave(0).phase, phase) << "before the save";
            dlg.Ok();
        }
        driver::OnObjectDestroyed(s); // the last object saves
        s.output.generator.waves[0].phase = 0.5;
        Detect();
        EXPECT_EQ(s.output.generator.waves[0].phase, phase);
        dlgSetupModel dlg(s);
        Open(dlg, SetupTab::DAC);
        EXPECT_EQ(dlg.Dac()->RateText(1), shown) << "loaded";
        dlg.Cancel();
    }
}

// The page views' tests drive Start and Stop, the output boxes with and
// without Out, the start word and the polling through the widgets; what
// they do not reach follows.
TEST_F(SetupDialogTest, WithOutEveryClickWrites) {
    ucDIOModel& dio = DioPage(true);
    dio.OutputSwitch(true);
    EXPECT_EQ(dio.InputCaption(), "Input: 0x0003 (3)") << "the inputs read back after the write";
    dio.OutputBoxClick(0, true); // bit 15
    EXPECT_EQ(ModuleLines(), 0x8003u) << "with Out every click writes";
    dio.OutputSwitch(false);
    dio.OutputBoxClick(15, false);
    EXPECT_EQ(ModuleLines(), 0x8003u);
}

TEST_F(SetupDialogTest, AnEchoedOutputClickIsIgnored) {
    ucDIOModel& dio = DioPage(true);
    {
        auto refreshing = dio.Refreshing();
        dio.OutputBoxClick(14, false);
    }
    EXPECT_EQ(dio.OutputCaption(), "Output: 0x0003 (3)") << "an echoed click has no reaction";
}

TEST_F(SetupDialogTest, ResetGoesBackToTheWordWritten) {
    ucDIOModel& dio = DioPage(true);
    dio.OutputSwitch(true);
    dio.OutputSwitch(false);
    dio.OutputBoxClick(15, false);
    dio.OutputButton(ucDIOModel::kReset);
    EXPECT_TRUE(dio.OutputBox(15) && dio.OutputBox(14)) << "back to the word last written";
    EXPECT_EQ(dio.OutputCaption(), "Output: 0x0003 (3)");
}

// The lines take the low 16 bits; the stored word is kept whole.
TEST_F(SetupDialogTest, AStopWordWiderThanTheLinesIsKeptWhole) {
    s.dio.doStopEnabled = true;
    s.dio.doStopValue = 0x12345;
    ucDIOModel& dio = DioPage();
    EXPECT_EQ(dio.StartCaption(1), "On Stop: 0x2345 (9029)");
    EXPECT_TRUE(dio.StartButtonsEnabled(1));
    dio.ShowWord(1);
    EXPECT_EQ(dio.OutputCaption(), "Output: 0x2345 (9029)");
    dlg->Ok();
    EXPECT_EQ(s.dio.doStopValue, 0x12345) << "kept whole";
}

TEST_F(SetupDialogTest, SetStaysDisabledUntilOnStartIsTicked) {
    ucDIOModel& dio = DioPage();
    dio.OutputBoxClick(15, true);
    dio.SetWord(0);
    EXPECT_EQ(dio.Copy().doStartValue, 0) << "Set stays disabled until On Start is ticked";
}

TEST_F(SetupDialogTest, AsInputTakesTheInputsShown) {
    ucDIOModel& dio = DioPage();
    dio.OutputBoxClick(15, true);
    s.dio.WriteOutputs(s.Device(), 0x00F0); // the inputs read the lines back
    dio.OutputButton(ucDIOModel::kAsInput);
    EXPECT_EQ(dio.OutputCaption(), "Output: 0x0000 (0)") << "not a fresh reading";
    dio.InputSwitch(true);
    dio.OutputButton(ucDIOModel::kAsInput);
    EXPECT_EQ(dio.OutputCaption(), "Output: 0x00F0 (240)");
}

} // namespace
} // namespace velmora::ui
