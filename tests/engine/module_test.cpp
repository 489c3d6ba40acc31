// What reaches the simulated module outside recording: detection, the channel
// table, the rate, start synchronization and single readings.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/channels.h"
#include "engine/single_reading.h"
#include "engine/sync.h"
#include "engine_fixture.h"

namespace velmora::test {
namespace {

using namespace engine;
using ModuleTest = EngineTest;

// The simulator behind a library version the test chooses, opening the
// module at 127.0.0.1 whatever address it is asked for.
uint32_t g_version = 0;
const device::VendorApi& ChosenLibrary() {
    static const device::VendorApi api = [] {
        device::VendorApi table = device::VendorApi::Process();
        table.X502_GetLibraryVersion = [] { return g_version; };
        table.E16_OpenByIpAddr = [](t_x502_hnd h, uint32_t, uint32_t flags, uint32_t timeout) {
            return device::VendorApi::Process().E16_OpenByIpAddr(h, 0x7F000001u, flags, timeout);
        };
        return table;
    }();
    return api;
}

TEST_F(ModuleTest, DetectionDescribesTheModuleAndACancelKeepsTheError) {
    driver::OnObjectCreated(s);
    s.lastError = "previous";
    dialogs_->QueueCancel();
    EXPECT_FALSE(driver::TestDevice(s));
    EXPECT_EQ(s.lastError, "previous");
    EXPECT_TRUE(dialogs_->waitCursor.empty());
    Detect();
    EXPECT_EQ(s.basePort, 2);
    EXPECT_EQ(s.lastError, "");
    EXPECT_EQ(s.infoText, "Board:\tE16, rev.A\r\nSerial N:\tSIM0001\r\nMCU:\tVer.1.0.3\r\nFPGA:\tVer.1.5");
    EXPECT_EQ(dialogs_->waitCursor, (std::vector<bool>{true, false}));
}

TEST_F(ModuleTest, LibraryOlderThan1_1_30IsRefusedBeforeTheChooser) {
    // 1.1.29, 1.1.30, 1.2.0, 2.0.0, 0.9.99
    const uint32_t versions[] = {0x01011D00u, 0x01011E00u, 0x01020000u, 0x02000000u, 0x00096300u};
    const bool accepts[] = {false, true, true, true, false};
    for (std::size_t i = 0; i < 5; ++i) {
        const bool accepted = accepts[i];
        g_version = versions[i];
        driver::OnObjectCreated(s);
        s.device = std::make_unique<device::TE16>(ChosenLibrary());
        dialogs_->QueueAddress(0x7F008000); // low 15 bits zero: base port 1
        EXPECT_EQ(driver::TestDevice(s), accepted) << std::hex << g_version;
        EXPECT_EQ(s.basePort, accepted ? 1 : 0);
        EXPECT_EQ(s.lastError, accepted ? "" : "Please reinstall E16 driver (X502API v1.1.30 is required)!");
        EXPECT_EQ(std::exchange(dialogs_->selectIpTitles, {}).size(), accepted ? 1u : 0u);
        driver::OnObjectDestroyed(s);
    }
}

TEST_F(ModuleTest, ChannelTableNamesAndProgramming) {
    Detect();
    s.channelTable[5] = {37, 1};
    s.channelTable[6] = {-1, 1};
    const std::pair<int16_t, const char*> names[] = {
        {3, "XY4"}, {20, "Calibration 0"}, {5, "X6"}, {6, "Y16"}, {32, ""}, {-1, ""}};
    for (const auto& [index, name] : names) EXPECT_EQ(GetChannelName(s, index), name) << index;
    EXPECT_EQ(s.channelTable[5].source, 5); // folded and kept
    s.channelTable[7] = {20, 0};            // own zero, programmed on input 4
    s.channelTable[9] = {25, 1};            // Y10 against ground
    driver::SetChannelRange(s, 9, 2);
    SetInputChannels(s, {7, 9, 3});
    const e16sim_config c = Pending();
    ASSERT_EQ(c.lch_count, 3u);
    const e16sim_lchannel want[] = {
        {4, X502_LCH_MODE_ZERO, 0}, {25, X502_LCH_MODE_COMM, 2}, {3, X502_LCH_MODE_DIFF, 0}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::tuple(c.lch[i].phy, c.lch[i].mode, c.lch[i].range),
                  std::tuple(want[i].phy, want[i].mode, want[i].range));
}

TEST_F(ModuleTest, RateProgramsTheNearestAchievableFrequencies) {
    driver::OnObjectCreated(s); // no module yet: the rate is only computed
    SetInputChannels(s, std::vector<int16_t>(8, 0));
    driver::SetRate(s, 100000.0f);
    EXPECT_EQ(driver::GetRate(s), 62500.0f);
    EXPECT_EQ(Calls("X502_SetAdcFreq"), 0);
    Detect();
    // Channels, rate asked, divider, decimation. Below 6 Hz in all the module
    // runs faster; 2^20 is its slowest divider.
    const std::tuple<std::size_t, float, int32_t, int32_t> cases[] = {
        {8, 100000.0f, 96, 1}, {1, 1.0f, 1048576, 8}, {1, 7000.0f, 6857, 1}};
    for (const auto& [channels, asked, divider, decimation] : cases) {
        SetInputChannels(s, std::vector<int16_t>(channels, 0));
        driver::SetRate(s, asked);
        const float achieved = driver::GetRate(s);
        EXPECT_EQ(s.adcDivider, divider) << asked;
        EXPECT_EQ(s.decimation, decimation) << asked;
        EXPECT_NEAR(Pending().adc_freq, 48e6 / divider, 1e-6) << asked;
        EXPECT_EQ(achieved, static_cast<float>(Pending().frame_freq / decimation)) << asked;
    }
}

TEST_F(ModuleTest, StartSynchronizationCodes) {
    Detect();
    ASSERT_TRUE(s.device->SetDigInPullup(0xFF));
    s.syncStartMode = 2; // the falling edge on TRIG, with the pull-ups off
    ProgramSync(s);
    EXPECT_EQ(Pending().sync_start_mode, 3u);
    uint32_t pullups = 1;
    e16sim_get_digital(E16SIM_MODULE_DAC, nullptr, &pullups);
    EXPECT_EQ(pullups, 0u);

    s.syncStartMode = 5; // below a level on logical 4, differential on range 1
    s.syncAdDirection = 3;
    s.syncAdChannel = 4;
    s.syncAdRange = 1;
    s.syncAdLevel = 6400;
    ProgramSync(s);
    e16sim_config c = Pending();
    EXPECT_EQ(c.sync_start_mode, 11u);
    EXPECT_EQ(std::tuple(c.watch_phy, c.watch_mode, c.watch_range, c.watch_level),
              std::tuple(4u, 1u, 1u, 0.5));

    s.channelTable[6] = {20, 0}; // upper half, differential: watched against ground
    s.syncAdChannel = 6;
    s.syncAdRange = 0;
    s.syncAdLevel = -32000;
    ProgramSync(s);
    c = Pending();
    EXPECT_EQ(std::tuple(c.watch_phy, c.watch_mode, c.watch_range, c.watch_level),
              std::tuple(20u, 0u, 0u, -10.0));

    s.syncStartMode = 7; // no such mode: immediate start
    ProgramSync(s);
    EXPECT_EQ(Pending().sync_start_mode, 0u);
}

TEST_F(ModuleTest, SingleReadingKeepsItsSetupUntilSomethingChanges) {
    Detect();
    e16sim_set_dc(3, 1.25);
    e16sim_set_dc(19, 0.25); // XY4 = X4 - Y4 = 1 V
    const int64_t setups = Calls("X502_Configure");
    EXPECT_EQ(ReadSingleChannel(s, 3), 3200);
    EXPECT_EQ(ReadSingleChannel(s, 3), 3200); // within a second: no new setup
    EXPECT_EQ(Calls("X502_Configure"), setups + 1);
    driver::SetChannelRange(s, 3, 1);
    EXPECT_EQ(ReadSingleChannel(s, 3), 12800);
    EXPECT_EQ(Calls("X502_Configure"), setups + 2);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    const int64_t setupsThen = Calls("X502_Configure"), frames = Calls("X502_AsyncGetAdcFrame");
    EXPECT_EQ(ReadSingleChannel(s, 3), 0); // the recording owns the module
    EXPECT_EQ(Calls("X502_Configure"), setupsThen);
    EXPECT_EQ(Calls("X502_AsyncGetAdcFrame"), frames);
    driver::StopRecordNow(s);
    EXPECT_EQ(ReadSingleChannel(s, 3), 12800); // the recording replaced the setup
    EXPECT_EQ(Calls("X502_Configure"), setupsThen + 1);
}

} // namespace
} // namespace velmora::test
