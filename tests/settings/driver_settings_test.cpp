#include "settings/driver_settings.h"

#include <fstream>
#include <memory>
#include <variant>

#include <gtest/gtest.h>

#include "driver/driver_state.h"
#include "settings/cregistry.h"
#include "test_support.h"

namespace velmora::settings {
namespace {

using Bytes = std::vector<uint8_t>;
using driver::DriverState;

constexpr const char* kBase = "Software\\Tervan\\ADC\\L-Card\\E16";
constexpr const char* kModule = "Software\\Tervan\\ADC\\L-Card\\E16\\SIM0001";

// The fields the driver's start-up and the module description set before
// any load, so the settings code sees what it sees in the driver.
std::unique_ptr<DriverState> StartedState() {
    auto s = std::make_unique<DriverState>();
    s->adcName = "E16";
    s->channelsCount = driver::kChannels;
    s->rateMax = 500000.0f;
    s->rate = 1000.0f;
    for (int i = 0; i < driver::kChannels; ++i) s->channelTable[i] = {static_cast<int16_t>(i), 0};
    s->dacChannelsCount = 2;
    s->dacCodeMin = -32000;
    s->dacCodeMax = 32000;
    s->dacSignalFreqMin = 0.5;
    s->dacSignalFreqMax = 100000.0;
    s->dacSignalFreq = 1000.0;
    return s;
}

class DriverSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { PrepareSettingsLocation(s, "E16"); }

    int32_t StoredType(const std::string& path, const std::string& name) {
        RegValue value;
        return reg.QueryValueAt(HKEY_CURRENT_USER, path, name, value);
    }
    std::vector<std::string> ValueNames(const std::string& path) {
        std::vector<std::string> names;
        reg.EnumValues(HKEY_CURRENT_USER, path, names);
        return {names.begin() + 1, names.end()};
    }
    Bytes StoredTable(const std::string& path) {
        Bytes bytes;
        EXPECT_TRUE(reg.GetBinaryAt(HKEY_CURRENT_USER, path, "ADChannels", bytes));
        return bytes;
    }

    test::PrivateStore store;
    cRegistry reg; // looks into the store past the code under test
    std::unique_ptr<DriverState> state = StartedState();
    DriverState& s = *state;
};

TEST_F(DriverSettingsTest, FirstRunCreatesTheKeyNamedAfterTheModuleAndLoadsNothing) {
    EXPECT_EQ(s.registryPath, kBase);
    std::string name;
    ASSERT_TRUE(reg.GetStringAt(HKEY_CURRENT_USER, kBase, "", name));
    EXPECT_EQ(name, "E16");

    LoadSettings(s, "");
    EXPECT_EQ(s.rate, 1000.0f);
    EXPECT_EQ(s.channelTable[7].source, 7);
    EXPECT_EQ(ValueNames(kBase), std::vector<std::string>{""});

    // A default value left by something else is put right.
    reg.SetStringAt(HKEY_CURRENT_USER, kBase, "", "other");
    PrepareSettingsLocation(*StartedState(), "E16");
    ASSERT_TRUE(reg.GetStringAt(HKEY_CURRENT_USER, kBase, "", name));
    EXPECT_EQ(name, "E16");
}

TEST_F(DriverSettingsTest, RateOutsideItsRangeIsNeitherLoadedNorSaved) {
    for (float bad : {0.0f, -250.0f, 500001.0f}) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, kBase, "Rate", bad));
        s.rate = 1000.0f;
        LoadSettings(s, "");
        EXPECT_EQ(s.rate, 1000.0f);

        reg.DeleteValue(HKEY_CURRENT_USER, kBase, "Rate");
        s.rate = bad;
        SaveSettings(s, "");
        EXPECT_EQ(StoredType(kBase, "Rate"), 0);
        EXPECT_EQ(StoredType(kBase, "ADChannels"), 3);
    }
    ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, kBase, "Rate", 500000.0f));
    LoadSettings(s, "");
    EXPECT_EQ(s.rate, 500000.0f);
}

TEST_F(DriverSettingsTest, StoredChannelBytesChangeOnlyTheChannelsTheyCover) {
    s.channelTable[5] = {9, 1};
    ASSERT_TRUE(reg.SetBinaryAt(HKEY_CURRENT_USER, kBase, "ADChannels", {0x21, 0x22, 0x03, 0x04, 0x1F}));
    LoadSettings(s, "");
    EXPECT_EQ(s.savedChannelCount, 4);
    EXPECT_EQ(s.channelTable[0].source, 1);
    EXPECT_NE(s.channelTable[0].singleEnded, 0);
    EXPECT_EQ(s.channelTable[2].source, 3);
    EXPECT_EQ(s.channelTable[2].singleEnded, 0);
    EXPECT_EQ(s.channelTable[4].source, 31);
    EXPECT_EQ(s.channelTable[5].source, 9); // beyond the stored bytes
    EXPECT_NE(s.channelTable[5].singleEnded, 0);

    Bytes forty(40);
    for (std::size_t i = 0; i < forty.size(); ++i) forty[i] = static_cast<uint8_t>(39 - i);
    ASSERT_TRUE(reg.SetBinaryAt(HKEY_CURRENT_USER, kBase, "ADChannels", forty));
    LoadSettings(s, "");
    EXPECT_EQ(s.savedChannelCount, 31);
    EXPECT_EQ(s.channelTable[0].source, 39 % 32);
    EXPECT_NE(s.channelTable[0].singleEnded, 0); // 39 has bit 5 set
    EXPECT_EQ(s.channelTable[31].source, 8);
    EXPECT_EQ(s.channelTable[31].singleEnded, 0);
}

