#include "settings/cregistry.h"

#include <array>
#include <utility>

#include "settings/cregistry_batch.h"
#include "settings/cregistry_key.h"

namespace velmora::settings {
namespace detail {

KeyHandle::KeyHandle(int32_t& lastError, int32_t root, const std::string& path, reg::REGSAM sam,
                     bool borrowEmpty) {
    if (path.empty() && borrowEmpty) {
        key_ = static_cast<reg::HKEY>(root);
        valid_ = true;
        return;
    }
    lastError = reg::RegOpenKeyEx(static_cast<reg::HKEY>(root), ToStore(path).c_str(), sam, &key_);
    valid_ = owned_ = lastError == reg::ERROR_SUCCESS;
}

KeyHandle::~KeyHandle() {
    if (owned_) reg::RegCloseKey(key_);
}

uint32_t LoadLe32(const std::vector<uint8_t>& bytes) {
    uint32_t v = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) v |= uint32_t{bytes[i]} << (8 * i);
    return v;
}

uint64_t LoadLe64(const std::vector<uint8_t>& bytes) {
    uint64_t v = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i) v |= uint64_t{bytes[i]} << (8 * i);
    return v;
}

std::vector<uint8_t> StoreLe32(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

std::vector<uint8_t> StoreLe64(uint64_t value) {
    std::vector<uint8_t> bytes(8);
    for (std::size_t i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}

} // namespace detail

using detail::KeyHandle;
using detail::ToStore;

// --- current location ---

void cRegistry::SetRoot(int32_t root) {
    if (root == root_ || !KeyExists(root, "")) return;
    root_ = root;
    SetPath("");
}

void cRegistry::SetPath(const std::string& path) {
    if (path == path_) return;
    if (KeyExists(root_, path) || CreateKey(root_, path)) path_ = path;
}

// --- keys ---

bool cRegistry::KeyExists(int32_t root, const std::string& path) {
    KeyHandle key(lastError_, root, path, detail::kReadAccess);
    return static_cast<bool>(key);
}

bool cRegistry::CreateKey(int32_t root, const std::string& path, const std::string& defaultValue) {
    reg::HKEY key = 0;
    if (!Track(reg::RegCreateKeyEx(static_cast<reg::HKEY>(root), ToStore(path).c_str(),
                                   reg::KEY_CREATE_SUB_KEY, &key, nullptr)))
        return false;
    reg::RegCloseKey(key);
    return defaultValue.empty() || SetStringAt(root, path, "", defaultValue);
}

bool cRegistry::DeleteKey(int32_t root, const std::string& path) {
    KeyHandle key(lastError_, root, path, reg::KEY_WRITE);
    if (!key) return false;
    return Track(reg::RegDeleteKey(static_cast<reg::HKEY>(root), ToStore(path).c_str()));
}

bool cRegistry::DeleteValue(int32_t root, const std::string& path, const std::string& name) {
    KeyHandle key(lastError_, root, path, reg::KEY_WRITE);
    return key && Track(reg::RegDeleteValue(key.get(), ToStore(name).c_str()));
}

// --- the three stored shapes: text, 32-bit number, bytes ---

bool cRegistry::SetRaw(int32_t root, const std::string& path, const std::string& name, uint32_t type,
                       const void* data, uint32_t size) {
    KeyHandle key(lastError_, root, path, reg::KEY_SET_VALUE);
    return key && Track(reg::RegSetValueEx(key.get(), ToStore(name).c_str(), type,
                                           static_cast<const reg::BYTE*>(data), size));
}

bool cRegistry::SetStringAt(int32_t root, const std::string& path, const std::string& name,
                            const std::string& value) {
    const std::string bytes = ToStore(value);
    return SetRaw(root, path, name, reg::REG_SZ, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

bool cRegistry::GetStringAt(int32_t root, const std::string& path, const std::string& name,
                            std::string& value) {
    KeyHandle key(lastError_, root, path, reg::KEY_QUERY_VALUE);
    if (!key) return false;
    const std::string storeName = ToStore(name);
    reg::DWORD size = 0;
    if (!Track(reg::RegQueryValueEx(key.get(), storeName.c_str(), nullptr, nullptr, &size))) return false;
    // The spare NUL ends text stored without a terminator.
    std::string buffer(size + 1, '\0');
    if (size > 0) {
        Track(reg::RegQueryValueEx(key.get(), storeName.c_str(), nullptr,
                                   reinterpret_cast<reg::BYTE*>(buffer.data()), &size));
    }
    value = detail::FromStore(TrimAtNul(buffer));
    return true;
}

bool cRegistry::SetDwordAt(int32_t root, const std::string& path, const std::string& name, uint32_t value) {
    const std::vector<uint8_t> bytes = detail::StoreLe32(value);
    return SetRaw(root, path, name, reg::REG_DWORD, bytes.data(), 4);
}

bool cRegistry::GetDwordAt(int32_t root, const std::string& path, const std::string& name, uint32_t& value) {
    KeyHandle key(lastError_, root, path, reg::KEY_QUERY_VALUE);
    if (!key) return false;
    // Up to 4 bytes of any type; longer data does not fit and fails.
    std::vector<uint8_t> bytes(4, 0);
    reg::DWORD size = 4;
    if (!Track(reg::RegQueryValueEx(key.get(), ToStore(name).c_str(), nullptr, bytes.data(), &size)))
        return false;
    value = detail::LoadLe32(bytes);
    return true;
}

bool cRegistry::SetBinaryAt(int32_t root, const std::string& path, const std::string& name,
                            const std::vector<uint8_t>& value) {
    if (value.empty()) return false;
    return SetRaw(root, path, name, reg::REG_BINARY, value.data(), static_cast<uint32_t>(value.size()));
}

bool cRegistry::GetBinaryAt(int32_t root, const std::string& path, const std::string& name,
                            std::vector<uint8_t>& value) {
    KeyHandle key(lastError_, root, path, reg::KEY_QUERY_VALUE);
    if (!key) return false;
    const std::string storeName = ToStore(name);
    reg::DWORD size = 0;
    if (!Track(reg::RegQueryValueEx(key.get(), storeName.c_str(), nullptr, nullptr, &size)) || size == 0)
        return false;
    std::vector<uint8_t> bytes(size);
    if (!Track(reg::RegQueryValueEx(key.get(), storeName.c_str(), nullptr, bytes.data(), &size)))
        return false;
    bytes.resize(size);
    value = std::move(bytes);
    return true;
}

bool cRegistry::WriteBatch(int32_t root, const cRegistryBatch& batch) {
    const auto& writes = batch.Writes();
    return Track(reg::RegWriteBatch(static_cast<reg::HKEY>(root), writes.data(),
                                    static_cast<reg::DWORD>(writes.size())));
}

// --- names and messages ---

std::string cRegistry::RootName(int32_t root) {
    static constexpr std::array<const char*, 7> kNames{
        "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
    const uint32_t index = static_cast<uint32_t>(root) - 0x80000000u;
    return index < kNames.size() ? kNames[index] : "";
}

std::string cRegistry::LastErrorText() const {
    std::string text = ErrorText(lastError_, false);
    if (text.size() > 4) text.pop_back(); // the system text's closing period
    return text;
}

std::string cRegistry::TrimAtNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

std::string cRegistry::ErrorText(int32_t code, bool cut) {
    constexpr std::size_t kBufferChars = 256;
    std::string text = reg::FormatMessage(static_cast<reg::DWORD>(code));
    if (text.size() >= kBufferChars) text.resize(kBufferChars - 1);
    if (text.ends_with("\r\n")) text.resize(text.size() - 2);
    if (cut) text = text.substr(0, text.find('.'));
    return detail::FromStore(text);
}

} // namespace velmora::settings
