#include "settings/cregistry.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <tuple>

#include <gtest/gtest.h>

#include <velmora/registry_store.h>

#include "platform/codepage.h"
#include "settings/cregistry_batch.h"
#include "test_support.h"

namespace velmora::settings {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr const char* kPath = "Software\\Test";

struct Raw {
    uint32_t type = 0;
    Bytes bytes;
    bool operator==(const Raw&) const = default;
    friend void PrintTo(const Raw& raw, std::ostream* os) {
        *os << raw.type << testing::PrintToString(raw.bytes);
    }
};

// What the store holds, read past cRegistry.
std::optional<Raw> ReadRaw(const std::string& name, const char* path = kPath) {
    reg::HKEY key = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_CURRENT_USER, path, reg::KEY_QUERY_VALUE, &key) != 0) return {};
    Raw raw{0, Bytes(64)};
    reg::DWORD size = 64;
    const auto rc = reg::RegQueryValueEx(key, name.c_str(), &raw.type, raw.bytes.data(), &size);
    raw.bytes.resize(size);
    reg::RegCloseKey(key);
    return rc == 0 ? std::optional(raw) : std::nullopt;
}

// A call's answer with the code it left.
template <class T> std::pair<T, int32_t> Answer(cRegistry& r, T answer) {
    return {answer, r.LastError()};
}

class CRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { r.SetPath(kPath); }

    test::PrivateStore store;
    cRegistry r;
};

// A path is created as it is set, under its root; a new root starts at its
// top and an unknown one is ignored; a path that cannot be created is refused.
TEST_F(CRegistryTest, APathIsCreatedUnderItsRootOrRefused) {
    r.SetPath("Software\\A\\B");
    EXPECT_TRUE(r.KeyExists(HKEY_CURRENT_USER, "Software\\A\\B")) << "the key was not created";
    EXPECT_EQ(Answer(r, r.GetLong("missing")), std::pair(0, reg::ERROR_FILE_NOT_FOUND));
    r.SetPath("Software\\A\\B");
    EXPECT_EQ(r.LastError(), reg::ERROR_FILE_NOT_FOUND) << "the same path reached the store";
    r.SetRoot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(r.Path(), "") << "a new root";
    r.SetPath("CLSID");
    r.SetRoot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(r.Path(), "CLSID") << "the same root again";
    r.SetRoot(0x12345678);
    EXPECT_EQ(std::pair(r.Root(), r.Path()), std::pair(HKEY_CLASSES_ROOT, std::string("CLSID")))
        << "an unknown root";
    r.SetRoot(HKEY_LOCAL_MACHINE); // exists but takes no keys
    r.SetPath("Software");
    EXPECT_EQ(r.Path(), "") << "a path that could not be created";
    EXPECT_NE(r.LastError(), 0);
    EXPECT_FALSE(r.WriteLong("x", 1));
}

bool WriteEveryType(cRegistry& r) {
    return r.WriteString("String", "abc") && r.WriteLong("Long", -2) && r.WriteByte("Byte", 200) &&
           r.WriteInteger("Integer", -1) && r.WriteBoolean("Boolean", true) &&
           r.WriteSingle("Single", 1.5f) && r.WriteDouble("Double", 1.5) &&
           r.WriteCurrency("Currency", 12345678) && r.WriteBinary("Binary", {1, 2, 3});
}

// Each type's bytes in the store, and whether a batch writes that type too.
const std::tuple<const char*, Raw, bool> kStored[] = {
    {"String", {reg::REG_SZ, {'a', 'b', 'c'}}, true},
    {"Long", {reg::REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}}, true},
    {"Byte", {reg::REG_DWORD, {200, 0, 0, 0}}, false},
    {"Integer", {reg::REG_DWORD, {0xFF, 0xFF, 0, 0}}, true},
    {"Boolean", {reg::REG_DWORD, {1, 0, 0, 0}}, false},
    {"Single", {reg::REG_DWORD, {0, 0, 0xC0, 0x3F}}, true},
    {"Double", {reg::REG_BINARY, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}}, true},
    {"Currency", {reg::REG_BINARY, {0x4E, 0x61, 0xBC, 0, 0, 0, 0, 0}}, false},
    {"Binary", {reg::REG_BINARY, {1, 2, 3}}, true},
};

