// The per-user registry store: a hierarchical typed key/value store in SQLite
// behind calls shaped like the Win32 registry API. Exported by libcomrt.so.
// Thread-safe; several processes may use one database at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::reg {

using LONG = int32_t;
using DWORD = uint32_t;
using BYTE = uint8_t;
using REGSAM = uint32_t;

// A key handle: one of the predefined roots, or a handle from open/create.
using HKEY = uint32_t;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;
inline constexpr HKEY HKEY_DYN_DATA = 0x80000006u;

inline constexpr DWORD REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4,
                       REG_DWORD_BIG_ENDIAN = 5, REG_LINK = 6, REG_MULTI_SZ = 7;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x1, KEY_SET_VALUE = 0x2, KEY_CREATE_SUB_KEY = 0x4,
                        KEY_ENUMERATE_SUB_KEYS = 0x8, KEY_READ = 0x20019, KEY_WRITE = 0x20006,
                        KEY_ALL_ACCESS = 0xF003F;

inline constexpr LONG ERROR_SUCCESS = 0, ERROR_FILE_NOT_FOUND = 2, ERROR_PATH_NOT_FOUND = 3,
                      ERROR_ACCESS_DENIED = 5, ERROR_INVALID_HANDLE = 6, ERROR_NOT_ENOUGH_MEMORY = 8,
                      ERROR_LOCK_VIOLATION = 33, ERROR_INVALID_PARAMETER = 87, ERROR_DISK_FULL = 112,
                      ERROR_MORE_DATA = 234, ERROR_NO_MORE_ITEMS = 259, ERROR_REGISTRY_CORRUPT = 1015,
                      ERROR_REGISTRY_IO_FAILED = 1016, ERROR_KEY_DELETED = 1018;

// Paths are '\'-separated below the key given; an empty or null path names
// that key itself (open returns a new handle to it); a trailing '\' is
// ignored. Empty names and names over 255 characters give
// ERROR_INVALID_PARAMETER. Names compare case-insensitively (ASCII) and keep
// their case. The default value has the empty (or null) name. Access masks
// are accepted and not checked.
//
// HKEY_CURRENT_USER and HKEY_CLASSES_ROOT keep keys; the other roots open and
// read as empty, and creating or setting below them gives ERROR_ACCESS_DENIED.
// A handle stays good while other processes write; once its key is deleted
// it gives ERROR_KEY_DELETED, and once StorePath() moves ERROR_INVALID_HANDLE.
// Reading a store that does not exist yet finds it empty and creates nothing.
// A database that cannot be used gives ERROR_REGISTRY_CORRUPT, ERROR_ACCESS_DENIED
// (read-only or unreadable), ERROR_PATH_NOT_FOUND, ERROR_DISK_FULL or
// ERROR_REGISTRY_IO_FAILED. A call waits for another process's lock at most
// 5 s in all, then gives ERROR_LOCK_VIOLATION having changed nothing.
LONG RegOpenKeyEx(HKEY key, const char* subKey, REGSAM sam, HKEY* result);
// Creates every missing key on the path; disposition (may be null) gets
// 1 (created) or 2 (opened existing).
LONG RegCreateKeyEx(HKEY key, const char* subKey, REGSAM sam, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);
// Deletes the key at subKey below key (key itself for an empty subKey); fails
// with ERROR_ACCESS_DENIED when it has sub-keys or is a root,
// ERROR_FILE_NOT_FOUND when missing.
LONG RegDeleteKey(HKEY key, const char* subKey);
LONG RegDeleteValue(HKEY key, const char* name);
// type, data and cbData may be null. With data null, *cbData gets the size.
// A buffer too small gives ERROR_MORE_DATA and the needed size in *cbData.
LONG RegQueryValueEx(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* cbData);
LONG RegSetValueEx(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD cbData);
// One write of RegWriteBatch: the key at subKey below the batch's key is
// created with its missing parents, as RegCreateKeyEx does; then, unless
// keyOnly, its value `name` is set as RegSetValueEx sets it.
struct RegBatchWrite {
    std::string subKey;
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool keyOnly = false;
};
// Applies count writes in order as one transaction: all of them, or none when
// any fails (the result is then that failure's code). One wait for a lock
// serves the whole batch.
LONG RegWriteBatch(HKEY key, const RegBatchWrite* writes, DWORD count);

// Sub-keys in name order (case-insensitive). *cchName: buffer size in
// characters on entry, name length without NUL on return (also with
// ERROR_MORE_DATA, when the buffer cannot hold the name and its NUL).
// Each handle remembers where its enumeration stands: index i right after
// i - 1 (or i again) costs O(log n); any other index walks from the first.
// A key changed between two calls does not end or repeat the enumeration:
// it goes on after the last name served; a name added before it is not seen.
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* cchName);
// Values in creation order; like RegEnumKeyEx for the name and the cost,
// like RegQueryValueEx for type/data/cbData.
LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* type, BYTE* data, DWORD* cbData);
// A value as RegEnumValuesAll yields it: name as stored, type and data.
struct RegValueEntry {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const RegValueEntry&) const = default;
};
// Every value of the key at subKey below key (key itself for an empty or
// null subKey) in creation order, as RegEnumValue yields them one by one, in
// one read transaction: a consistent view, and one statement for all rows.
// *values is replaced, and left empty on failure; a missing subKey gives
// ERROR_FILE_NOT_FOUND as RegOpenKeyEx does.
LONG RegEnumValuesAll(HKEY key, const char* subKey, std::vector<RegValueEntry>* values);
// Any out pointer may be null. Lengths are in characters without the NUL;
// maxValueLen in bytes.
LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values, DWORD* maxValueNameLen,
                     DWORD* maxValueLen);

// The Windows message text of a Win32 code, ending in "\r\n" as the system's
// does; empty when there is none.
std::string FormatMessage(DWORD code);

// The database file in use: $XDG_CONFIG_HOME/velmora/registry.db, or
// ~/.config/velmora/registry.db. Read at each call, so tests can move it.
std::string StorePath();

} // namespace velmora::reg
