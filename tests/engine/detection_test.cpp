// Detection of the simulated module, the first-in/last-out lifecycle of the
// shared record, and the static digital and analog outputs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dio/digital_io.h"
#include "engine/channels.h"
#include "engine/detection.h"
#include "engine_fixture.h"
#include "output/dac_output.h"
#include "output/waveforms.h"
#include "settings/cregistry.h"
#include "settings/driver_settings.h"

namespace velmora::test {
namespace {

constexpr const char* kModuleKey = "Software\\Tervan\\ADC\\L-Card\\E16\\SIM0001";
constexpr const char* kReinstall = "Please reinstall E16 driver (X502API v1.1.30 is required)!";

bool ModuleKeyExists() {
    settings::cRegistry reg;
    return reg.KeyExists(settings::HKEY_CURRENT_USER, kModuleKey);
}

using DetectionTest = EngineTest;

TEST_F(DetectionTest, FindsTheModuleAndDescribesIt) {
    Create();
    s.lastError = "old";
    s.dio.doValue = 77;
    dialogs_->QueueAddress(kIpDac);
    ASSERT_TRUE(driver::TestDevice(s)) << s.lastError;
    EXPECT_EQ(s.basePort, (kIpDac & 0x7FFF) + 1);
    EXPECT_EQ(s.lastError, "");
    EXPECT_EQ(s.infoText, "Board:\tE16, rev.A\r\nSerial N:\tSIM0001\r\nMCU:\tVer.1.0.3\r\nFPGA:\tVer.1.5");
    EXPECT_EQ(dialogs_->selectIpTitles, std::vector<std::string>{"E16"});
    EXPECT_EQ(dialogs_->waitCursor, (std::vector<bool>{true, false}));
    EXPECT_TRUE(s.dacPresent);
    EXPECT_EQ(s.dacChannelsCount, 2);
    EXPECT_EQ(s.dacRangeNames, std::vector<std::string>{"\u00B110 V"});
    EXPECT_EQ(s.dacUnitScale, 3200.0);
    EXPECT_TRUE(s.dio.present);
    EXPECT_EQ(s.dio.diBits, 16);
    EXPECT_EQ(s.dio.doValue, 0);
    // Rate, channels and synchronization went to the module.
    e16sim_config applied{};
    e16sim_get_config(E16SIM_MODULE_DAC, 1, &applied);
    EXPECT_EQ(applied.lch_count, 1u);
    EXPECT_DOUBLE_EQ(applied.frame_freq, 1000.0);
    // Detected once: the chooser is not shown again.
    EXPECT_TRUE(driver::TestDevice(s));
    EXPECT_EQ(dialogs_->selectIpTitles.size(), 1u);
}

TEST_F(DetectionTest, ModuleWithoutDacHasNoOutputs) {
    Detect(kIpNoDac);
    EXPECT_EQ(s.basePort, (kIpNoDac & 0x7FFF) + 1);
    EXPECT_FALSE(s.dacPresent);
    EXPECT_EQ(s.dacChannelsCount, 0);
    EXPECT_NE(s.infoText.find("SIM0002"), std::string::npos);
}

TEST_F(DetectionTest, RefusedAddressReportsTheLibraryTextAndIsRetried) {
    Create();
    dialogs_->QueueAddress(0x7F000009);
    EXPECT_FALSE(driver::TestDevice(s));
    EXPECT_EQ(s.basePort, 0);
    ASSERT_TRUE(s.device);
    const int32_t code = s.device->LastResult();
    EXPECT_EQ(code, X502_ERR_CONNECTION_REFUSED);
    EXPECT_EQ(s.lastError, "Error " + std::to_string(code) + ": " + X502_GetErrorString(code) + ".");
    EXPECT_EQ(s.device->Handle(), nullptr);

    dialogs_->QueueAddress(kIpDac);
    EXPECT_TRUE(driver::TestDevice(s));
    EXPECT_EQ(dialogs_->selectIpTitles.size(), 2u);
    EXPECT_EQ(s.lastError, "");
}

TEST_F(DetectionTest, CancelledChooserKeepsTheLastError) {
    Create();
    s.lastError = "previous";
    dialogs_->QueueCancel();
    EXPECT_FALSE(driver::TestDevice(s));
    EXPECT_EQ(s.lastError, "previous");
    EXPECT_FALSE(s.detected);
    EXPECT_TRUE(dialogs_->waitCursor.empty());
}

TEST_F(DetectionTest, LoadsTheSettingsStoredForTheModule) {
    {
        driver::DriverState other;
        driver::OnObjectCreated(other);
        other.rate = 2500.0f;
        other.syncStartMode = 2;
        other.channelTable[0] = {31, 1};
        settings::SaveSettings(other, "SIM0001");
        other.rate = 1000.0f; // the module-independent key keeps the defaults
        other.channelTable[0] = {0, 0};
        driver::OnObjectDestroyed(other);
    }
    Detect();
    EXPECT_EQ(s.rate, 2500.0f);
    EXPECT_EQ(engine::GetChannelName(s, 0), "Y16");
    e16sim_config applied{};
    e16sim_get_config(E16SIM_MODULE_DAC, 1, &applied);
    EXPECT_EQ(applied.sync_start_mode, X502_SYNC_SYN1_FALL);
    EXPECT_DOUBLE_EQ(applied.frame_freq, 2500.0);
}

// A library whose version the test chooses; everything else is the simulator.
uint32_t g_version = 0;
uint32_t ChosenVersion() {
    return g_version;
}

class LibraryVersionTest : public EngineTest,
                           public ::testing::WithParamInterface<std::pair<uint32_t, bool>> {};

TEST_P(LibraryVersionTest, OlderThan1_1_30IsRefused) {
    static device::VendorApi api = [] {
        device::VendorApi table = device::VendorApi::Process();
        table.X502_GetLibraryVersion = &ChosenVersion;
        return table;
    }();
    const auto [version, accepted] = GetParam();
    g_version = version;
    Create();
    s.device = std::make_unique<device::TE16>(api);
    dialogs_->QueueAddress(kIpDac);
    EXPECT_EQ(driver::TestDevice(s), accepted);
    EXPECT_EQ(s.lastError, accepted ? "" : kReinstall);
    EXPECT_EQ(dialogs_->selectIpTitles.size(), accepted ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, LibraryVersionTest,
                         ::testing::Values(std::pair{0x01011D00u, false}, std::pair{0x01011E00u, true},
                                           std::pair{0x01020000u, true}, std::pair{0x02000000u, true},
                                           std::pair{0x00096300u, false}, std::pair{0x01006300u, false}));

using LifecycleTest = EngineTest;

TEST_F(LifecycleTest, RangeNamesUseTheUsersDecimalSeparator) {
    {
        ScopedEnv locale("LC_ALL", "C");
        Create();
    }
    EXPECT_EQ(s.rangeNames,
              (std::vector<std::string>{"\u00B110 V", "\u00B12.5 V", "\u00B10.625 V", "\u00B10.156 V"}));
    ScopedEnv locale("LC_ALL", "de_DE.UTF-8");
    driver::InitDescription(s);
    EXPECT_EQ(s.rangeNames[1], "\u00B12,5 V");
    EXPECT_EQ(s.rangeNames[3], "\u00B10,156 V");
}

TEST_F(LifecycleTest, OnlyTheLastObjectClosesAndSaves) {
    Create();
    Create();
    Detect();
    driver::SetChannelRange(s, 1, 2);
    driver::OnObjectDestroyed(s);
    EXPECT_TRUE(s.detected);
    EXPECT_FALSE(ModuleKeyExists());
    Create(); // not the first: nothing is reset or reloaded
    EXPECT_EQ(driver::GetChannelRange(s, 1), 2);
    driver::OnObjectDestroyed(s);
    driver::OnObjectDestroyed(s);
    EXPECT_EQ(s.instanceCount, 0);
    EXPECT_FALSE(s.device);
    EXPECT_FALSE(s.detected);
    EXPECT_TRUE(ModuleKeyExists());
    e16sim_state st{};
    e16sim_get_state(E16SIM_MODULE_DAC, &st);
    EXPECT_EQ(st.open, 0);
}

TEST_F(LifecycleTest, LastObjectStopsARunningRecording) {
    Detect();
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    driver::OnObjectDestroyed(s);
    EXPECT_FALSE(s.busy.load());
    EXPECT_FALSE(s.thread);
    EXPECT_FALSE(s.device);
    EXPECT_TRUE(ModuleKeyExists());
}

TEST_F(LifecycleTest, StartBeforeTestIsRefusedSilently) {
    Create();
    s.lastError = "untouched";
    EXPECT_FALSE(driver::StartRecordChecked(s));
    EXPECT_EQ(s.lastError, "untouched");
}

using DigitalIoTest = EngineTest;

TEST_F(DigitalIoTest, WithoutAModuleOnlyTheWordsAreKept) {
    Create();
    s.dio.diValue = 5;
    EXPECT_EQ(dio::ReadDigitalInputs(s), 5);
    dio::WriteDigitalOutputs(s, 0x1234);
    EXPECT_EQ(s.dio.doValue, 0x1234);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDig"), 0);
}

TEST_F(DigitalIoTest, OutputsLoopBackToTheInputs) {
    Detect();
    dio::WriteDigitalOutputs(s, 0x1FFFF);
    EXPECT_EQ(s.dio.doValue, 0x1FFFF);
    uint32_t lines = 0;
    e16sim_get_digital(E16SIM_MODULE_DAC, &lines, nullptr);
    EXPECT_EQ(lines, 0xFFFFu);
    const int64_t reads = e16sim_call_count("X502_AsyncInDig");
    EXPECT_EQ(dio::ReadDigitalInputs(s), 0xFFFF);
    dio::WriteDigitalOutputs(s, 0x00A5);
    EXPECT_EQ(dio::ReadDigitalInputs(s), 0x00A5);
    EXPECT_EQ(e16sim_call_count("X502_AsyncInDig"), reads + 2);
}

using DacTest = EngineTest;

double StaticLevel(uint32_t channel) {
    double now = 0, level = -99;
    uint32_t flags = 0;
    e16sim_get_dac(E16SIM_MODULE_DAC, channel, &now, &level, &flags);
    return level;
}

TEST_F(DacTest, StaticWritesSkipUnchangedAndPlayingChannels) {
    Detect();
    EXPECT_EQ(StaticLevel(0), 0.0);
    EXPECT_FALSE(s.dacStreamEnabled);
    const int64_t before = e16sim_call_count("X502_AsyncOutDac");
    output::SetDacValue(s, 0, 1.5);
    EXPECT_EQ(StaticLevel(0), 1.5);
    output::SetDacValue(s, 0, 1.5);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), before + 1);
    s.dacChannels[1].running = true;
    output::SetDacValue(s, 1, 2.0);
    EXPECT_EQ(s.dacChannels[1].value, 0.0);
    output::SetDacValues(s, 1.5, -3.0); // names both channels: written whatever they hold
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), before + 3);
    EXPECT_EQ(StaticLevel(1), -3.0);
}