// Each type's bytes in the store, and what its typed member reads back.
TEST_F(CRegistryTest, TypedValuesReadBackFromTheirStoredBytes) {
    ASSERT_TRUE(WriteEveryType(r));
    for (const auto& [name, raw, batched] : kStored) EXPECT_EQ(ReadRaw(name), raw) << name;
    int16_t integer = 5;
    EXPECT_TRUE(r.ReadInteger("Integer", integer, 5));
    EXPECT_EQ(integer, -1);
    EXPECT_EQ(std::tuple(r.GetString("String"), r.GetLong("Long"), r.GetByte("Byte"), r.GetBoolean("Boolean"),
                         r.GetSingle("Single"), r.GetDouble("Double"), r.GetCurrency("Currency"),
                         r.GetBinary("Binary")),
              std::tuple(std::string("abc"), -2, 200, true, 1.5f, 1.5, 12345678, Bytes{1, 2, 3}));
}

// A batch writes what the typed members write, in one transaction.
TEST_F(CRegistryTest, ABatchStoresWhatTheTypedMembersStore) {
    cRegistryBatch batch;
    batch.SetKey("Software\\Batch");
    batch.WriteString("String", "abc");
    batch.WriteLong("Long", -2);
    batch.WriteInteger("Integer", -1);
    batch.WriteSingle("Single", 1.5f);
    batch.WriteDouble("Double", 1.5);
    batch.WriteBinary("Binary", {1, 2, 3});
    batch.WriteBinary("Empty", {});
    ASSERT_TRUE(r.WriteBatch(HKEY_CURRENT_USER, batch)) << r.LastErrorText();
    for (const auto& [name, raw, batched] : kStored)
        EXPECT_EQ(ReadRaw(name, "Software\\Batch"), batched ? std::optional(raw) : std::nullopt) << name;
    EXPECT_FALSE(ReadRaw("Empty", "Software\\Batch").has_value()) << "an empty array is written";
}

TEST_F(CRegistryTest, ValuesOfTheWrongSizeOrMissingLeaveTheDefault) {
    for (const auto& [name, bytes] : {std::pair{"five", std::string("\1\0\0\0\0", 5)},
                                      {"d7", std::string("\0\0\0\0\0\0\xF8", 7)},
                                      {"d9", std::string("\0\0\0\0\0\0\xF8\x3F\0", 9)}})
        ASSERT_TRUE(r.WriteBinary(name, Bytes(bytes.begin(), bytes.end())));
    int32_t l = 0;
    EXPECT_EQ(Answer(r, r.ReadLong("five", l, 42)), std::pair(false, reg::ERROR_MORE_DATA)) << "five bytes";
    EXPECT_EQ(l, 42);
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

// Each stored shape as QueryValues decodes it, in the order written.
TEST_F(CRegistryTest, QueryValuesDecodesEveryTypeInCreationOrder) {
    const struct {
        const char* name; // UTF-8: cRegistry keeps names single-byte in the store
        uint32_t type;
        std::string bytes;
        RegValue decoded;
    } cases[] = {
        {"Grüße", reg::REG_SZ, "Wei\xdf", std::string("Weiß")},
        {"Expand", reg::REG_EXPAND_SZ, std::string("%HOME%\0", 7), std::string("%HOME%")},
        {"", reg::REG_DWORD, std::string("\xfe\xff\xff\xff", 4), int32_t{-2}},
        {"Lines", reg::REG_MULTI_SZ, std::string("a\0b\0", 4), std::string("a\0b", 3)},
        {"Blob", reg::REG_BINARY, std::string("\0\1", 2), Bytes{0, 1}},
        {"Empty", reg::REG_BINARY, "", Bytes{}},
        {"Qword", 11, std::string(8, '\1'), std::monostate{}},
    };
    std::vector<reg::RegBatchWrite> writes; // past cRegistry, as another program writes
    for (const auto& c : cases)
        writes.push_back(
            {kPath, platform::Utf8ToAnsi(c.name), c.type, Bytes(c.bytes.begin(), c.bytes.end())});
    ASSERT_EQ(reg::RegWriteBatch(reg::HKEY_CURRENT_USER, writes.data(), std::size(cases)), 0);
    std::vector<NamedValue> values(1);
    ASSERT_EQ(r.QueryValues(HKEY_CURRENT_USER, kPath, values), static_cast<int32_t>(std::size(cases)));
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].name, cases[i].name) << i;
        EXPECT_EQ(values[i].type, static_cast<int32_t>(cases[i].type)) << cases[i].name;
        EXPECT_EQ(values[i].value, cases[i].decoded) << cases[i].name;
    }
}

