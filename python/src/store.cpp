// The user's registry store under HKEY_CURRENT_USER, through the store's
// public calls in libcomrt.so: what lintara's settings functions read and
// write. Raw values, and the channel table as the host kit lays it out; the
// generator's encodings live on the Python side.
#include "bindings.h"
#include "channel_table.h"
#include "driver_link.h"
#include "unlocked.h"

#include <velmora/registry_store.h>

#include <pybind11/stl.h>

#include <optional>
#include <tuple>

namespace lintara {
namespace {

namespace py = pybind11;
namespace reg = velmora::reg;

std::string StoreError(reg::LONG rc) {
    std::string text = reg::FormatMessage(static_cast<reg::DWORD>(rc));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text.empty() ? "error " + std::to_string(rc) : text;
}

// An open key, closed at the end of its scope; 0 when the key is missing.
struct OpenKey {
    explicit OpenKey(const std::string& path) {
        if (reg::RegOpenKeyEx(reg::HKEY_CURRENT_USER, path.c_str(), reg::KEY_READ, &key) !=
            reg::ERROR_SUCCESS)
            key = 0;
    }
    ~OpenKey() {
        if (key != 0) reg::RegCloseKey(key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    reg::HKEY key = 0;
};

// (type, data) of a value; None when the key or the value is missing.
std::optional<std::tuple<uint32_t, py::bytes>> Value(const std::string& path, const std::string& name) {
    std::string data;
    reg::DWORD type = 0, size = 0;
    {
        Unlocked unlocked;
        OpenKey key(path);
        if (key.key == 0 || reg::RegQueryValueEx(key.key, name.c_str(), &type, nullptr, &size) != 0)
            return std::nullopt;
        data.resize(size);
        if (reg::RegQueryValueEx(key.key, name.c_str(), &type, reinterpret_cast<reg::BYTE*>(data.data()),
                                 &size) != reg::ERROR_SUCCESS)
            return std::nullopt;
        data.resize(size);
    }
    return std::make_tuple(type, py::bytes(data));
}

std::vector<std::string> SubKeys(const std::string& path) {
    Unlocked unlocked;
    std::vector<std::string> names;
    OpenKey key(path);
    for (reg::DWORD i = 0; key.key != 0; ++i) {
        char name[256];
        reg::DWORD size = sizeof name;
        if (reg::RegEnumKeyEx(key.key, i, name, &size) != reg::ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    return names;
}

using Write = std::tuple<std::string, std::string, uint32_t, std::string>; // key, name, type, data

// Every write or none, in one store transaction.
void WriteAll(const std::vector<Write>& writes) {
    std::vector<reg::RegBatchWrite> batch;
    for (const auto& [key, name, type, data] : writes)
        batch.push_back({key, name, type, std::vector<reg::BYTE>(data.begin(), data.end()), false});
    Unlocked unlocked;
    const reg::LONG rc =
        reg::RegWriteBatch(reg::HKEY_CURRENT_USER, batch.data(), static_cast<reg::DWORD>(batch.size()));
    if (rc != reg::ERROR_SUCCESS)
        throw DriverFailure("the settings were not stored in " + reg::StorePath() + ": " + StoreError(rc));
}

// The kit keeps the table's layout and the keys it goes to.
void StoreChannelTable(bool singleEnded) {
    std::string error;
    bool stored = false;
    {
        Unlocked unlocked;
        stored = velmora::hosts::StoreChannelTable(singleEnded, error);
    }
    if (!stored) throw DriverFailure(error);
}

} // namespace

void BindStore(py::module_& m) {
    m.def("store_path", &reg::StorePath, "The registry store file in use.");
    m.def("store_value", &Value, py::arg("key"), py::arg("name"),
          "(type, data) of a value under HKEY_CURRENT_USER; None when missing.");
    m.def("store_subkeys", &SubKeys, py::arg("key"), "The sub-keys of a key under HKEY_CURRENT_USER.");
    m.def("store_write", &WriteAll, py::arg("writes"),
          "Writes (key, name, type, data) values under HKEY_CURRENT_USER in one transaction.");
    m.def("store_channel_table", &StoreChannelTable, py::arg("single_ended"),
          "Stores the channel table in the driver's key and every module's, in one transaction.");
}

} // namespace lintara
