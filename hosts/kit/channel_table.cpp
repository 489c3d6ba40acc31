#include "channel_table.h"

#include "driver_access.h"

#include <velmora/registry_store.h>

namespace velmora::hosts {
namespace {

namespace reg = velmora::reg;
using namespace velmora::stored;

// The driver's module keys below its key: their names are serial numbers.
std::vector<std::string> ModuleKeys() {
    std::vector<std::string> names;
    reg::HKEY key = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_CURRENT_USER, DriverKey().c_str(), reg::KEY_READ, &key) !=
        reg::ERROR_SUCCESS)
        return names;
    for (reg::DWORD i = 0;; ++i) {
        char name[256];
        reg::DWORD size = sizeof name;
        if (reg::RegEnumKeyEx(key, i, name, &size) != reg::ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    reg::RegCloseKey(key);
    return names;
}

} // namespace

std::vector<uint8_t> ChannelTable(bool singleEnded) {
    std::vector<uint8_t> table(kTableChannels);
    for (int k = 0; k < kTableChannels; ++k) table[k] = ChannelByte(k, singleEnded);
    return table;
}

std::string TableChannelName(int16_t channel, bool singleEnded) {
    return InputName(channel % kTableChannels, singleEnded);
}

std::optional<InputsChoice> ParseInputs(const std::string& word) {
    if (word == "se") return InputsChoice::SingleEnded;
    if (word == "diff") return InputsChoice::Differential;
    return std::nullopt;
}

bool StoreInputs(InputsChoice choice, std::string& error) {
    return choice == InputsChoice::Keep || StoreChannelTable(choice == InputsChoice::SingleEnded, error);
}

bool StoreChannelTable(bool singleEnded, std::string& error) {
    const std::vector<uint8_t> table = ChannelTable(singleEnded);
    std::vector<reg::RegBatchWrite> writes;
    const auto add = [&](const std::string& key) {
        writes.push_back({key, kChannelTableValue, reg::REG_BINARY, {table.begin(), table.end()}, false});
    };
    add(DriverKey());
    for (const std::string& module : ModuleKeys()) add(DriverKey() + "\\" + module);
    const reg::LONG rc =
        reg::RegWriteBatch(reg::HKEY_CURRENT_USER, writes.data(), static_cast<reg::DWORD>(writes.size()));
    if (rc != reg::ERROR_SUCCESS)
        error = "cannot store the channel table in " + reg::StorePath() + ": " +
                SystemText(static_cast<uint32_t>(rc)) + StoreRemedy(static_cast<uint32_t>(rc));
    return rc == reg::ERROR_SUCCESS;
}

} // namespace velmora::hosts
