#include <velmora/registry_store.h>

#include "store_connection.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace velmora::reg;

namespace {

using Names = std::vector<std::string>;

// A key handle closed at the end of its scope.
struct Key {
    HKEY h = 0;
    ~Key() { RegCloseKey(h); }
    operator HKEY() const { return h; }
};

HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
    HKEY key = 0;
    EXPECT_EQ(RegCreateKeyEx(root, path, KEY_ALL_ACCESS, &key, disposition), ERROR_SUCCESS) << path;
    return key;
}

LONG SetDword(HKEY key, const std::string& name, DWORD value) {
    return RegSetValueEx(key, name.c_str(), REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

std::optional<DWORD> GetDword(HKEY key, const std::string& name) {
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueEx(key, name.c_str(), nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return {};
    return value;
}

// The sub-key (or value) name at index through the handle, or the code.
std::string At(HKEY key, DWORD index, bool value = false) {
    char name[256];
    DWORD cch = sizeof name;
    const LONG rc = value ? RegEnumValue(key, index, name, &cch, nullptr, nullptr, nullptr)
                          : RegEnumKeyEx(key, index, name, &cch);
    return rc == ERROR_SUCCESS ? std::string(name, cch) : "code " + std::to_string(rc);
}

// The names at each index in turn, one call each.
Names AtEach(HKEY key, std::initializer_list<DWORD> indexes, bool values = false) {
    Names names;
    for (const DWORD i : indexes) names.push_back(At(key, i, values));
    return names;
}

const std::string kNoMoreItems = "code " + std::to_string(ERROR_NO_MORE_ITEMS);

Names All(HKEY key, bool values = false) {
    Names names;
    for (DWORD i = 0; At(key, i, values) != kNoMoreItems; ++i) names.push_back(At(key, i, values));
    return names;
}

bool Exists(const char* path) {
    HKEY key = 0;
    return RegOpenKeyEx(HKEY_CURRENT_USER, path, KEY_READ, &key) == ERROR_SUCCESS && RegCloseKey(key) == 0;
}

class RegistryStore : public ::testing::Test {
protected:
    velmora::test::PrivateStore store;
};

// XDG_CONFIG_HOME names the store's folder when it is an absolute path;
// empty or relative, it is as unset.
TEST(StorePath, FollowsAnAbsoluteXdgConfigHomeOnly) {
    const velmora::test::ScopedEnv home("HOME", "/home/user");
    const std::pair<const char*, const char*> cases[] = {
        {"/srv/config", "/srv/config/velmora/registry.db"},
        {"", "/home/user/.config/velmora/registry.db"},
        {"config", "/home/user/.config/velmora/registry.db"},
    };
    for (const auto& [config, path] : cases) {
        const velmora::test::ScopedEnv xdg("XDG_CONFIG_HOME", config);
        EXPECT_EQ(StorePath(), path) << config;
    }
}

// A key named in other cases is the same key, and every key keeps the case
// it was created with.
TEST_F(RegistryStore, KeyAndValueNamesMatchWhateverTheCase) {
    DWORD disposition = 0;
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Tervan\\ADC", &disposition));
    EXPECT_EQ(disposition, 1u) << "a new key";
    Key key{Create(HKEY_CURRENT_USER, "SOFTWARE\\tervan\\adc\\", &disposition)};
    EXPECT_EQ(disposition, 2u) << "the same key named in other cases";
    for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) RegCloseKey(Create(key, name));
    EXPECT_EQ(All(key), (Names{"Alpha", "ALPHA2", "beta", "gamma"})) << "name order";
    EXPECT_EQ(All(Key{Create(HKEY_CURRENT_USER, "software")}), Names{"Tervan"});
    // Values: creation order, and a name kept as first written, are the
    // one-call read's test (AllValuesComeBackInOneCallAsWrittenInCreationOrder).
    for (const auto& [name, value] : {std::pair{"Zeta", 1u}, {"alpha", 2u}, {"ZETA", 3u}})
        ASSERT_EQ(SetDword(key, name, value), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "zeta"), 3u) << "a write in another case overwrites";
    EXPECT_EQ(RegDeleteValue(key, "zeta"), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "Zeta"), std::nullopt) << "a delete in another case";
    EXPECT_EQ(SetDword(key, "Zeta", 4), ERROR_SUCCESS);
    EXPECT_EQ(All(key, true), (Names{"alpha", "Zeta"})) << "a new value goes last";
}

