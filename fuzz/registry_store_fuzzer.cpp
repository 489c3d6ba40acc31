// The registry store opened on a hostile database: the input is the bytes of
// the SQLite file at the store's path. The store API walks both kept roots
// (information, values, sub-keys, four levels deep), and cRegistry exports
// them, reads typed values, writes, creates and deletes.
// Checks: what a call reports fits the buffers it was given, buffers as large
// as RegQueryInfoKey's maxima take every value and name, and reading every
// value at once finds as many as it counts.
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
constexpr reg::DWORD kMaxBuffer = 1 << 16; // whatever a hostile file claims
constexpr int32_t kUser = velmora::settings::HKEY_CURRENT_USER;

void Values(reg::HKEY key, reg::DWORD values, reg::DWORD maxNameLen, reg::DWORD maxValueLen) {
    const bool bounded = maxValueLen < kMaxBuffer && maxNameLen < kMaxBuffer;
    std::vector<char> name(std::min(maxNameLen, kMaxBuffer) + 1);
    std::vector<reg::BYTE> data(std::min(maxValueLen, kMaxBuffer) + 1);
    for (reg::DWORD i = 0; i < std::min(values, kMaxItems); ++i) {
        auto chars = static_cast<reg::DWORD>(name.size()), bytes = static_cast<reg::DWORD>(data.size());
        reg::DWORD type = 0, size = 0;
        const reg::LONG r = reg::RegEnumValue(key, i, name.data(), &chars, &type, data.data(), &bytes);
        if (r != reg::ERROR_SUCCESS) {
            Check(r != reg::ERROR_MORE_DATA || !bounded, "a value is larger than RegQueryInfoKey says");
            continue;
        }
        Check(chars < name.size() && name[chars] == '\0', "an enumerated value name overran");
        Check(bytes <= data.size(), "enumerated value data overran");
        if (reg::RegQueryValueEx(key, name.data(), &type, nullptr, &size) == reg::ERROR_SUCCESS)
            Check(size == bytes, "a value's size differs between enumeration and query");
    }
}

// The one-call read of every value agrees with what RegQueryInfoKey told.
void AllValues(reg::HKEY key, reg::DWORD values, reg::DWORD maxNameLen, reg::DWORD maxValueLen) {
    std::vector<reg::RegValueEntry> all;
    if (reg::RegEnumValuesAll(key, nullptr, &all) != reg::ERROR_SUCCESS) {
        Check(all.empty(), "a failed read of every value left some");
        return;
    }
    Check(all.size() == values, "reading every value found another number of values");
    for (const reg::RegValueEntry& value : all) {
        Check(value.name.size() <= maxNameLen, "a value name is longer than RegQueryInfoKey says");
        Check(value.data.size() <= maxValueLen, "a value is larger than RegQueryInfoKey says");
    }
}

void Walk(reg::HKEY key, int depth) {
    reg::DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxNameLen = 0, maxValueLen = 0;
    if (reg::RegQueryInfoKey(key, &subKeys, &maxSubKeyLen, &values, &maxNameLen, &maxValueLen) !=
        reg::ERROR_SUCCESS)
        return;
    Values(key, values, maxNameLen, maxValueLen);
    AllValues(key, values, maxNameLen, maxValueLen);
    for (reg::DWORD i = 0; i < std::min(subKeys, kMaxItems); ++i) {
        char name[256];
        reg::DWORD chars = sizeof name;
        const reg::LONG r = reg::RegEnumKeyEx(key, i, name, &chars);
        if (r != reg::ERROR_SUCCESS) {
            Check(r != reg::ERROR_MORE_DATA || maxSubKeyLen >= sizeof name,
                  "a sub-key name is longer than said");
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

// Typed reads of a key's first values, the way the driver reads settings.
void ReadTyped(cRegistry& r, const std::string& path) {
    std::vector<std::string> names;
    r.EnumValues(kUser, path, names);
    for (size_t i = 1; i < names.size() && i <= kMaxItems; ++i) {
        std::string text;
        int32_t number = 0;
        double real = 0;
        std::vector<uint8_t> bytes;
        velmora::settings::RegValue value;
        r.GetStringAt(kUser, path, names[i], text);
        r.GetLongAt(kUser, path, names[i], number);
        r.GetDoubleAt(kUser, path, names[i], real);
        r.GetBinaryAt(kUser, path, names[i], bytes);
        r.QueryValueAt(kUser, path, names[i], value);
    }
}

void Writes(cRegistry& r) {
    const std::string key = "Software\\Fuzz";
    if (r.CreateKey(kUser, key, "default")) {
        r.SetStringAt(kUser, key, "Text", "value");
        r.SetLongAt(kUser, key, "Number", 42);
        r.SetBinaryAt(kUser, key, "Bytes", {1, 2, 3});
        r.SetDoubleAt(kUser, key, "Real", 0.5);
        r.DeleteValue(kUser, key, "Text");
        r.DeleteKey(kUser, key);
    }
    r.SetPath("Software\\Tervan\\ADC"); // the driver's own: created when set
    int32_t rate = 0;
    r.WriteLong("Rate", 1000);
    r.ReadLong("Rate", rate, 0);
    // A key found in the file goes, unless it has sub-keys.
    std::vector<std::string> names;
    r.EnumKeys(kUser, "Software", names);
    if (names.size() > 1) r.DeleteKey(kUser, "Software\\" + names[1]);
    reg::RegDeleteKey(reg::HKEY_CLASSES_ROOT, "CLSID");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velmora::fuzz::Start("registry_store");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto file = velmora::fuzz::FreshRun() / "velmora" / "registry.db";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Check(reg::StorePath() == file.string(), "the store is not in the run folder");
    for (reg::HKEY root : {reg::HKEY_CURRENT_USER, reg::HKEY_CLASSES_ROOT}) Walk(root, 0);
    cRegistry r;
    r.ExportKey(kUser, "", true);
    r.ExportKey(velmora::settings::HKEY_CLASSES_ROOT, "", true);
    ReadTyped(r, "Software");
    Writes(r);
    return 0;
}
