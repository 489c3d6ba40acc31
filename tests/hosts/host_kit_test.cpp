// What every host needs from the kit: the driver's strings as UTF-8,
// whatever UTF-16 they hold, and start times as ISO 8601 text.
#include <gtest/gtest.h>

#include "driver_access.h"
#include "module_info.h"

namespace velmora::hosts {
namespace {

// U+FFFD, which stands for what is no character.
const std::string kBad = "\xef\xbf\xbd";

TEST(HostKit, DriverStringsBecomeUtf8) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"XY1", "XY1"},
        {u"\u00b110 V", "±10 V"}, // the ranges' plus-minus sign
        {u"\u0416\u20ac", "\xd0\x96\xe2\x82\xac"},
        {u"\U0001F600", "\xf0\x9f\x98\x80"},                      // a surrogate pair is one character
        {std::u16string(1, char16_t(0xDC00)) + u"a", kBad + "a"}, // a lone surrogate
        {std::u16string(1, char16_t(0xD800)), kBad},              // a high surrogate at the end
    };
    for (const auto& [utf16, utf8] : cases)
        EXPECT_EQ(TakeUtf8(SysAllocStringLen(utf16.data(), static_cast<UINT>(utf16.size()))), utf8) << utf8;
    EXPECT_EQ(Utf8(nullptr), "");
}

// What a host sends the driver: bytes that are no UTF-8 character become one
// U+FFFD each, never a character they do not spell.
TEST(HostKit, HostTextBecomesAStringOfWholeCharacters) {
    const std::pair<const char*, std::string> cases[] = {
        {"127.0.0.1", "127.0.0.1"},
        {"\xd0\x96\xe2\x82\xac\xf0\x9f\x98\x80", "\xd0\x96\xe2\x82\xac\xf0\x9f\x98\x80"},
        {"\xf5\x80\x80\x80", kBad + kBad + kBad + kBad}, // no lead byte past 0xF4
        {"\xe0\x80\xaf", kBad},                          // an overlong '/'
        {"\xed\xa0\x80", kBad},                          // a surrogate
        {"\xf4\x90\x80\x80", kBad},                      // past U+10FFFF
        {"\xe2\x82", kBad + kBad},                       // cut short
    };
    for (const auto& [utf8, expected] : cases) EXPECT_EQ(TakeUtf8(NewBstr(utf8)), expected) << utf8;
}

// A status bar names the backend's file, whatever its folder is called.
TEST(HostKit, ABackendShortensToItsFilesName) {
    const std::pair<const char*, const char*> cases[] = {
        {"simulated module (/opt/Kit (E16)/lib/libe16sim.so), version 1.1.34",
         "simulated module (libe16sim.so), version 1.1.34"},
        {"vendor library /home/a, b/x 1/libx502api.so.1, version 1.1.30",
         "vendor library libx502api.so.1, version 1.1.30"},
        {"", ""},
        {"something else, version 2", "something else, version 2"},
    };
    for (const auto& [backend, shown] : cases) EXPECT_EQ(ShortBackend(backend), shown) << backend;
}

TEST(HostKit, StartTimesAreTheNearestMillisecond) {
    for (const auto& [seconds, text] : {std::pair{1700000000.25, "2023-11-14T22:13:20.250Z"},
                                        {1700000000.9994, "2023-11-14T22:13:20.999Z"},
                                        {1700006399.9996, "2023-11-15T00:00:00.000Z"}})
        EXPECT_EQ(IsoUtc(seconds), text) << std::fixed << seconds;
}

} // namespace
} // namespace velmora::hosts
