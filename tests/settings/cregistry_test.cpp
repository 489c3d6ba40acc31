#include "settings/cregistry.h"

#include <fstream>
#include <optional>

#include <gtest/gtest.h>

#include "settings/registry_store.h"
#include "test_support.h"

namespace velmora::settings {
namespace {

using Bytes = std::vector<uint8_t>;

struct Raw {
    uint32_t type = 0;
    Bytes bytes;
    bool operator==(const Raw&) const = default;
};

std::string B(const char* text, std::size_t size) {
    return std::string(text, size);
}

// What the store holds, read past cRegistry.
std::optional<Raw> ReadRaw(const std::string& path, const std::string& name) {
    reg::HKEY key = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_CURRENT_USER, path.c_str(), reg::KEY_QUERY_VALUE, &key) != 0) return {};
    Raw raw;
    reg::DWORD size = 0;
    auto rc = reg::RegQueryValueEx(key, name.c_str(), &raw.type, nullptr, &size);
    raw.bytes.resize(size);
    if (rc == 0 && size > 0) rc = reg::RegQueryValueEx(key, name.c_str(), &raw.type, raw.bytes.data(), &size);
    reg::RegCloseKey(key);
    return rc == 0 ? std::optional(raw) : std::nullopt;
}

void PutRaw(const std::string& path, const std::string& name, uint32_t type, const std::string& bytes) {
    reg::HKEY key = 0;
    ASSERT_EQ(reg::RegCreateKeyEx(reg::HKEY_CURRENT_USER, path.c_str(), reg::KEY_ALL_ACCESS, &key, nullptr),
              0);
    EXPECT_EQ(reg::RegSetValueEx(key, name.c_str(), type, reinterpret_cast<const reg::BYTE*>(bytes.data()),
                                 static_cast<reg::DWORD>(bytes.size())),
              0);
    reg::RegCloseKey(key);
}

std::string Section(const std::string& header, std::initializer_list<std::string> lines = {}) {
    std::string text = "\r\n[" + header + "]\r\n";
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

class CRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        r.SetPath(kPath);
        ASSERT_EQ(r.Path(), kPath);
    }

    static constexpr const char* kPath = "Software\\Test";
    test::PrivateStore store;
    cRegistry r;
};

TEST_F(CRegistryTest, PathCreatesMissingKeysAndSkipsUnchangedValues) {
    cRegistry fresh;
    EXPECT_EQ(fresh.Root(), HKEY_CURRENT_USER);
    EXPECT_EQ(fresh.Path(), "Software");

    EXPECT_FALSE(r.KeyExists(HKEY_CURRENT_USER, "Software\\A\\B"));
    r.SetPath("Software\\A\\B");
    EXPECT_EQ(r.Path(), "Software\\A\\B");
    EXPECT_TRUE(r.KeyExists(HKEY_CURRENT_USER, "Software\\A\\B"));

    // The same path makes no store call, so the last failure stays.
    EXPECT_EQ(r.GetLong("missing"), 0);
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND);
    r.SetPath("Software\\A\\B");
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND);
    // A change of case is a different path text and is checked.
    r.SetPath("software\\a\\b");
    EXPECT_EQ(r.LastError(), 0);
    EXPECT_EQ(r.Path(), "software\\a\\b");
}

