#include "settings/driver_settings.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>

#include "settings/cregistry.h"
#include "store_connection.h"
#include "test_support.h"

namespace velmora::settings {
namespace {

using Bytes = std::vector<uint8_t>;
using core::StartMode;
using core::SyncDirection;
using core::Waveform;

constexpr const char* kBase = "Software\\Tervan\\ADC\\L-Card\\E16";
constexpr const char* kModule = "Software\\Tervan\\ADC\\L-Card\\E16\\SIM0001";
constexpr core::GeneratorLimits kLimits{-32000, 32000, 0.5, 100000.0};

// What the driver's start-up and the module description set before any
// load, so the settings code sees what it sees in the driver.
struct Persisted {
    float rate = 1000.0f;
    core::ChannelTable table = core::DefaultChannelTable();
    core::StartSync sync;
    core::GeneratorSetup generator{1000.0, {}};
    DriverSettings settings;

    Persisted() { settings.PrepareLocation("E16"); }
    InputRecord Input() { return {rate, 500000.0f, table, 32, sync}; }
    void Load(const std::string& serial) { settings.LoadInput(serial, Input()); }
    void LoadDac(const std::string& serial) { settings.LoadGenerator(serial, kLimits, 2, generator); }
    void Save(const std::string& serial) { settings.Save(serial, Input(), &generator, 2); }
    void SaveAll(const std::string& serial) { settings.SaveAll(serial, Input(), &generator, 2); }
};

class DriverSettingsTest : public ::testing::Test {
protected:
    std::vector<std::string> ValueNames(const std::string& path) {
        std::vector<std::string> names;
        reg.EnumValues(HKEY_CURRENT_USER, path, names);
        return {names.begin() + 1, names.end()};
    }
    float StoredRate(const char* key) {
        float rate = 0.0f;
        EXPECT_TRUE(reg.GetSingleAt(HKEY_CURRENT_USER, key, "Rate", rate)) << key;
        return rate;
    }

    test::PrivateStore store;
    cRegistry reg; // looks into the store past the code under test
    Persisted s;
};

// The first run creates the key with its name alone; a save adds only the
// rate and the channels, whatever the synchronization.
TEST_F(DriverSettingsTest, TheBaseKeyHoldsOnlyTheRateWithTheChannels) {
    std::string name;
    ASSERT_TRUE(reg.GetStringAt(HKEY_CURRENT_USER, kBase, "", name));
    EXPECT_EQ(name, "E16");
    s.Load("");
    EXPECT_EQ(s.rate, 1000.0f);
    EXPECT_EQ(ValueNames(kBase), std::vector<std::string>{""}) << "the first run";
    s.sync.mode = StartMode::AnalogLevel;
    s.Save("");
    EXPECT_EQ(ValueNames(kBase), (std::vector<std::string>{"", "Rate", "ADChannels"}));
}

TEST_F(DriverSettingsTest, RateOutsideItsRangeIsNeitherLoadedNorSaved) {
    for (float bad : {0.0f, -250.0f, 500001.0f}) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, kBase, "Rate", bad));
        s.rate = 1000.0f;
        s.Load("");
        EXPECT_EQ(s.rate, 1000.0f);
        reg.DeleteValue(HKEY_CURRENT_USER, kBase, "Rate");
        s.rate = bad;
        s.Save("");
        EXPECT_EQ(ValueNames(kBase), (std::vector<std::string>{"", "ADChannels"})) << "the rate was saved";
    }
    ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, kBase, "Rate", 500000.0f));
    s.Load("");
    EXPECT_EQ(s.rate, 500000.0f) << "the upper end";
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
        SCOPED_TRACE(testing::Message() << c.stored.size() << " bytes");
        Persisted fresh;
        ASSERT_TRUE(reg.SetBinaryAt(HKEY_CURRENT_USER, kBase, "ADChannels", c.stored));
        fresh.Load("");
        EXPECT_EQ(fresh.settings.savedChannelCount, c.count);
        for (std::size_t i = 0; i < c.first.size(); ++i)
            EXPECT_EQ(std::pair(fresh.table[i].source, fresh.table[i].singleEnded != 0), c.first[i])
                << "channel " << i;
        EXPECT_EQ(fresh.table[31].source, c.stored.size() == 40 ? 7 : 31);
    }
    s.table[0] = {5, 1};
    s.table[1] = {37, -1}; // source taken modulo 32, any nonzero flag
    s.Save("");
    Bytes stored;
    ASSERT_TRUE(reg.GetBinaryAt(HKEY_CURRENT_USER, kBase, "ADChannels", stored));
    ASSERT_EQ(stored.size(), 32u);
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + 3), (Bytes{0x25, 0x25, 0x02}));
}

