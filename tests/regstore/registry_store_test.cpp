#include <velmora/registry_store.h>

#include "store_connection.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace velmora::reg;

namespace {

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

const std::string kNoMoreItems = "code " + std::to_string(ERROR_NO_MORE_ITEMS);

std::vector<std::string> Names(HKEY key, bool values = false) {
    std::vector<std::string> names;
    for (DWORD i = 0; At(key, i, values) != kNoMoreItems; ++i) names.push_back(At(key, i, values));
    return names;
}

bool Exists(const char* path) {
    HKEY key = 0;
    return RegOpenKeyEx(HKEY_CURRENT_USER, path, KEY_READ, &key) == ERROR_SUCCESS && RegCloseKey(key) == 0;
}

TEST(RegistryStore, KeyNamesMatchWhateverTheCase) {
    velmora::test::PrivateStore store;
    DWORD disposition = 0;
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Tervan\\ADC", &disposition));
    EXPECT_EQ(disposition, 1u) << "a new key";
    RegCloseKey(Create(HKEY_CURRENT_USER, "SOFTWARE\\tervan\\adc\\", &disposition));
    EXPECT_EQ(disposition, 2u) << "the same key named in other cases";
}

TEST(RegistryStore, SubKeysEnumerateInNameOrderUnderTheirOwnCase) {
    velmora::test::PrivateStore store;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tervan\\ADC");
    for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) RegCloseKey(Create(key, name));
    EXPECT_EQ(Names(key), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"})) << "name order";
    HKEY software = 0;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software", KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_EQ(Names(software), std::vector<std::string>{"Tervan"});
    RegCloseKey(software);
    RegCloseKey(key);
}

TEST(RegistryStore, ValuesEnumerateInCreationOrderUnderTheirFirstName) {
    velmora::test::PrivateStore store;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tervan\\ADC");
    EXPECT_EQ(SetDword(key, "Zeta", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(key, nullptr, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 4), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "alpha", 2), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "ZETA", 3), ERROR_SUCCESS); // overwrites in place, keeps "Zeta"
    EXPECT_EQ(Names(key, true), (std::vector<std::string>{"Zeta", "", "alpha"})) << "creation order";
    EXPECT_EQ(GetDword(key, "zeta"), 3u) << "a write in another case overwrites";
    EXPECT_EQ(RegDeleteValue(key, "zeta"), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "Zeta"), std::nullopt) << "a delete in another case";
    EXPECT_EQ(SetDword(key, "Zeta", 4), ERROR_SUCCESS);
    EXPECT_EQ(Names(key, true), (std::vector<std::string>{"", "alpha", "Zeta"})) << "a new value goes last";
    RegCloseKey(key);
}

