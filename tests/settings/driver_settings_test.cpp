#include "settings/driver_settings.h"

#include <memory>

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

    std::vector<std::string> ValueNames(const std::string& path) {
        std::vector<std::string> names;
        reg.EnumValues(HKEY_CURRENT_USER, path, names);
        return {names.begin() + 1, names.end()};
    }

    test::PrivateStore store;
    cRegistry reg; // looks into the store past the code under test
    std::unique_ptr<DriverState> state = StartedState();
    DriverState& s = *state;
};

TEST_F(DriverSettingsTest, FirstRunCreatesTheNamedKeyAndTheBaseKeyTakesOnlyRateAndChannels) {
    std::string name;
    ASSERT_TRUE(reg.GetStringAt(HKEY_CURRENT_USER, kBase, "", name));
    EXPECT_EQ(name, "E16");
    LoadSettings(s, "");
    EXPECT_EQ(s.rate, 1000.0f);
    EXPECT_EQ(ValueNames(kBase), std::vector<std::string>{""});

    s.syncStartMode = 5;
    SaveSettings(s, "");
    EXPECT_EQ(ValueNames(kBase), (std::vector<std::string>{"", "Rate", "ADChannels"}));
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
        RegValue value;
        EXPECT_EQ(reg.QueryValueAt(HKEY_CURRENT_USER, kBase, "Rate", value), 0);
        EXPECT_EQ(reg.QueryValueAt(HKEY_CURRENT_USER, kBase, "ADChannels", value), 3);
    }
    ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, kBase, "Rate", 500000.0f));
    LoadSettings(s, "");
    EXPECT_EQ(s.rate, 500000.0f);
}

TEST_F(DriverSettingsTest, StoredChannelBytesSetOnlyTheChannelsTheyCover) {
    const struct {
        Bytes stored;
        int16_t count;
        std::vector<std::pair<int16_t, bool>> first; // source and single-ended of channels 0, 1, ...
    } cases[] = {
        {{0x25, 0xE6}, 1, {{5, true}, {6, true}, {2, false}}},
        {{0x21, 0x22, 0x03, 0x04, 0x1F},
         4,
         {{1, true}, {2, true}, {3, false}, {4, false}, {31, false}, {5, false}}},
        {Bytes(40, 0x27), 31, {{7, true}, {7, true}}},
    };
    for (const auto& c : cases) {
        auto fresh = StartedState();
        PrepareSettingsLocation(*fresh, "E16");
        ASSERT_TRUE(reg.SetBinaryAt(HKEY_CURRENT_USER, kBase, "ADChannels", c.stored));
        LoadSettings(*fresh, "");
        EXPECT_EQ(fresh->savedChannelCount, c.count);
        for (std::size_t i = 0; i < c.first.size(); ++i) {
            EXPECT_EQ(fresh->channelTable[i].source, c.first[i].first) << c.count << " channel " << i;
            EXPECT_EQ(fresh->channelTable[i].singleEnded != 0, c.first[i].second)
                << c.count << " channel " << i;
        }
        EXPECT_EQ(fresh->channelTable[31].source, c.stored.size() == 40 ? 7 : 31);
    }

    s.channelTable[0] = {5, 1};
    s.channelTable[1] = {37, -1}; // source taken modulo 32, any nonzero flag
    SaveSettings(s, "");
    Bytes stored;
    ASSERT_TRUE(reg.GetBinaryAt(HKEY_CURRENT_USER, kBase, "ADChannels", stored));
    ASSERT_EQ(stored.size(), 32u);
    EXPECT_EQ(stored[0], 0x25);
    EXPECT_EQ(stored[1], 0x25);
    EXPECT_EQ(stored[2], 0x02);
}

TEST_F(DriverSettingsTest, ModuleKeyWithoutSynchronizationResetsItAndAnalogModeReadsTheRest) {
    s.syncStartMode = 3;
    s.syncAdLevel = 77;
    reg.CreateKey(HKEY_CURRENT_USER, kModule);
    ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, kModule, "Rate", 2000.0f));
    LoadSettings(s, "SIM0001");
    EXPECT_EQ(s.rate, 2000.0f);
    EXPECT_EQ(s.syncStartMode, 0);
    EXPECT_EQ(s.syncAdLevel, 77); // read only in the analog mode

    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "SynchroStartMode", 5);
    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "SynchroADChannel", 4);
    LoadSettings(s, "  SIM0001 ");
    EXPECT_EQ(s.syncStartMode, 5);
    EXPECT_EQ(s.syncAdChannel, 4);
    EXPECT_EQ(s.syncAdLevel, 0);
}

TEST_F(DriverSettingsTest, OutputValuesOutOfBoundsAreReplaced) {
    reg.CreateKey(HKEY_CURRENT_USER, kModule);
    reg.SetDoubleAt(HKEY_CURRENT_USER, kModule, "DACChRate", 0.2);
    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "DACChType1", 7);
    reg.SetLongAt(HKEY_CURRENT_USER, kModule, "DACChAmp1", 32001);
    reg.SetLongAt(HKEY_CURRENT_USER, kModule, "DACChBase1", -32000);
    reg.SetDoubleAt(HKEY_CURRENT_USER, kModule, "DACChPhase2", 1.0);
    s.dacChannels[0].phase = 0.25;
    s.dacChannels[1].amplitude = 1234;

    LoadDacSettings(s, "SIM0001");
    EXPECT_EQ(s.dacSignalFreq, 100.0);
    EXPECT_EQ(s.dacChannels[0].waveform, 0);
    EXPECT_EQ(s.dacChannels[0].amplitude, 0);
    EXPECT_EQ(s.dacChannels[0].baseline, -32000);
    EXPECT_EQ(s.dacChannels[0].phase, 0.25); // missing: kept
    EXPECT_EQ(s.dacChannels[1].amplitude, 1234);
    EXPECT_EQ(s.dacChannels[1].phase, 0.0);
}

TEST_F(DriverSettingsTest, SavedSettingsComeBackIntoAFreshState) {
    s.rate = 12345.5f;
    s.channelTable[3] = {20, 1};
    s.syncStartMode = 5;
    s.syncAdDirection = 2;
    s.syncAdLevel = -6400;
    s.dacSignalFreq = 50.5;
    s.dacChannels[1].waveform = 3;
    s.dacChannels[1].amplitude = 16000;
    s.dacChannels[1].baseline = -100;
    s.dacChannels[1].phase = 0.75;
    SaveSettings(s, " SIM0001 ");

    auto fresh = StartedState();
    PrepareSettingsLocation(*fresh, "E16");
    LoadSettings(*fresh, "SIM0001");
    LoadDacSettings(*fresh, "SIM0001");
    EXPECT_EQ(fresh->rate, 12345.5f);
    EXPECT_EQ(fresh->channelTable[3].source, 20);
    EXPECT_NE(fresh->channelTable[3].singleEnded, 0);
    EXPECT_EQ(fresh->syncStartMode, 5);
    EXPECT_EQ(fresh->syncAdDirection, 2);
    EXPECT_EQ(fresh->syncAdLevel, -6400);
    EXPECT_EQ(fresh->dacSignalFreq, 50.5);
    EXPECT_EQ(fresh->dacChannels[1].waveform, 3);
    EXPECT_EQ(fresh->dacChannels[1].amplitude, 16000);
    EXPECT_EQ(fresh->dacChannels[1].baseline, -100);
    EXPECT_EQ(fresh->dacChannels[1].phase, 0.75);
}

} // namespace
} // namespace velmora::settings
