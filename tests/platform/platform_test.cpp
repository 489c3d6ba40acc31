#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/locale.h"
#include "platform/thread.h"
#include "test_support.h"

#include <atomic>
#include <clocale>
#include <gmock/gmock.h>

namespace velmora::platform {
namespace {

TEST(Thread, RunsOnlyOnceResumed) {
    std::atomic<int> ran{0}, dropped{0};
    Thread::CreateSuspended([&] { dropped = 5; }, 8192).reset();
    auto thread = Thread::CreateSuspended([&] { ran.fetch_add(1); }, 8192);
    ASSERT_NE(thread, nullptr);
    SleepMs(20);
    EXPECT_EQ(std::pair(ran.load(), dropped.load()), std::pair(0, 0))
        << "ran before Resume, or once its handle was destroyed unresumed";
    thread->Resume();
    thread->Join();
    EXPECT_EQ(std::pair(ran.load(), thread->Joinable()), std::pair(1, false))
        << "Join returned before the body ran, or left the thread joinable";
}

TEST(Thread, AResumedThreadRunsWhateverBecomesOfItsHandle) {
    for (int i = 0; i < 50; ++i) {
        std::atomic<int> ran{0};
        auto thread = Thread::CreateSuspended([&] { ran = 1; }, 8192);
        thread->Resume();
        thread.reset();
        ASSERT_EQ(ran.load(), 1) << "destroyed at once after Resume, attempt " << i;
    }
    std::atomic<bool> done{false};
    auto thread = Thread::CreateSuspended([&] { done.store(true, std::memory_order_release); }, 8192);
    thread->Resume();
    thread->Close();
    thread.reset();
    EXPECT_TRUE(test::Eventually([&] { return done.load(std::memory_order_acquire); })) << "a closed handle";
}

// As on Windows, the size asked for is what the thread starts with, not a
// limit: a worker's library may take far more.
TEST(Thread, ASmallStackSizeIsNoLimit) {
    std::atomic<int> touched{0};
    auto thread = Thread::CreateSuspended(
        [&] {
            volatile char deep[512 * 1024];
            for (std::size_t i = 0; i < sizeof deep; i += 4096) deep[i] = 1;
            touched = deep[0] + deep[sizeof deep - 4096];
        },
        8192);
    thread->Resume();
    thread->Join();
    EXPECT_EQ(touched.load(), 2);
}

TEST(Clock, SleepWaitsItsTimeOnTheTick) {
    const uint32_t before = TickCount();
    SleepMs(30);
    EXPECT_THAT(TickCount() - before, testing::AllOf(testing::Ge(29u), testing::Lt(5000u)));
}

// ANSI is Latin-1, with a question mark for anything else; UTF-16 carries
// characters beyond the basic plane; what cannot be decoded becomes the
// replacement character.
TEST(Codepage, EachConversionKeepsWhatItsTargetHoldsAndMarksTheRest) {
    EXPECT_EQ(ToAnsi(u"A\u00e9\u00ff\u0416\U0001F600"), "A\xe9\xff??");
    EXPECT_EQ(FromAnsi("\xe9\x01"), u"\u00e9\u0001");
    EXPECT_EQ(Utf8ToAnsi("C:\\dir \xc3\xa9 \xd0\x96"), "C:\\dir \xe9 ?");
    EXPECT_EQ(AnsiToUtf8("\xe9"), "\xc3\xa9");
    EXPECT_EQ(std::string(ToAnsi(std::u16string(u"a\0b", 3))), std::string("a\0b", 3));
    EXPECT_EQ(Utf8ToUtf16("\xf0\x9f\x98\x80x"), u"\U0001F600x");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600\u0416"), "\xf0\x9f\x98\x80\xd0\x96");
    EXPECT_EQ(Utf8ToUtf16("\xff"), u"\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"), u"\uFFFD\uFFFD") << "overlong";
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd") << "a lone surrogate";
}

TEST(Locale, ReadsTheEnvironmentWithoutTouchingTheProcessLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    test::ScopedEnv all("LC_ALL", ""), messages("LC_MESSAGES", ""), ctype("LC_CTYPE", "");
    // LANG, LC_NUMERIC; the separator, the language and the character set,
    // of locales on this machine (C, C.utf8) and of others by their names.
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"ru_RU.UTF-8", "", ",", "ru", "UTF-8"},
        {"C", "de_DE.UTF-8", ",", "en", "ANSI_X3.4-1968"},
        {"en_US.utf8", "", ".", "en", "UTF-8"},
        {"ru_RU.KOI8-R", "", ",", "ru", "KOI8-R"},
        {"C.utf8", "", ".", "en", "UTF-8"}};
    for (const auto& [lang, numeric, separator, language, charset] : cases) {
        SCOPED_TRACE(testing::Message() << "LANG=" << lang << " LC_NUMERIC=" << numeric);
        test::ScopedEnv langEnv("LANG", lang), numericEnv("LC_NUMERIC", numeric);
        EXPECT_EQ(DecimalSeparator(), separator);
        EXPECT_EQ(UiLanguage(), language);
        EXPECT_EQ(Charset(), charset);
    }
    EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr)) << "the process locale changed";
}

} // namespace
} // namespace velmora::platform
