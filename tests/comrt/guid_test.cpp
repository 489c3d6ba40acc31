#include <velmora/com.h>

#include <gtest/gtest.h>
#include <string>

namespace {

// {01234567-89AB-CDEF-0123-456789ABCDEF}
constexpr GUID kSample = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

std::u16string Format(const GUID& guid) {
    OLECHAR buffer[39];
    const int written = StringFromGUID2(guid, buffer, 39);
    EXPECT_EQ(written, 39);
    return written == 39 ? std::u16string(buffer) : std::u16string();
}

TEST(Guid, WellKnownIdentifiersHaveTheirWindowsText) {
    EXPECT_EQ(Format(IID_IUnknown), u"{00000000-0000-0000-C000-000000000046}");
    EXPECT_EQ(Format(IID_IDispatch), u"{00020400-0000-0000-C000-000000000046}");
    EXPECT_EQ(Format(IID_IClassFactory), u"{00000001-0000-0000-C000-000000000046}");
    EXPECT_EQ(Format(IID_NULL), u"{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(sizeof(GUID), 16u);
}

TEST(Guid, TextRoundTripsInEitherCase) {
    EXPECT_EQ(Format(kSample), u"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    for (const char16_t* text :
         {u"{01234567-89AB-CDEF-0123-456789ABCDEF}", u"{01234567-89ab-cdef-0123-456789abcdef}"}) {
        CLSID parsed{};
        ASSERT_EQ(CLSIDFromString(text, &parsed), S_OK);
        EXPECT_TRUE(parsed == kSample);
        IID iid{};
        ASSERT_EQ(IIDFromString(text, &iid), S_OK);
        EXPECT_TRUE(IsEqualGUID(iid, kSample));
    }
    LPOLESTR allocated = nullptr;
    ASSERT_EQ(StringFromCLSID(kSample, &allocated), S_OK);
    EXPECT_EQ(std::u16string(allocated), u"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    CoTaskMemFree(allocated);
}

TEST(Guid, MalformedTextIsAClassStringError) {
    const char16_t* bad[] = {
        u"{01234567-89AB-CDEF-0123-456789ABCDE}",   // one digit short
        u"{01234567-89AB-CDEF-0123-456789ABCDEF0}", // one digit long
        u"{0123456789AB-CDEF-0123-456789ABCDEF-}",  // dash misplaced
        u"{01234567-89AB-CDEF-0123-456789ABCDEG}",  // not hex
        u"{01234567-89AB-CDEF-0123-456789ABCDEF",   // unclosed
        u"{01234567-89AB-CDEF-0123-456789ABCDE\u00C9}", u"{",
    };
    for (const char16_t* text : bad) {
        CLSID parsed = kSample;
        EXPECT_EQ(CLSIDFromString(text, &parsed), CO_E_CLASSSTRING) << std::string(text, text + 5);
        EXPECT_TRUE(parsed == CLSID_NULL);
        IID iid{};
        EXPECT_EQ(IIDFromString(text, &iid), CO_E_IIDSTRING);
    }
}

TEST(Guid, ComparisonSeesEveryByte) {
    GUID other = kSample;
    other.Data4[7] ^= 1;
    EXPECT_FALSE(other == kSample);
    EXPECT_FALSE(IsEqualGUID(other, kSample));
    other = kSample;
    other.Data2 ^= 0x100;
    EXPECT_TRUE(other != kSample);
    EXPECT_TRUE(IsEqualCLSID(kSample, kSample));
}

TEST(Guid, NullPointersAndShortBuffersGiveResults) {
    OLECHAR small[38];
    EXPECT_EQ(StringFromGUID2(kSample, small, 38), 0);
    EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromString(u"{01234567-89AB-CDEF-0123-456789ABCDEF}", nullptr), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.Anything", nullptr), E_INVALIDARG);
    EXPECT_EQ(StringFromCLSID(kSample, nullptr), E_INVALIDARG);
    EXPECT_EQ(ProgIDFromCLSID(kSample, nullptr), E_INVALIDARG);
}

} // namespace
