#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/locale.h"
#include "platform/module_folder.h"
#include "platform/thread.h"
#include "test_support.h"

#include <atomic>
#include <clocale>
#include <cstring>
#include <gtest/gtest.h>

namespace velmora::platform {
namespace {

TEST(Thread, RunsOnlyAfterResumeAndJoins) {
    std::atomic<int> ran{0};
    auto thread = Thread::CreateSuspended([&] { ran.fetch_add(1); }, 8192);
    ASSERT_NE(thread, nullptr);
    SleepMs(20);
    EXPECT_EQ(ran.load(), 0) << "ran before Resume";
    thread->Resume();
    thread->Join();
    EXPECT_EQ(ran.load(), 1) << "Join returned before the body ran";
    EXPECT_FALSE(thread->Joinable()) << "still joinable after Join";
    EXPECT_GE(thread->StackSize(), 8192u);
}

TEST(Thread, NeverResumedThreadEndsWithItsHandle) {
    std::atomic<int> ran{0};
    auto thread = Thread::CreateSuspended([&] { ran = 1; }, 8192);
    thread.reset();
    EXPECT_EQ(ran.load(), 0) << "destroying the handle ran the body";
}

TEST(Thread, ResumeThenImmediateDestroyStillRunsBody) {
    for (int i = 0; i < 50; ++i) {
        std::atomic<int> ran{0};
        auto thread = Thread::CreateSuspended([&] { ran = 1; }, 8192);
        thread->Resume();
        thread.reset();
        ASSERT_EQ(ran.load(), 1) << "attempt " << i;
    }
}

TEST(Thread, ClosedHandleLetsTheThreadFinish) {
    std::atomic<bool> done{false};
    auto thread = Thread::CreateSuspended([&] { done.store(true, std::memory_order_release); }, 8192);
    thread->Resume();
    thread->Close();
    thread.reset();
    for (int i = 0; i < 500 && !done.load(std::memory_order_acquire); ++i) SleepMs(2);
    EXPECT_TRUE(done.load());
}

TEST(Clock, TickIsMonotonicAndSleepWaits) {
    const uint32_t before = TickCount();
    SleepMs(30);
    const uint32_t elapsed = TickCount() - before;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(ModuleFolder, IsTheFolderOfTheTestProgram) {
    const auto folder = ModuleFolder();
    EXPECT_TRUE(std::filesystem::exists(folder / "platform_test"));
}

TEST(Codepage, Latin1RoundTripsAndOthersBecomeQuestionMarks) {
    EXPECT_EQ(ToAnsi(u"A\u00e9\u00ff\u0416\U0001F600"), "A\xe9\xff??");
    EXPECT_EQ(FromAnsi("\xe9\x01"), u"\u00e9\u0001");
    EXPECT_EQ(Utf8ToAnsi("C:\\dir \xc3\xa9 \xd0\x96"), "C:\\dir \xe9 ?");
    EXPECT_EQ(AnsiToUtf8("\xe9"), "\xc3\xa9");
    EXPECT_EQ(std::string(ToAnsi(std::u16string(u"a\0b", 3))), std::string("a\0b", 3));
}

TEST(Codepage, Utf8AndUtf16ConvertIncludingSurrogatesAndBadInput) {
    EXPECT_EQ(Utf8ToUtf16("\xf0\x9f\x98\x80x"), u"\U0001F600x");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600\u0416"), "\xf0\x9f\x98\x80\xd0\x96");
    EXPECT_EQ(Utf8ToUtf16("\xff"), u"\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"), u"\uFFFD\uFFFD"); // overlong
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

TEST(Locale, ReadsTheEnvironmentWithoutTouchingTheProcessLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    test::ScopedEnv all("LC_ALL", "");
    {
        test::ScopedEnv lang("LANG", "ru_RU.UTF-8");
        test::ScopedEnv numeric("LC_NUMERIC", "");
        test::ScopedEnv messages("LC_MESSAGES", "");
        EXPECT_EQ(DecimalSeparator(), ",") << "from LANG";
        EXPECT_EQ(UiLanguage(), "ru") << "from LANG";
    }
    {
        test::ScopedEnv lang("LANG", "C");
        test::ScopedEnv numeric("LC_NUMERIC", "de_DE.UTF-8");
        test::ScopedEnv messages("LC_MESSAGES", "");
        EXPECT_EQ(DecimalSeparator(), ",") << "LC_NUMERIC before LANG";
        EXPECT_EQ(UiLanguage(), "en") << "LANG=C";
    }
    {
        test::ScopedEnv lang("LANG", "en_US.UTF-8");
        test::ScopedEnv numeric("LC_NUMERIC", ""); // not the developer's own
        EXPECT_EQ(DecimalSeparator(), ".") << "from LANG, English";
    }
    EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr)) << "the process locale changed";
}

} // namespace
} // namespace velmora::platform