// A module key's synchronization as the load takes it: none stored resets
// the mode and keeps the level (read only in the analog mode); the analog
// mode reads its own channel and level, under a serial in blanks too; a
// range the module lacks becomes the widest.
TEST_F(DriverSettingsTest, AModuleKeysSynchronizationIsLoadedOrReset) {
    const struct {
        const char* serial;
        int16_t storedMode, storedRange; // -2: not stored
        StartMode mode;
        int16_t channel, level, range;
    } cases[] = {
        {"SIM0001", -2, -2, StartMode::Internal, 0, 77, 0},
        {"  SIM0001 ", 5, -2, StartMode::AnalogLevel, 4, 0, 0},
        {"SIM0001", 5, 3, StartMode::AnalogLevel, 4, 0, 3},
        {"SIM0001", 5, 4, StartMode::AnalogLevel, 4, 0, 0},
        {"SIM0001", 5, -1, StartMode::AnalogLevel, 4, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.storedMode << ", range " << c.storedRange);
        reg.DeleteKey(HKEY_CURRENT_USER, kModule);
        reg.CreateKey(HKEY_CURRENT_USER, kModule);
        ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, kModule, "Rate", 2000.0f));
        if (c.storedMode != -2) {
            reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "SynchroStartMode", c.storedMode);
            reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "SynchroADChannel", 4);
        }
        if (c.storedRange != -2)
            reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "SynchroADRange", c.storedRange);
        s.sync = {StartMode::Syn2Rise, {}, 0, 0, 77}; // level 77
        s.Load(c.serial);
        EXPECT_EQ(std::tuple(s.sync.mode, s.sync.channel, s.sync.level, s.sync.range),
                  std::tuple(c.mode, c.channel, c.level, c.range));
    }
}

TEST_F(DriverSettingsTest, OutputValuesOutOfBoundsAreReplaced) {
    reg.CreateKey(HKEY_CURRENT_USER, kModule);
    reg.SetDoubleAt(HKEY_CURRENT_USER, kModule, "DACChRate", 0.2);
    reg.SetIntegerAt(HKEY_CURRENT_USER, kModule, "DACChType1", 7);
    reg.SetLongAt(HKEY_CURRENT_USER, kModule, "DACChAmp1", 32001);
    reg.SetLongAt(HKEY_CURRENT_USER, kModule, "DACChBase1", -32000);
    reg.SetDoubleAt(HKEY_CURRENT_USER, kModule, "DACChPhase2", 1.0);
    s.generator.waves[0].phase = 0.25;
    s.generator.waves[1].amplitude = 1234;
    s.LoadDac("SIM0001");
    const auto& w = s.generator.waves;
    EXPECT_EQ(s.generator.signalFreq, 100.0);
    EXPECT_EQ(std::tuple(w[0].waveform, w[0].amplitude, w[0].baseline, w[0].phase),
              std::tuple(Waveform::Off, 0, -32000, 0.25))
        << "a missing phase is kept";
    EXPECT_EQ(std::pair(w[1].amplitude, w[1].phase), std::pair(1234, 0.0));
    // The ends the DAC page takes are kept; past them, the default.
    for (const auto& [stored, loaded] : {std::pair{0.5, 0.5}, {100000.0, 100000.0}, {100000.5, 100.0}}) {
        reg.SetDoubleAt(HKEY_CURRENT_USER, kModule, "DACChRate", stored);
        s.LoadDac("SIM0001");
        EXPECT_EQ(s.generator.signalFreq, loaded) << "stored " << stored;
    }
}

// The generator's round trip is the Python package's test, through the driver.
TEST_F(DriverSettingsTest, SavedInputsComeBackIntoAFreshState) {
    s.rate = 12345.5f;
    s.table[3] = {20, 1};
    s.sync = {StartMode::AnalogLevel, SyncDirection::RisingThrough, 7, 2, -6400};
    s.Save(" SIM0001 ");
    Persisted fresh;
    fresh.Load("SIM0001");
    const auto inputs = [](const Persisted& p) {
        const core::StartSync& y = p.sync;
        return std::tuple(p.rate, p.table[3].source, p.table[3].singleEnded != 0, y.mode, y.direction,
                          y.channel, y.range, y.level);
    };
    EXPECT_EQ(inputs(fresh), inputs(s)) << "the rate, channel 3, the synchronization";
}

