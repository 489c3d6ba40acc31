// The registry store opened on a hostile database: the input is the bytes of
// the SQLite file, put at the store's path in a fresh private XDG_CONFIG_HOME.
// The store API then walks both kept roots (information, values, sub-keys,
// four levels deep), and cRegistry exports them, reads typed values, writes,
// creates and deletes.
// Checks: what a successful call reports fits the buffers it was given, and
// a buffer as large as RegQueryInfoKey's maxima takes every value and name.
#include <velmora/registry_store.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "settings/cregistry.h"

namespace {

namespace reg = velmora::reg;
using velmora::fuzz::Check;
using velmora::settings::cRegistry;

constexpr int kMaxDepth = 4;
constexpr reg::DWORD kMaxItems = 16;
// The harness's own buffers stay small whatever a hostile file claims.
constexpr reg::DWORD kMaxBuffer = 1 << 16;

struct KeyInfo {
    reg::DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0, maxValueLen = 0;
};

void Values(reg::HKEY key, const KeyInfo& info) {
    const bool bounded = info.maxValueLen < kMaxBuffer && info.maxValueNameLen < kMaxBuffer;
    std::vector<char> name(std::min(info.maxValueNameLen, kMaxBuffer) + 1);
    std::vector<reg::BYTE> data(std::min(info.maxValueLen, kMaxBuffer) + 1);
    for (reg::DWORD i = 0; i < std::min(info.values, kMaxItems); ++i) {
        auto nameChars = static_cast<reg::DWORD>(name.size());
        auto bytes = static_cast<reg::DWORD>(data.size());
        reg::DWORD type = 0;
        const reg::LONG r = reg::RegEnumValue(key, i, name.data(), &nameChars, &type, data.data(), &bytes);
        if (r != reg::ERROR_SUCCESS) {
            // Buffers sized by the maxima hold every value of the key.
            Check(r != reg::ERROR_MORE_DATA || !bounded, "a value is larger than RegQueryInfoKey says");
            continue;
        }
        Check(nameChars < name.size() && name[nameChars] == '\0', "an enumerated value name overran");
        Check(bytes <= data.size(), "enumerated value data overran");
        reg::DWORD size = 0;
        if (reg::RegQueryValueEx(key, name.data(), &type, nullptr, &size) == reg::ERROR_SUCCESS)
            Check(size == bytes, "a value's size differs between enumeration and query");
    }
}

void Walk(reg::HKEY key, int depth) {
    KeyInfo info;
    if (reg::RegQueryInfoKey(key, &info.subKeys, &info.maxSubKeyLen, &info.values, &info.maxValueNameLen,
                             &info.maxValueLen) != reg::ERROR_SUCCESS)
        return;
    Values(key, info);
    for (reg::DWORD i = 0; i < std::min(info.subKeys, kMaxItems); ++i) {
        char name[256];
        reg::DWORD chars = sizeof name;
        const reg::LONG r = reg::RegEnumKeyEx(key, i, name, &chars);
        if (r != reg::ERROR_SUCCESS) {
            Check(r != reg::ERROR_MORE_DATA || info.maxSubKeyLen >= sizeof name,
                  "a sub-key name is longer than RegQueryInfoKey says");
            continue;
        }
        Check(chars < sizeof name && name[chars] == '\0', "an enumerated key name overran");
        reg::HKEY child = 0;
        if (depth < kMaxDepth && reg::RegOpenKeyEx(key, name, reg::KEY_READ, &child) == reg::ERROR_SUCCESS) {
            Walk(child, depth + 1);
            reg::RegCloseKey(child);
        }
    }
}

// Typed reads of the first values of a key, the way the driver reads settings.
void ReadTyped(cRegistry& r, int32_t root, const std::string& path) {
    std::vector<std::string> names;
    r.EnumValues(root, path, names);
    for (size_t i = 1; i < names.size() && i <= kMaxItems; ++i) {
        std::string text;
        int32_t number = 0;
        double real = 0;
        std::vector<uint8_t> bytes;
        velmora::settings::RegValue value;
        r.GetStringAt(root, path, names[i], text);
        r.GetLongAt(root, path, names[i], number);
        r.GetDoubleAt(root, path, names[i], real);
        r.GetBinaryAt(root, path, names[i], bytes);
        r.QueryValueAt(root, path, names[i], value);
    }
}

void Writes(cRegistry& r) {
    const std::string key = "Software\\Fuzz";
    if (r.CreateKey(velmora::settings::HKEY_CURRENT_USER, key, "default")) {
        r.SetStringAt(velmora::settings::HKEY_CURRENT_USER, key, "Text", "value");
        r.SetLongAt(velmora::settings::HKEY_CURRENT_USER, key, "Number", 42);
        r.SetBinaryAt(velmora::settings::HKEY_CURRENT_USER, key, "Bytes", {1, 2, 3});
        r.SetDoubleAt(velmora::settings::HKEY_CURRENT_USER, key, "Real", 0.5);
        r.DeleteValue(velmora::settings::HKEY_CURRENT_USER, key, "Text");
        r.DeleteKey(velmora::settings::HKEY_CURRENT_USER, key);
    }
    // The driver's own location: its path is created when set.
    r.SetPath("Software\\Tervan\\ADC");
    int32_t rate = 0;
    r.WriteLong("Rate", 1000);
    r.ReadLong("Rate", rate, 0);
    // A key found in the file goes, unless it has sub-keys.
    std::vector<std::string> names;
    r.EnumKeys(velmora::settings::HKEY_CURRENT_USER, "Software", names);
    if (names.size() > 1) r.DeleteKey(velmora::settings::HKEY_CURRENT_USER, "Software\\" + names[1]);
    reg::RegDeleteKey(reg::HKEY_CLASSES_ROOT, "CLSID");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velmora::fuzz::ForbidSockets();
    velmora::fuzz::PrivateFolder::Init("registry_store");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto run = velmora::fuzz::PrivateFolder::Get().FreshRun();
    std::filesystem::create_directories(run / "velmora");
    std::ofstream(run / "velmora" / "registry.db", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Check(reg::StorePath() == (run / "velmora" / "registry.db").string(),
          "the store is not in the run folder");

    for (reg::HKEY root : {reg::HKEY_CURRENT_USER, reg::HKEY_CLASSES_ROOT}) Walk(root, 0);
    cRegistry r;
    r.ExportKey(velmora::settings::HKEY_CURRENT_USER, "", true);
    r.ExportKey(velmora::settings::HKEY_CLASSES_ROOT, "", true);
    ReadTyped(r, velmora::settings::HKEY_CURRENT_USER, "Software");
    Writes(r);
    return 0;
}
