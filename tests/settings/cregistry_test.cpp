#include "settings/cregistry.h"

#include <fstream>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include <velmora/registry_store.h>

#include "test_support.h"

namespace velmora::settings {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr const char* kPath = "Software\\Test";

struct Raw {
    uint32_t type = 0;
    Bytes bytes;
    bool operator==(const Raw&) const = default;
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

TEST_F(CRegistryTest, RootAndPathRules) {
    cRegistry fresh;
    EXPECT_EQ(fresh.Root(), HKEY_CURRENT_USER);
    EXPECT_EQ(fresh.Path(), "Software");

    EXPECT_FALSE(r.KeyExists(HKEY_CURRENT_USER, "Software\\A\\B"));
    r.SetPath("Software\\A\\B"); // creates what is missing
    EXPECT_EQ(r.Path(), "Software\\A\\B");
    EXPECT_TRUE(r.KeyExists(HKEY_CURRENT_USER, "Software\\A\\B"));
    // The same path makes no store call, so the last failure stays.
    EXPECT_EQ(r.GetLong("missing"), 0);
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND);
    r.SetPath("Software\\A\\B");
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND);

    r.SetRoot(HKEY_CLASSES_ROOT); // a new root starts at its top
    EXPECT_EQ(r.Path(), "");
    r.SetPath("CLSID");
    r.SetRoot(HKEY_CLASSES_ROOT);
    r.SetRoot(0x12345678);
    EXPECT_EQ(r.Root(), HKEY_CLASSES_ROOT);
    EXPECT_EQ(r.Path(), "CLSID");

    // The other roots exist but take no keys: the failed creation keeps Path.
    r.SetRoot(HKEY_LOCAL_MACHINE);
    r.SetPath("Software");
    EXPECT_EQ(r.Path(), "");
    EXPECT_NE(r.LastError(), 0);
    EXPECT_FALSE(r.WriteLong("x", 1));
}

TEST_F(CRegistryTest, TypedValuesAreStoredByteForByteAndReadBack) {
    const struct {
        const char* name;
        std::function<bool()> write, readBack;
        Raw raw;
    } cases[] = {
        {"s",
         [&] { return r.WriteString("s", "abc"); },
         [&] { return r.GetString("s") == "abc"; },
         {reg::REG_SZ, {'a', 'b', 'c'}}},
        {"l",
         [&] { return r.WriteLong("l", -2); },
         [&] { return r.GetLong("l") == -2; },
         {reg::REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}}},
        {"b",
         [&] { return r.WriteByte("b", 200); },
         [&] { return r.GetByte("b") == 200; },
         {reg::REG_DWORD, {200, 0, 0, 0}}},
        {"i",
         [&] { return r.WriteInteger("i", -1); },
         [&] {
             int16_t i = 5;
             return r.ReadInteger("i", i, 5) && i == -1;
         },
         {reg::REG_DWORD, {0xFF, 0xFF, 0, 0}}},
        {"t",
         [&] { return r.WriteBoolean("t", true); },
         [&] { return r.GetBoolean("t"); },
         {reg::REG_DWORD, {1, 0, 0, 0}}},
        {"g",
         [&] { return r.WriteSingle("g", 1.5f); },
         [&] { return r.GetSingle("g") == 1.5f; },
         {reg::REG_DWORD, {0, 0, 0xC0, 0x3F}}},
        {"d",
         [&] { return r.WriteDouble("d", 1.5); },
         [&] { return r.GetDouble("d") == 1.5; },
         {reg::REG_BINARY, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}}},
        {"c",
         [&] { return r.WriteCurrency("c", 12345678); },
         [&] { return r.GetCurrency("c") == 12345678; },
         {reg::REG_BINARY, {0x4E, 0x61, 0xBC, 0, 0, 0, 0, 0}}},
        {"x",
         [&] {
             return r.WriteBinary("x", {1, 2, 3});
         },
         [&] {
             return r.GetBinary("x") == Bytes{1, 2, 3};
         },
         {reg::REG_BINARY, {1, 2, 3}}},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(c.write()) << c.name;
        EXPECT_EQ(ReadRaw(c.name), c.raw) << c.name;
        EXPECT_TRUE(c.readBack()) << c.name;
    }
}

TEST_F(CRegistryTest, ValuesOfTheWrongSizeOrMissingLeaveTheDefault) {
    PutRaw("five", std::string("\1\0\0\0\0", 5));
    int32_t l = 0;
    EXPECT_FALSE(r.ReadLong("five", l, 42));
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
    EXPECT_EQ(text, "keep");
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
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, top, false), own);
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, top, true),
              own + section("\\Software\\Exp\\Sub", "\"Q\"=\"q\"\r\n") +
                  section("\\Software\\Exp\\Sub\\Deeper"));
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "", false), section(""));
    const std::string all = r.ExportKey(HKEY_CURRENT_USER, "", true);
    EXPECT_TRUE(all.starts_with(section("") + section("\\Software"))) << all;
    EXPECT_TRUE(all.ends_with(section("\\Software\\Test"))) << all;
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
    EXPECT_EQ(r.Path(), "Software\\Ok");
    EXPECT_TRUE(r.WriteLong("x", 1));
}

} // namespace
} // namespace velmora::settings
