// Internals of cRegistry's source files: a key handle that closes itself on
// every path, the single-byte conversion of names, and value enumeration.
// Not thread-safe, like cRegistry itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <velmora/registry_store.h>

#include "platform/codepage.h"

namespace velmora::settings::detail {

// Query values, enumerate sub-keys, read control.
inline constexpr reg::REGSAM kReadAccess = 0x20009;

inline std::string ToStore(const std::string& utf8) {
    return platform::Utf8ToAnsi(utf8);
}
inline std::string FromStore(const std::string& bytes) {
    return platform::AnsiToUtf8(bytes);
}

// A key opened for one member call. The open's result goes to lastError.
// With borrowEmpty an empty path uses root itself, which is neither opened nor closed.
class KeyHandle {
public:
    KeyHandle(int32_t& lastError, int32_t root, const std::string& path, reg::REGSAM sam,
              bool borrowEmpty = false);
    ~KeyHandle();
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;

    explicit operator bool() const { return valid_; }
    reg::HKEY get() const { return key_; }

private:
    reg::HKEY key_ = 0;
    bool valid_ = false;
    bool owned_ = false;
};

// A value as stored: its name single-byte, its data raw.
using RawValue = reg::RegValueEntry;

// Every value of the key at path below root in creation order, from one
// store call; its result goes to lastError. Empty when it failed.
std::vector<RawValue> ReadValues(int32_t root, const std::string& path, int32_t& lastError);

// Little-endian loads of up to the first 4 (8) bytes; missing bytes read as 0.
uint32_t LoadLe32(const std::vector<uint8_t>& bytes);
uint64_t LoadLe64(const std::vector<uint8_t>& bytes);
// The 4 (8) little-endian bytes of a value.
std::vector<uint8_t> StoreLe32(uint32_t value);
std::vector<uint8_t> StoreLe64(uint64_t value);

} // namespace velmora::settings::detail
