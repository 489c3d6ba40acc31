#include "settings/registry_store.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace velmora::reg;
namespace fs = std::filesystem;

namespace {

class RegistryStoreTest : public ::testing::Test {
protected:
    velmora::test::PrivateStore store_;
};

HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
    HKEY key = 0;
    EXPECT_EQ(RegCreateKeyEx(root, path, KEY_ALL_ACCESS, &key, disposition), ERROR_SUCCESS) << path;
    return key;
}

LONG Open(HKEY root, const char* path, HKEY* key) {
    return RegOpenKeyEx(root, path, KEY_READ, key);
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

std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0, cch = sizeof name; RegEnumKeyEx(key, i, name, &cch) == ERROR_SUCCESS;
         ++i, cch = sizeof name)
        names.emplace_back(name, cch);
    return names;
}

std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0, cch = sizeof name;
         RegEnumValue(key, i, name, &cch, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i, cch = sizeof name)
        names.emplace_back(name, cch);
    return names;
}

// Runs body in a child process and returns the codes it reports. As root the
// child drops to an ordinary user, since root ignores file modes.
std::vector<LONG> InChild(const fs::path& tree, const std::function<std::vector<LONG>()>& body) {
    constexpr uid_t kNobody = 65534;
    bool root = geteuid() == 0;
    int chowned = root ? ::chown(tree.c_str(), kNobody, kNobody) : 0;
    for (const auto& entry : fs::recursive_directory_iterator(tree))
        chowned |= root ? ::chown(entry.path().c_str(), kNobody, kNobody) : 0;
    EXPECT_EQ(chowned, 0);
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(2);
        std::vector<LONG> codes = body();
        bool ok = ::write(fds[1], codes.data(), codes.size() * sizeof(LONG)) ==
                  static_cast<ssize_t>(codes.size() * sizeof(LONG));
        ::_exit(ok ? 0 : 3);
    }
    ::close(fds[1]);
    std::vector<LONG> codes;
    for (LONG code; ::read(fds[0], &code, sizeof code) == sizeof code;) codes.push_back(code);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return codes;
}

TEST_F(RegistryStoreTest, KeysAreFoundWhateverTheCaseAndKeepTheirOwn) {
    DWORD disposition = 0;
    HKEY vendor = Create(HKEY_CURRENT_USER, "Software\\Tervan\\ADC", &disposition);
    EXPECT_EQ(disposition, 1u);
    RegCloseKey(Create(HKEY_CURRENT_USER, "SOFTWARE\\tervan\\adc\\", &disposition));
    EXPECT_EQ(disposition, 2u);
    for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) RegCloseKey(Create(vendor, name));
    EXPECT_EQ(SubKeys(vendor), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}));

    HKEY software = 0;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "software", &software), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(software), std::vector<std::string>{"Tervan"});
    HKEY missing = 7;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Nobody", &missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, 0u);
    EXPECT_EQ(SubKeys(HKEY_CLASSES_ROOT), std::vector<std::string>{}); // roots are apart

    char small[5];
    DWORD cch = sizeof small;
    EXPECT_EQ(RegEnumKeyEx(vendor, 1, small, &cch), ERROR_MORE_DATA);
    EXPECT_EQ(cch, 6u);
    EXPECT_EQ(RegEnumKeyEx(vendor, 4, small, &cch), ERROR_NO_MORE_ITEMS);
    RegCloseKey(software);
    RegCloseKey(vendor);
}

