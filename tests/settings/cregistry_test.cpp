#include "settings/cregistry.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <velmora/registry_store.h>

#include "settings/cregistry_batch.h"
#include "test_support.h"

namespace velmora::settings {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr const char* kPath = "Software\\Test";

struct Raw {
    uint32_t type = 0;
    Bytes bytes;
};

// What the store holds, read past cRegistry.
std::optional<Raw> ReadRaw(const std::string& name) {
    reg::HKEY key = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_CURRENT_USER, kPath, reg::KEY_QUERY_VALUE, &key) != 0) return {};
    Raw raw{0, Bytes(64)};
    reg::DWORD size = 64;
    const auto rc = reg::RegQueryValueEx(key, name.c_str(), &raw.type, raw.bytes.data(), &size);
    raw.bytes.resize(size);
    reg::RegCloseKey(key);
    return rc == 0 ? std::optional(raw) : std::nullopt;
}

void PutRaw(const std::string& name, const std::string& bytes) {
    reg::HKEY key = 0;
    ASSERT_EQ(reg::RegCreateKeyEx(reg::HKEY_CURRENT_USER, kPath, reg::KEY_ALL_ACCESS, &key, nullptr), 0);
    EXPECT_EQ(reg::RegSetValueEx(key, name.c_str(), reg::REG_BINARY,
                                 reinterpret_cast<const reg::BYTE*>(bytes.data()),
                                 static_cast<reg::DWORD>(bytes.size())),
              0);
    reg::RegCloseKey(key);
}

class CRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { r.SetPath(kPath); }

    test::PrivateStore store;
    cRegistry r;
};

TEST_F(CRegistryTest, AFreshObjectStartsAtTheUsersSoftwareKey) {
    cRegistry fresh;
    EXPECT_EQ(fresh.Root(), HKEY_CURRENT_USER);
    EXPECT_EQ(fresh.Path(), "Software");
}

TEST_F(CRegistryTest, SetPathCreatesWhatIsMissingAndTheSamePathCallsNothing) {
    EXPECT_FALSE(r.KeyExists(HKEY_CURRENT_USER, "Software\\A\\B"));
    r.SetPath("Software\\A\\B");
    EXPECT_EQ(r.Path(), "Software\\A\\B");
    EXPECT_TRUE(r.KeyExists(HKEY_CURRENT_USER, "Software\\A\\B")) << "the key was not created";
    EXPECT_EQ(r.GetLong("missing"), 0);
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND);
    r.SetPath("Software\\A\\B");
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND) << "the same path reached the store";
}

TEST_F(CRegistryTest, ANewRootStartsAtItsTopAndTheSameOrAnUnknownOneKeepsThePath) {
    r.SetRoot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(r.Path(), "") << "a new root";
    r.SetPath("CLSID");
    r.SetRoot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(r.Path(), "CLSID") << "the same root again";
    r.SetRoot(0x12345678);
    EXPECT_EQ(r.Root(), HKEY_CLASSES_ROOT) << "an unknown root";
    EXPECT_EQ(r.Path(), "CLSID") << "an unknown root";
}

// The other roots exist but take no keys.
TEST_F(CRegistryTest, RootsThatTakeNoKeysFailAndKeepThePath) {
    r.SetRoot(HKEY_LOCAL_MACHINE);
    r.SetPath("Software");
    EXPECT_EQ(r.Path(), "") << "a path that could not be created";
    EXPECT_NE(r.LastError(), 0);
    EXPECT_FALSE(r.WriteLong("x", 1));
}