TEST_F(CRegistryTest, EnumeratingAMissingKeyFailsAsOpeningItDoes) {
    const std::string missing = "Software\\Missing";
    EXPECT_FALSE(r.KeyExists(HKEY_CURRENT_USER, missing));
    const int32_t openCode = r.LastError();
    ASSERT_NE(openCode, 0);
    std::vector<NamedValue> values(2);
    std::vector<std::string> names;
    EXPECT_EQ(Answer(r, r.QueryValues(HKEY_CURRENT_USER, missing, values)), std::pair(0, openCode));
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(Answer(r, r.EnumValues(HKEY_CURRENT_USER, missing, names)), std::pair(0, openCode));
    EXPECT_EQ(Answer(r, r.ExportKey(HKEY_CURRENT_USER, missing, true)), std::pair(std::string(), openCode));
}

std::string Section(const std::string& key, const std::string& lines = "") {
    return "\r\n[HKEY_CURRENT_USER" + key + "]\r\n" + lines;
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
    const std::string own =
        Section("\\Software\\Exp", "@=\"top\"\r\n\"Dir\"=\"C:\\\\dir\"\r\n\"Ten\"=dword:0000000a\r\n"
                                   "\"All\"=dword:ffffffff\r\n\"Five\"=hex:05\r\n");
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, top, false), own) << "the key alone";
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, top, true),
              own + Section("\\Software\\Exp\\Sub", "\"Q\"=\"q\"\r\n") +
                  Section("\\Software\\Exp\\Sub\\Deeper"));
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "", false), Section("")) << "the root alone";
    const std::string all = r.ExportKey(HKEY_CURRENT_USER, "", true);
    EXPECT_TRUE(all.starts_with(Section("") + Section("\\Software"))) << all;
    EXPECT_TRUE(all.ends_with(Section("\\Software\\Test"))) << all;
}

TEST_F(CRegistryTest, TwoThousandValuesEnumerateInOrderWithinSeconds) {
    constexpr int kValues = 2000;
    const std::string path = "Software\\Many";
    cRegistryBatch batch;
    batch.SetKey(path);
    std::vector<std::string> expected{path};
    for (int i = kValues; i > 0; --i) { // creation order is not name order
        expected.push_back("v" + std::to_string(i));
        batch.WriteLong(expected.back(), i);
    }
    ASSERT_TRUE(r.WriteBatch(HKEY_CURRENT_USER, batch)) << r.LastErrorText();
    // A loose guard against enumeration cost growing with the index again
    // (it took minutes at this size): seconds, not a measurement.
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> names;
    std::vector<NamedValue> values;
    EXPECT_EQ(r.EnumValues(HKEY_CURRENT_USER, path, names), kValues);
    EXPECT_EQ(names, expected);
    // What each value reads and exports as is the smaller tests'.
    EXPECT_EQ(r.QueryValues(HKEY_CURRENT_USER, path, values), kValues);
    const std::string text = r.ExportKey(HKEY_CURRENT_USER, path, false);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kValues + 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// A store whose file holds bytes that are no store fails every call; the
// object stays usable with a healthy store.
TEST(CRegistryCorruptStore, CallsFailWithTheCorruptCodeWhileTheStoreIsCorrupt) {
    test::PrivateStore store;
    std::filesystem::create_directories(store.dir().path() / "velmora");
    std::ofstream(store.dir().path() / "velmora" / "registry.db", std::ios::binary) << std::string(8192, 'Z');
    cRegistry r;
    int32_t l = 0;
    EXPECT_EQ(Answer(r, r.WriteLong("x", 1)), std::pair(false, reg::ERROR_REGISTRY_CORRUPT));
    EXPECT_EQ(Answer(r, r.ReadLong("x", l, 3)), std::pair(false, reg::ERROR_REGISTRY_CORRUPT));
    EXPECT_EQ(l, 3);
    EXPECT_TRUE(r.LastErrorText().starts_with("The registry is corrupted")) << r.LastErrorText();
    EXPECT_EQ(r.ExportKey(HKEY_CURRENT_USER, "Software", true), "") << "no header over nothing read";
    test::PrivateStore healthy;
    r.SetPath("Software\\Ok");
    EXPECT_EQ(std::pair(r.Path(), r.WriteLong("x", 1)), std::pair(std::string("Software\\Ok"), true))
        << "the object stays usable with a healthy store";
}

} // namespace
} // namespace velmora::settings
