// DriverSettings: the driver's persisted configuration under
// HKEY_CURRENT_USER (one module-independent key and one key per module
// serial number) and the located help file. It sees only the records it
// persists. Host thread only. Failures reach no caller; the last write's
// failure is kept as text (lastFailure) for whoever wants to show it.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <velmora/registry_store.h>

#include "core/channel_table.h"
#include "core/generator_setup.h"
#include "core/start_sync.h"

namespace velmora::settings {

class cRegistry;
class cRegistryBatch;

// The analog-input values a key holds, as references into the setup.
struct InputRecord {
    float& rate;
    float rateMax; // a stored rate above it is not taken
    core::ChannelTable& channelTable;
    int16_t channelsCount; // entries saved
    core::StartSync& sync; // per-module keys only
};

class DriverSettings {
public:
    DriverSettings();
    ~DriverSettings();
    DriverSettings(const DriverSettings&) = delete;
    DriverSettings& operator=(const DriverSettings&) = delete;

    std::string registryPath;      // the module-independent key; empty until prepared
    std::string helpFile;          // empty: no help
    int16_t savedChannelCount = 0; // the last index the channel table loaded
    // Why the last save or key creation stored nothing, in words; "" after
    // one that succeeded.
    std::string lastFailure;

    // Names the key after `name` and creates it with `name` as its default value.
    void PrepareLocation(const std::string& name);
    // Sets helpFile to the first "LCard*.chm" in the driver's folder; no
    // match leaves it as it was.
    void LocateHelpFile();

    // An empty (or blank) serial selects the module-independent key. A load
    // never creates a per-module key; a save does.
    void LoadInput(const std::string& serial, const InputRecord& input);
    void LoadGenerator(const std::string& serial, const core::GeneratorLimits& limits, int16_t channels,
                       core::GeneratorSetup& generator);
    // `generator` null: a module without outputs. A save is one store
    // transaction: every value of the key or none, after waiting at most
    // the store's lock wait (5 s) for another process. A value the driver
    // has as loaded is not written over another program's newer one.
    void Save(const std::string& serial, const InputRecord& input, const core::GeneratorSetup* generator,
              int16_t channels);
    // The save of the last object: the per-module key of serial (when not
    // blank) and then the module-independent key, in one transaction.
    // `again` false: none when it would write what the last SaveAll wrote
    // or tried to write, or what the store held at the last load or save.
    void SaveAll(const std::string& serial, const InputRecord& input, const core::GeneratorSetup* generator,
                 int16_t channels, bool again = true);

private:
    cRegistry& Registry();
    bool SelectKey(const std::string& serial);
    void LoadChannelTable(core::ChannelTable& table);
    void AddKey(cRegistryBatch& batch, const std::string& key, const InputRecord& input,
                const core::GeneratorSetup* generator, int16_t channels) const;
    std::string KeyPath(const std::string& key) const;
    void AddInput(cRegistryBatch& batch, const std::string& key, const InputRecord& input) const;
    bool Commit(cRegistryBatch& batch);

    // A value's type and data as stored.
    using StoredValue = std::pair<reg::DWORD, std::vector<uint8_t>>;
    // What a value was when its key was last loaded or saved here: in the
    // store (none: missing) and in the driver, as a save would write it.
    struct Held {
        std::optional<StoredValue> stored;
        std::vector<uint8_t> ours;
    };
    void Remember(const cRegistryBatch& asLoaded);
    bool AsHeld(const cRegistryBatch& batch) const;
    static std::map<std::string, StoredValue> StoredValues(const std::string& storeKey);
    bool ChangedElsewhere(const reg::RegBatchWrite& write,
                          const std::map<std::string, StoredValue>& now) const;

    std::unique_ptr<cRegistry> registry_;
    // By key and name as the store matches them. A save leaves out a value
    // the driver still has as loaded when another program stored a new one
    // meanwhile (e16rec --inputs se while e16scope runs), so neither loses
    // its change.
    std::map<std::string, Held> held_;
    // What the last SaveAll asked the store for, whatever came of it.
    std::vector<reg::RegBatchWrite> lastSaveAll_;
};

// How the driver encodes a value it keeps, for tools that show the store:
// a Single as a REG_DWORD of the float's bits, a Double as 8 bytes, an
// Integer (16 bits) in a REG_DWORD's low half.
enum class StoredKind { Plain, Single, Double, Integer };
StoredKind StoredKindOf(const std::string& valueName);

// The full name of the help file in folder, "" when there is none.
std::string FindHelpFile(const std::filesystem::path& folder);

} // namespace velmora::settings
