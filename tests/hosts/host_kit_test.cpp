// What every host needs from the kit: the driver's strings as UTF-8,
// whatever UTF-16 they hold, and start times as ISO 8601 text.
#include <gtest/gtest.h>

#include "driver_access.h"

namespace velmora::hosts {
namespace {

std::string Of(const std::u16string& text) {
    BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    std::string utf8 = Utf8(bstr);
    SysFreeString(bstr);
    return utf8;
}

TEST(HostKit, DriverStringsBecomeUtf8) {
    EXPECT_EQ(Of(u"XY1"), "XY1");
    EXPECT_EQ(Of(u"\u00b110 V"), "\xc2\xb1"
                                 "10 V")
        << "the ranges' plus-minus sign";
    EXPECT_EQ(Of(u"\u0416\u20ac"), "\xd0\x96\xe2\x82\xac");
    EXPECT_EQ(Of(u"\U0001F600"), "\xf0\x9f\x98\x80") << "a surrogate pair is one character";
    EXPECT_EQ(Of(std::u16string(1, char16_t(0xDC00)) + u"a"), "\xef\xbf\xbd"
                                                              "a")
        << "a lone surrogate";
    EXPECT_EQ(Of(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd") << "a high surrogate at the end";
    EXPECT_EQ(Utf8(nullptr), "");
}

TEST(HostKit, StartTimesAreMillisecondsOfTheirSecond) {
    for (const auto& [seconds, text] : {std::pair{1700000000.25, "2023-11-14T22:13:20.250Z"},
                                        {1700000000.9996, "2023-11-14T22:13:20.999Z"}})
        EXPECT_EQ(IsoUtc(seconds), text) << std::fixed << seconds;
}

} // namespace
} // namespace velmora::hosts
