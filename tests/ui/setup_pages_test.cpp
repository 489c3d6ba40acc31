// The setup pages on plain driver records, without a module or a toolkit:
// what each page shows, its entry checks and guards, and what it stores.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "engine/analog_input.h"
#include "engine/module_link.h"
#include "output/analog_output.h"
#include "test_support.h"
#include "ui/adc_page_model.h"
#include "ui/dac_page_model.h"
#include "ui/general_page_model.h"
#include "ui/locale_numbers.h"

namespace velmora::ui {
namespace {

using core::StartMode;
using core::SyncDirection;
using core::Waveform;

// A described analog input and output, as the driver has them after a
// detection, under a locale with a decimal point.
class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        input.Describe();
        output.Describe();
        module.dacPresent = true;
    }

    test::ScopedEnv locale{"LC_ALL", "C"};
    engine::AnalogInput input;
    output::AnalogOutput output;
    engine::ModuleLink module;
    core::StartSync sync;
};

using GeneralPageTest = PageTest;

// A start's fields, to be compared at once.
auto Fields(const core::StartSync& sync) {
    return std::tuple(sync.mode, sync.direction, sync.channel, sync.range, sync.level);
}

// Halves of the last digit shown go away from zero, as the number is written:
// 250 codes are 0.078125 V exactly, 13 codes 0.0040625 V in a float just
// below it.
TEST_F(GeneralPageTest, LevelTextShowsTheLevelOnItsRange) {
    // Level, range; the text.
    const std::tuple<int16_t, int16_t, std::string> levels[] = {
        {16000, 0, "5.0"},   {320, 0, "0.100"},     {100, 3, "0"},         {-4000, 1, "-0.3125"},
        {40, 0, "0.0125"},   {250, 0, "0.07813"},   {-250, 0, "-0.07813"}, {25, 0, "0.007813"},
        {13, 0, "0.004063"}, {-13, 0, "-0.004063"}, {31999, 0, "10.0"},    {-31999, 0, "-10.0"},
        {3, 0, "0"}};
    for (const auto& [level, range, text] : levels) {
        SCOPED_TRACE(testing::Message() << "level " << level << " on range " << range);
        sync = {StartMode::AnalogLevel, SyncDirection::Above, 0, range, level};
        ucGeneralModel page(sync, input, module);
        // The slider shows the level negated.
        EXPECT_EQ(std::tuple(page.LevelText(), page.LevelPosition()), std::tuple(text, -level));
    }
}

// From a level of 0.1 V on the 10 V range.
TEST_F(GeneralPageTest, EachLevelControlSetsTheSliderPosition) {
    const struct {
        const char* control;
        void (*act)(ucGeneralModel&);
        int position;
        std::string text;
    } moves[] = {
        {"a new range keeps the position", [](ucGeneralModel& p) { p.SelectRange(1); }, -320, "0.025"},
        {"past the slider's end", [](ucGeneralModel& p) { p.MoveLevel(-40000); }, -32000, "10.0"},
        {"Set 0", [](ucGeneralModel& p) { p.SetZero(); }, 0, "0"},
    };
    for (const auto& m : moves) {
        SCOPED_TRACE(m.control);
        sync = {StartMode::AnalogLevel, SyncDirection::Above, 0, 0, 320};
        ucGeneralModel page(sync, input, module);
        m.act(page);
        EXPECT_EQ(std::tuple(page.LevelPosition(), page.LevelText()), std::tuple(m.position, m.text));
    }
}