TEST_F(RegistryStore, AShortBufferIsToldTheSizeNeeded) {
    Key key{Create(HKEY_CURRENT_USER, "Software\\Tervan\\ADC")};
    for (const char* name : {"Alpha", "ALPHA2"}) RegCloseKey(Create(key, name));
    EXPECT_EQ(RegSetValueEx(key, nullptr, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 4), ERROR_SUCCESS);
    char text[8];
    DWORD size = 3, cch = 5;
    EXPECT_EQ(RegQueryValueEx(key, "", nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u) << "the size needed";
    EXPECT_EQ(RegEnumKeyEx(key, 1, text, &cch), ERROR_MORE_DATA); // "ALPHA2" and its NUL
    EXPECT_EQ(cch, 6u) << "the length needed";
}

TEST_F(RegistryStore, EnumerationByIndexGoesOnPastChangesWithoutRepeats) {
    Key key{Create(HKEY_CURRENT_USER, "Software\\Enum")};
    for (const char* name : {"v0", "v1", "v2", "v3", "v4"}) ASSERT_EQ(SetDword(key, name, 0), ERROR_SUCCESS);
    EXPECT_EQ(AtEach(key, {0, 1}, true), (Names{"v0", "v1"}));
    char small[2];
    DWORD cch = sizeof small;
    EXPECT_EQ(RegEnumValue(key, 2, small, &cch, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(At(key, 2, true), "v2") << "the same index again, with room";
    EXPECT_EQ(RegDeleteValue(key, "v1"), ERROR_SUCCESS); // behind the enumeration
    EXPECT_EQ(RegDeleteValue(key, "v3"), ERROR_SUCCESS); // ahead of it
    EXPECT_EQ(SetDword(key, "v5", 0), ERROR_SUCCESS);
    // After the last value served, not v2 again; then the value added
    // meanwhile; an index out of turn counts from the first.
    EXPECT_EQ(AtEach(key, {3, 4, 5, 1, 2}, true), (Names{"v4", "v5", kNoMoreItems, "v2", "v4"}));
    // Sub-keys: in name order, so one created before the enumeration's place
    // is not seen by it.
    for (const char* name : {"b", "C", "d", "e"}) RegCloseKey(Create(key, name));
    EXPECT_EQ(AtEach(key, {0, 1}), (Names{"b", "C"}));
    EXPECT_EQ(RegDeleteKey(key, "b"), ERROR_SUCCESS);
    RegCloseKey(Create(key, "a")); // before the enumeration: not seen by it
    RegCloseKey(Create(key, "F"));
    EXPECT_EQ(AtEach(key, {2, 3, 4, 5}), (Names{"d", "e", "F", kNoMoreItems}))
        << "name order, whatever the case";
}

RegBatchWrite Dword(const std::string& subKey, const std::string& name, DWORD value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    return {subKey, name, REG_DWORD, {bytes, bytes + sizeof value}, false};
}

TEST_F(RegistryStore, ABatchWritesEverythingOrNothing) {
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Kept"));
    const std::vector<RegBatchWrite> writes{Dword("Software\\Batch\\One", "a", 1),
                                            Dword("Software\\Batch\\One", "b", 2),
                                            {"Software\\Batch\\Empty", "", REG_NONE, {}, true},
                                            Dword("Software\\Batch\\Two", "c", 3)};
    velmora::test::StoreConnection other;
    other.PoisonValue("c"); // the last write fails inside the transaction
    EXPECT_NE(RegWriteBatch(HKEY_CURRENT_USER, writes.data(), 4), ERROR_SUCCESS);
    EXPECT_FALSE(Exists("Software\\Batch")) << "the writes before the fault were kept";
    // One under another connection's write lock: DriverSettingsTest.ALockedStore*.
    other.Cure();
    ASSERT_EQ(RegWriteBatch(HKEY_CURRENT_USER, writes.data(), 4), ERROR_SUCCESS);
    Key one{Create(HKEY_CURRENT_USER, "Software\\batch\\ONE")};
    EXPECT_EQ(All(one, true), (Names{"a", "b"}));
    EXPECT_EQ(GetDword(one, "b"), 2u);
    EXPECT_EQ(GetDword(Key{Create(HKEY_CURRENT_USER, "Software\\Batch\\Two")}, "c"), 3u);
    EXPECT_TRUE(Exists("Software\\Batch\\Empty")) << "a key without values";

    const std::vector<RegBatchWrite> refused{Dword("Software\\Other", "x", 1), Dword("Bad\\\\Path", "y", 2)};
    EXPECT_EQ(RegWriteBatch(HKEY_CURRENT_USER, refused.data(), 2), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegWriteBatch(HKEY_LOCAL_MACHINE, refused.data(), 1), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Exists("Software\\Other"));
    EXPECT_EQ(RegWriteBatch(HKEY_CURRENT_USER, nullptr, 0), ERROR_SUCCESS) << "an empty batch";
}

// Every value through RegEnumValue one index at a time, as callers did before.
std::vector<RegValueEntry> OneByOne(HKEY key) {
    std::vector<RegValueEntry> values;
    for (DWORD i = 0;; ++i) {
        char name[256];
        BYTE data[64];
        DWORD cch = sizeof name, type = 0, size = sizeof data;
        if (RegEnumValue(key, i, name, &cch, &type, data, &size) != ERROR_SUCCESS) return values;
        values.push_back({std::string(name, cch), type, std::vector<BYTE>(data, data + size)});
    }
}

RegValueEntry Entry(const std::string& name, DWORD type, const std::string& bytes) {
    return {name, type, std::vector<BYTE>(bytes.begin(), bytes.end())};
}

LONG Set(HKEY key, const RegValueEntry& v) {
    return RegSetValueEx(key, v.name.c_str(), v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
}

TEST_F(RegistryStore, AllValuesComeBackInOneCallAsWrittenInCreationOrder) {
    constexpr DWORD kQword = 11;
    // Not in name order; names in UTF-8 and in single bytes alike.
    std::vector<RegValueEntry> written{
        Entry("Path", REG_SZ, std::string("C:\\data\0", 8)),
        Entry("", REG_EXPAND_SZ, "%HOME%\\run"),
        Entry("Count", REG_DWORD, std::string("\x10\0\0\0", 4)),
        Entry("Total", kQword, std::string("\1\2\3\4\5\6\7\x80", 8)),
        Entry("Blob", REG_BINARY, std::string("\0\xff\0", 3)),
        Entry("Lines", REG_MULTI_SZ, std::string("one\0two\0\0", 9)),
        Entry("Empty", REG_BINARY, ""),
        Entry("Grüße ✓", REG_SZ, "utf-8"),
        Entry("Gr\xfc\xdf"
              "e",
              REG_NONE, "latin-1"),
        Entry("alpha", REG_DWORD, std::string("\1\0\0\0", 4)),
    };
    Key key{Create(HKEY_CURRENT_USER, "Software\\All")};
    for (const RegValueEntry& v : written) ASSERT_EQ(Set(key, v), ERROR_SUCCESS) << v.name;
    written[2].data = {0x20, 0, 0, 0}; // an overwrite keeps its place, and its first name
    ASSERT_EQ(Set(key, Entry("COUNT", REG_DWORD, std::string("\x20\0\0\0", 4))), ERROR_SUCCESS);

    std::vector<RegValueEntry> all{Entry("stale", REG_SZ, "x")};
    ASSERT_EQ(RegEnumValuesAll(HKEY_CURRENT_USER, "software\\ALL\\", &all), ERROR_SUCCESS);
    EXPECT_EQ(all, written);
    EXPECT_EQ(all, OneByOne(key)) << "not what the enumeration by index yields";
}

TEST_F(RegistryStore, AllValuesOfAnEmptyOrUnusableKeyAreNone) {
    Key gone{Create(HKEY_CURRENT_USER, "Software\\Gone")};
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Empty"));
    ASSERT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Software\\Gone"), ERROR_SUCCESS);
    const std::string longest = "Software\\" + std::string(255, 'k'), tooLong = longest + "k";
    const std::tuple<HKEY, const char*, LONG> cases[] = {
        {HKEY_CURRENT_USER, "Software\\Empty", ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, nullptr, ERROR_SUCCESS}, // a root that keeps nothing
        {HKEY_CURRENT_USER, "Software\\Missing", ERROR_FILE_NOT_FOUND},
        {gone, "", ERROR_KEY_DELETED},
        {0x1234, "", ERROR_INVALID_HANDLE},
        {HKEY_CURRENT_USER, "Software\\\\Empty", ERROR_INVALID_PARAMETER},
        {HKEY_CURRENT_USER, longest.c_str(), ERROR_FILE_NOT_FOUND}, // the longest name a key may have
        {HKEY_CURRENT_USER, tooLong.c_str(), ERROR_INVALID_PARAMETER},
    };
    for (const auto& [key, subKey, code] : cases) {
        SCOPED_TRACE(subKey ? subKey : "null");
        std::vector<RegValueEntry> all{Entry("stale", REG_SZ, "x")};
        EXPECT_EQ(RegEnumValuesAll(key, subKey, &all), code);
        EXPECT_TRUE(all.empty());
    }
    EXPECT_EQ(RegEnumValuesAll(HKEY_CURRENT_USER, "", nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryStore, AllValuesWaitForAnotherProcesssLockThenFail) {
    ASSERT_EQ(SetDword(Key{Create(HKEY_CURRENT_USER, "Software\\Locked")}, "a", 1), ERROR_SUCCESS);
    std::vector<RegValueEntry> all;
    {
        // Every connection to the file holds a shared lock in WAL mode: this
        // process's must move elsewhere before another can lock readers out.
        velmora::test::TempDir elsewhere;
        velmora::test::ScopedEnv moved("XDG_CONFIG_HOME", elsewhere.str());
        ASSERT_EQ(RegEnumValuesAll(HKEY_CURRENT_USER, "", &all), ERROR_SUCCESS);
    }
    {
        velmora::test::StoreConnection other;
        other.LockOutReaders();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RegEnumValuesAll(HKEY_CURRENT_USER, "Software\\Locked", &all), ERROR_LOCK_VIOLATION);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500))
            << "gave up early";
        EXPECT_EQ(FormatMessage(ERROR_LOCK_VIOLATION),
                  "The process cannot access the file because another process has locked a portion of the "
                  "file.\r\n");
    }
    EXPECT_EQ(RegEnumValuesAll(HKEY_CURRENT_USER, "Software\\Locked", &all), ERROR_SUCCESS)
        << "once released";
    EXPECT_EQ(all.size(), 1u);
}

TEST_F(RegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 100;
    pid_t children[2] = {};
    for (int c = 0; c < 2; ++c) {
        if ((children[c] = ::fork()) != 0) continue;
        int failures = 0;
        for (int i = 0; i < kWrites; ++i) {
            HKEY key = 0;
            failures +=
                RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Race", KEY_ALL_ACCESS, &key, nullptr) != 0 ||
                SetDword(key, std::to_string(c) + "." + std::to_string(i), static_cast<DWORD>(i)) != 0;
            failures += RegCloseKey(key) != 0;
        }
        ::_exit(failures == 0 ? 0 : 1);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed: " << status;
    }
    EXPECT_EQ(All(Key{Create(HKEY_CURRENT_USER, "Software\\Race")}, true).size(), 2u * kWrites)
        << "writes were lost";
    // The store's file alone, as a backup copies it, holds them too: not only
    // its write-ahead log, which the writers left behind.
    velmora::test::PrivateStore copy;
    const auto file = std::filesystem::path("velmora") / "registry.db";
    std::filesystem::create_directories(copy.dir().path() / "velmora");
    std::filesystem::copy_file(store.dir().path() / file, copy.dir().path() / file);
    EXPECT_EQ(All(Key{Create(HKEY_CURRENT_USER, "Software\\Race")}, true).size(), 2u * kWrites)
        << "registry.db without its -wal";
}

} // namespace
