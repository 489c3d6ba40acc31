// The driver object in-process: its faces together with the engine state
// behind them, against the simulator reached through its own vendor table.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>
#include <tuple>

#include "driver_objects.h"

namespace velmora::test {
namespace {

using core::Waveform;

constexpr int16_t kX15 = 14, kX16 = 15;                     // logical channels of the two DAC outputs
constexpr int32_t kStartWord = 0x00A5, kStopWord = 0x15A00; // the lines take the low 16 bits

// A driver object that has detected 127.0.0.1, seen through its three faces.
class Driver : public DetectedObjects {
public:
    int32_t OutputWord() { return Get(dio_.get(), &IDIO::get_DOValue); }
    // Arms the generator as the DAC page's Start does, outputs on X15/X16.
    void Arm(core::WaveSettings wave0, core::WaveSettings wave1) {
        driver::DriverState& s = driver::State();
        s.output.generator = {50.0, {wave0, wave1}}; // below 100 Hz the outputs run slower than their fastest
        s.output.ApplySettings(s.Device());
        s.input.channelTable[kX15] = {kX15, 1};
        s.input.channelTable[kX16] = {kX16, 1};
        Select({kX15, kX16}, 10000.0f);
    }
};

// After the last object, a new one starts as in a fresh process: nothing of
// the last recording, the module or its serial number is left.
TEST_F(Driver, ALaterLifetimeStartsFresh) {
    int32_t start = kStartWord;
    dio_->put_DOStartValue(&start);
    ASSERT_TRUE(Record({0, 1}, 20000.0f)) << LastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Release();
    EXPECT_EQ(ModuleState().open, 0) << "the last object closes the module";
    EXPECT_FALSE(driver::State().acquisition.HasWorker()) << "the last object joins the worker";

    Create();
    EXPECT_FALSE(Test(0x7F000003)) << "nobody answers there";
    const std::string refused = LastError();
    EXPECT_NE(refused, "") << "a refused address says why";
    EXPECT_FALSE(StartRecord()) << "started before detection";
    EXPECT_EQ(LastError(), refused) << "a start before detection leaves the error";
    EXPECT_EQ(Unread(), 0) << "no kadrs of the last recording";
    EXPECT_EQ(driver::State().module.serialNumber, "") << "settings must not land under the old module";
    EXPECT_FALSE(driver::State().module.detected);
    EXPECT_EQ(Get(dio_.get(), &IDIO::get_DOStartValue), kStartWord)
        << "the start word lasts as long as the process";
}

TEST_F(Driver, TwoGeneratedWavesArriveInStepOnTheirInputs) {
    Arm({Waveform::Sine, 3200}, {Waveform::Triangle, 6400}); // 1 V sine, 2 V triangle, 50 Hz
    ASSERT_TRUE(StartRecord()) << LastError();
    std::vector<int16_t> samples(10000); // 5000 two-channel kadrs
    int32_t got = 0;
    EXPECT_TRUE(Eventually([&] { return (got += GetData(samples.data() + got, 10000 - got)) >= 10000; },
                           std::chrono::seconds(5)));
    ASSERT_EQ(adc_->StopRecord(), S_OK);
    ASSERT_EQ(got, 10000);
    // 50 Hz at 10000 kadrs/s: the sine rises through zero every 200 kadrs,
    // where the triangle, starting its period with it, is at its minimum. It
    // moves 128 codes a kadr, so four kadrs of slack.
    std::vector<size_t> rising;
    int16_t low[2] = {SHRT_MAX, SHRT_MAX}, high[2] = {SHRT_MIN, SHRT_MIN};
    for (size_t k = 0; k < samples.size(); ++k) {
        low[k % 2] = std::min(low[k % 2], samples[k]);
        high[k % 2] = std::max(high[k % 2], samples[k]);
        if (k % 2 == 0 && k >= 2 && samples[k - 2] < 0 && samples[k] >= 0) rising.push_back(k / 2);
    }
    ASSERT_GE(rising.size(), 20u);
    EXPECT_NEAR(double(rising.back() - rising.front()) / double(rising.size() - 1), 200.0, 0.5);
    EXPECT_NEAR(low[0], -3200, 40) << "sine";
    EXPECT_NEAR(high[0], 3200, 40) << "sine";
    EXPECT_NEAR(low[1], -6400, 300) << "triangle";
    EXPECT_NEAR(high[1], 6400, 300) << "triangle";
    for (size_t k : rising) EXPECT_LT(samples[2 * k + 1], -6400 + 600) << "kadr " << k;
}

// Only the channel the waveform owns ignores single writes, and only while
// recording.
TEST_F(Driver, SingleWritesSkipAPlayingChannel) {
    Arm({Waveform::Sine, 3200}, {Waveform::Off, 0}); // channel 1 "Off"
    ASSERT_TRUE(StartRecord()) << LastError();
    EXPECT_TRUE(Ask(dao_.get(), &IDAO::get_Busy));
    const int64_t writes = e16sim_call_count("X502_AsyncOutDac");
    EXPECT_EQ(dao_->put_ValueReal(0, 3.0), S_OK);
    EXPECT_EQ(dao_->put_Value(0, 100), S_OK);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), writes) << "the waveform owns channel 0";
    EXPECT_EQ(dao_->put_ValueReal(1, 2.0), S_OK);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), writes + 1);
    EXPECT_EQ(ModuleDacLevel(1), 2.0);
    // After the recording the outputs are idle and take single writes again.
    adc_->StopRecord();
    EXPECT_FALSE(Ask(dao_.get(), &IDAO::get_Busy));
    dao_->put_ValueReal(0, -0.25);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), writes + 2);
}