TEST_F(GeneralPageTest, StoredSettingsOutOfBoundsAreSavedAsShown) {
    sync = {StartMode::AnalogLevel, static_cast<SyncDirection>(9), 20, 2, 32767};
    ucGeneralModel page(sync, input, module);
    ASSERT_EQ(page.SynchroItems().size(), 37u) << "five edge items and AI1..AI32";
    EXPECT_EQ(page.SynchroItems()[static_cast<std::size_t>(page.SynchroIndex())], "AI21");
    EXPECT_EQ(page.RangeItems()[static_cast<std::size_t>(page.RangeIndex())], "\u00B10.625 V");
    // The stored level put within the slider, a direction past the last option
    // shown as the last.
    EXPECT_EQ(std::tuple(page.AnalogEnabled(), page.LevelPosition(), sync.level, page.Direction()),
              std::tuple(true, -32000, 32000, 3));
    sync = {};
    page.Page_SaveSetting();
    EXPECT_EQ(Fields(sync), Fields({StartMode::AnalogLevel, SyncDirection::Below, 20, 2, 32000}));
    page.SelectDirection(0);
    page.SelectDirection(3); // the last option
    page.SelectDirection(4); // past it: refused
    page.Page_SaveSetting();
    EXPECT_EQ(sync.direction, SyncDirection::Below);
}

// The analog controls are disabled, and what they held is kept as stored.
TEST_F(GeneralPageTest, AnEdgeModeSetsTheAnalogSettingsAside) {
    sync = {StartMode::AnalogLevel, SyncDirection::RisingThrough, 3, 2, 100};
    ucGeneralModel page(sync, input, module);
    page.SelectSynchro(0);
    EXPECT_FALSE(page.AnalogEnabled()) << "None";
    page.MoveLevel(500);
    page.SelectRange(0);
    page.SelectDirection(2);
    page.SelectSynchro(2);
    EXPECT_EQ(page.SynchroItems()[2], "TRIG Fall");
    page.Page_SaveSetting();
    EXPECT_EQ(Fields(sync), Fields({StartMode::Syn1Fall, SyncDirection::RisingThrough, 3, 2, 100}))
        << "the analog settings are kept";
}

using AdcPageTest = PageTest;

// The selected line, its caption and its option.
auto Selection(const ucADCModel& page) {
    return std::tuple(page.SelectedLine(), page.InputCaption(), page.ChosenOption());
}

TEST_F(AdcPageTest, TheStartUpTableReadsDifferentialThenCalibration) {
    ucADCModel page(input, module);
    ASSERT_EQ(page.Lines().size(), 32u);
    EXPECT_EQ(std::tuple(page.Lines()[0], page.Lines()[15], page.Lines()[16]),
              std::tuple("AI1\tXY1", "AI16\tXY16", "AI17\tCalibration 0"));
    EXPECT_EQ(std::tuple(page.SelectedLine(), page.ChosenOption(), page.SourceItems()[page.SourceIndex()]),
              std::tuple(0, ucADCModel::kDifferential, "XY1"));
    page.SelectLine(16);
    EXPECT_EQ(Selection(page), std::tuple(16, "&AI17:", ucADCModel::kCalibration));
    EXPECT_EQ(std::tuple(page.SourceEnabled(), page.SourceIndex()), std::tuple(false, -1));
}

TEST_F(AdcPageTest, AnOptionKeepsTheInputNumber) {
    input.channelTable[2] = {2, 1}; // X3
    ucADCModel page(input, module);
    page.SelectLine(4);
    page.ChooseOption(ucADCModel::kSingleY);
    EXPECT_EQ(page.Lines()[4], "AI5\tY5") << "XY5 on the other side";
    page.SelectLine(2);
    page.ChooseOption(ucADCModel::kCalibration);
    page.ChooseOption(ucADCModel::kDifferential);
    EXPECT_EQ(page.Lines()[2], "AI3\tXY3") << "X3 through Calibration 0";
}

// A source echoed while the view refreshes is no choice.
TEST_F(AdcPageTest, TheSourceListPicksAnInputOnTheOptionsSide) {
    ucADCModel page(input, module);
    page.SelectLine(7);
    page.ChooseOption(ucADCModel::kSingleY);
    ASSERT_EQ(page.SourceItems().size(), 16u);
    page.ChooseSource(9);
    {
        auto refreshing = page.Refreshing();
        page.ChooseSource(0);
    }
    // Y10 is source 25.
    EXPECT_EQ(std::tuple(page.PageTable()[7].source, page.PageTable()[7].singleEnded != 0, page.Lines()[7]),
              std::tuple(25, true, "AI8\tY10"));
    EXPECT_EQ(input.channelTable[7].source, 7) << "nothing is stored before the save";
}

