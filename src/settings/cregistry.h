// cRegistry: typed values of the per-user registry store at a current location
// (Root and Path) or at an explicit one, key enumeration, value query and text export.
// Not thread-safe: LastError is per object and every call that reaches the store overwrites it.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "settings/cregistry_numbers.h"

namespace velmora::settings {

// The predefined roots, as the Long handles the class works with.
inline constexpr int32_t HKEY_CLASSES_ROOT = static_cast<int32_t>(0x80000000u);
inline constexpr int32_t HKEY_CURRENT_USER = static_cast<int32_t>(0x80000001u);
inline constexpr int32_t HKEY_LOCAL_MACHINE = static_cast<int32_t>(0x80000002u);
inline constexpr int32_t HKEY_USERS = static_cast<int32_t>(0x80000003u);
inline constexpr int32_t HKEY_PERFORMANCE_DATA = static_cast<int32_t>(0x80000004u);
inline constexpr int32_t HKEY_CURRENT_CONFIG = static_cast<int32_t>(0x80000005u);
inline constexpr int32_t HKEY_DYN_DATA = static_cast<int32_t>(0x80000006u);

// What QueryValueAt yields: text (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ), bytes
// (REG_BINARY), a number (REG_DWORD, REG_DWORD_BIG_ENDIAN); other types leave it as it was.
using RegValue = std::variant<std::monostate, std::string, std::vector<uint8_t>, int32_t>;

// A value as QueryValues yields it: its name, type code and data as QueryValueAt decodes them.
struct NamedValue {
    std::string name;
    int32_t type = 0;
    RegValue value;
};

class cRegistryBatch;

// Strings are UTF-8 here and single-byte ISO-8859-1 in the store (characters
// beyond U+00FF are stored as '?'); names and paths are converted the same way.
//
// Encodings: String is REG_SZ without a terminating NUL; Long, Byte, Integer
// (16-bit pattern in the low half), Boolean (1/0, any nonzero reads true) and
// Single (the float's bits) are REG_DWORD; Double and Currency (value x 10000 as
// int64) are 8-byte little-endian REG_BINARY; Binary is REG_BINARY.
//
// Export text: one section per key, each preceded by an empty line, lines ending
// in CR LF. Types without a defined form are written as regedit does:
// "hex(N):" with N the type code in lowercase hex, then the data bytes as for
// REG_BINARY. A REG_BINARY of size 0 is written as "hex:" with nothing after it.
//
// Every member opens and closes its own key; no handle stays open between calls.
class cRegistry {
public:
    // Current location. Setting Path to a missing key creates it; setting Root to
    // another existing root resets Path to "". Invalid changes are ignored.
    int32_t Root() const { return root_; }
    void SetRoot(int32_t root);
    const std::string& Path() const { return path_; }
    void SetPath(const std::string& path);

    // Typed values at the current location. Get: the value or the type's empty
    // value. Read: true when read into value, else value = default (ReadString
    // keeps value when the default is empty). Write: true when written.
    std::string GetString(const std::string& name);
    void SetString(const std::string& name, const std::string& value);
    bool ReadString(const std::string& name, std::string& value, const std::string& def);
    bool WriteString(const std::string& name, const std::string& value);
#define VELMORA_CREGISTRY_HERE(Name, T)                                                                      \
    T Get##Name(const std::string& name);                                                                    \
    void Set##Name(const std::string& name, T value);                                                        \
    bool Read##Name(const std::string& name, T& value, T def);                                               \
    bool Write##Name(const std::string& name, T value);
    VELMORA_CREGISTRY_NUMBERS(VELMORA_CREGISTRY_HERE)
#undef VELMORA_CREGISTRY_HERE
    // {0} when the value cannot be read.
    std::vector<uint8_t> GetBinary(const std::string& name);
    void SetBinary(const std::string& name, const std::vector<uint8_t>& value);
    // No default: value is left as it was when the read fails.
    bool ReadBinary(const std::string& name, std::vector<uint8_t>& value);
    bool WriteBinary(const std::string& name, const std::vector<uint8_t>& value);

