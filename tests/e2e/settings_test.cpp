// Settings across a restart of the host: the rate and channel table kept
// module-independently, the start synchronization per serial number.
#include <cstring>

#include "fixture.h"

namespace e2e {
namespace {

using Settings = HostTest;

// Logical 0 on X6 and 20 on Y5 against ground, 3 on physical 19
// differentially (the zero measurement), 31 on Y16; the rest identity.
std::vector<uint8_t> StoredTable() {
    std::vector<uint8_t> table = RampChannelTable();
    table[0] = 5 | 32;
    table[3] = 19;
    table[20] = 20 | 32;
    return table;
}

constexpr const char* kSyncNames[] = {"SynchroStartMode", "SynchroADDirection", "SynchroADChannel",
                                      "SynchroADRange", "SynchroADPorog"};
// Analog level, transition up, watching logical 3 on range 2 at 1234 codes.
constexpr uint32_t kSyncValues[] = {5, 1, 3, 2, 1234};

void ExpectSyncProgrammed() {
    e16sim_config config{};
    ASSERT_EQ(e16sim_get_config(E16SIM_MODULE_DAC, 1, &config), 0);
    EXPECT_EQ(config.sync_start_mode, 8u + 1u);
    EXPECT_EQ(config.watch_phy, 19u) << "a differential entry above 15 is watched against ground";
    EXPECT_EQ(config.watch_mode, 0u);
    EXPECT_EQ(config.watch_range, 2u);
    EXPECT_NEAR(config.watch_level, 1234.0 / 51200.0, 1e-9);
}

TEST_F(Settings, SurviveARestartOfTheHost) {
    ASSERT_TRUE(SetBinary(kSettingsKey, "ADChannels", StoredTable()));
    for (size_t i = 0; i < std::size(kSyncNames); ++i)
        ASSERT_TRUE(SetDword(kModuleKey, kSyncNames[i], kSyncValues[i]));

    Ptr<IADC3> adc = DetectedAdc();
    ASSERT_TRUE(adc);
    ExpectSyncProgrammed();
    float rate = 2000;
    adc->put_Rate(&rate);
    adc->get_Rate(&rate);
    ASSERT_EQ(rate, 2000.0f);
    // Only what the driver holds can come back: clear the store under it.
    for (const char* key : {kSettingsKey, kModuleKey}) {
        DeleteValue(key, "ADChannels");
        DeleteValue(key, "Rate");
    }
    for (const char* name : kSyncNames) DeleteValue(kModuleKey, name);
    adc.Reset();

    std::vector<uint8_t> table;
    uint32_t value = 0;
    ASSERT_TRUE(ReadBinary(kSettingsKey, "ADChannels", &table));
    EXPECT_EQ(table, StoredTable());
    ASSERT_TRUE(ReadDword(kSettingsKey, "Rate", &value));
    float stored = 0;
    std::memcpy(&stored, &value, sizeof stored);
    EXPECT_EQ(stored, 2000.0f);
    EXPECT_FALSE(ReadDword(kSettingsKey, "SynchroStartMode", &value)) << "synchronization is per module";
    for (size_t i = 0; i < std::size(kSyncNames); ++i) {
        ASSERT_TRUE(ReadDword(kModuleKey, kSyncNames[i], &value)) << kSyncNames[i];
        EXPECT_EQ(value & 0xFFFF, kSyncValues[i]) << kSyncNames[i];
    }

    // The restarted host finds rate and table in the module-independent key
    // alone, and the synchronization under the serial number.
    DeleteValue(kModuleKey, "ADChannels");
    DeleteValue(kModuleKey, "Rate");
    const ChildResult child = RunChild("settings");
    ASSERT_EQ(child.status, 0) << child.output;
    std::string names = "X6,XY2,XY3,Calibration 0";
    for (int k = 4; k < 16; ++k) names += ",XY" + std::to_string(k + 1);
    for (int k = 16; k < 31; ++k) names += k == 20 ? ",Y5" : ",Calibration 0";
    names += ",Y16";
    EXPECT_EQ(child.output, "names=" + names + "\nfound=1 rate=2000\nsync=9 watch=19/0/2/0.024102\n");
}

} // namespace
} // namespace e2e