TEST_F(CRegistryTest, RootChangeResetsPathAndInvalidChangesAreIgnored) {
    r.SetRoot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(r.Root(), HKEY_CLASSES_ROOT);
    EXPECT_EQ(r.Path(), "");

    r.SetPath("CLSID");
    r.SetRoot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(r.Path(), "CLSID");

    r.SetRoot(0x12345678);
    EXPECT_EQ(r.Root(), HKEY_CLASSES_ROOT);
    EXPECT_EQ(r.Path(), "CLSID");

    // The other roots exist but take no keys: the failed creation keeps Path.
    r.SetRoot(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(r.Path(), "");
    r.SetPath("Software");
    EXPECT_EQ(r.Path(), "");
    EXPECT_NE(r.LastError(), 0);
    EXPECT_FALSE(r.WriteLong("x", 1));
}

TEST_F(CRegistryTest, TypedWritesStoreExactBytes) {
    EXPECT_TRUE(r.WriteString("s", "abc"));
    EXPECT_TRUE(r.WriteLong("l", 0x12345678));
    EXPECT_TRUE(r.WriteLong("n", -2));
    EXPECT_TRUE(r.WriteByte("b", 200));
    EXPECT_TRUE(r.WriteInteger("i", -1));
    EXPECT_TRUE(r.WriteBoolean("t", true));
    r.SetBoolean("f", false);
    EXPECT_TRUE(r.WriteSingle("g", 1.5f));
    EXPECT_TRUE(r.WriteDouble("d", 1.5));
    EXPECT_TRUE(r.WriteCurrency("c", 12345678)); // 1234.5678
    r.SetCurrency("m", -1);
    EXPECT_TRUE(r.WriteBinary("x", {1, 2, 3}));

    const std::pair<const char*, Raw> expected[] = {
        {"s", {reg::REG_SZ, {'a', 'b', 'c'}}},
        {"l", {reg::REG_DWORD, {0x78, 0x56, 0x34, 0x12}}},
        {"n", {reg::REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}}},
        {"b", {reg::REG_DWORD, {200, 0, 0, 0}}},
        {"i", {reg::REG_DWORD, {0xFF, 0xFF, 0, 0}}},
        {"t", {reg::REG_DWORD, {1, 0, 0, 0}}},
        {"f", {reg::REG_DWORD, {0, 0, 0, 0}}},
        {"g", {reg::REG_DWORD, {0, 0, 0xC0, 0x3F}}},
        {"d", {reg::REG_BINARY, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}}},
        {"c", {reg::REG_BINARY, {0x4E, 0x61, 0xBC, 0, 0, 0, 0, 0}}},
        {"m", {reg::REG_BINARY, Bytes(8, 0xFF)}},
        {"x", {reg::REG_BINARY, {1, 2, 3}}},
    };
    for (const auto& [name, raw] : expected) EXPECT_EQ(ReadRaw(kPath, name), raw) << name;

    int16_t i = 0;
    EXPECT_TRUE(r.ReadInteger("i", i, 5));
    EXPECT_EQ(i, -1);
    EXPECT_EQ(r.GetString("s"), "abc");
    EXPECT_EQ(r.GetLong("n"), -2);
    EXPECT_EQ(r.GetByte("b"), 200);
    EXPECT_TRUE(r.GetBoolean("t"));
    EXPECT_FALSE(r.GetBoolean("f"));
    EXPECT_EQ(r.GetSingle("g"), 1.5f);
    EXPECT_EQ(r.GetDouble("d"), 1.5);
    EXPECT_EQ(r.GetCurrency("c"), 12345678);
    EXPECT_EQ(r.GetCurrency("m"), -1);
    EXPECT_EQ(r.GetBinary("x"), (Bytes{1, 2, 3}));
}

TEST_F(CRegistryTest, ReadsDecodeStoredDataOfAnyTypeAndCheckSizes) {
    PutRaw(kPath, "two", reg::REG_BINARY, "\x34\x12");
    PutRaw(kPath, "five", reg::REG_DWORD, B("\1\0\0\0\0", 5));
    PutRaw(kPath, "wide", reg::REG_DWORD, B("\xFF\x01\0\0", 4));
    PutRaw(kPath, "low", reg::REG_DWORD, B("\0\x80\xFF\xFF", 4));
    PutRaw(kPath, "seven", reg::REG_DWORD, B("\7\0\0\0", 4));
    PutRaw(kPath, "d7", reg::REG_BINARY, B("\0\0\0\0\0\0\xF8", 7));
    PutRaw(kPath, "d9", reg::REG_BINARY, B("\0\0\0\0\0\0\xF8\x3F\0", 9));
    PutRaw(kPath, "nul", reg::REG_SZ, B("ab\0cd", 5));
    PutRaw(kPath, "term", reg::REG_SZ, B("abc\0", 4));

    EXPECT_EQ(r.GetLong("two"), 0x1234); // fewer bytes, type ignored
    int32_t l = 0;
    EXPECT_FALSE(r.ReadLong("five", l, 42));
    EXPECT_EQ(l, 42);
    EXPECT_EQ(r.LastError(), reg::ERROR_MORE_DATA);
    EXPECT_EQ(r.GetByte("wide"), 0xFF);
    EXPECT_EQ(r.GetInteger("low"), -32768);
    bool flag = false;
    EXPECT_TRUE(r.ReadBoolean("seven", flag, false));
    EXPECT_TRUE(flag);

    for (const char* name : {"d7", "d9"}) {
        double d = 0;
        EXPECT_FALSE(r.ReadDouble(name, d, 2.5)) << name;
        EXPECT_EQ(d, 2.5) << name;
        int64_t c = 0;
        EXPECT_FALSE(r.ReadCurrency(name, c, 7)) << name;
        EXPECT_EQ(c, 7) << name;
    }
    EXPECT_EQ(r.GetString("nul"), "ab");
    EXPECT_EQ(r.GetString("term"), "abc");
}