TEST_F(DriverSettingsTest, ChannelByteKeepsSourceAndGroundBitAndDropsTheTopBits) {
    ASSERT_TRUE(reg.SetBinaryAt(HKEY_CURRENT_USER, kBase, "ADChannels", {0x25, 0xE6}));
    LoadSettings(s, "");
    EXPECT_EQ(s.channelTable[0].source, 5);
    EXPECT_NE(s.channelTable[0].singleEnded, 0);
    EXPECT_EQ(s.channelTable[1].source, 6);
    EXPECT_NE(s.channelTable[1].singleEnded, 0);

    s.channelTable[2] = {37, -1}; // source taken modulo 32, any nonzero flag
    SaveSettings(s, "");
    const Bytes stored = StoredTable(kBase);
    ASSERT_EQ(stored.size(), 32u);
    EXPECT_EQ(stored[0], 0x25);
    EXPECT_EQ(stored[1], 0x26);
    EXPECT_EQ(stored[2], 0x25);
    EXPECT_EQ(stored[3], 0x03);
}

TEST_F(DriverSettingsTest, ModuleKeySetsSynchronizationAndMissingValuesResetIt) {
    s.syncStartMode = 3;
    s.syncAdLevel = 77;
    reg.CreateKey(HKEY_CURRENT_USER, kModule);
    ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, kModule, "Rate", 2000.0f));
    LoadSettings(s, "SIM0001");
    EXPECT_EQ(s.rate, 2000.0f);
    EXPECT_EQ(s.syncStartMode, 0);
    EXPECT_EQ(s.syncAdLevel, 77); // read only in the analog mode

    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "SynchroStartMode", 5);
    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "SynchroADDirection", 3);
    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "SynchroADChannel", 4);
    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "SynchroADRange", 1);
    LoadSettings(s, "  SIM0001 ");
    EXPECT_EQ(s.syncStartMode, 5);
    EXPECT_EQ(s.syncAdDirection, 3);
    EXPECT_EQ(s.syncAdChannel, 4);
    EXPECT_EQ(s.syncAdRange, 1);
    EXPECT_EQ(s.syncAdLevel, 0);

    // The module-independent key never carries synchronization.
    reg.SetIntegerAt(HKEY_CURRENT_USER, kBase, "SynchroStartMode", 2);
    LoadSettings(s, "");
    EXPECT_EQ(s.syncStartMode, 5);
}

TEST_F(DriverSettingsTest, UnknownModuleLoadsNothingAndCreatesNoKey) {
    ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, kBase, "Rate", 3000.0f));
    s.syncStartMode = 2;
    LoadSettings(s, "SIM0002");
    LoadDacSettings(s, "SIM0002");
    EXPECT_EQ(s.rate, 1000.0f);
    EXPECT_EQ(s.syncStartMode, 2);
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, std::string(kBase) + "\\SIM0002"));
}

TEST_F(DriverSettingsTest, OutputValuesOutOfBoundsAreReplaced) {
    reg.CreateKey(HKEY_CURRENT_USER, kModule);
    reg.SetDoubleAt(HKEY_CURRENT_USER, kModule, "DACChRate", 0.2);
    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "DACChType1", 7);
    reg.SetLongAt(HKEY_CURRENT_USER, kModule, "DACChAmp1", 32001);
    reg.SetLongAt(HKEY_CURRENT_USER, kModule, "DACChBase1", -32000);
    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "DACChType2", 6);
    reg.SetDoubleAt(HKEY_CURRENT_USER, kModule, "DACChPhase2", 1.0);
    s.dacChannels[0].phase = 0.25;
    s.dacChannels[1].amplitude = 1234;

    LoadDacSettings(s, "SIM0001");
    EXPECT_EQ(s.dacSignalFreq, 100.0);
    EXPECT_EQ(s.dacChannels[0].waveform, 0);
    EXPECT_EQ(s.dacChannels[0].amplitude, 0);
    EXPECT_EQ(s.dacChannels[0].baseline, -32000);
    EXPECT_EQ(s.dacChannels[0].phase, 0.25); // missing: kept
    EXPECT_EQ(s.dacChannels[1].waveform, 6);
    EXPECT_EQ(s.dacChannels[1].amplitude, 1234);
    EXPECT_EQ(s.dacChannels[1].phase, 0.0);

    reg.SetDoubleAt(HKEY_CURRENT_USER, kModule, "DACChRate", 100000.0);
    LoadDacSettings(s, "SIM0001");
    EXPECT_EQ(s.dacSignalFreq, 100000.0);
}

