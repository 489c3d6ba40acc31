#include <velmora/registry_store.h>

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

LONG SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueEx(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

std::optional<DWORD> GetDword(HKEY key, const char* name) {
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueEx(key, name, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return {};
    return value;
}

// Sub-key names, or value names with values set.
std::vector<std::string> Names(HKEY key, bool values = false) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0, cch = sizeof name; (values ? RegEnumValue(key, i, name, &cch, nullptr, nullptr, nullptr)
                                                 : RegEnumKeyEx(key, i, name, &cch)) == ERROR_SUCCESS;
         ++i, cch = sizeof name)
        names.emplace_back(name, cch);
    return names;
}

TEST(RegistryStore, NamesMatchWhateverTheCaseKeepTheirOwnAndEnumerateInOrder) {
    velmora::test::PrivateStore store;
    DWORD disposition = 0;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tervan\\ADC", &disposition);
    EXPECT_EQ(disposition, 1u) << "a new key";
    RegCloseKey(Create(HKEY_CURRENT_USER, "SOFTWARE\\tervan\\adc\\", &disposition));
    EXPECT_EQ(disposition, 2u) << "the same key named in other cases";
    for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) RegCloseKey(Create(key, name));
    EXPECT_EQ(Names(key), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}))
        << "sub-keys in order whatever the case";
    HKEY software = 0;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software", KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_EQ(Names(software), std::vector<std::string>{"Tervan"});
    RegCloseKey(software);

    EXPECT_EQ(SetDword(key, "Zeta", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(key, nullptr, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 4), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "alpha", 2), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "ZETA", 3), ERROR_SUCCESS); // overwrites in place, keeps "Zeta"
    EXPECT_EQ(Names(key, true), (std::vector<std::string>{"Zeta", "", "alpha"}))
        << "values in creation order";
    EXPECT_EQ(GetDword(key, "zeta"), 3u) << "a write in another case overwrites";
    EXPECT_EQ(RegDeleteValue(key, "zeta"), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "Zeta"), std::nullopt) << "a delete in another case";
    EXPECT_EQ(SetDword(key, "Zeta", 4), ERROR_SUCCESS); // a new value goes last
    EXPECT_EQ(Names(key, true), (std::vector<std::string>{"", "alpha", "Zeta"})) << "a new value goes last";

    char text[8];
    DWORD size = 3;
    EXPECT_EQ(RegQueryValueEx(key, "", nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u) << "the size needed";
    DWORD cch = 5;
    EXPECT_EQ(RegEnumKeyEx(key, 1, text, &cch), ERROR_MORE_DATA); // "ALPHA2" and its NUL
    EXPECT_EQ(cch, 6u) << "the length needed";
    cch = sizeof text;
    EXPECT_EQ(RegEnumKeyEx(key, 4, text, &cch), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST(RegistryStore, KeysWithSubKeysStayAndHandlesToDeletedKeysFail) {
    velmora::test::PrivateStore store;
    HKEY parent = Create(HKEY_CURRENT_USER, "Software\\Parent");
    HKEY child = Create(parent, "Child");
    EXPECT_EQ(SetDword(child, "v", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Software\\Parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(parent, "Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(parent, "CHILD"), ERROR_SUCCESS);

    HKEY other = 0;
    EXPECT_EQ(SetDword(child, "v", 2), ERROR_KEY_DELETED) << "a write through a deleted key";
    EXPECT_EQ(GetDword(child, "v"), std::nullopt) << "a read through a deleted key";
    EXPECT_EQ(RegCreateKeyEx(child, "Sub", KEY_ALL_ACCESS, &other, nullptr), ERROR_KEY_DELETED);
    RegCloseKey(Create(parent, "Child")); // a new key of that name is another key
    EXPECT_EQ(RegOpenKeyEx(child, "", KEY_READ, &other), ERROR_KEY_DELETED)
        << "the old handle reached the new key";
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(parent, "Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(parent, ""), ERROR_SUCCESS); // the key itself
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Parent", KEY_READ, &other), ERROR_FILE_NOT_FOUND);
    RegCloseKey(parent);
}

TEST(RegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
    velmora::test::PrivateStore store;
    constexpr int kWrites = 100;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (char tag : {'a', 'b'}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            char go;
            ::close(gate[1]);
            if (::read(gate[0], &go, 1) != 0) ::_exit(2); // released when the parent closes its end
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                HKEY key = 0;
                failures +=
                    RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Race", KEY_ALL_ACCESS, &key, nullptr) != 0;
                failures += SetDword(key, (tag + std::to_string(i)).c_str(), static_cast<DWORD>(i)) != 0;
                failures += RegCloseKey(key) != 0;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "a writer failed, wait status " << status;
    }
    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Race", KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(Names(key, true).size(), 2u * kWrites);
    for (int i = 0; i < kWrites; ++i) {
        const std::string number = std::to_string(i);
        EXPECT_EQ(GetDword(key, ("a" + number).c_str()), DWORD(i)) << "a" << i;
        EXPECT_EQ(GetDword(key, ("b" + number).c_str()), DWORD(i)) << "b" << i;
    }
    RegCloseKey(key);
}

} // namespace