TEST_F(CRegistryTest, MissingAndEmptyValues) {
    std::string text = "keep";
    EXPECT_FALSE(r.ReadString("missing", text, ""));
    EXPECT_EQ(text, "keep");
    EXPECT_FALSE(r.ReadString("missing", text, "dflt"));
    EXPECT_EQ(text, "dflt");
    EXPECT_EQ(r.GetString("missing"), "");
    EXPECT_EQ(r.GetDouble("missing"), 0.0);
    EXPECT_EQ(r.GetBinary("missing"), Bytes{0});
    Bytes bytes{9};
    EXPECT_FALSE(r.ReadBinary("missing", bytes));
    EXPECT_EQ(bytes, Bytes{9});

    EXPECT_TRUE(r.WriteString("empty", ""));
    EXPECT_EQ(ReadRaw(kPath, "empty"), (Raw{reg::REG_SZ, {}}));
    text = "x";
    EXPECT_TRUE(r.GetStringAt(HKEY_CURRENT_USER, kPath, "empty", text));
    EXPECT_EQ(text, "");

    PutRaw(kPath, "nothing", reg::REG_BINARY, "");
    EXPECT_FALSE(r.GetBinaryAt(HKEY_CURRENT_USER, kPath, "nothing", bytes));
    EXPECT_FALSE(r.WriteBinary("none", {}));
    EXPECT_FALSE(ReadRaw(kPath, "none"));

    // The explicit setters do not create keys.
    EXPECT_FALSE(r.SetLongAt(HKEY_CURRENT_USER, "Software\\Nope", "x", 1));
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(r.KeyExists(HKEY_CURRENT_USER, "Software\\Nope"));
}

TEST_F(CRegistryTest, TextIsStoredAsLatin1) {
    EXPECT_TRUE(r.WriteString("Grüße", "Größe 25 °C, µs"));
    EXPECT_EQ(
        ReadRaw(kPath, "Gr\xFC\xDF"
                       "e"),
        (Raw{reg::REG_SZ, {'G', 'r', 0xF6, 0xDF, 'e', ' ', '2', '5', ' ', 0xB0, 'C', ',', ' ', 0xB5, 's'}}));
    EXPECT_EQ(r.GetString("Grüße"), "Größe 25 °C, µs");
    EXPECT_TRUE(r.WriteString("euro", "5 €"));
    EXPECT_EQ(r.GetString("euro"), "5 ?");

    r.SetPath("Software\\Café");
    // The key is reachable by its single-byte name.
    reg::HKEY key = 0;
    ASSERT_EQ(reg::RegOpenKeyEx(reg::HKEY_CURRENT_USER, "Software\\Caf\xE9", reg::KEY_READ, &key), 0);
    reg::RegCloseKey(key);
    std::vector<std::string> names;
    EXPECT_EQ(r.EnumKeys(HKEY_CURRENT_USER, "Software", names), 2);
    EXPECT_EQ(names, (std::vector<std::string>{"Software", "Café", "Test"}));
}

TEST_F(CRegistryTest, EnumerationOrderAndQuery) {
    for (const char* name : {"b", "A", "c"})
        ASSERT_TRUE(r.CreateKey(HKEY_CURRENT_USER, std::string(kPath) + "\\" + name));
    r.SetLong("z", 1);
    r.SetString("", "default");
    r.SetBinary("M", {0xAB});
    PutRaw(kPath, "multi", reg::REG_MULTI_SZ, B("a\0b\0\0", 5));
    PutRaw(kPath, "term", reg::REG_EXPAND_SZ, B("%x%\0", 4));
    PutRaw(kPath, "big", reg::REG_DWORD_BIG_ENDIAN, B("\0\0\0\1", 4));
    PutRaw(kPath, "q", 11, B("\1\0\0\0\0\0\0\0", 8));

    std::vector<std::string> names;
    EXPECT_EQ(r.EnumKeys(HKEY_CURRENT_USER, kPath, names), 3);
    EXPECT_EQ(names, (std::vector<std::string>{kPath, "A", "b", "c"}));
    EXPECT_EQ(r.EnumValues(HKEY_CURRENT_USER, kPath, names), 7);
    EXPECT_EQ(names, (std::vector<std::string>{kPath, "z", "", "M", "multi", "term", "big", "q"}));
    EXPECT_EQ(r.EnumKeys(HKEY_CURRENT_USER, "Software\\Nope", names), 0);
    EXPECT_EQ(names, std::vector<std::string>{"Software\\Nope"});

    RegValue v;
    EXPECT_EQ(r.QueryValueAt(HKEY_CURRENT_USER, kPath, "", v), 1);
    EXPECT_EQ(v, RegValue(std::string("default")));
    EXPECT_EQ(r.QueryValueAt(HKEY_CURRENT_USER, kPath, "multi", v), 7);
    EXPECT_EQ(v, RegValue(B("a\0b\0", 4)));
    EXPECT_EQ(r.QueryValueAt(HKEY_CURRENT_USER, kPath, "term", v), 2);
    EXPECT_EQ(v, RegValue(std::string("%x%")));
    EXPECT_EQ(r.QueryValueAt(HKEY_CURRENT_USER, kPath, "M", v), 3);
    EXPECT_EQ(v, RegValue(Bytes{0xAB}));
    EXPECT_EQ(r.QueryValueAt(HKEY_CURRENT_USER, kPath, "big", v), 5);
    EXPECT_EQ(v, RegValue(int32_t{0x01000000}));
    v = std::string("untouched");
    EXPECT_EQ(r.QueryValueAt(HKEY_CURRENT_USER, kPath, "q", v), 11);
    EXPECT_EQ(r.QueryValueAt(HKEY_CURRENT_USER, kPath, "Z", v), 0); // names match exactly
    EXPECT_EQ(r.QueryValueAt(HKEY_CURRENT_USER, "Software\\Nope", "z", v), 0);
    EXPECT_EQ(v, RegValue(std::string("untouched")));
}