TEST_F(DacTest, StartShowsDcLevelsAndArmsTheGenerator) {
    Detect();
    s.dacChannels[0].waveform = 1; // DC
    s.dacChannels[0].amplitude = 6400;
    s.dacChannels[1].waveform = 3; // Sine: silent until a recording plays it
    s.dacChannels[1].amplitude = 3200;
    output::SetDacValue(s, 1, 4.0);
    output::ApplyDacSettings(s);
    EXPECT_TRUE(s.dacStreamEnabled);
    EXPECT_EQ(StaticLevel(0), 2.0);
    EXPECT_EQ(StaticLevel(1), 0.0);
    output::StopDacOutput(s);
    EXPECT_FALSE(s.dacStreamEnabled);
    EXPECT_EQ(s.dacChannels[0].value, 0.0);
    EXPECT_EQ(StaticLevel(0), 0.0);
}

TEST_F(DacTest, NoWaveformMeansNothingToPlay) {
    Detect();
    s.dacChannels[0].running = true;
    s.dacActiveCount = 2;
    EXPECT_FALSE(output::GenerateWaveforms(s));
    EXPECT_EQ(s.dacActiveCount, 0);
    EXPECT_FALSE(s.dacChannels[0].running);
    EXPECT_FALSE(s.dacChannels[1].running);
}

} // namespace
} // namespace velmora::test
