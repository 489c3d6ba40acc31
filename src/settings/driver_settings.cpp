#include "settings/driver_settings.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include <velmora/stored_channels.h>

#include "platform/module_folder.h"
#include "settings/cregistry.h"
#include "settings/cregistry_batch.h"
#include "settings/cregistry_key.h"

namespace velmora::settings {
namespace {

static_assert(stored::kTableChannels == core::kChannels, "a stored byte per logical channel");

// Leading and trailing spaces only, as serial numbers come padded from the module.
std::string TrimSpaces(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool RateAccepted(const InputRecord& input, float rate) {
    return rate > 0.0f && rate <= input.rateMax;
}

void LoadSync(cRegistry& reg, core::StartSync& sync) {
    int16_t mode = 0;
    reg.ReadInteger("SynchroStartMode", mode, 0);
    sync.mode = static_cast<core::StartMode>(mode);
    if (!core::StartKindOf(sync.mode).level) return;
    int16_t direction = 0;
    reg.ReadInteger("SynchroADDirection", direction, 0);
    sync.direction = static_cast<core::SyncDirection>(direction);
    reg.ReadInteger("SynchroADChannel", sync.channel, 0);
    reg.ReadInteger("SynchroADRange", sync.range, 0);
    if (!core::IsRange(sync.range)) sync.range = 0;
    reg.ReadInteger("SynchroADPorog", sync.level, 0);
}

void SaveSync(cRegistryBatch& batch, const core::StartSync& sync) {
    batch.WriteInteger("SynchroStartMode", static_cast<int16_t>(sync.mode));
    batch.WriteInteger("SynchroADDirection", static_cast<int16_t>(sync.direction));
    batch.WriteInteger("SynchroADChannel", sync.channel);
    batch.WriteInteger("SynchroADRange", sync.range);
    batch.WriteInteger("SynchroADPorog", sync.level);
}

std::vector<uint8_t> ChannelBytes(const core::ChannelTable& table, int16_t count) {
    count = std::clamp<int16_t>(count, 0, core::kChannels);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const core::ChannelEntry& e = table[i];
        bytes[i] = stored::ChannelByte(core::FoldChannel(e.source), e.singleEnded != 0);
    }
    return bytes;
}

int16_t WaveCount(int16_t channels, const core::GeneratorSetup& generator) {
    return std::clamp<int16_t>(channels, 0, static_cast<int16_t>(generator.waves.size()));
}

// Each value keeps the field's current value when missing; one out of its
// bounds becomes 0 (Off for the kind).
void LoadWave(cRegistry& reg, const core::GeneratorLimits& limits, core::WaveSettings& wave,
              const std::string& n) {
    auto code = [&](int32_t value) { return value >= limits.codeMin && value <= limits.codeMax ? value : 0; };
    int16_t kind = static_cast<int16_t>(wave.waveform);
    reg.ReadInteger("DACChType" + n, kind, kind);
    wave.waveform =
        kind >= 0 && kind < core::kWaveformCount ? static_cast<core::Waveform>(kind) : core::Waveform::Off;
    reg.ReadLong("DACChAmp" + n, wave.amplitude, wave.amplitude);
    wave.amplitude = code(wave.amplitude);
    reg.ReadLong("DACChBase" + n, wave.baseline, wave.baseline);
    wave.baseline = code(wave.baseline);
    reg.ReadDouble("DACChPhase" + n, wave.phase, wave.phase);
    // A fraction of a period, 0 <= phase < 1: 1, a whole period, is 0, as
    // the DAC page takes it.
    if (!(wave.phase >= 0.0 && wave.phase < 1.0)) wave.phase = 0.0;
}

void SaveGenerator(cRegistryBatch& batch, const core::GeneratorSetup& generator, int16_t count) {
    batch.WriteDouble("DACChRate", generator.signalFreq);
    for (int16_t i = 0; i < count; ++i) {
        const core::WaveSettings& wave = generator.waves[static_cast<std::size_t>(i)];
        const std::string n = std::to_string(i + 1);
        batch.WriteInteger("DACChType" + n, static_cast<int16_t>(wave.waveform));
        batch.WriteLong("DACChAmp" + n, wave.amplitude);
        batch.WriteLong("DACChBase" + n, wave.baseline);
        batch.WriteDouble("DACChPhase" + n, wave.phase);
    }
}

// Value and file names compare as the store compares them, in any case.
std::string AsciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A value's place as the store matches it: key and name in any case.
std::string HeldName(const std::string& storeKey, const std::string& storeName) {
    return AsciiLower(storeKey) + '\n' + AsciiLower(storeName);
}

bool SameWrite(const reg::RegBatchWrite& a, const reg::RegBatchWrite& b) {
    return a.subKey == b.subKey && a.name == b.name && a.type == b.type && a.data == b.data &&
           a.keyOnly == b.keyOnly;
}

bool MatchesHelpName(const std::string& name) {
    const std::string lower = AsciiLower(name);
    return lower.size() > 4 && lower.starts_with("lcard") && lower.ends_with(".chm");
}

} // namespace

DriverSettings::DriverSettings() = default;
DriverSettings::~DriverSettings() = default;

cRegistry& DriverSettings::Registry() {
    if (!registry_) registry_ = std::make_unique<cRegistry>();
    return *registry_;
}

// Points the registry at the key that serial selects for a load; a missing
// per-module key is not created. False when the key is not the current location.
bool DriverSettings::SelectKey(const std::string& serial) {
    if (registryPath.empty()) return false; // the location was never prepared
    cRegistry& reg = Registry();
    reg.SetRoot(HKEY_CURRENT_USER);
    const std::string path = KeyPath(serial);
    if (!serial.empty() && !reg.KeyExists(HKEY_CURRENT_USER, path)) return false;
    reg.SetPath(path);
    // A key that could not be created must not have values read from elsewhere.
    return reg.Root() == HKEY_CURRENT_USER && reg.Path() == path;
}

std::string DriverSettings::KeyPath(const std::string& key) const {
    return key.empty() ? registryPath : registryPath + "\\" + key;
}

// The batch's values as the driver has them now and as the store holds them
// (a missing key: none) become what a save compares with.
void DriverSettings::Remember(const cRegistryBatch& asLoaded) {
    std::map<std::string, StoredValue> stored;
    for (const reg::RegBatchWrite& write : asLoaded.Writes()) {
        if (write.keyOnly) {
            stored = StoredValues(write.subKey);
            continue;
        }
        const auto now = stored.find(AsciiLower(write.name));
        held_[HeldName(write.subKey, write.name)] = {
            now == stored.end() ? std::nullopt : std::optional(now->second), write.data};
    }
}

// Every value as the store held it at the last load or save here, and the
// driver's still the same: a save would change nothing, as one the store
// holds otherwise now was changed elsewhere and is left alone.
bool DriverSettings::AsHeld(const cRegistryBatch& batch) const {
    return std::ranges::all_of(batch.Writes(), [this](const reg::RegBatchWrite& write) {
        const auto held = held_.find(HeldName(write.subKey, write.name));
        return write.keyOnly || (held != held_.end() && held->second.ours == write.data &&
                                 held->second.stored == StoredValue{write.type, write.data});
    });
}

// The values of a key (its name as the store has it) by name in any case;
// none when it cannot be read.
std::map<std::string, DriverSettings::StoredValue> DriverSettings::StoredValues(const std::string& storeKey) {
    int32_t error = 0;
    std::map<std::string, StoredValue> values;
    for (reg::RegValueEntry& value :
         detail::ReadValues(HKEY_CURRENT_USER, detail::FromStore(storeKey), error))
        values.emplace(AsciiLower(value.name), StoredValue{value.type, std::move(value.data)});
    return values;
}

// A value the driver still has as loaded, whose stored one another program
// changed since, is left out; any other is written.
bool DriverSettings::ChangedElsewhere(const reg::RegBatchWrite& write,
                                      const std::map<std::string, StoredValue>& now) const {
    const auto held = held_.find(HeldName(write.subKey, write.name));
    if (held == held_.end() || held->second.ours != write.data) return false;
    const auto stored = now.find(AsciiLower(write.name));
    return stored != now.end() && stored->second != held->second.stored;
}

void DriverSettings::LoadChannelTable(core::ChannelTable& table) {
    cRegistry& reg = Registry();
    std::vector<uint8_t> bytes;
    if (!reg.GetBinaryAt(HKEY_CURRENT_USER, reg.Path(), stored::kChannelTableValue, bytes)) return;
    const auto last = std::min<std::size_t>(bytes.size() - 1, core::kChannels - 1);
    savedChannelCount = static_cast<int16_t>(last);
    for (std::size_t i = 0; i <= last; ++i) {
        table[i].singleEnded = stored::ByteSingleEnded(bytes[i]) ? 1 : 0;
        table[i].source = static_cast<int16_t>(stored::ByteSource(bytes[i]));
    }
}

// Applies the batch, without the values another program changed and the
// driver did not; on failure keeps the reason, nothing having been written.
bool DriverSettings::Commit(cRegistryBatch& batch) {
    std::map<std::string, std::map<std::string, StoredValue>> now; // by key
    batch.DropValues([&](const reg::RegBatchWrite& write) {
        auto [key, fresh] = now.try_emplace(write.subKey);
        if (fresh) key->second = StoredValues(write.subKey);
        return ChangedElsewhere(write, key->second);
    });
    cRegistry& reg = Registry();
    if (reg.WriteBatch(HKEY_CURRENT_USER, batch)) {
        for (const reg::RegBatchWrite& write : batch.Writes())
            if (!write.keyOnly)
                held_[HeldName(write.subKey, write.name)] = {{{write.type, write.data}}, write.data};
        lastFailure.clear();
        return true;
    }
    lastFailure = "The settings under " + cRegistry::RootName(HKEY_CURRENT_USER) + "\\" + registryPath +
                  " were not saved: " + reg.LastErrorText() + "; those stored before stay.";
    return false;
}

// The key and its name in one transaction, so a first run that fails leaves
// no nameless key behind.
void DriverSettings::PrepareLocation(const std::string& name) {
    registryPath = stored::DriverKey(name);
    cRegistry& reg = Registry();
    std::string stored;
    if (!reg.GetStringAt(HKEY_CURRENT_USER, registryPath, "", stored) || stored != name) {
        cRegistryBatch batch;
        batch.SetKey(registryPath);
        batch.WriteString("", name);
        if (!Commit(batch)) return;
    }
    reg.SetRoot(HKEY_CURRENT_USER);
    reg.SetPath(registryPath);
}

StoredKind StoredKindOf(const std::string& valueName) {
    static constexpr std::string_view kIntegers[] = {"synchrostartmode", "synchroaddirection",
                                                     "synchroadchannel", "synchroadrange", "synchroadporog"};
    const std::string name = AsciiLower(valueName);
    // DACChPhase1, DACChType2...: a prefix and the wave's number.
    const auto numbered = [&name](std::string_view prefix) {
        return name.size() > prefix.size() && name.starts_with(prefix) &&
               std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                           [](char c) { return c >= '0' && c <= '9'; });
    };
    if (name == "rate") return StoredKind::Single;
    if (name == "dacchrate" || numbered("dacchphase")) return StoredKind::Double;
    if (numbered("dacchtype") ||
        std::find(std::begin(kIntegers), std::end(kIntegers), name) != std::end(kIntegers))
        return StoredKind::Integer;
    return StoredKind::Plain;
}