TEST(RegistryStore, AShortBufferIsToldTheSizeNeeded) {
    velmora::test::PrivateStore store;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tervan\\ADC");
    for (const char* name : {"Alpha", "ALPHA2"}) RegCloseKey(Create(key, name));
    EXPECT_EQ(RegSetValueEx(key, nullptr, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 4), ERROR_SUCCESS);
    char text[8];
    DWORD size = 3, cch = 5;
    EXPECT_EQ(RegQueryValueEx(key, "", nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u) << "the size needed";
    EXPECT_EQ(RegEnumKeyEx(key, 1, text, &cch), ERROR_MORE_DATA); // "ALPHA2" and its NUL
    EXPECT_EQ(cch, 6u) << "the length needed";
    RegCloseKey(key);
}

TEST(RegistryStore, ValueEnumerationGoesOnPastChangesWithoutRepeats) {
    velmora::test::PrivateStore store;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Enum");
    for (const char* name : {"v0", "v1", "v2", "v3", "v4"}) ASSERT_EQ(SetDword(key, name, 0), ERROR_SUCCESS);
    EXPECT_EQ(At(key, 0, true), "v0");
    EXPECT_EQ(At(key, 1, true), "v1");
    char small[2];
    DWORD cch = sizeof small;
    EXPECT_EQ(RegEnumValue(key, 2, small, &cch, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(At(key, 2, true), "v2") << "the same index again, with room";
    EXPECT_EQ(RegDeleteValue(key, "v1"), ERROR_SUCCESS); // behind the enumeration
    EXPECT_EQ(RegDeleteValue(key, "v3"), ERROR_SUCCESS); // ahead of it
    EXPECT_EQ(SetDword(key, "v5", 0), ERROR_SUCCESS);
    EXPECT_EQ(At(key, 3, true), "v4") << "after the last value served, not v2 again";
    EXPECT_EQ(At(key, 4, true), "v5") << "a value added meanwhile";
    EXPECT_EQ(At(key, 5, true), kNoMoreItems);
    EXPECT_EQ(At(key, 1, true), "v2") << "an index out of turn counts from the first";
    EXPECT_EQ(At(key, 2, true), "v4");
    RegCloseKey(key);
}

TEST(RegistryStore, KeyEnumerationGoesOnPastChangesWithoutRepeats) {
    velmora::test::PrivateStore store;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Enum");
    for (const char* name : {"b", "C", "d", "e"}) RegCloseKey(Create(key, name));
    EXPECT_EQ(At(key, 0), "b");
    EXPECT_EQ(At(key, 1), "C");
    EXPECT_EQ(RegDeleteKey(key, "b"), ERROR_SUCCESS);
    RegCloseKey(Create(key, "a")); // before the enumeration: not seen by it
    RegCloseKey(Create(key, "F"));
    EXPECT_EQ(At(key, 2), "d") << "name order, whatever the case";
    EXPECT_EQ(At(key, 3), "e");
    EXPECT_EQ(At(key, 4), "F");
    EXPECT_EQ(At(key, 5), kNoMoreItems);
    RegCloseKey(key);
}

RegBatchWrite Dword(const std::string& subKey, const std::string& name, DWORD value) {
    return {subKey,
            name,
            REG_DWORD,
            {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)},
            false};
}

TEST(RegistryStore, ABatchWritesEverythingOrNothing) {
    velmora::test::PrivateStore store;
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Kept"));
    const std::vector<RegBatchWrite> writes{Dword("Software\\Batch\\One", "a", 1),
                                            Dword("Software\\Batch\\One", "b", 2),
                                            {"Software\\Batch\\Empty", "", REG_NONE, {}, true},
                                            Dword("Software\\Batch\\Two", "c", 3)};
    velmora::test::StoreConnection other;
    other.PoisonValue("c"); // the last write fails inside the transaction
    EXPECT_NE(RegWriteBatch(HKEY_CURRENT_USER, writes.data(), 4), ERROR_SUCCESS);
    EXPECT_FALSE(Exists("Software\\Batch")) << "the writes before the fault were kept";
    other.Cure();
    other.Lock();
    EXPECT_EQ(RegWriteBatch(HKEY_CURRENT_USER, writes.data(), 4), ERROR_LOCK_VIOLATION);
    other.Release();
    EXPECT_FALSE(Exists("Software\\Batch")) << "written while another connection held the lock";

    ASSERT_EQ(RegWriteBatch(HKEY_CURRENT_USER, writes.data(), 4), ERROR_SUCCESS);
    HKEY one = 0, two = 0;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\batch\\ONE", KEY_READ, &one), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Batch\\Two", KEY_READ, &two), ERROR_SUCCESS);
    EXPECT_EQ(Names(one, true), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(GetDword(one, "b"), 2u);
    EXPECT_EQ(GetDword(two, "c"), 3u);
    EXPECT_TRUE(Exists("Software\\Batch\\Empty")) << "a key without values";
    RegCloseKey(one);
    RegCloseKey(two);

    const std::vector<RegBatchWrite> refused{Dword("Software\\Other", "x", 1), Dword("Bad\\\\Path", "y", 2)};
    EXPECT_EQ(RegWriteBatch(HKEY_CURRENT_USER, refused.data(), 2), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegWriteBatch(HKEY_LOCAL_MACHINE, refused.data(), 1), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Exists("Software\\Other"));
    EXPECT_EQ(RegWriteBatch(HKEY_CURRENT_USER, nullptr, 0), ERROR_SUCCESS) << "an empty batch";
}

TEST(RegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
    velmora::test::PrivateStore store;
    constexpr int kWrites = 100;
    pid_t children[2] = {};
    for (int c = 0; c < 2; ++c) {
        if ((children[c] = ::fork()) != 0) continue;
        int failures = 0;
        for (int i = 0; i < kWrites; ++i) {
            HKEY key = 0;
            failures +=
                RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Race", KEY_ALL_ACCESS, &key, nullptr) != 0;
            failures +=
                SetDword(key, std::to_string(c) + "." + std::to_string(i), static_cast<DWORD>(i)) != 0;
            failures += RegCloseKey(key) != 0;
        }
        ::_exit(failures == 0 ? 0 : 1);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "a writer failed, wait status " << status;
    }
    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Race", KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(Names(key, true).size(), 2u * kWrites) << "writes were lost";
    RegCloseKey(key);
}

} // namespace
