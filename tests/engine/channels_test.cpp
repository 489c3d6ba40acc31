// The channel table, rate and start synchronization as the simulated module
// receives them, and single readings.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "engine/channels.h"
#include "engine/single_reading.h"
#include "engine/sync.h"
#include "engine_fixture.h"

namespace velmora::test {
namespace {

using namespace engine;

e16sim_config Config(bool applied) {
    e16sim_config c{};
    EXPECT_EQ(e16sim_get_config(E16SIM_MODULE_DAC, applied ? 1 : 0, &c), 0);
    return c;
}

int64_t Calls(const char* entry) {
    return e16sim_call_count(entry);
}

using ChannelsTest = EngineTest;

TEST_F(ChannelsTest, NamesComeFromTheTable) {
    Create();
    EXPECT_EQ(GetChannelName(s, 3), "XY4");
    EXPECT_EQ(GetChannelName(s, 20), "Calibration 0");
    s.channelTable[5] = {37, 1};
    EXPECT_EQ(GetChannelName(s, 5), "X6");
    EXPECT_EQ(s.channelTable[5].source, 5); // folded and kept
    s.channelTable[6] = {16, 1};
    EXPECT_EQ(GetChannelName(s, 6), "Y1");
    s.channelTable[7] = {-1, 1};
    EXPECT_EQ(GetChannelName(s, 7), "Y16");
    s.channelTable[8] = {15, 0};
    EXPECT_EQ(GetChannelName(s, 8), "XY16");
    EXPECT_EQ(GetChannelName(s, 32), "");
    EXPECT_EQ(GetChannelName(s, -1), "");
}

TEST_F(ChannelsTest, SelectionReachesTheModulesTable) {
    Detect();
    s.channelTable[7] = {20, 0}; // own zero, programmed on input 4
    s.channelTable[9] = {25, 1}; // Y10 against ground
    driver::SetChannelRange(s, 9, 2);
    SetInputChannels(s, {7, 9, 3});
    const e16sim_config c = Config(false);
    ASSERT_EQ(c.lch_count, 3u);
    EXPECT_EQ(c.lch[0].phy, 4u);
    EXPECT_EQ(c.lch[0].mode, X502_LCH_MODE_ZERO);
    EXPECT_EQ(c.lch[1].phy, 25u);
    EXPECT_EQ(c.lch[1].mode, X502_LCH_MODE_COMM);
    EXPECT_EQ(c.lch[1].range, 2u);
    EXPECT_EQ(c.lch[2].phy, 3u);
    EXPECT_EQ(c.lch[2].mode, X502_LCH_MODE_DIFF);
    EXPECT_EQ(s.inputCountChannels, 3);
    EXPECT_EQ(s.inputSizeKadrs, 524288);
    EXPECT_EQ(s.inputSizeData, 1572864);
}

TEST_F(ChannelsTest, RangeLetReprogramsAndIgnoresBadIndices) {
    Detect();
    SetInputChannels(s, {2});
    driver::SetChannelRange(s, 2, 1);
    EXPECT_EQ(Config(false).lch[0].range, 1u);
    const int64_t before = Calls("X502_SetLChannel");
    driver::SetChannelRange(s, 2, 4);
    driver::SetChannelRange(s, 2, -1);
    driver::SetChannelRange(s, 32, 1);
    EXPECT_EQ(Calls("X502_SetLChannel"), before);
    EXPECT_EQ(driver::GetChannelRange(s, 2), 1);
    EXPECT_EQ(driver::GetChannelRange(s, -1), 0);
    EXPECT_EQ(driver::GetChannelRange(s, 32), 0);
}

TEST_F(ChannelsTest, RateReadsBackWhatTheModuleRuns) {
    Detect();
    driver::SetRate(s, 1.0f); // 1, 2 and 4 per second are below 6: the module runs 8 times faster
    const float slow = driver::GetRate(s);
    EXPECT_EQ(s.decimation, 8);
    EXPECT_EQ(slow, static_cast<float>(Config(false).frame_freq / 8));

    SetInputChannels(s, {0, 1, 2, 3, 4, 5, 6, 7});
    driver::SetRate(s, 100000.0f);
    EXPECT_EQ(driver::GetRate(s), 62500.0f);
    EXPECT_EQ(s.adcDivider, 96);
    EXPECT_EQ(s.decimation, 1);
    EXPECT_DOUBLE_EQ(Config(false).adc_freq, 500000.0);

    SetInputChannels(s, {0});
    driver::SetRate(s, 7000.0f); // 48 MHz / 7000 is no whole divider
    EXPECT_EQ(driver::GetRate(s), static_cast<float>(48e6 / 6857));
    EXPECT_EQ(s.adcDivider, 6857);
}

TEST_F(ChannelsTest, RateLetStoresTheClampedMagnitude) {
    Create();
    driver::SetRate(s, -2000.0f);
    EXPECT_EQ(s.rate, 2000.0f);
    driver::SetRate(s, 600000.0f);
    EXPECT_EQ(s.rate, 500000.0f);
    s.busy = true;
    driver::SetRate(s, 10.0f);
    s.busy = false;
    EXPECT_EQ(s.rate, 500000.0f);
}

TEST_F(ChannelsTest, RateWithoutAModuleIsOnlyComputed) {
    Create();
    SetInputChannels(s, {0, 1, 2, 3, 4, 5, 6, 7});
    driver::SetRate(s, 100000.0f);
    EXPECT_EQ(driver::GetRate(s), 62500.0f);
    EXPECT_FALSE(s.device);
    EXPECT_EQ(Calls("X502_SetAdcFreq"), 0);
}

TEST_F(ChannelsTest, EdgeStartTurnsPullupsOff) {
    Detect();
    ASSERT_TRUE(s.device->SetDigInPullup(0xFF));
    s.syncStartMode = 2;
    ProgramSync(s);
    EXPECT_EQ(Config(false).sync_start_mode, X502_SYNC_SYN1_FALL);
    uint32_t pullups = 1;
    e16sim_get_digital(E16SIM_MODULE_DAC, nullptr, &pullups);
    EXPECT_EQ(pullups, 0u);

    s.syncStartMode = 3;
    ProgramSync(s);
    EXPECT_EQ(Config(false).sync_start_mode, X502_SYNC_SYN2_RISE);
    s.syncStartMode = 7; // no such mode: immediate start
    const int64_t pullupCalls = Calls("X502_SetDigInPullup");
    ProgramSync(s);
    EXPECT_EQ(Config(false).sync_start_mode, X502_SYNC_INTERNAL);
    EXPECT_EQ(Calls("X502_SetDigInPullup"), pullupCalls);
}

TEST_F(ChannelsTest, AnalogStartWatchesTheChannelsInput) {
    Detect();
    s.syncStartMode = 5;
    s.syncAdDirection = 3;
    s.syncAdChannel = 4;
    s.syncAdRange = 1;
    s.syncAdLevel = 6400;
    ProgramSync(s);
    e16sim_config c = Config(false);
    EXPECT_EQ(c.sync_start_mode, X502_SYNC_ADC_BELOW_LEVEL);
    EXPECT_EQ(c.watch_phy, 4u);
    EXPECT_EQ(c.watch_mode, X502_LCH_MODE_DIFF);
    EXPECT_EQ(c.watch_range, 1u);
    EXPECT_DOUBLE_EQ(c.watch_level, 0.5);

    s.syncAdLevel = -32000;
    s.syncAdRange = 0;
    s.syncAdChannel = 6;
    s.channelTable[6] = {20, 0}; // upper half, differential: watched against ground
    s.syncAdDirection = 4;       // no start code for this
    const int64_t startCalls = Calls("X502_SetSyncStartMode");
    ProgramSync(s);
    c = Config(false);
    EXPECT_EQ(Calls("X502_SetSyncStartMode"), startCalls);
    EXPECT_EQ(c.watch_phy, 20u);
    EXPECT_EQ(c.watch_mode, X502_LCH_MODE_COMM);
    EXPECT_DOUBLE_EQ(c.watch_level, -10.0);
}

using SingleReadingTest = EngineTest;

TEST_F(SingleReadingTest, SetupIsKeptWhileTheSameChannelIsAskedForWithinASecond) {
    Detect();
    e16sim_set_dc(3, 1.25);
    e16sim_set_dc(19, 0.25); // XY4 = X4 - Y4 = 1 V
    const int64_t before = Calls("X502_Configure");
    EXPECT_EQ(ReadSingleChannel(s, 3), 3200);
    EXPECT_EQ(Calls("X502_Configure"), before + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ReadSingleChannel(s, 3), 3200);
    EXPECT_EQ(Calls("X502_Configure"), before + 1);

    driver::SetChannelRange(s, 3, 1);
    EXPECT_EQ(ReadSingleChannel(s, 3), 12800);
    EXPECT_EQ(Calls("X502_Configure"), before + 2);
    ReadSingleChannel(s, 4);
    EXPECT_EQ(Calls("X502_Configure"), before + 3);
    const e16sim_config c = Config(true);
    EXPECT_EQ(c.lch_count, 1u);
    EXPECT_DOUBLE_EQ(c.adc_freq, 1000.0);
}

TEST_F(SingleReadingTest, CodesAreRoundedAndClipped) {
    Detect();
    s.channelTable[0] = {0, 1}; // X1 against ground
    e16sim_set_dc(0, 10.2);
    EXPECT_EQ(ReadSingleChannel(s, 0), 32640);
    e16sim_set_dc(0, 10.3); // the converter stops at 10.24 V
    EXPECT_EQ(ReadSingleChannel(s, 0), 32767);
    e16sim_set_dc(0, -11.0);
    EXPECT_EQ(ReadSingleChannel(s, 0), -32768);
}

TEST_F(SingleReadingTest, RefusedReadingsLeaveTheModuleAlone) {
    Detect();
    const int64_t before = Calls("X502_AsyncGetAdcFrame") + Calls("X502_Configure");
    EXPECT_EQ(ReadSingleChannel(s, 32), 0);
    EXPECT_EQ(ReadSingleChannel(s, -1), 0);
    s.busy = true; // a recording runs
    EXPECT_EQ(ReadSingleChannel(s, 3), 0);
    s.busy = false;
    EXPECT_EQ(Calls("X502_AsyncGetAdcFrame") + Calls("X502_Configure"), before);

    s.lastError = "kept";
    e16sim_fault_fail_call("X502_AsyncGetAdcFrame", X502_ERR_ASYNC_TIMEOUT);
    e16sim_set_dc(3, 2.0);
    EXPECT_EQ(ReadSingleChannel(s, 3), 0);
    EXPECT_EQ(s.lastSingleTick, 0u);
    EXPECT_EQ(s.lastError, "kept");
}

TEST_F(SingleReadingTest, ARecordingInBetweenForcesANewSetup) {
    Detect();
    ReadSingleChannel(s, 0);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    driver::StopRecordNow(s);
    const int64_t before = Calls("X502_Configure");
    ReadSingleChannel(s, 0);
    EXPECT_EQ(Calls("X502_Configure"), before + 1);
    EXPECT_EQ(Config(true).lch_count, 1u);
}

} // namespace
} // namespace velmora::test