TEST_F(DriverSettingsTest, SavesWriteTheirKeysValuesInOrderWithTheirEncodings) {
    SaveSettings(s, "");
    EXPECT_EQ(ValueNames(kBase), (std::vector<std::string>{"", "Rate", "ADChannels"}));

    s.syncAdLevel = -1;
    SaveSettings(s, "SIM0001");
    EXPECT_EQ(ValueNames(kModule),
              (std::vector<std::string>{"Rate", "ADChannels", "SynchroStartMode", "SynchroADDirection",
                                        "SynchroADChannel", "SynchroADRange", "SynchroADPorog", "DACChRate",
                                        "DACChType1", "DACChAmp1", "DACChBase1", "DACChPhase1", "DACChType2",
                                        "DACChAmp2", "DACChBase2", "DACChPhase2"}));
    RegValue value;
    EXPECT_EQ(reg.QueryValueAt(HKEY_CURRENT_USER, kModule, "SynchroADPorog", value), 4);
    EXPECT_EQ(std::get<int32_t>(value), 0xFFFF);
    EXPECT_EQ(reg.QueryValueAt(HKEY_CURRENT_USER, kModule, "Rate", value), 4);
    EXPECT_EQ(std::get<int32_t>(value), 0x447A0000); // 1000.0f
    EXPECT_EQ(StoredType(kModule, "DACChRate"), 3);

    // Without a DAC the output values are not written.
    s.dacChannelsCount = 0;
    SaveSettings(s, "SIM0002");
    EXPECT_EQ(ValueNames(std::string(kBase) + "\\SIM0002").size(), 7u);
}

TEST_F(DriverSettingsTest, SavedSettingsComeBackIntoAFreshState) {
    s.rate = 12345.5f;
    s.channelTable[3] = {20, 1};
    s.channelTable[31] = {0, 0};
    s.syncStartMode = 5;
    s.syncAdDirection = 2;
    s.syncAdChannel = 3;
    s.syncAdRange = 1;
    s.syncAdLevel = -6400;
    s.dacSignalFreq = 50.5;
    s.dacChannels[1].waveform = 3;
    s.dacChannels[1].amplitude = 16000;
    s.dacChannels[1].baseline = -100;
    s.dacChannels[1].phase = 0.75;
    SaveSettings(s, " SIM0001 ");
    SaveSettings(s, "");

    auto fresh = StartedState();
    PrepareSettingsLocation(*fresh, "E16");
    LoadSettings(*fresh, "SIM0001");
    LoadDacSettings(*fresh, "SIM0001");
    EXPECT_EQ(fresh->rate, 12345.5f);
    EXPECT_EQ(fresh->channelTable[3].source, 20);
    EXPECT_NE(fresh->channelTable[3].singleEnded, 0);
    EXPECT_EQ(fresh->channelTable[31].source, 0);
    EXPECT_EQ(fresh->syncAdDirection, 2);
    EXPECT_EQ(fresh->syncAdChannel, 3);
    EXPECT_EQ(fresh->syncAdRange, 1);
    EXPECT_EQ(fresh->syncAdLevel, -6400);
    EXPECT_EQ(fresh->dacSignalFreq, 50.5);
    EXPECT_EQ(fresh->dacChannels[1].waveform, 3);
    EXPECT_EQ(fresh->dacChannels[1].amplitude, 16000);
    EXPECT_EQ(fresh->dacChannels[1].baseline, -100);
    EXPECT_EQ(fresh->dacChannels[1].phase, 0.75);
}

TEST(HelpFileTest, FirstMatchingFileInTheFolderIsTheHelpFile) {
    test::TempDir dir;
    for (const char* name : {"readme.txt", "LCard_E16.chm", "lcard_a.CHM", "LCard.chm.bak"})
        std::ofstream(dir.path() / name) << "x";
    std::filesystem::create_directory(dir.path() / "LCard_0.chm");
    EXPECT_EQ(FindHelpFile(dir.path()), (dir.path() / "LCard_E16.chm").string());

    test::TempDir other;
    std::ofstream(other.path() / "lcard_x.CHM") << "x"; // names match as on Windows
    EXPECT_EQ(FindHelpFile(other.path()), (other.path() / "lcard_x.CHM").string());

    test::TempDir empty;
    EXPECT_EQ(FindHelpFile(empty.path()), "");
    EXPECT_EQ(FindHelpFile(empty.path() / "missing"), "");
}

} // namespace
} // namespace velmora::settings