TEST_F(CRegistryTest, TypedValuesAreStoredByteForByteAndReadBack) {
    const struct {
        const char* name;
        std::function<bool()> write;
        std::function<void()> readBack;
        Raw raw;
    } cases[] = {
        {"String",
         [&] { return r.WriteString("String", "abc"); },
         [&] { EXPECT_EQ(r.GetString("String"), "abc"); },
         {reg::REG_SZ, {'a', 'b', 'c'}}},
        {"Long",
         [&] { return r.WriteLong("Long", -2); },
         [&] { EXPECT_EQ(r.GetLong("Long"), -2); },
         {reg::REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}}},
        {"Byte",
         [&] { return r.WriteByte("Byte", 200); },
         [&] { EXPECT_EQ(r.GetByte("Byte"), 200); },
         {reg::REG_DWORD, {200, 0, 0, 0}}},
        {"Integer",
         [&] { return r.WriteInteger("Integer", -1); },
         [&] {
             int16_t i = 5;
             EXPECT_TRUE(r.ReadInteger("Integer", i, 5));
             EXPECT_EQ(i, -1);
         },
         {reg::REG_DWORD, {0xFF, 0xFF, 0, 0}}},
        {"Boolean",
         [&] { return r.WriteBoolean("Boolean", true); },
         [&] { EXPECT_TRUE(r.GetBoolean("Boolean")); },
         {reg::REG_DWORD, {1, 0, 0, 0}}},
        {"Single",
         [&] { return r.WriteSingle("Single", 1.5f); },
         [&] { EXPECT_EQ(r.GetSingle("Single"), 1.5f); },
         {reg::REG_DWORD, {0, 0, 0xC0, 0x3F}}},
        {"Double",
         [&] { return r.WriteDouble("Double", 1.5); },
         [&] { EXPECT_EQ(r.GetDouble("Double"), 1.5); },
         {reg::REG_BINARY, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}}},
        {"Currency",
         [&] { return r.WriteCurrency("Currency", 12345678); },
         [&] { EXPECT_EQ(r.GetCurrency("Currency"), 12345678); },
         {reg::REG_BINARY, {0x4E, 0x61, 0xBC, 0, 0, 0, 0, 0}}},
        {"Binary",
         [&] {
             return r.WriteBinary("Binary", {1, 2, 3});
         },
         [&] {
             EXPECT_EQ(r.GetBinary("Binary"), (Bytes{1, 2, 3}));
         },
         {reg::REG_BINARY, {1, 2, 3}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.write()) << "the write failed";
        const std::optional<Raw> stored = ReadRaw(c.name);
        ASSERT_TRUE(stored.has_value()) << "nothing stored";
        EXPECT_EQ(stored->type, c.raw.type) << "stored type";
        EXPECT_EQ(stored->bytes, c.raw.bytes) << "stored bytes";
        c.readBack();
    }
}

TEST_F(CRegistryTest, ValuesOfTheWrongSizeOrMissingLeaveTheDefault) {
    PutRaw("five", std::string("\1\0\0\0\0", 5));
    int32_t l = 0;
    EXPECT_FALSE(r.ReadLong("five", l, 42)) << "five bytes read as a Long";
    EXPECT_EQ(l, 42);
    EXPECT_EQ(r.LastError(), reg::ERROR_MORE_DATA);
    PutRaw("d7", std::string("\0\0\0\0\0\0\xF8", 7));
    PutRaw("d9", std::string("\0\0\0\0\0\0\xF8\x3F\0", 9));
    for (const char* name : {"d7", "d9"}) {
        double d = 0;
        EXPECT_FALSE(r.ReadDouble(name, d, 2.5)) << name;
        EXPECT_EQ(d, 2.5) << name;
    }
    std::string text = "keep";
    EXPECT_FALSE(r.ReadString("missing", text, ""));
    EXPECT_EQ(text, "keep") << "an empty default replaced the text";
    EXPECT_FALSE(r.ReadString("missing", text, "dflt"));
    EXPECT_EQ(text, "dflt");
}

TEST_F(CRegistryTest, ExportOfABranch) {
    const std::string top = "Software\\Exp";
    ASSERT_TRUE(r.CreateKey(HKEY_CURRENT_USER, top, "top"));
    r.SetStringAt(HKEY_CURRENT_USER, top, "Dir", "C:\\dir");
    r.SetLongAt(HKEY_CURRENT_USER, top, "Ten", 10);
    r.SetLongAt(HKEY_CURRENT_USER, top, "All", -1);
    r.SetBinaryAt(HKEY_CURRENT_USER, top, "Five", {5});
    ASSERT_TRUE(r.CreateKey(HKEY_CURRENT_USER, top + "\\Sub\\Deeper"));
    r.SetStringAt(HKEY_CURRENT_USER, top + "\\Sub", "Q", "q");

    const auto section = [](const std::string& key, const std::string& lines = "") {
        return "\r\n[HKEY_CURRENT_USER" + key + "]\r\n" + lines;
    };
    const std::string own = section("\\Software\\Exp", "@=\"top\"\r\n\"Dir\"=\"C:\\\\dir\"\r\n"
                                                       "\"Ten\"=dword:0000000a\r\n\"All\"=dword:ffffffff\r\n"
                                                       "\"Five\"=hex:05\r\n");
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, top, false), own) << "the key alone";
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, top, true),
              own + section("\\Software\\Exp\\Sub", "\"Q\"=\"q\"\r\n") +
                  section("\\Software\\Exp\\Sub\\Deeper"))
        << "the key and its sub-keys";
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "", false), section("")) << "the root alone";
    const std::string all = r.ExportKey(HKEY_CURRENT_USER, "", true);
    EXPECT_TRUE(all.starts_with(section("") + section("\\Software"))) << all;
    EXPECT_TRUE(all.ends_with(section("\\Software\\Test"))) << all;
}

