// Enumeration, value query and the text export of a key branch.
#include <string_view>

#include "settings/cregistry.h"
#include "settings/cregistry_key.h"

namespace velmora::settings {
namespace detail {

std::vector<RawValue> ReadValues(int32_t root, const std::string& path, int32_t& lastError) {
    std::vector<RawValue> values;
    lastError = reg::RegEnumValuesAll(static_cast<reg::HKEY>(root), ToStore(path).c_str(), &values);
    return values;
}

} // namespace detail

namespace {

using detail::RawValue;

constexpr std::string_view kHexDigits = "0123456789abcdef";

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += ',';
        text += kHexDigits[bytes[i] >> 4];
        text += kHexDigits[bytes[i] & 0xF];
    }
    return text;
}

std::string Hex(uint32_t value, int digits) {
    std::string text;
    do {
        text.insert(text.begin(), kHexDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(text.size()) < digits) text.insert(0, digits - text.size(), '0');
    return text;
}

// Text data as exported: up to the first NUL, "\" doubled, spaces trimmed.
std::string ExportedText(const std::vector<uint8_t>& data) {
    const std::string raw = cRegistry::TrimAtNul(std::string(data.begin(), data.end()));
    std::string text;
    for (char c : raw) {
        if (c == '\\') text += '\\';
        text += c;
    }
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return detail::FromStore(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string ExportedData(const RawValue& v) {
    switch (v.type) {
    case reg::REG_SZ:
    case reg::REG_EXPAND_SZ:
    case reg::REG_MULTI_SZ:
        return '"' + ExportedText(v.data) + '"';
    case reg::REG_BINARY:
        return "hex:" + HexBytes(v.data);
    case reg::REG_DWORD:
    case reg::REG_DWORD_BIG_ENDIAN:
        return "dword:" + Hex(detail::LoadLe32(v.data), 8);
    default:
        return "hex(" + Hex(v.type, 1) + "):" + HexBytes(v.data);
    }
}

std::string ExportedLine(const RawValue& v) {
    const std::string name = v.name.empty() ? "@=" : '"' + detail::FromStore(v.name) + "\"=";
    return name + ExportedData(v) + "\r\n";
}

void Decode(const RawValue& v, RegValue& value) {
    switch (v.type) {
    case reg::REG_SZ:
    case reg::REG_EXPAND_SZ:
    case reg::REG_MULTI_SZ: {
        std::string_view text(reinterpret_cast<const char*>(v.data.data()), v.data.size());
        if (text.ends_with('\0')) text.remove_suffix(1);
        value = platform::AnsiToUtf8(text);
        break;
    }
    case reg::REG_BINARY:
        value = v.data;
        break;
    case reg::REG_DWORD:
    case reg::REG_DWORD_BIG_ENDIAN:
        value = static_cast<int32_t>(detail::LoadLe32(v.data));
        break;
    default:
        break;
    }
}

} // namespace

using detail::KeyHandle;

int32_t cRegistry::QueryValueAt(int32_t root, const std::string& path, const std::string& name,
                                RegValue& value) {
    const std::string wanted = detail::ToStore(name);
    for (const RawValue& v : detail::ReadValues(root, path, lastError_)) {
        if (v.name != wanted) continue;
        Decode(v, value);
        return static_cast<int32_t>(v.type);
    }
    return 0;
}

int32_t cRegistry::QueryValues(int32_t root, const std::string& path, std::vector<NamedValue>& values) {
    const std::vector<RawValue> raw = detail::ReadValues(root, path, lastError_);
    values.clear();
    values.reserve(raw.size());
    for (const RawValue& v : raw) {
        NamedValue& named = values.emplace_back();
        named.name = detail::FromStore(v.name);
        named.type = static_cast<int32_t>(v.type);
        Decode(v, named.value);
    }
    return static_cast<int32_t>(values.size());
}

int32_t cRegistry::EnumKeys(int32_t root, const std::string& path, std::vector<std::string>& names) {
    names.assign(1, path);
    KeyHandle key(lastError_, root, path, detail::kReadAccess);
    reg::DWORD count = 0, maxLength = 0;
    if (!key || !Track(reg::RegQueryInfoKey(key.get(), &count, &maxLength, nullptr, nullptr, nullptr)))
        return 0;
    std::vector<char> buffer(maxLength + 1);
    for (reg::DWORD i = 0; i < count; ++i) {
        auto chars = static_cast<reg::DWORD>(buffer.size());
        if (Track(reg::RegEnumKeyEx(key.get(), i, buffer.data(), &chars)))
            names.push_back(detail::FromStore(std::string(buffer.data(), chars)));
    }
    return static_cast<int32_t>(names.size() - 1);
}

int32_t cRegistry::EnumValues(int32_t root, const std::string& path, std::vector<std::string>& names) {
    names.assign(1, path);
    for (const RawValue& v : detail::ReadValues(root, path, lastError_))
        names.push_back(detail::FromStore(v.name));
    return static_cast<int32_t>(names.size() - 1);
}

std::string cRegistry::ExportKey(int32_t root, const std::string& path, bool recursive) {
    const std::vector<RawValue> values = detail::ReadValues(root, path, lastError_);
    if (lastError_ != reg::ERROR_SUCCESS) return {};
    std::string text = "\r\n[" + RootName(root) + (path.empty() ? "" : "\\" + path) + "]\r\n";
    for (const RawValue& v : values) text += ExportedLine(v);
    if (recursive) text += ExportSubKeys(root, path, recursive);
    return text;
}

std::string cRegistry::ExportSubKeys(int32_t root, const std::string& path, bool recursive) {
    std::vector<std::string> names;
    const int32_t count = EnumKeys(root, path, names);
    const std::string prefix = path.empty() ? "" : path + "\\";
    std::string text;
    for (int32_t i = 1; i <= count; ++i) text += ExportKey(root, prefix + names[i], recursive);
    return text;
}

} // namespace velmora::settings
