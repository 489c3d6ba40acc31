// The typed members, made from the list of number types: each rides on the
// 32-bit number or on 8 bytes as its StoredNumber says; the current-location
// members forward to the explicit ones with Root and Path.
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

template <class T> using Stored = detail::StoredNumber<T>;

} // namespace

// --- explicit location: each number rides on the 32-bit number or on 8 bytes ---

template <class T>
bool cRegistry::GetNumberAt(int32_t root, const std::string& path, const std::string& name, T& value) {
    if constexpr (Stored<T>::kDword) {
        uint32_t raw = 0;
        if (!GetDwordAt(root, path, name, raw)) return false;
        value = Stored<T>::Decode(raw);
    } else {
        std::vector<uint8_t> bytes;
        if (!GetBinaryAt(root, path, name, bytes) || bytes.size() != 8) return false;
        value = Stored<T>::Decode(detail::LoadLe64(bytes));
    }
    return true;
}

template <class T>
bool cRegistry::SetNumberAt(int32_t root, const std::string& path, const std::string& name, T value) {
    if constexpr (Stored<T>::kDword)
        return SetDwordAt(root, path, name, Stored<T>::Encode(value));
    else
        return SetBinaryAt(root, path, name, detail::StoreLe64(Stored<T>::Encode(value)));
}

#define VELMORA_CREGISTRY_AT(Name, T)                                                                        \
    bool cRegistry::Get##Name##At(int32_t root, const std::string& path, const std::string& name,            \
                                  T& value) {                                                                \
        return GetNumberAt(root, path, name, value);                                                         \
    }                                                                                                        \
    bool cRegistry::Set##Name##At(int32_t root, const std::string& path, const std::string& name, T value) { \
        return SetNumberAt(root, path, name, value);                                                         \
    }
VELMORA_CREGISTRY_NUMBERS(VELMORA_CREGISTRY_AT)
#undef VELMORA_CREGISTRY_AT

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

#define VELMORA_CREGISTRY_HERE(Name, T)                                                                      \
    T cRegistry::Get##Name(const std::string& name) {                                                        \
        return GetHere(*this, &cRegistry::Get##Name##At, name);                                              \
    }                                                                                                        \
    void cRegistry::Set##Name(const std::string& name, T value) {                                            \
        Write##Name(name, value);                                                                            \
    }                                                                                                        \
    bool cRegistry::Read##Name(const std::string& name, T& value, T def) {                                   \
        return ReadHere(*this, &cRegistry::Get##Name##At, name, value, def);                                 \
    }                                                                                                        \
    bool cRegistry::Write##Name(const std::string& name, T value) {                                          \
        return WriteHere(*this, &cRegistry::Set##Name##At, name, value);                                     \
    }
VELMORA_CREGISTRY_NUMBERS(VELMORA_CREGISTRY_HERE)
#undef VELMORA_CREGISTRY_HERE

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