TEST_F(CRegistryTest, ABatchEncodesAsTheTypedMembersAndQueryValuesReadsItBack) {
    const std::string other = "Software\\Batch";
    cRegistryBatch batch;
    batch.SetKey(other);
    batch.WriteString("S", "é");
    batch.WriteLong("L", -2);
    batch.WriteInteger("I", -1);
    batch.WriteSingle("F", 1.5f);
    batch.WriteDouble("D", -0.25);
    batch.WriteBinary("Empty", {});
    batch.WriteBinary("B", {5, 6});
    ASSERT_TRUE(r.WriteBatch(HKEY_CURRENT_USER, batch)) << r.LastErrorText();
    r.SetStringAt(HKEY_CURRENT_USER, kPath, "S", "é");
    r.SetLongAt(HKEY_CURRENT_USER, kPath, "L", -2);
    r.SetIntegerAt(HKEY_CURRENT_USER, kPath, "I", -1);
    r.SetSingleAt(HKEY_CURRENT_USER, kPath, "F", 1.5f);
    r.SetDoubleAt(HKEY_CURRENT_USER, kPath, "D", -0.25);
    r.SetBinaryAt(HKEY_CURRENT_USER, kPath, "B", {5, 6});

    std::vector<NamedValue> batched, typed;
    ASSERT_EQ(r.QueryValues(HKEY_CURRENT_USER, other, batched), 6) << "the empty array is not written";
    ASSERT_EQ(r.QueryValues(HKEY_CURRENT_USER, kPath, typed), 6);
    for (std::size_t i = 0; i < typed.size(); ++i) {
        EXPECT_EQ(batched[i].name, typed[i].name) << "value " << i;
        EXPECT_EQ(batched[i].type, typed[i].type) << typed[i].name;
        EXPECT_EQ(batched[i].value, typed[i].value) << typed[i].name;
    }
    EXPECT_EQ(typed[0].value, RegValue(std::string("é")));
    EXPECT_EQ(typed[2].value, RegValue(int32_t{0xFFFF})) << "Integer -1 as a DWORD";
    EXPECT_EQ(typed[5].value, RegValue(Bytes{5, 6}));
}

TEST(CRegistryManyValues, TwoThousandValuesEnumerateInOrderWithinSeconds) {
    test::PrivateStore store;
    constexpr int kValues = 2000;
    const std::string path = "Software\\Many";
    cRegistry r;
    cRegistryBatch batch;
    batch.SetKey(path);
    std::vector<std::string> expected{path};
    for (int i = kValues; i > 0; --i) { // creation order is not name order
        char name[8] = "v";
        expected.emplace_back(name, std::to_chars(name + 1, name + sizeof name, i).ptr);
        batch.WriteLong(expected.back(), i);
    }
    ASSERT_TRUE(r.WriteBatch(HKEY_CURRENT_USER, batch)) << r.LastErrorText();

    // A loose guard against enumeration cost growing with the index again
    // (it took minutes at this size): seconds, not a measurement.
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> names;
    EXPECT_EQ(r.EnumValues(HKEY_CURRENT_USER, path, names), kValues);
    EXPECT_EQ(names, expected);
    std::vector<NamedValue> values;
    ASSERT_EQ(r.QueryValues(HKEY_CURRENT_USER, path, values), kValues);
    EXPECT_EQ(values.back().value, RegValue(int32_t{1}));
    const std::string text = r.ExportKey(HKEY_CURRENT_USER, path, false);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kValues + 2);
    EXPECT_TRUE(text.ends_with("\"v1\"=dword:00000001\r\n"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(CRegistryCorruptStore, ReadsAndWritesFailAndTheProcessGoesOn) {
    test::PrivateStore store;
    std::filesystem::create_directories(store.dir().path() / "velmora");
    std::ofstream(store.dir().path() / "velmora" / "registry.db", std::ios::binary) << std::string(8192, 'Z');
    cRegistry r;
    EXPECT_FALSE(r.WriteLong("x", 1));
    EXPECT_EQ(r.LastError(), reg::ERROR_REGISTRY_CORRUPT);
    int32_t l = 0;
    EXPECT_FALSE(r.ReadLong("x", l, 3));
    EXPECT_EQ(l, 3);
    EXPECT_EQ(r.LastError(), reg::ERROR_REGISTRY_CORRUPT);
    EXPECT_TRUE(r.LastErrorText().starts_with("The registry is corrupted")) << r.LastErrorText();
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "Software", true), "");

    test::PrivateStore healthy;
    r.SetPath("Software\\Ok");
    EXPECT_EQ(r.Path(), "Software\\Ok") << "the object stays usable with a healthy store";
    EXPECT_TRUE(r.WriteLong("x", 1)) << "the object stays usable with a healthy store";
}