TEST_F(AdcPageTest, EveryPresetKeepsTheSelectedLine) {
    input.channelTable[5] = {20, 1}; // Y5
    ucADCModel page(input, module);
    page.SelectLine(9);
    page.ChSet(ucADCModel::kPresetSingle);
    EXPECT_EQ(std::tuple(page.Lines()[0], page.Lines()[16]), std::tuple("AI1\tX1", "AI17\tY1"));
    EXPECT_EQ(Selection(page), std::tuple(9, "&AI10:", ucADCModel::kSingleX)) << "the line's new option";
    page.ChSet(ucADCModel::kPresetDifferential);
    EXPECT_EQ(std::tuple(page.Lines()[5], page.Lines()[31]), std::tuple("AI6\tXY6", "AI32\tCalibration 0"));
    page.SelectLine(5);
    page.ChSet(ucADCModel::kReset);
    EXPECT_EQ(page.Lines()[5], "AI6\tY5") << "the stored table again";
    EXPECT_EQ(Selection(page), std::tuple(5, "&AI6:", ucADCModel::kSingleY));
}

using DacPageTest = PageTest;

// What passes or fails, and why: the message shown when it fails.
std::pair<bool, std::string> Outcome(const EntryCheck& check) {
    return {check.passed, check.message};
}

// A level box or a rate box, its index and the text; the message, none when
// it passes. Values past the bounds are with the commits below; the last is
// the frequency's lower end, blanks around.
TEST_F(DacPageTest, EntriesAreCheckedAgainstTheirBounds) {
    const std::string levels = "Please, set the number in range from -10 to 10 V!";
    const std::tuple<bool, int, const char*, std::string> entries[] = {
        {true, 0, "", levels}, {true, 0, "1,5", levels}, {false, 0, " 0.5 ", ""}};
    ucDACModel page(output, module);
    EXPECT_EQ(page.PageFrequency(), 100.0);
    for (const auto& [level, box, text, message] : entries) {
        SCOPED_TRACE(testing::Message() << (level ? "level " : "rate ") << box << " '" << text << "'");
        EXPECT_EQ(Outcome(level ? page.CheckLevel(box, text) : page.CheckRate(box, text)),
                  std::pair(message.empty(), message));
    }
    EXPECT_EQ(page.PageFrequency(), 0.5);
}

// The phase and the frequency ask for periodic kinds on both outputs and on
// either, the baseline for more than a level.
TEST_F(DacPageTest, EachKindShowsOnlyItsValues) {
    output.generator.waves[0] = {Waveform::Off, -4800, 3200, 0.0};
    ucDACModel page(output, module);
    // Kinds of the first and second output; amplitude, baseline, frequency,
    // phase; the first output's line.
    const std::tuple<Waveform, Waveform, bool, bool, bool, bool, std::string> cases[] = {
        {Waveform::Off, Waveform::Off, false, false, false, false, "AO1: Off"},
        {Waveform::Dc, Waveform::Off, true, false, false, false, "AO1: DC\tA=-1.5 V"}, // no baseline
        {Waveform::Noise, Waveform::Sine, true, true, true, false, "AO1: Noise\tA=-1.5 V\tB=1 V"},
        {Waveform::Triangle, Waveform::Pulse, true, true, true, true, "AO1: Triangle\tA=-1.5 V\tB=1 V"}};
    for (const auto& [first, second, amplitude, baseline, frequency, phase, line] : cases) {
        SCOPED_TRACE(testing::Message()
                     << "kinds " << static_cast<int>(first) << ", " << static_cast<int>(second));
        page.SelectChannel(1);
        page.ChooseWaveform(static_cast<int>(second));
        page.SelectChannel(0);
        page.ChooseWaveform(static_cast<int>(first));
        EXPECT_EQ(
            std::tuple(page.LevelEnabled(0), page.LevelEnabled(1), page.RateEnabled(0), page.RateEnabled(1)),
            std::tuple(amplitude, baseline, frequency, phase));
        EXPECT_EQ(page.Picture(), first);
        EXPECT_EQ(page.Lines()[0], line);
    }
}

