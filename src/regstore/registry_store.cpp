#include <velmora/registry_store.h>

#include "regstore/registry_store_db.h"
#include "regstore/registry_store_state.h"
#include "regstore/registry_store_tree.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace velmora::reg {
namespace {

using detail::Failure;
using detail::Store;

constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

// The firewall of every entry point: failures become Win32 codes.
template <class F> LONG Guarded(F body) noexcept {
    try {
        return body();
    } catch (const Failure& failure) {
        return failure.code;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// Splits a '\'-separated key path; null or empty names the key itself. One
// trailing separator is allowed; empty or over-long names are not.
std::optional<std::vector<std::string_view>> SplitPath(const char* path) {
    std::vector<std::string_view> names;
    std::string_view rest = path ? path : "";
    if (rest.ends_with('\\')) rest.remove_suffix(1);
    for (size_t start = 0; !rest.empty();) {
        size_t end = rest.find('\\', start);
        std::string_view name = rest.substr(start, end - start);
        if (name.empty() || name.size() > kMaxKeyName) return std::nullopt;
        names.push_back(name);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return names;
}

bool ValidValueName(const char* name) {
    return !name || std::strlen(name) <= kMaxValueName;
}

std::optional<int64_t> FindPath(sqlite3* db, int64_t id, const std::vector<std::string_view>& path) {
    for (auto name : path) {
        auto child = detail::FindChild(db, id, name);
        if (!child) return std::nullopt;
        id = *child;
    }
    return id;
}

struct Created {
    int64_t id;
    bool created;
};

// Opens or creates the key at path below id, with its missing parents.
Created CreatePath(sqlite3* db, int64_t id, const std::vector<std::string_view>& path) {
    if (detail::IsFrozenRoot(id) && !path.empty()) throw Failure{ERROR_ACCESS_DENIED};
    bool created = false;
    for (auto name : path) {
        auto child = created ? std::nullopt : detail::FindChild(db, id, name);
        created = !child;
        id = child ? *child : detail::AddChild(db, id, name);
    }
    return {id, created};
}

// The batch's writes checked before the transaction starts, their paths split.
std::vector<std::vector<std::string_view>> BatchPaths(const RegBatchWrite* writes, DWORD count) {
    if (!writes && count) throw Failure{ERROR_INVALID_PARAMETER};
    std::vector<std::vector<std::string_view>> paths;
    paths.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto path = SplitPath(writes[i].subKey.c_str());
        if (!path || writes[i].name.size() > kMaxValueName) throw Failure{ERROR_INVALID_PARAMETER};
        paths.push_back(std::move(*path));
    }
    return paths;
}

// Copies a name for the enumerations; *cch gets its length without the NUL.
LONG CopyName(const std::string& name, char* out, DWORD* cch) {
    DWORD room = *cch;
    *cch = static_cast<DWORD>(name.size());
    if (room <= name.size()) return ERROR_MORE_DATA;
    std::memcpy(out, name.c_str(), name.size() + 1);
    return ERROR_SUCCESS;
}

LONG CopyData(const detail::Value& value, DWORD* type, BYTE* data, DWORD* cbData) {
    if (type) *type = value.type;
    if (!cbData) return ERROR_SUCCESS;
    DWORD room = *cbData;
    *cbData = static_cast<DWORD>(value.data.size());
    if (!data) return ERROR_SUCCESS;
    if (room < value.data.size()) return ERROR_MORE_DATA;
    if (!value.data.empty()) std::memcpy(data, value.data.data(), value.data.size());
    return ERROR_SUCCESS;
}

std::string_view ValueName(const char* name) {
    return name ? name : "";
}

} // namespace

// A relative XDG_CONFIG_HOME counts as unset: the store would move with
// the working folder.
std::string StorePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* user = getpwuid(getuid());
            home = user ? user->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/velmora/registry.db";
}

LONG RegOpenKeyEx(HKEY key, const char* subKey, REGSAM /*sam*/, HKEY* result) {
    return Guarded([&] {
        if (!result) return ERROR_INVALID_PARAMETER;
        *result = 0;
        auto path = SplitPath(subKey);
        if (!path) return ERROR_INVALID_PARAMETER;
        int64_t found = 0;
        LONG rc = Store::Instance().run(false, key, [&](sqlite3* db, int64_t id) {
            auto target = FindPath(db, id, *path);
            if (!target) return ERROR_FILE_NOT_FOUND;
            found = *target;
            return ERROR_SUCCESS;
        });
        if (rc == ERROR_SUCCESS) *result = Store::Instance().addHandle(found);
        return rc;
    });
}

LONG RegCreateKeyEx(HKEY key, const char* subKey, REGSAM /*sam*/, HKEY* result, DWORD* disposition) {
    return Guarded([&] {
        if (!result) return ERROR_INVALID_PARAMETER;
        *result = 0;
        auto path = SplitPath(subKey);
        if (!path) return ERROR_INVALID_PARAMETER;
        Created found{};
        LONG rc = Store::Instance().run(true, key, [&](sqlite3* db, int64_t id) {
            found = CreatePath(db, id, *path);
            return ERROR_SUCCESS;
        });
        if (rc != ERROR_SUCCESS) return rc;
        *result = Store::Instance().addHandle(found.id);
        if (disposition) *disposition = found.created ? 1 : 2;
        return rc;
    });
}

LONG RegCloseKey(HKEY key) {
    return Guarded([&] { return Store::Instance().closeHandle(key); });
}

LONG RegDeleteKey(HKEY key, const char* subKey) {
    return Guarded([&] {
        auto path = SplitPath(subKey);
        if (!subKey || !path) return ERROR_INVALID_PARAMETER;
        return Store::Instance().run(true, key, [&](sqlite3* db, int64_t id) {
            auto target = FindPath(db, id, *path);
            if (!target) return ERROR_FILE_NOT_FOUND;
            if (detail::IsRootId(*target) || detail::HasChildren(db, *target)) return ERROR_ACCESS_DENIED;
            detail::RemoveKey(db, *target);
            return ERROR_SUCCESS;
        });
    });
}

LONG RegDeleteValue(HKEY key, const char* name) {
    return Guarded([&] {
        return Store::Instance().run(true, key, [&](sqlite3* db, int64_t id) {
            return detail::RemoveValue(db, id, ValueName(name)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        });
    });
}

LONG RegQueryValueEx(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* cbData) {
    return Guarded([&] {
        if (data && !cbData) return ERROR_INVALID_PARAMETER;
        return Store::Instance().run(false, key, [&](sqlite3* db, int64_t id) {
            auto value = detail::FindValue(db, id, ValueName(name));
            return value ? CopyData(*value, type, data, cbData) : ERROR_FILE_NOT_FOUND;
        });
    });
}

LONG RegSetValueEx(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD cbData) {
    return Guarded([&] {
        if ((!data && cbData) || !ValidValueName(name)) return ERROR_INVALID_PARAMETER;
        return Store::Instance().run(true, key, [&](sqlite3* db, int64_t id) {
            if (detail::IsFrozenRoot(id)) return ERROR_ACCESS_DENIED;
            detail::PutValue(db, id, ValueName(name), type, {data, cbData});
            return ERROR_SUCCESS;
        });
    });
}

LONG RegWriteBatch(HKEY key, const RegBatchWrite* writes, DWORD count) {
    return Guarded([&] {
        const auto paths = BatchPaths(writes, count);
        // Any failure throws, so the transaction rolls back whatever went before it.
        return Store::Instance().run(true, key, [&](sqlite3* db, int64_t id) {
            const std::vector<std::string_view>* lastPath = nullptr;
            int64_t target = 0;
            for (DWORD i = 0; i < count; ++i) {
                const RegBatchWrite& write = writes[i];
                if (!lastPath || *lastPath != paths[i]) target = CreatePath(db, id, paths[i]).id;
                lastPath = &paths[i];
                if (write.keyOnly) continue;
                if (detail::IsFrozenRoot(target)) throw Failure{ERROR_ACCESS_DENIED};
                detail::PutValue(db, target, write.name, write.type, write.data);
            }
            return ERROR_SUCCESS;
        });
    });
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* cchName) {
    return Guarded([&] {
        if (!name || !cchName) return ERROR_INVALID_PARAMETER;
        return Store::Instance().run(false, key, [&](sqlite3* db, int64_t id, detail::EnumContext context) {
            auto child = detail::ChildAtIndex(db, id, index, context.connection, context.cursors.subKeys);
            return child ? CopyName(*child, name, cchName) : ERROR_NO_MORE_ITEMS;
        });
    });
}

LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* type, BYTE* data, DWORD* cbData) {
    return Guarded([&] {
        if (!name || !cchName || (data && !cbData)) return ERROR_INVALID_PARAMETER;
        return Store::Instance().run(false, key, [&](sqlite3* db, int64_t id, detail::EnumContext context) {
            auto value = detail::ValueAtIndex(db, id, index, context.connection, context.cursors.values);
            if (!value) return ERROR_NO_MORE_ITEMS;
            LONG rc = CopyName(value->name, name, cchName);
            return rc == ERROR_SUCCESS ? CopyData(*value, type, data, cbData) : rc;
        });
    });
}

LONG RegEnumValuesAll(HKEY key, const char* subKey, std::vector<RegValueEntry>* values) {
    return Guarded([&] {
        if (!values) return ERROR_INVALID_PARAMETER;
        values->clear();
        auto path = SplitPath(subKey);
        if (!path) return ERROR_INVALID_PARAMETER;
        // Read aside: a failure part way (it throws) leaves *values empty, not half read.
        std::vector<RegValueEntry> read;
        LONG rc = Store::Instance().run(false, key, [&](sqlite3* db, int64_t id) {
            auto target = FindPath(db, id, *path);
            if (!target) return ERROR_FILE_NOT_FOUND;
            detail::AllValues(db, *target, read);
            return ERROR_SUCCESS;
        });
        values->swap(read);
        return rc;
    });
}

LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values, DWORD* maxValueNameLen,
                     DWORD* maxValueLen) {
    return Guarded([&] {
        return Store::Instance().run(false, key, [&](sqlite3* db, int64_t id) {
            detail::KeyInfo info = detail::Info(db, id);
            auto put = [](DWORD* out, DWORD in) {
                if (out) *out = in;
            };
            put(subKeys, info.subKeys);
            put(maxSubKeyLen, info.maxSubKeyLen);
            put(values, info.values);
            put(maxValueNameLen, info.maxValueNameLen);
            put(maxValueLen, info.maxValueLen);
            return ERROR_SUCCESS;
        });
    });
}

} // namespace velmora::reg