// A store file as another program might leave it: the store's tables with
// their roots and HKCU\Software\A, then `change`.
void WriteStoreFile(const std::filesystem::path& folder, const std::string& change) {
    std::filesystem::create_directories(folder / "velmora");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder / "velmora" / "registry.db").c_str(), &db), SQLITE_OK);
    const std::string sql = R"sql(
        CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER,
                          name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name));
        CREATE TABLE vals(seq INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,
                          name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL,
                          UNIQUE(key, name));
        INSERT INTO keys(id, parent, name) VALUES (1, NULL, 'HKEY_CLASSES_ROOT'), (2, NULL, 'HKEY_CURRENT_USER'),
            (3, NULL, 'HKEY_LOCAL_MACHINE'), (4, NULL, 'HKEY_USERS'), (5, NULL, 'HKEY_PERFORMANCE_DATA'),
            (6, NULL, 'HKEY_CURRENT_CONFIG'), (7, NULL, 'HKEY_DYN_DATA'), (8, 2, 'Software'), (9, 8, 'A');
        PRAGMA user_version = 1;)sql" +
                            change;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// A walk of the keys ends only when each sub-key name opens a distinct child
// one level down: a file where that fails is corrupt, not walked forever.
TEST(CRegistryCorruptStore, AFileWhoseKeysCannotBeWalkedIsCorrupt) {
    const struct {
        const char* what;
        std::string change;
    } cases[] = {
        {"an empty sub-key name", "INSERT INTO keys(parent, name) VALUES(2, '');"},
        {"a sub-key name with a separator", "INSERT INTO keys(parent, name) VALUES(8, 'A\\B');"},
        {"a sub-key name with a NUL", "INSERT INTO keys(parent, name) VALUES(8, CAST(x'410042' AS TEXT));"},
        {"an empty name in a file without the version mark",
         "PRAGMA user_version = 0; INSERT INTO keys(parent, name) VALUES(2, '');"},
        {"a trigger", "CREATE TRIGGER t AFTER INSERT ON vals BEGIN DELETE FROM vals; END;"},
        {"data that is text", "INSERT INTO vals(key, name, type, data) VALUES(9, 'v', 3, 'text');"},
    };
    for (const auto& c : cases) {
        test::PrivateStore store;
        WriteStoreFile(store.dir().path(), c.change);
        cRegistry r;
        // The root's own line always comes: a root is never opened.
        EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "", true), "\r\n[HKEY_CURRENT_USER]\r\n") << c.what;
        EXPECT_EQ(r.LastError(), reg::ERROR_REGISTRY_CORRUPT) << c.what;
        EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "Software", true), "") << c.what;
        EXPECT_FALSE(r.CreateKey(HKEY_CURRENT_USER, "Software\\B")) << c.what;
    }
    test::PrivateStore store;
    WriteStoreFile(store.dir().path(), "");
    cRegistry r;
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "Software", true),
              "\r\n[HKEY_CURRENT_USER\\Software]\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n")
        << "the same file without the change";
}

} // namespace
} // namespace velmora::settings