TEST_F(DacPageTest, SlidersStoreTheirLevelUnlessTheViewIsRefreshing) {
    output.generator.waves[0] = {Waveform::Sine, 100, 3200, 0.0};
    ucDACModel page(output, module);
    page.ScrollSlider(0, 16000);
    EXPECT_EQ(page.LevelText(0), "5") << "while dragging";
    EXPECT_EQ(page.PageWave(0).amplitude, 100) << "dragging stores nothing";
    {
        auto refreshing = page.Refreshing();
        page.ChangeSlider(1, -6400);
    }
    EXPECT_EQ(page.PageWave(0).baseline, 3200) << "a change echoed while the view refreshes";
    page.ChangeSlider(1, -6400);
    EXPECT_EQ(page.Lines()[0], "AO1: Sine\tA=0.031 V\tB=-2 V");
}

// The output shown at closing is shown at the next opening.
TEST_F(DacPageTest, TheCopyIsStoredOnSave) {
    output.generator.signalFreq = 0.1; // below the lowest
    output.pageChannel = 1;
    {
        ucDACModel page(output, module);
        EXPECT_EQ(std::tuple(page.SelectedChannel(), page.TypeCaption(), page.RateText(0)),
                  std::tuple(1, "AO2 &Type:", "100"));
        page.ChooseWaveform(static_cast<int>(Waveform::Ramp));
        ASSERT_TRUE(page.CheckLevel(1, "2.5").passed);
        EXPECT_EQ(output.generator.waves[1].waveform, Waveform::Off) << "before the save";
        page.Page_SaveSetting();
        page.SelectChannel(0);
        page.Closing();
    }
    EXPECT_EQ(output.generator.waves[1].waveform, Waveform::Ramp);
    EXPECT_EQ(std::tuple(output.generator.waves[1].baseline, output.generator.signalFreq, output.pageChannel),
              std::tuple(8000, 100.0, 0));
    EXPECT_FALSE(output.streamEnabled) << "only Start arms the generator";
}

// What a box holds for each DAC box: an entry in range and its value, one out
// of range and its message.
const struct BoxCase {
    int box;
    const char* good;
    double value;
    const char* bad;
    const char* message;
} kBoxCases[] = {
    {ucDACModel::kAmplitude, "1.3", 4160, "12", "Please, set the number in range from -10 to 10 V!"},
    {ucDACModel::kBaseline, "-2.5", -8000, "abc", "Please, set the number in range from -10 to 10 V!"},
    {ucDACModel::kFrequency, "250", 250, "250000", "Please, set the number in range from 0.5 to 100000!"},
    {ucDACModel::kPhase, "0.3", 0.3, "1.01", "Please, set the number in range from 0 to 1!"}};

// The working copy's value behind a box.
double PageValue(const ucDACModel& page, int box) {
    if (box == ucDACModel::kFrequency) return page.PageFrequency();
    const core::WaveSettings& wave = page.PageWave(0);
    return box == ucDACModel::kAmplitude  ? wave.amplitude
           : box == ucDACModel::kBaseline ? wave.baseline
                                          : wave.phase;
}

std::string BoxText(const ucDACModel& page, int box) {
    return box < ucDACModel::kFrequency ? page.LevelText(box) : page.RateText(box - ucDACModel::kFrequency);
}