TEST_F(CRegistryTest, KeyCreationAndDeletion) {
    const std::string top = "Software\\Del", child = top + "\\Child";
    EXPECT_TRUE(r.CreateKey(HKEY_CURRENT_USER, child, "dflt"));
    std::string text;
    EXPECT_TRUE(r.GetStringAt(HKEY_CURRENT_USER, child, "", text));
    EXPECT_EQ(text, "dflt");

    EXPECT_FALSE(r.DeleteKey(HKEY_CURRENT_USER, top)); // still has a sub-key
    EXPECT_EQ(r.LastError(), reg::ERROR_ACCESS_DENIED);
    EXPECT_TRUE(r.DeleteValue(HKEY_CURRENT_USER, child, ""));
    EXPECT_FALSE(r.DeleteValue(HKEY_CURRENT_USER, child, ""));
    EXPECT_TRUE(r.DeleteKey(HKEY_CURRENT_USER, child));
    EXPECT_TRUE(r.DeleteKey(HKEY_CURRENT_USER, top));
    EXPECT_FALSE(r.KeyExists(HKEY_CURRENT_USER, top));
    EXPECT_FALSE(r.DeleteKey(HKEY_CURRENT_USER, top));
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND);
}

TEST_F(CRegistryTest, ExportOfABranch) {
    const std::string top = "Software\\Exp";
    ASSERT_TRUE(r.CreateKey(HKEY_CURRENT_USER, top, "top"));
    r.SetStringAt(HKEY_CURRENT_USER, top, "Dir", "C:\\dir");
    r.SetLongAt(HKEY_CURRENT_USER, top, "Ten", 10);
    r.SetLongAt(HKEY_CURRENT_USER, top, "All", -1);
    r.SetBinaryAt(HKEY_CURRENT_USER, top, "Five", {5});
    ASSERT_TRUE(r.CreateKey(HKEY_CURRENT_USER, top + "\\Sub\\Deeper"));
    r.SetStringAt(HKEY_CURRENT_USER, top + "\\Sub", "Q", "say \"hi\"");
    ASSERT_TRUE(r.CreateKey(HKEY_CURRENT_USER, top + "\\Another"));

    const std::string own = Section("HKEY_CURRENT_USER\\Software\\Exp",
                                    {"@=\"top\"", "\"Dir\"=\"C:\\\\dir\"", "\"Ten\"=dword:0000000a",
                                     "\"All\"=dword:ffffffff", "\"Five\"=hex:05"});
    const std::string another = Section("HKEY_CURRENT_USER\\Software\\Exp\\Another");
    const std::string sub = Section("HKEY_CURRENT_USER\\Software\\Exp\\Sub", {"\"Q\"=\"say \"hi\"\""});
    const std::string deeper = Section("HKEY_CURRENT_USER\\Software\\Exp\\Sub\\Deeper");

    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, top, true), own + another + sub + deeper);
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, top, false), own);
    EXPECT_EQ(r.ExportSubKeys(HKEY_CURRENT_USER, top, false), another + sub);
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "Software\\Nope", true), "");
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "", false), Section("HKEY_CURRENT_USER"));
    const std::string all = r.ExportKey(HKEY_CURRENT_USER, "", true);
    EXPECT_TRUE(all.starts_with(Section("HKEY_CURRENT_USER") + Section("HKEY_CURRENT_USER\\Software")));
    EXPECT_TRUE(all.ends_with(Section("HKEY_CURRENT_USER\\Software\\Test"))) << all;
}