// The lets only store. A start refused before the module writes no word,
// not even the stop word (one failing at the module is the engine's test); a
// start writes the start word set before it, and every stop, recording or
// not, writes the stop word.
TEST_F(Driver, EachStartOrStopWritesItsWord) {
    EnableWords(kStartWord, kStopWord);
    SetWord(0x0033);
    const int64_t writes = e16sim_call_count("X502_AsyncOutDig"),
                  stops = e16sim_call_count("X502_StreamsStop");
    EXPECT_FALSE(Record({0, 1}, 0.0f));
    EXPECT_EQ(LastError(), "The Sampling Rate is not selected!");
    EXPECT_EQ(std::pair(ModuleLines(), OutputWord()), std::pair(0x0033u, 0x0033));
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDig"), writes) << "a refused start wrote a word";
    EXPECT_EQ(e16sim_call_count("X502_StreamsStop"), stops) << "the stop path ran";

    ASSERT_TRUE(Record({0, 1}, 20000.0f)) << LastError();
    EXPECT_EQ(LastError(), "") << "a start clears the error";
    EXPECT_EQ(std::pair(ModuleLines(), OutputWord()), std::pair(uint32_t{kStartWord}, kStartWord));
    int32_t next = 0x0F0F;
    dio_->put_DOStartValue(&next);
    EXPECT_EQ(ModuleLines(), uint32_t{kStartWord}) << "a new start word waits for the next start";
    ASSERT_EQ(adc_->StopRecord(), S_OK);
    EXPECT_EQ(std::tuple(Busy(), ModuleLines(), OutputWord(), e16sim_call_count("X502_AsyncOutDig")),
              std::tuple(false, uint32_t{kStopWord & 0xFFFF}, kStopWord, writes + 2));
    ASSERT_EQ(adc_->StopRecord(), S_OK);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDig"), writes + 3)
        << "a stop with nothing recording skipped the stop word";
    ASSERT_TRUE(StartRecord()) << LastError();
    EXPECT_EQ(ModuleLines(), 0x0F0Fu);
    ASSERT_EQ(adc_->StopRecord(), S_OK);
    VARIANT_BOOL off = VARIANT_FALSE;
    dio_->put_DOStartEnabled(&off);
    ASSERT_TRUE(StartRecord()) << LastError();
    EXPECT_EQ(ModuleLines(), uint32_t{kStopWord & 0xFFFF}) << "a start word switched off was written";
}

// The dialog service gets a frame over the driver's own state: what its
// pages store with OK is what the driver records with. ShowSetting answers
// false whatever came of it; IModule ShowSetup tells the host.
TEST_F(Driver, TheSetupDialogWorksOnTheSharedStateAndSaysWhatCameOfIt) {
    const auto singleInputs = [](bool ok) {
        return [ok](ui::SetupFrame& frame) {
            frame.SelectTab(1);
            frame.Adc()->ChSet(ui::AdcPage::kPresetSingle);
            ok ? frame.Ok() : frame.Cancel();
        };
    };
    const struct {
        const char* user;
        ui::ScriptedDialogs::SetupUser does;
        bool recording;
        int32_t outcome, singleEnded;
        std::size_t shown; // dialogs so far
    } cases[] = {
        {"OK through ShowSetting", singleInputs(true), false, -2, 1, 1},
        {"Cancel", singleInputs(false), false, 0, 0, 2},
        {"no display", nullptr, false, -1, 0, 2},
        {"OK", singleInputs(true), false, 1, 1, 3},
        {"while recording", singleInputs(true), true, -1, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        driver::State().input.channelTable[31].singleEnded = 0;
        dialogs_->QueueSetup(c.does);
        if (c.recording) {
            ASSERT_TRUE(Record({0}, 1000.0f));
        }
        if (c.outcome == -2) {
            EXPECT_EQ(Get(adc_.get(), &IADC3::ShowSetting, VARIANT_TRUE), VARIANT_FALSE);
        } else {
            EXPECT_EQ(Get(module_.get(), &IModule::ShowSetup), c.outcome);
        }
        adc_->StopRecord();
        EXPECT_EQ(dialogs_->setupTabs.size(), c.shown);
        EXPECT_EQ(driver::State().input.channelTable[31].singleEnded, c.singleEnded)
            << "what the dialog stored";
    }
    EXPECT_EQ(dialogs_->setupTabs[0], (std::vector<std::string>{"General", "ADC", "DAC", "DIO"}));
}

// Bounds at the ends of the Long range: an empty array at the lowest index
// (whose upper bound wraps round to the highest) and an array reaching past
// the highest index select nothing, and the selection stays.
TEST_F(Driver, ChannelArraysAtTheEndsOfTheIndexRangeLeaveTheSelection) {
    Select({0, 1}, 10000.0f);
    for (SAFEARRAYBOUND bound : {SAFEARRAYBOUND{0, INT32_MIN}, SAFEARRAYBOUND{3, INT32_MAX - 1}}) {
        SAFEARRAY* table = SafeArrayCreate(VT_I2, 1, &bound);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(adc_->put_InputChannels(&table), S_OK);
        SafeArrayDestroy(table);
        EXPECT_EQ(Get(adc_.get(), &IADC3::get_InputCountChannels), 2)
            << bound.cElements << " elements from " << bound.lLbound;
    }
}

} // namespace
} // namespace velmora::test