// Two programs hold the driver: a save writes what changed here and leaves a
// value still as loaded here, which the other changed meanwhile (a channel
// table e16rec stored while e16scope ran), even after a save of its own;
// whether the keys held the values at the load or not yet.
TEST_F(DriverSettingsTest, ASaveKeepsAnotherProgramsChangeToAValueLeftAsLoaded) {
    for (const bool storedBefore : {false, true}) {
        SCOPED_TRACE(storedBefore ? "stored before the load" : "a first run");
        test::PrivateStore fresh;
        if (storedBefore) Persisted().SaveAll("SIM0001");
        Persisted running;
        running.Load("");
        running.Load("SIM0001");
        const Bytes table(32, 0x21);
        for (const char* key : {kBase, kModule})
            ASSERT_TRUE(reg.CreateKey(HKEY_CURRENT_USER, key) &&
                        reg.SetBinaryAt(HKEY_CURRENT_USER, key, "ADChannels", table));
        for (const float rate : {3000.0f, 4000.0f}) {
            running.rate = 3000.0f;
            running.SaveAll("SIM0001");
            for (const char* key : {kBase, kModule}) {
                SCOPED_TRACE(std::string(key) + " after " + std::to_string(rate));
                Bytes stored;
                ASSERT_TRUE(reg.GetBinaryAt(HKEY_CURRENT_USER, key, "ADChannels", stored));
                EXPECT_EQ(stored, table) << "the other program's table was overwritten";
                EXPECT_EQ(StoredRate(key), rate);
                ASSERT_TRUE(
                    reg.SetSingleAt(HKEY_CURRENT_USER, key, "Rate", 4000.0f)); // the other's next change
            }
        }
    }
}

// What a save stores once the store is free again is
// DetectedModule.SaveSettingsStoresOnlyOnAFreeStore's (module_test).
TEST_F(DriverSettingsTest, ALockedStoreEndsTheLastSaveWithinTheLockWaitWithNothingWritten) {
    s.Save("");
    s.rate = 2500.0f;
    s.sync.mode = StartMode::AnalogLevel;
    test::StoreConnection other;
    other.Lock();
    const auto start = std::chrono::steady_clock::now();
    s.SaveAll("SIM0001");
    const auto waited = std::chrono::steady_clock::now() - start;
    other.Release();
    EXPECT_LT(waited, std::chrono::milliseconds(6500)) << "one wait of 5 s for both keys, not one per value";
    EXPECT_GE(waited, std::chrono::milliseconds(4900))
        << "a lock is waited for the whole 5 s before giving up";
    EXPECT_THAT(s.settings.lastFailure, testing::HasSubstr("another process has locked"));
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, kModule)) << "the module key was created";
    EXPECT_EQ(StoredRate(kBase), 1000.0f) << "the module-independent key was written";
    s.SaveAll("SIM0001");
    EXPECT_EQ(s.settings.lastFailure, "") << "a save that succeeded clears the failure";
}

// The last release saves only what changed since the load or the host's
// own save, which it does not try again when it failed: no wait on a
// locked store for nothing.
TEST_F(DriverSettingsTest, TheLastReleaseSavesOnlyWhatChangedSinceTheLoadOrTheHostsSave) {
    s.SaveAll("SIM0001");
    Persisted loaded;
    loaded.Load("");
    loaded.Load("SIM0001");
    loaded.LoadDac("SIM0001");
    test::StoreConnection other;
    other.PoisonValue("Rate");
    const auto release = [&] {
        loaded.settings.SaveAll("SIM0001", loaded.Input(), &loaded.generator, 2, false);
    };
    release();
    EXPECT_EQ(loaded.settings.lastFailure, "") << "a save of what the store holds";
    loaded.rate = 2500.0f;
    loaded.SaveAll("SIM0001"); // the host's, refused
    ASSERT_NE(loaded.settings.lastFailure, "");
    other.Cure();
    release();
    EXPECT_EQ(StoredRate(kBase), 1000.0f) << "the refused save tried again";
    loaded.rate = 3000.0f;
    release();
    EXPECT_EQ(StoredRate(kBase), 3000.0f) << "a change since not saved";
}

// The help file is the first, by name, of the folder's files named
// LCard*.chm in any case; a folder of that name does not count.
TEST(HelpFile, IsTheFirstLCardChmFileByName) {
    // The files, the one found.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},
        {{"LCard.txt", "E16.chm", "Card.chm"}, ""},
        {{"lcarde16.CHM"}, "lcarde16.CHM"},
        {{"LCardZ.chm", "LCardB.chm", "LCard.chm/"}, "LCardB.chm"}};
    for (const auto& [files, found] : cases) {
        test::TempDir folder;
        for (const std::string& name : files) {
            if (name.ends_with('/'))
                std::filesystem::create_directory(folder.path() / name);
            else
                std::ofstream(folder.path() / name) << "help";
        }
        EXPECT_EQ(FindHelpFile(folder.path()), found.empty() ? "" : (folder.path() / found).string())
            << found;
    }
}

} // namespace
} // namespace velmora::settings