std::string FindHelpFile(const std::filesystem::path& folder) {
    // Windows matched the pattern without regard to case; the first in name
    // order stands in for the first the directory listing gave there.
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.is_regular_file(ec) && MatchesHelpName(entry.path().filename().string()))
            names.push_back(entry.path().filename().string());
    }
    if (names.empty()) return {};
    return (folder / *std::min_element(names.begin(), names.end())).string();
}

void DriverSettings::LocateHelpFile() {
    std::string file = FindHelpFile(platform::ModuleFolder());
    if (!file.empty()) helpFile = std::move(file);
}

void DriverSettings::LoadInput(const std::string& serial, const InputRecord& input) {
    const std::string key = TrimSpaces(serial);
    if (registryPath.empty()) return;
    if (SelectKey(key)) {
        cRegistry& reg = Registry();
        float rate = 0.0f;
        if (reg.ReadSingle("Rate", rate, 0.0f) && RateAccepted(input, rate)) input.rate = rate;
        LoadChannelTable(input.channelTable);
        if (!key.empty()) LoadSync(reg, input.sync);
    }
    cRegistryBatch asLoaded;
    AddInput(asLoaded, key, input);
    Remember(asLoaded);
}

void DriverSettings::LoadGenerator(const std::string& serial, const core::GeneratorLimits& limits,
                                   int16_t channels, core::GeneratorSetup& generator) {
    const int16_t count = WaveCount(channels, generator);
    const std::string key = TrimSpaces(serial);
    if (registryPath.empty() || count == 0) return;
    if (SelectKey(key)) {
        cRegistry& reg = Registry();
        double& freq = generator.signalFreq;
        reg.ReadDouble("DACChRate", freq, freq);
        if (!(freq >= limits.signalFreqMin && freq <= limits.signalFreqMax)) freq = core::kDefaultSignalFreq;
        for (int16_t i = 0; i < count; ++i)
            LoadWave(reg, limits, generator.waves[static_cast<std::size_t>(i)], std::to_string(i + 1));
    }
    cRegistryBatch asLoaded;
    asLoaded.SetKey(KeyPath(key));
    SaveGenerator(asLoaded, generator, count);
    Remember(asLoaded);
}

