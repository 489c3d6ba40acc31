#include <velmora/com.h>

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

uint32_t StoredByteLength(BSTR s) {
    uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const char*>(s) - sizeof(bytes), sizeof(bytes));
    return bytes;
}

TEST(Bstr, CarriesItsByteLengthInFrontAndATerminator) {
    BSTR s = SysAllocString(u"Volts");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(StoredByteLength(s), 10u);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 10u);
    EXPECT_EQ(s[5], u'\0');
    EXPECT_EQ(std::u16string(s), u"Volts");
    SysFreeString(s);
}

TEST(Bstr, KeepsEmbeddedNuls) {
    const char16_t text[] = {u'a', 0, u'b', 0, u'c'};
    BSTR s = SysAllocStringLen(text, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(std::u16string(s, SysStringLen(s)), std::u16string(text, 5));
    EXPECT_EQ(s[5], u'\0');
    SysFreeString(s);
}

TEST(Bstr, NullReadsAsEmptyAndEmptyIsNotNull) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], u'\0');
    SysFreeString(empty);
}

TEST(Bstr, LengthWithoutTextIsZeroFilled) {
    BSTR s = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 4u);
    for (int k = 0; k <= 4; ++k) EXPECT_EQ(s[k], 0) << k;
    SysFreeString(s);
}

TEST(Bstr, ByteLengthStringsKeepOddLengths) {
    BSTR s = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringByteLen(s), 3u);
    EXPECT_EQ(SysStringLen(s), 1u);
    EXPECT_EQ(std::memcmp(s, "abc", 3), 0);
    // Terminated by a whole NUL character after the odd byte.
    EXPECT_EQ(reinterpret_cast<const char*>(s)[3], '\0');
    EXPECT_EQ(s[2], u'\0');
    SysFreeString(s);
}

TEST(Bstr, ReallocationMayReadFromTheOldString) {
    BSTR s = SysAllocString(u"hello");
    ASSERT_EQ(SysReAllocStringLen(&s, s + 1, 3), 1);
    EXPECT_EQ(std::u16string(s, SysStringLen(s)), u"ell");
    ASSERT_EQ(SysReAllocString(&s, u"longer text"), 1);
    EXPECT_EQ(SysStringLen(s), 11u);
    EXPECT_EQ(SysReAllocString(nullptr, u"x"), 0);
    SysFreeString(s);
}

} // namespace