    // Explicit location. An empty path names the root itself.
    bool KeyExists(int32_t root, const std::string& path);
    // Creates the key (and missing parents) or opens it; a non-empty
    // defaultValue is then written as its default value.
    bool CreateKey(int32_t root, const std::string& path, const std::string& defaultValue = {});
    // Fails for a key that still has sub-keys.
    bool DeleteKey(int32_t root, const std::string& path);
    bool DeleteValue(int32_t root, const std::string& path, const std::string& name);

    // The key must exist for the Set members. The Get members leave value as
    // it was when they fail.
    bool SetStringAt(int32_t root, const std::string& path, const std::string& name,
                     const std::string& value);
    bool GetStringAt(int32_t root, const std::string& path, const std::string& name, std::string& value);
    // Those of an 8-byte type accept only data of exactly 8 bytes.
#define VELMORA_CREGISTRY_AT(Name, T)                                                                        \
    bool Get##Name##At(int32_t root, const std::string& path, const std::string& name, T& value);            \
    bool Set##Name##At(int32_t root, const std::string& path, const std::string& name, T value);
    VELMORA_CREGISTRY_NUMBERS(VELMORA_CREGISTRY_AT)
#undef VELMORA_CREGISTRY_AT
    // An empty array is not written (false); a stored value of size 0 reads false.
    bool SetBinaryAt(int32_t root, const std::string& path, const std::string& name,
                     const std::vector<uint8_t>& value);
    bool GetBinaryAt(int32_t root, const std::string& path, const std::string& name,
                     std::vector<uint8_t>& value);

    // The type code of the value whose name matches exactly (0 when there is
    // none), its data in value.
    int32_t QueryValueAt(int32_t root, const std::string& path, const std::string& name, RegValue& value);
    // Every value of the key with its type and data, in creation order, from one
    // read of the store (QueryValueAt reads them all again for each name);
    // returns their number.
    int32_t QueryValues(int32_t root, const std::string& path, std::vector<NamedValue>& values);
    // names = {path, name 1, ..., name n}; returns n. Sub-keys in name order,
    // values in creation order (the default value's name is "").
    int32_t EnumKeys(int32_t root, const std::string& path, std::vector<std::string>& names);
    int32_t EnumValues(int32_t root, const std::string& path, std::vector<std::string>& names);
    // "" when the key cannot be opened. With recursive, the sub-keys follow depth-first.
    std::string ExportKey(int32_t root, const std::string& path, bool recursive);
    // The exports of the sub-keys of path, without path's own section.
    std::string ExportSubKeys(int32_t root, const std::string& path, bool recursive);
    // The batch's writes below root as one store transaction: all or none.
    bool WriteBatch(int32_t root, const cRegistryBatch& batch);

    // "HKEY_CURRENT_USER" and the like; "" for other handles.
    static std::string RootName(int32_t root);

    // Result code of the last store call made by any member (0 = success).
    int32_t LastError() const {
        return lastError_;
    }
    // The message for LastError without its closing period.
    std::string LastErrorText() const;
    static std::string TrimAtNul(const std::string& text);
    // The system message for code; with cut, only the text before its first ".".
    // "" when there is no message for the code.
    static std::string ErrorText(int32_t code, bool cut);

private:
    // Records a store call's result; true when it succeeded.
    bool Track(int32_t result) {
        lastError_ = result;
        return result == 0;
    }
    bool SetRaw(int32_t root, const std::string& path, const std::string& name, uint32_t type,
                const void* data, uint32_t size);
    // The store's 32-bit number (up to 4 bytes of any type read), on which
    // the number types ride.
    bool GetDwordAt(int32_t root, const std::string& path, const std::string& name, uint32_t& value);
    bool SetDwordAt(int32_t root, const std::string& path, const std::string& name, uint32_t value);
    template <class T>
    bool GetNumberAt(int32_t root, const std::string& path, const std::string& name, T& value);
    template <class T>
    bool SetNumberAt(int32_t root, const std::string& path, const std::string& name, T value);

    int32_t root_ = HKEY_CURRENT_USER;
    std::string path_ = "Software";
    int32_t lastError_ = 0;
};

} // namespace velmora::settings