// The key is created even when no value is written to it.
void DriverSettings::AddInput(cRegistryBatch& batch, const std::string& key, const InputRecord& input) const {
    batch.SetKey(KeyPath(key));
    if (RateAccepted(input, input.rate)) batch.WriteSingle("Rate", input.rate);
    batch.WriteBinary(stored::kChannelTableValue, ChannelBytes(input.channelTable, input.channelsCount));
    if (!key.empty()) SaveSync(batch, input.sync);
}

void DriverSettings::AddKey(cRegistryBatch& batch, const std::string& key, const InputRecord& input,
                            const core::GeneratorSetup* generator, int16_t channels) const {
    AddInput(batch, key, input);
    if (!key.empty() && generator != nullptr && WaveCount(channels, *generator) > 0)
        SaveGenerator(batch, *generator, WaveCount(channels, *generator));
}

void DriverSettings::Save(const std::string& serial, const InputRecord& input,
                          const core::GeneratorSetup* generator, int16_t channels) {
    if (registryPath.empty()) return; // the location was never prepared
    cRegistryBatch batch;
    AddKey(batch, TrimSpaces(serial), input, generator, channels);
    Commit(batch);
}

void DriverSettings::SaveAll(const std::string& serial, const InputRecord& input,
                             const core::GeneratorSetup* generator, int16_t channels, bool again) {
    if (registryPath.empty()) return;
    cRegistryBatch batch;
    const std::string key = TrimSpaces(serial);
    if (!key.empty()) AddKey(batch, key, input, generator, channels);
    AddKey(batch, "", input, nullptr, 0);
    if (!again && (std::ranges::equal(batch.Writes(), lastSaveAll_, SameWrite) || AsHeld(batch))) return;
    lastSaveAll_ = batch.Writes();
    Commit(batch);
}

} // namespace velmora::settings