// A refused entry stays pending until fixed; one in range waits for a commit.
TEST_F(DacPageTest, OnlyACommittedEntryInRangeIsStored) {
    output.generator.waves.fill({Waveform::Sine, 3200, 0, 0.0}); // every box enabled
    for (const BoxCase& c : kBoxCases) {
        SCOPED_TRACE(testing::Message() << "box " << c.box);
        ucDACModel page(output, module);
        const double before = PageValue(page, c.box);
        const std::string shown = BoxText(page, c.box);
        page.Edit(c.box, c.bad);
        EXPECT_EQ(page.PendingBox(), c.box);
        EXPECT_EQ(BoxText(page, c.box), c.bad) << "the box shows what was typed";
        EXPECT_EQ(Outcome(page.CommitEntries()), std::pair(false, std::string(c.message)));
        EXPECT_TRUE(page.Pending(c.box)) << "a refused entry is still to be fixed";
        EXPECT_EQ(PageValue(page, c.box), before);
        page.Edit(c.box, shown);
        EXPECT_FALSE(page.Pending(c.box)) << "the value's own text typed back";
        page.Edit(c.box, c.good);
        EXPECT_EQ(PageValue(page, c.box), before) << "stored before the commit";
        EXPECT_TRUE(page.Commit(c.box).passed);
        EXPECT_EQ(std::tuple(page.PendingBox(), PageValue(page, c.box), BoxText(page, c.box)),
                  std::tuple(-1, c.value, c.good));
    }
}

// An entry goes with the box's value when the slider, the output or the kind
// changes it, or the box is disabled.
TEST_F(DacPageTest, APendingEntryGoesWhenItsBoxIsRewrittenOrDisabled) {
    output.generator.waves.fill({Waveform::Sine, 3200, 0, 0.0}); // every box enabled
    ucDACModel page(output, module);
    page.Edit(ucDACModel::kAmplitude, "2");
    page.ScrollSlider(0, 6400);
    EXPECT_FALSE(page.Pending(ucDACModel::kAmplitude)) << "dragged";
    page.Edit(ucDACModel::kBaseline, "2");
    page.SelectChannel(1);
    EXPECT_FALSE(page.Pending(ucDACModel::kBaseline)) << "another output";
    page.SelectChannel(0);
    page.Edit(ucDACModel::kBaseline, "12");
    page.ChooseWaveform(static_cast<int>(Waveform::Dc));
    EXPECT_EQ(page.PendingBox(), -1) << "no baseline for DC";
    EXPECT_TRUE(page.CommitEntries().passed);
    page.Edit(ucDACModel::kBaseline, "3");
    EXPECT_FALSE(page.Pending(ucDACModel::kBaseline)) << "typed into a disabled box";
}

// Halves of the last digit shown go away from zero, as the number is written
// (1608 codes are 0.5025 V, a double just below it); -1 code is a zero
// without a sign. The General page's are with its level texts.
TEST_F(DacPageTest, LevelTextsRoundHalvesAwayFromZero) {
    // DAC codes; the level's text, to the millivolt.
    const std::pair<int32_t, std::string> codes[] = {{8, "0.003"},   {-24, "-0.008"}, {1608, "0.503"},
                                                     {250, "0.078"}, {-1, "0"},       {-32000, "-10"}};
    for (const auto& [code, text] : codes) {
        output.generator.waves[0] = {Waveform::Sine, code, code, 0.0};
        ucDACModel page(output, module);
        EXPECT_EQ(page.LevelText(0), text) << code << " codes";
        EXPECT_EQ(page.Lines()[0], "AO1: Sine\tA=" + text + " V\tB=" + text + " V") << code << " codes";
    }
}

using LocaleNumbersTest = PageTest;

// Under a locale with a decimal comma, no other separator is read.
TEST_F(LocaleNumbersTest, NumbersUseTheUsersSeparator) {
    const test::ScopedEnv comma("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(std::tuple(ReadNumber(" -0,5 "), ReadNumber("1e3")), std::tuple(-0.5, 1000.0));
    for (const char* text : {"0.5", "1,2,3", "", "-", "inf", "nan", "1e", "5 V"})
        EXPECT_EQ(ReadNumber(text), std::nullopt) << text;
    ucDACModel page(output, module);
    EXPECT_EQ(std::tuple(NumberText(9.75), FixedText(5.0, 1, 3), page.LevelItems()[1], page.RateItems(1)[2]),
              std::tuple("9,75", "5,0", "9,75", "0,10"));
    EXPECT_EQ(page.CheckRate(0, "0").message, "Please, set the number in range from 0,5 to 100000!");
}

} // namespace
} // namespace velmora::ui