TEST_F(CRegistryTest, ExportTextOfUnusualData) {
    PutRaw(kPath, "spaced", reg::REG_SZ, B("  a\\b  \0", 8));
    PutRaw(kPath, "multi", reg::REG_MULTI_SZ, B("one\0two\0\0", 9));
    PutRaw(kPath, "empty", reg::REG_SZ, "");
    PutRaw(kPath, "nobytes", reg::REG_BINARY, "");
    PutRaw(kPath, "bytes", reg::REG_BINARY, B("\0\xFF\x10", 3));
    PutRaw(kPath, "none", reg::REG_NONE, "\x01\x02");
    PutRaw(kPath, "qword", 11, B("\1\0\0\0\0\0\0\0", 8));
    PutRaw(kPath, "a\\b", reg::REG_SZ, "\xB0");
    PutRaw(kPath, "short", reg::REG_DWORD, "\x0a");

    EXPECT_EQ(
        r.ExportKey(HKEY_CURRENT_USER, kPath, false),
        Section("HKEY_CURRENT_USER\\Software\\Test",
                {"\"spaced\"=\"a\\\\b\"", "\"multi\"=\"one\"", "\"empty\"=\"\"",
                 "\"nobytes\"=hex:", "\"bytes\"=hex:00,ff,10", "\"none\"=hex(0):01,02",
                 "\"qword\"=hex(b):01,00,00,00,00,00,00,00", "\"a\\b\"=\"°\"", "\"short\"=dword:0000000a"}));
}

TEST_F(CRegistryTest, ErrorTexts) {
    EXPECT_EQ(cRegistry::ErrorText(2, false), "The system cannot find the file specified.");
    EXPECT_EQ(cRegistry::ErrorText(2, true), "The system cannot find the file specified");
    EXPECT_EQ(cRegistry::ErrorText(1015, true), "The registry is corrupted");
    EXPECT_EQ(cRegistry::ErrorText(0x7654321, false), "");

    r.GetString("missing");
    EXPECT_EQ(r.LastError(), 2);
    EXPECT_EQ(r.LastErrorText(), "The system cannot find the file specified");
    r.SetString("present", "x");
    EXPECT_EQ(r.LastError(), 0);
    EXPECT_EQ(r.LastErrorText(), "The operation completed successfully");

    EXPECT_EQ(cRegistry::TrimAtNul(B("ab\0cd", 5)), "ab");
    EXPECT_EQ(cRegistry::TrimAtNul("abc"), "abc");
    EXPECT_EQ(cRegistry::RootName(HKEY_CLASSES_ROOT), "HKEY_CLASSES_ROOT");
    EXPECT_EQ(cRegistry::RootName(HKEY_DYN_DATA), "HKEY_DYN_DATA");
    EXPECT_EQ(cRegistry::RootName(HKEY_DYN_DATA + 1), "");
    EXPECT_EQ(cRegistry::RootName(0), "");
}

TEST(CRegistryCorruptStore, ReadsAndWritesFailAndTheProcessGoesOn) {
    test::PrivateStore store;
    std::filesystem::create_directories(store.dir().path() / "velmora");
    {
        std::ofstream garbage(store.dir().path() / "velmora" / "registry.db", std::ios::binary);
        for (int i = 0; i < 512; ++i) garbage << "this is not a database file ";
    }
    cRegistry r;
    EXPECT_FALSE(r.WriteLong("x", 1));
    EXPECT_EQ(r.LastError(), reg::ERROR_REGISTRY_CORRUPT);
    int32_t l = 0;
    EXPECT_FALSE(r.ReadLong("x", l, 3));
    EXPECT_EQ(l, 3);
    EXPECT_EQ(r.LastError(), reg::ERROR_REGISTRY_CORRUPT);
    EXPECT_TRUE(r.LastErrorText().starts_with("The registry is corrupted. ")) << r.LastErrorText();
    EXPECT_FALSE(r.KeyExists(HKEY_CURRENT_USER, "Software"));
    r.SetPath("Software\\New");
    EXPECT_EQ(r.Path(), "Software");
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "Software", true), "");
    std::vector<std::string> names;
    EXPECT_EQ(r.EnumValues(HKEY_CURRENT_USER, "Software", names), 0);
}

} // namespace
} // namespace velmora::settings
