// BSTR layout, GUID text, HRESULT text, and the null pointers the runtime
// must refuse rather than follow.
#include <velmora/com.h>

#include "comrt/hresult_text.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace {

// {01234567-89AB-CDEF-0123-456789ABCDEF}
constexpr GUID kSample = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

TEST(Bstr, KeepsNulsBehindItsByteLength) {
    const char16_t text[] = {u'V', 0, u'l', 0, u't'};
    BSTR s = SysAllocStringLen(text, 5);
    ASSERT_NE(s, nullptr);
    uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(s) - sizeof prefix, sizeof prefix);
    EXPECT_EQ(std::tuple(prefix, SysStringLen(s), SysStringByteLen(s)), std::tuple(10u, 5u, 10u))
        << "the byte length in front, the length, the byte length";
    EXPECT_EQ(std::u16string(s, 6), std::u16string(text, 5) + u'\0') << "the text and a NUL after it";
    SysFreeString(s);
}

TEST(Guid, TextIsBracedUpperCaseHex) {
    OLECHAR buffer[39];
    for (const auto& [guid, text] : {std::pair{kSample, u"{01234567-89AB-CDEF-0123-456789ABCDEF}"},
                                     {IID_IDispatch, u"{00020400-0000-0000-C000-000000000046}"}}) {
        ASSERT_EQ(StringFromGUID2(guid, buffer, 39), 39);
        EXPECT_EQ(std::u16string(buffer), text);
    }
    EXPECT_EQ(StringFromGUID2(kSample, buffer, 38), 0) << "no room for the closing NUL";
}

// Braced text parses in either case; any other shape is refused and leaves the GUID null.
TEST(Guid, OnlyBracedTextParses) {
    // The first two in either case; the rest one digit short or long, misplaced dashes, a non-hex
    // digit, no closing brace, the brace alone.
    const char16_t* const texts[] = {
        u"{01234567-89AB-CDEF-0123-456789ABCDEF}", u"{01234567-89ab-cdef-0123-456789abcdef}",
        u"{01234567-89AB-CDEF-0123-456789ABCDE}",  u"{01234567-89AB-CDEF-0123-456789ABCDEF0}",
        u"{0123456789AB-CDEF-0123-456789ABCDEF-}", u"{01234567-89AB-CDEF-0123-456789ABCDEG}",
        u"{01234567-89AB-CDEF-0123-456789ABCDEF",  u"{"};
    for (const char16_t* text : texts) {
        SCOPED_TRACE(testing::PrintToString(text));
        const bool good = text == texts[0] || text == texts[1];
        CLSID parsed = IID_IDispatch, iid{};
        EXPECT_EQ(std::pair(CLSIDFromString(text, &parsed), IIDFromString(text, &iid)),
                  good ? std::pair(S_OK, S_OK) : std::pair(CO_E_CLASSSTRING, CO_E_IIDSTRING));
        EXPECT_TRUE(parsed == (good ? kSample : CLSID_NULL)) << "the GUID parsed";
    }
}

// A null string reads as the empty one; any other null is refused with a code.
TEST(NullPointers, AreNeverFollowed) {
    CLSID clsid{};
    LONG value = 0;
    VARIANT v;
    VariantInit(&v);
    int call = 0;
    SysFreeString(nullptr);
    EXPECT_EQ(
        std::tuple(SysStringLen(nullptr), SysStringByteLen(nullptr), StringFromGUID2(kSample, nullptr, 39)),
        std::tuple(0u, 0u, 0));
    for (const HRESULT hr :
         {CLSIDFromString(nullptr, &clsid),
          CLSIDFromString(u"{01234567-89AB-CDEF-0123-456789ABCDEF}", nullptr),
          CLSIDFromProgID(nullptr, &clsid), CLSIDFromProgID(u"Velmora.Anything", nullptr),
          StringFromCLSID(kSample, nullptr), ProgIDFromCLSID(kSample, nullptr),
          SafeArrayGetLBound(nullptr, 1, &value), SafeArrayAccessData(nullptr, nullptr),
          SafeArrayPutElement(nullptr, &value, &value), VariantClear(nullptr),
          VariantChangeType(nullptr, &v, 0, VT_I4), VariantChangeType(&v, nullptr, 0, VT_I4)})
        EXPECT_EQ(hr, E_INVALIDARG) << "call " << call++;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 1);
    EXPECT_EQ(std::pair(SafeArrayPutElement(psa, nullptr, &value), SafeArrayGetElement(psa, &value, nullptr)),
              std::pair(E_INVALIDARG, E_INVALIDARG));
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

// The tool's tests read two more, a Win32 code among them.
TEST(HResultText, EveryCodeComesWithWordsNeverTheBareNumber) {
    const std::pair<HRESULT, const char*> cases[] = {
        {E_NOINTERFACE, "0x80004002 (E_NOINTERFACE): No such interface supported"},
        {HRESULT_FROM_WIN32(1234), "0x800704D2: An error the runtime has no text for"},
        {static_cast<HRESULT>(0x8004FFFFu), "0x8004FFFF: An error the runtime has no text for"},
        {S_OK, "0x00000000 (S_OK): The operation completed successfully"},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(velmora::com::HResultText(code), text);
}

} // namespace