TEST_F(RegistryStoreTest, BadArgumentsAndHandlesAreRefused) {
    HKEY key = 0;
    std::string tooLong(256, 'k');
    for (const char* path : {"\\Software", "Software\\\\x", tooLong.c_str()})
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, &key, nullptr),
                  ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
    BYTE data[4];
    EXPECT_EQ(RegQueryValueEx(HKEY_CURRENT_USER, "v", nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(HKEY_CURRENT_USER, "v", REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);

    HKEY open = Create(HKEY_CURRENT_USER, "Software");
    EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(open), ERROR_INVALID_HANDLE);
    for (HKEY bad : {open, HKEY{0}, HKEY{12345}, HKEY{0x80000007}})
        EXPECT_EQ(SetDword(bad, "v", 1), ERROR_INVALID_HANDLE) << bad;
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, OnlyTheUserAndClassRootsKeepAnything) {
    RegCloseKey(Create(HKEY_CLASSES_ROOT, "CLSID"));
    for (HKEY root = HKEY_LOCAL_MACHINE; root <= HKEY_DYN_DATA; ++root) {
        HKEY key = 0;
        EXPECT_EQ(Open(root, "", &key), ERROR_SUCCESS);
        EXPECT_EQ(RegCreateKeyEx(root, "Software", KEY_ALL_ACCESS, &key, nullptr), ERROR_ACCESS_DENIED);
        EXPECT_EQ(Open(root, "CLSID", &key), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(SetDword(root, "v", 1), ERROR_ACCESS_DENIED);
        DWORD subKeys = 9, values = 9;
        EXPECT_EQ(RegQueryInfoKey(root, &subKeys, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(subKeys + values, 0u);
    }
}

TEST_F(RegistryStoreTest, ValuesKeepTypeBytesAndCreationOrder) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Values");
    EXPECT_EQ(SetDword(key, "Zeta", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(key, nullptr, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 4), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(key, "Empty", 0x12345678, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "alpha", 2), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "ZETA", 3), ERROR_SUCCESS); // overwrites in place, keeps "Zeta"
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Zeta", "", "Empty", "alpha"}));
    EXPECT_EQ(GetDword(key, "zeta"), 3u);

    DWORD type = 0, size = 99;
    EXPECT_EQ(RegQueryValueEx(key, "", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD{REG_SZ});
    EXPECT_EQ(size, 4u);
    char text[4];
    size = 3;
    EXPECT_EQ(RegQueryValueEx(key, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegQueryValueEx(key, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(text, 4), "dflt");
    EXPECT_EQ(RegQueryValueEx(key, "empty", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 0x12345678u);
    EXPECT_EQ(size, 0u);

    EXPECT_EQ(RegDeleteValue(key, "zeta"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(key, "zeta"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetDword(key, "Zeta"), std::nullopt);
    EXPECT_EQ(SetDword(key, "Zeta", 4), ERROR_SUCCESS); // a new value goes last
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"", "Empty", "alpha", "Zeta"}));
    RegCloseKey(key);
}

TEST_F(RegistryStoreTest, EnumerationAndInfoReportSizes) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Info");
    RegCloseKey(Create(key, "LongerName"));
    RegCloseKey(Create(key, "k"));
    std::vector<BYTE> blob(300, 0xab);
    EXPECT_EQ(RegSetValueEx(key, "blob", REG_BINARY, blob.data(), 300), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "a-much-longer-name", 1), ERROR_SUCCESS);

    DWORD counts[5] = {};
    EXPECT_EQ(RegQueryInfoKey(key, &counts[0], &counts[1], &counts[2], &counts[3], &counts[4]),
              ERROR_SUCCESS);
    EXPECT_EQ(std::vector<DWORD>(counts, counts + 5), (std::vector<DWORD>{2, 10, 2, 18, 300}));

    char name[8];
    DWORD cch = sizeof name, type = 0, size = 10;
    BYTE data[10];
    EXPECT_EQ(RegEnumValue(key, 1, name, &cch, &type, data, &size), ERROR_MORE_DATA); // name too long
    EXPECT_EQ(cch, 18u);
    cch = sizeof name;
    EXPECT_EQ(RegEnumValue(key, 0, name, &cch, &type, data, &size), ERROR_MORE_DATA); // data too big
    EXPECT_EQ(std::string(name), "blob");
    EXPECT_EQ(size, 300u);
    EXPECT_EQ(type, DWORD{REG_BINARY});
    EXPECT_EQ(RegEnumValue(key, 2, name, &cch, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(RegistryStoreTest, DeletingKeysAndTheHandlesLeftBehind) {
    HKEY parent = Create(HKEY_CURRENT_USER, "Software\\Parent");
    HKEY child = Create(parent, "Child");
    EXPECT_EQ(SetDword(child, "v", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Software\\Parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(parent, "Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(parent, "CHILD"), ERROR_SUCCESS);

    HKEY other = 0;
    char name[16];
    DWORD cch = sizeof name;
    EXPECT_EQ(SetDword(child, "v", 2), ERROR_KEY_DELETED);
    EXPECT_EQ(GetDword(child, "v"), std::nullopt);
    EXPECT_EQ(RegEnumKeyEx(child, 0, name, &cch), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyEx(child, "Sub", KEY_ALL_ACCESS, &other, nullptr), ERROR_KEY_DELETED);
    RegCloseKey(Create(parent, "Child")); // a new key of that name is another key
    EXPECT_EQ(Open(child, "", &other), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKey(parent, "Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(parent, ""), ERROR_SUCCESS); // the key itself
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Parent", &other), ERROR_FILE_NOT_FOUND);
    RegCloseKey(parent);
}

TEST_F(RegistryStoreTest, BigAndEmptyBinaryValuesRoundTrip) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Big");
    std::vector<BYTE> big(8u << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7 + i / 4096);
    ASSERT_EQ(RegSetValueEx(key, "big", REG_BINARY, big.data(), static_cast<DWORD>(big.size())),
              ERROR_SUCCESS);
    std::vector<BYTE> back(big.size() + 1);
    DWORD size = static_cast<DWORD>(back.size());
    ASSERT_EQ(RegQueryValueEx(key, "big", nullptr, back.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, big.size());
    back.resize(size);
    EXPECT_TRUE(back == big);

    EXPECT_EQ(RegSetValueEx(key, "big", REG_BINARY, big.data(), 0), ERROR_SUCCESS);
    size = 5;
    EXPECT_EQ(RegQueryValueEx(key, "big", nullptr, back.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    RegCloseKey(key);
}

TEST_F(RegistryStoreTest, ReadingAMissingStoreCreatesNothingWhileWritingCreatesIt) {
    HKEY key = 0;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(HKEY_CURRENT_USER, nullptr, &key), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(fs::path(StorePath()).parent_path()));
    EXPECT_EQ(SetDword(key, "v", 5), ERROR_SUCCESS); // the root handle works on the new file
    EXPECT_TRUE(fs::exists(StorePath()));
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "V"), 5u);
    RegCloseKey(key);
}

TEST_F(RegistryStoreTest, HandlesSurviveOtherProcessesWritesButNotAMovedStore) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Shared");
    std::vector<LONG> child = InChild(store_.dir().path(), [] {
        HKEY sibling = 0, same = 0;
        LONG rc = RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Sibling", KEY_ALL_ACCESS, &sibling, nullptr);
        LONG rc2 = RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Shared", KEY_ALL_ACCESS, &same);
        return std::vector<LONG>{rc, rc2, SetDword(same, "fromChild", 42), RegDeleteKey(sibling, "")};
    });
    EXPECT_EQ(child, std::vector<LONG>(4, ERROR_SUCCESS));
    EXPECT_EQ(GetDword(key, "fromChild"), 42u);

    velmora::test::PrivateStore elsewhere;
    EXPECT_EQ(SetDword(key, "v", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 150;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (char tag : {'a', 'b'}) {
        pid_t pid = ::fork();
        if (pid == 0) {
            char go;
            ::close(gate[1]);
            if (::read(gate[0], &go, 1) != 0) ::_exit(2); // released when the parent closes its end
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                HKEY key = 0;
                std::string name = tag + std::to_string(i);
                failures +=
                    RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Race", KEY_ALL_ACCESS, &key, nullptr) != 0;
                failures += SetDword(key, name.c_str(), static_cast<DWORD>(i)) != 0;
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
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    HKEY key = 0;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Race", &key), ERROR_SUCCESS);
    DWORD values = 0;
    EXPECT_EQ(RegQueryInfoKey(key, nullptr, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(values, 2u * kWrites);
    for (int i = 0; i < kWrites; i += 7) {
        EXPECT_EQ(GetDword(key, ("a" + std::to_string(i)).c_str()), DWORD(i));
        EXPECT_EQ(GetDword(key, ("b" + std::to_string(i)).c_str()), DWORD(i));
    }
    RegCloseKey(key);
}

TEST_F(RegistryStoreTest, ThreadsShareTheStore) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            std::string path = "Software\\Threads\\T" + std::to_string(t);
            for (DWORD i = 0; i < 25; ++i) {
                HKEY key = Create(HKEY_CURRENT_USER, path.c_str());
                EXPECT_EQ(SetDword(key, "n", i), ERROR_SUCCESS);
                EXPECT_EQ(GetDword(key, "n"), i);
                EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
            }
        });
    for (auto& thread : threads) thread.join();
    HKEY key = 0;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Threads", &key), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key).size(), 4u);
    RegCloseKey(key);
}

TEST_F(RegistryStoreTest, ACorruptStoreFailsEveryCallWithACode) {
    fs::create_directories(fs::path(StorePath()).parent_path());
    std::ofstream(StorePath(), std::ios::binary) << std::string(8192, '\x5a');
    HKEY key = 0;
    LONG rc = Open(HKEY_CURRENT_USER, "Software", &key);
    EXPECT_EQ(rc, ERROR_REGISTRY_CORRUPT);
    EXPECT_NE(FormatMessage(DWORD(rc)), "");
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, "v"), std::nullopt);

    velmora::test::PrivateStore healthy; // and the process carries on
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, AReadOnlyStoreReadsButRefusesWritesAndAnUnreadableOneRefusesAll) {
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 7), ERROR_SUCCESS);
    fs::permissions(StorePath(), fs::perms::owner_read);
    auto readOnly = InChild(store_.dir().path(), [] {
        return std::vector<LONG>{GetDword(HKEY_CURRENT_USER, "v") == 7u ? 0 : -1,
                                 SetDword(HKEY_CURRENT_USER, "v", 8)};
    });
    EXPECT_EQ(readOnly, (std::vector<LONG>{ERROR_SUCCESS, ERROR_ACCESS_DENIED}));

    fs::permissions(StorePath(), fs::perms::none);
    auto unreadable = InChild(store_.dir().path(), [] {
        HKEY key = 0;
        return std::vector<LONG>{Open(HKEY_CURRENT_USER, "", &key), SetDword(HKEY_CURRENT_USER, "v", 8)};
    });
    EXPECT_EQ(unreadable, (std::vector<LONG>{ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}));
}

TEST_F(RegistryStoreTest, AStoreFolderThatCannotBeMadeFailsWithACode) {
    std::ofstream(fs::path(store_.dir().path()) / "velmora") << "a file where the folder goes";
    EXPECT_NE(SetDword(HKEY_CURRENT_USER, "v", 1), ERROR_SUCCESS);
    HKEY key = 0;
    EXPECT_NE(Open(HKEY_CURRENT_USER, "Software", &key), ERROR_SUCCESS);
}

TEST(RegistryMessages, AreTheSystemTexts) {
    EXPECT_EQ(FormatMessage(0), "The operation completed successfully.\r\n");
    EXPECT_EQ(FormatMessage(2), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(FormatMessage(87), "The parameter is incorrect.\r\n");
    EXPECT_EQ(FormatMessage(259), "No more data is available.\r\n");
    EXPECT_EQ(FormatMessage(1018),
              "Illegal operation attempted on a registry key that has been marked for deletion.\r\n");
    for (DWORD code : {1u, 3u, 5u, 6u, 8u, 13u, 14u, 122u, 161u, 183u, 234u, 1010u, 1016u, 1021u})
        EXPECT_TRUE(FormatMessage(code).ends_with(".\r\n")) << code;
    EXPECT_EQ(FormatMessage(1019 + 100000), "");
    EXPECT_EQ(FormatMessage(9), "");
}

} // namespace
