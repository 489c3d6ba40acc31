// The typed members: Byte, Integer, Boolean and Single ride on the 32-bit
// number, Double and Currency on 8 bytes; the current-location members
// forward to the explicit ones with Root and Path.
#include <bit>

#include "settings/cregistry.h"
#include "settings/cregistry_key.h"

namespace velmora::settings {
namespace {

template <class T> using GetAtFn = bool (cRegistry::*)(int32_t, const std::string&, const std::string&, T&);
template <class T> using SetAtFn = bool (cRegistry::*)(int32_t, const std::string&, const std::string&, T);

template <class T> T GetHere(cRegistry& r, GetAtFn<T> get, const std::string& name, T empty = T{}) {
    T value{};
    return (r.*get)(r.Root(), r.Path(), name, value) ? value : empty;
}

template <class T>
bool ReadHere(cRegistry& r, GetAtFn<T> get, const std::string& name, T& value, const T& def) {
    T read{};
    if (!(r.*get)(r.Root(), r.Path(), name, read)) {
        value = def;
        return false;
    }
    value = std::move(read);
    return true;
}

template <class T, class V>
bool WriteHere(cRegistry& r, SetAtFn<V> set, const std::string& name, const T& value) {
    return (r.*set)(r.Root(), r.Path(), name, value);
}

// Decodes a 32-bit number read with GetLongAt.
template <class T, class Decode>
bool GetViaLong(cRegistry& r, int32_t root, const std::string& path, const std::string& name, T& value,
                Decode decode) {
    int32_t raw = 0;
    if (!r.GetLongAt(root, path, name, raw)) return false;
    value = decode(static_cast<uint32_t>(raw));
    return true;
}

// Decodes exactly 8 bytes read with GetBinaryAt.
template <class T>
bool GetVia8Bytes(cRegistry& r, int32_t root, const std::string& path, const std::string& name, T& value) {
    std::vector<uint8_t> bytes;
    if (!r.GetBinaryAt(root, path, name, bytes) || bytes.size() != 8) return false;
    value = std::bit_cast<T>(detail::LoadLe64(bytes));
    return true;
}

template <class T>
bool SetVia8Bytes(cRegistry& r, int32_t root, const std::string& path, const std::string& name, T value) {
    return r.SetBinaryAt(root, path, name, detail::StoreLe64(std::bit_cast<uint64_t>(value)));
}

} // namespace

// --- explicit location, derived types ---

bool cRegistry::GetByteAt(int32_t root, const std::string& path, const std::string& name, uint8_t& value) {
    return GetViaLong(*this, root, path, name, value, [](uint32_t v) { return static_cast<uint8_t>(v); });
}
bool cRegistry::SetByteAt(int32_t root, const std::string& path, const std::string& name, uint8_t value) {
    return SetLongAt(root, path, name, value);
}
bool cRegistry::GetIntegerAt(int32_t root, const std::string& path, const std::string& name, int16_t& value) {
    return GetViaLong(*this, root, path, name, value,
                      [](uint32_t v) { return static_cast<int16_t>(v & 0xFFFF); });
}
bool cRegistry::SetIntegerAt(int32_t root, const std::string& path, const std::string& name, int16_t value) {
    return SetLongAt(root, path, name, static_cast<uint16_t>(value)); // upper half zero
}
bool cRegistry::GetBooleanAt(int32_t root, const std::string& path, const std::string& name, bool& value) {
    return GetViaLong(*this, root, path, name, value, [](uint32_t v) { return v != 0; });
}
bool cRegistry::SetBooleanAt(int32_t root, const std::string& path, const std::string& name, bool value) {
    return SetLongAt(root, path, name, value ? 1 : 0);
}
bool cRegistry::GetSingleAt(int32_t root, const std::string& path, const std::string& name, float& value) {
    return GetViaLong(*this, root, path, name, value, [](uint32_t v) { return std::bit_cast<float>(v); });
}
bool cRegistry::SetSingleAt(int32_t root, const std::string& path, const std::string& name, float value) {
    return SetLongAt(root, path, name, std::bit_cast<int32_t>(value));
}
bool cRegistry::GetDoubleAt(int32_t root, const std::string& path, const std::string& name, double& value) {
    return GetVia8Bytes(*this, root, path, name, value);
}
bool cRegistry::SetDoubleAt(int32_t root, const std::string& path, const std::string& name, double value) {
    return SetVia8Bytes(*this, root, path, name, value);
}
bool cRegistry::GetCurrencyAt(int32_t root, const std::string& path, const std::string& name,
                              int64_t& value) {
    return GetVia8Bytes(*this, root, path, name, value);
}
bool cRegistry::SetCurrencyAt(int32_t root, const std::string& path, const std::string& name, int64_t value) {
    return SetVia8Bytes(*this, root, path, name, value);
}

// --- current location ---

std::string cRegistry::GetString(const std::string& name) {
    return GetHere(*this, &cRegistry::GetStringAt, name);
}
void cRegistry::SetString(const std::string& name, const std::string& value) {
    WriteString(name, value);
}
bool cRegistry::ReadString(const std::string& name, std::string& value, const std::string& def) {
    // An empty default keeps what the caller had.
    return ReadHere(*this, &cRegistry::GetStringAt, name, value, def.empty() ? value : def);
}
bool cRegistry::WriteString(const std::string& name, const std::string& value) {
    return WriteHere(*this, &cRegistry::SetStringAt, name, value);
}

int32_t cRegistry::GetLong(const std::string& name) {
    return GetHere(*this, &cRegistry::GetLongAt, name);
}
void cRegistry::SetLong(const std::string& name, int32_t value) {
    WriteLong(name, value);
}
bool cRegistry::ReadLong(const std::string& name, int32_t& value, int32_t def) {
    return ReadHere(*this, &cRegistry::GetLongAt, name, value, def);
}
bool cRegistry::WriteLong(const std::string& name, int32_t value) {
    return WriteHere(*this, &cRegistry::SetLongAt, name, value);
}

uint8_t cRegistry::GetByte(const std::string& name) {
    return GetHere(*this, &cRegistry::GetByteAt, name);
}
void cRegistry::SetByte(const std::string& name, uint8_t value) {
    WriteByte(name, value);
}
bool cRegistry::ReadByte(const std::string& name, uint8_t& value, uint8_t def) {
    return ReadHere(*this, &cRegistry::GetByteAt, name, value, def);
}
bool cRegistry::WriteByte(const std::string& name, uint8_t value) {
    return WriteHere(*this, &cRegistry::SetByteAt, name, value);
}

int16_t cRegistry::GetInteger(const std::string& name) {
    return GetHere(*this, &cRegistry::GetIntegerAt, name);
}
void cRegistry::SetInteger(const std::string& name, int16_t value) {
    WriteInteger(name, value);
}
bool cRegistry::ReadInteger(const std::string& name, int16_t& value, int16_t def) {
    return ReadHere(*this, &cRegistry::GetIntegerAt, name, value, def);
}
bool cRegistry::WriteInteger(const std::string& name, int16_t value) {
    return WriteHere(*this, &cRegistry::SetIntegerAt, name, value);
}

bool cRegistry::GetBoolean(const std::string& name) {
    return GetHere(*this, &cRegistry::GetBooleanAt, name);
}
void cRegistry::SetBoolean(const std::string& name, bool value) {
    WriteBoolean(name, value);
}
bool cRegistry::ReadBoolean(const std::string& name, bool& value, bool def) {
    return ReadHere(*this, &cRegistry::GetBooleanAt, name, value, def);
}
bool cRegistry::WriteBoolean(const std::string& name, bool value) {
    return WriteHere(*this, &cRegistry::SetBooleanAt, name, value);
}

float cRegistry::GetSingle(const std::string& name) {
    return GetHere(*this, &cRegistry::GetSingleAt, name);
}
void cRegistry::SetSingle(const std::string& name, float value) {
    WriteSingle(name, value);
}
bool cRegistry::ReadSingle(const std::string& name, float& value, float def) {
    return ReadHere(*this, &cRegistry::GetSingleAt, name, value, def);
}
bool cRegistry::WriteSingle(const std::string& name, float value) {
    return WriteHere(*this, &cRegistry::SetSingleAt, name, value);
}

double cRegistry::GetDouble(const std::string& name) {
    return GetHere(*this, &cRegistry::GetDoubleAt, name);
}
void cRegistry::SetDouble(const std::string& name, double value) {
    WriteDouble(name, value);
}
bool cRegistry::ReadDouble(const std::string& name, double& value, double def) {
    return ReadHere(*this, &cRegistry::GetDoubleAt, name, value, def);
}
bool cRegistry::WriteDouble(const std::string& name, double value) {
    return WriteHere(*this, &cRegistry::SetDoubleAt, name, value);
}

int64_t cRegistry::GetCurrency(const std::string& name) {
    return GetHere(*this, &cRegistry::GetCurrencyAt, name);
}
void cRegistry::SetCurrency(const std::string& name, int64_t value) {
    WriteCurrency(name, value);
}
bool cRegistry::ReadCurrency(const std::string& name, int64_t& value, int64_t def) {
    return ReadHere(*this, &cRegistry::GetCurrencyAt, name, value, def);
}
bool cRegistry::WriteCurrency(const std::string& name, int64_t value) {
    return WriteHere(*this, &cRegistry::SetCurrencyAt, name, value);
}

std::vector<uint8_t> cRegistry::GetBinary(const std::string& name) {
    return GetHere(*this, &cRegistry::GetBinaryAt, name, std::vector<uint8_t>{0});
}
void cRegistry::SetBinary(const std::string& name, const std::vector<uint8_t>& value) {
    WriteBinary(name, value);
}
bool cRegistry::ReadBinary(const std::string& name, std::vector<uint8_t>& value) {
    return ReadHere(*this, &cRegistry::GetBinaryAt, name, value, value);
}
bool cRegistry::WriteBinary(const std::string& name, const std::vector<uint8_t>& value) {
    return WriteHere(*this, &cRegistry::SetBinaryAt, name, value);
}

} // namespace velmora::settings
