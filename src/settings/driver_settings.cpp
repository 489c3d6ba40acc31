#include "settings/driver_settings.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <vector>

#include "driver/driver_state.h"
#include "platform/module_folder.h"
#include "settings/cregistry.h"

namespace velmora::settings {
namespace {

constexpr const char* kVendorPath = "Software\\Tervan\\ADC";
constexpr const char* kMakerKey = "\\L-Card";
constexpr uint8_t kSingleEndedBit = 0x20;
constexpr int16_t kSyncModeAnalog = 5;
constexpr int16_t kWaveformCount = 7;
constexpr double kDefaultSignalFreq = 100.0;

cRegistry& Registry(DriverState& s) {
    if (!s.registry) s.registry = std::make_unique<cRegistry>();
    return *s.registry;
}

// Leading and trailing spaces only, as serial numbers come padded from the module.
std::string TrimSpaces(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string KeyPath(const DriverState& s, const std::string& serial) {
    return serial.empty() ? s.registryPath : s.registryPath + "\\" + serial;
}

// Points the registry at the key that serial selects. A load never creates a
// per-module key; a save does. False when the key is not the current location.
bool SelectKey(DriverState& s, const std::string& serial, bool create) {
    if (s.registryPath.empty()) return false; // the location was never prepared
    cRegistry& reg = Registry(s);
    reg.SetRoot(HKEY_CURRENT_USER);
    const std::string path = KeyPath(s, serial);
    if (!serial.empty() && !create && !reg.KeyExists(HKEY_CURRENT_USER, path)) return false;
    reg.SetPath(path);
    // A key that could not be created must not send the values elsewhere.
    return reg.Root() == HKEY_CURRENT_USER && reg.Path() == path;
}

bool RateAccepted(const DriverState& s, float rate) {
    return rate > 0.0f && rate <= s.rateMax;
}

void LoadChannelTable(DriverState& s) {
    cRegistry& reg = Registry(s);
    std::vector<uint8_t> bytes;
    if (!reg.GetBinaryAt(HKEY_CURRENT_USER, reg.Path(), "ADChannels", bytes)) return;
    const auto last = std::min<std::size_t>(bytes.size() - 1, driver::kChannels - 1);
    s.savedChannelCount = static_cast<int16_t>(last);
    for (s.loopIndex = 0; s.loopIndex <= s.savedChannelCount; ++s.loopIndex) {
        const uint8_t b = bytes[static_cast<std::size_t>(s.loopIndex)];
        driver::ChannelEntry& e = s.channelTable[static_cast<std::size_t>(s.loopIndex)];
        e.singleEnded = (b & kSingleEndedBit) != 0 ? 1 : 0;
        e.source = static_cast<int16_t>(b % driver::kChannels);
    }
}

void SaveChannelTable(DriverState& s) {
    const int16_t count = std::clamp<int16_t>(s.channelsCount, 0, driver::kChannels);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(count));
    for (s.loopIndex = 0; s.loopIndex < count; ++s.loopIndex) {
        const driver::ChannelEntry& e = s.channelTable[static_cast<std::size_t>(s.loopIndex)];
        // source & 31 is the source modulo 32 for any sign.
        const int b = (e.source & (driver::kChannels - 1)) + (e.singleEnded != 0 ? kSingleEndedBit : 0);
        bytes[static_cast<std::size_t>(s.loopIndex)] = static_cast<uint8_t>(b);
    }
    cRegistry& reg = Registry(s);
    reg.SetBinaryAt(HKEY_CURRENT_USER, reg.Path(), "ADChannels", bytes);
}

void LoadSync(DriverState& s) {
    cRegistry& reg = Registry(s);
    reg.ReadInteger("SynchroStartMode", s.syncStartMode, 0);
    if (s.syncStartMode != kSyncModeAnalog) return;
    reg.ReadInteger("SynchroADDirection", s.syncAdDirection, 0);
    reg.ReadInteger("SynchroADChannel", s.syncAdChannel, 0);
    reg.ReadInteger("SynchroADRange", s.syncAdRange, 0);
    reg.ReadInteger("SynchroADPorog", s.syncAdLevel, 0);
}

void SaveSync(DriverState& s) {
    cRegistry& reg = Registry(s);
    reg.WriteInteger("SynchroStartMode", s.syncStartMode);
    reg.WriteInteger("SynchroADDirection", s.syncAdDirection);
    reg.WriteInteger("SynchroADChannel", s.syncAdChannel);
    reg.WriteInteger("SynchroADRange", s.syncAdRange);
    reg.WriteInteger("SynchroADPorog", s.syncAdLevel);
}

int16_t DacCount(const DriverState& s) {
    return std::clamp<int16_t>(s.dacChannelsCount, 0, static_cast<int16_t>(s.dacChannels.size()));
}

bool CodeAccepted(const DriverState& s, int32_t code) {
    return code >= s.dacCodeMin && code <= s.dacCodeMax;
}

// Each value keeps the field's current value when missing; one out of its
// bounds becomes 0.
void LoadDacChannel(DriverState& s, driver::DacChannel& ch, const std::string& n) {
    cRegistry& reg = Registry(s);
    reg.ReadInteger("DACChType" + n, ch.waveform, ch.waveform);
    if (ch.waveform < 0 || ch.waveform >= kWaveformCount) ch.waveform = 0;
    reg.ReadLong("DACChAmp" + n, ch.amplitude, ch.amplitude);
    if (!CodeAccepted(s, ch.amplitude)) ch.amplitude = 0;
    reg.ReadLong("DACChBase" + n, ch.baseline, ch.baseline);
    if (!CodeAccepted(s, ch.baseline)) ch.baseline = 0;
    reg.ReadDouble("DACChPhase" + n, ch.phase, ch.phase);
    if (!(ch.phase >= 0.0 && ch.phase < 1.0)) ch.phase = 0.0;
}

void SaveDac(DriverState& s) {
    cRegistry& reg = Registry(s);
    reg.WriteDouble("DACChRate", s.dacSignalFreq);
    for (s.loopIndex = 0; s.loopIndex < DacCount(s); ++s.loopIndex) {
        const driver::DacChannel& ch = s.dacChannels[static_cast<std::size_t>(s.loopIndex)];
        const std::string n = std::to_string(s.loopIndex + 1);
        reg.WriteInteger("DACChType" + n, ch.waveform);
        reg.WriteLong("DACChAmp" + n, ch.amplitude);
        reg.WriteLong("DACChBase" + n, ch.baseline);
        reg.WriteDouble("DACChPhase" + n, ch.phase);
    }
}

bool MatchesHelpName(const std::string& name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.size() > 4 && lower.starts_with("lcard") && lower.ends_with(".chm");
}

} // namespace

void PrepareSettingsLocation(DriverState& s, const std::string& name) {
    s.registryPath = std::string(kVendorPath) + kMakerKey + "\\" + name;
    cRegistry& reg = Registry(s);
    reg.SetRoot(HKEY_CURRENT_USER);
    reg.SetPath(s.registryPath);
    if (reg.GetString("") != name) reg.WriteString("", name);
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

void LocateHelpFile(DriverState& s) {
    std::string file = FindHelpFile(platform::ModuleFolder());
    if (!file.empty()) s.helpFile = std::move(file);
}

void LoadSettings(DriverState& s, const std::string& serial) {
    const std::string key = TrimSpaces(serial);
    if (!SelectKey(s, key, false)) return;
    cRegistry& reg = Registry(s);
    float rate = 0.0f;
    if (reg.ReadSingle("Rate", rate, 0.0f) && RateAccepted(s, rate)) s.rate = rate;
    LoadChannelTable(s);
    if (!key.empty()) LoadSync(s);
}

void LoadDacSettings(DriverState& s, const std::string& serial) {
    if (!SelectKey(s, TrimSpaces(serial), false) || DacCount(s) == 0) return;
    Registry(s).ReadDouble("DACChRate", s.dacSignalFreq, s.dacSignalFreq);
    if (!(s.dacSignalFreq >= s.dacSignalFreqMin && s.dacSignalFreq <= s.dacSignalFreqMax))
        s.dacSignalFreq = kDefaultSignalFreq;
    for (s.loopIndex = 0; s.loopIndex < DacCount(s); ++s.loopIndex) {
        LoadDacChannel(s, s.dacChannels[static_cast<std::size_t>(s.loopIndex)],
                       std::to_string(s.loopIndex + 1));
    }
}

void SaveSettings(DriverState& s, const std::string& serial) {
    const std::string key = TrimSpaces(serial);
    if (!SelectKey(s, key, true)) return;
    if (RateAccepted(s, s.rate)) Registry(s).WriteSingle("Rate", s.rate);
    SaveChannelTable(s);
    if (key.empty()) return;
    SaveSync(s);
    if (DacCount(s) > 0) SaveDac(s);
}

} // namespace velmora::settings
