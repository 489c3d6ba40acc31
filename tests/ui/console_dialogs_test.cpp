#include "ui/console_dialogs.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/ip_edit_model.h"
#include "ui/scripted_dialogs.h"

namespace velmora::ui {
namespace {

// Points standard input at a file for the lifetime of the object.
class StdinFromFile {
public:
    explicit StdinFromFile(const std::filesystem::path& file) : saved_(::dup(STDIN_FILENO)) {
        const int fd = ::open(file.c_str(), O_RDONLY);
        ::dup2(fd, STDIN_FILENO);
        ::close(fd);
    }
    ~StdinFromFile() {
        ::dup2(saved_, STDIN_FILENO);
        ::close(saved_);
    }
    StdinFromFile(const StdinFromFile&) = delete;
    StdinFromFile& operator=(const StdinFromFile&) = delete;

private:
    int saved_;
};

class ConsoleTest : public ::testing::Test {
protected:
    void WriteList(const std::string& bytes) {
        std::ofstream(dir.path() / "iplist.txt", std::ios::binary) << bytes;
    }
    std::string ReadList() const {
        std::ifstream in(dir.path() / "iplist.txt", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Runs the chooser with the lines a user types on the terminal.
    int32_t Answer(const std::string& typed) {
        std::istringstream in(typed);
        ConsoleDialogs console(in, out, dir.path());
        return console.SelectIP("E16");
    }

    test::TempDir dir;
    test::ScopedEnv all{"LC_ALL", "C"};
    std::ostringstream out;
};

TEST_F(ConsoleTest, WithoutATerminalTheSelectedAddressIsTaken) {
    std::ofstream(dir.path() / "answers") << "c\n";
    StdinFromFile stdinFile(dir.path() / "answers");
    ConsoleDialogs console(dir.path());

    testing::internal::CaptureStderr();
    EXPECT_EQ(console.SelectIP("E16"), 0x7F000001);
    WriteList("10.0.0.2\r\n10.0.0.3\r\n");
    EXPECT_EQ(console.SelectIP("E16"), 0x0A000002);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("not a terminal"), std::string::npos) << said;
    EXPECT_NE(said.find("10.0.0.2"), std::string::npos) << said;
    EXPECT_EQ(ReadList(), "10.0.0.2\r\n10.0.0.3\r\n");
}

TEST_F(ConsoleTest, EnterTakesThePreselectedItemAndANumberPicksOne) {
    WriteList("10.0.0.2\r\n10.0.0.3\r\n");
    EXPECT_EQ(Answer("\n"), 0x0A000002);
    EXPECT_NE(out.str().find(" > 1  10.0.0.2"), std::string::npos) << out.str();
    EXPECT_EQ(Answer("2\n"), 0x0A000003);
    EXPECT_EQ(Answer("0\n"), 0x7F000001);
    EXPECT_EQ(ReadList(), "10.0.0.2\r\n10.0.0.3\r\n");
}

TEST_F(ConsoleTest, ATypedAddressIsRememberedAtTheTop) {
    WriteList("10.0.0.2\r\n");
    EXPECT_EQ(Answer("192.168.1.10\n"), -1062731510);
    EXPECT_EQ(ReadList(), "192.168.1.10\r\n10.0.0.2\r\n");
    // Typed as into the boxes: the box refuses the 6 of 256.
    EXPECT_EQ(Answer(" 1.2.3.256 \n"), AddressNumber(1, 2, 3, 25));
}

TEST_F(ConsoleTest, AnIncompleteAddressAsksAgain) {
    EXPECT_EQ(Answer("1.2.3\n9\n\n"), 0x7F000001);
    const std::string said = out.str();
    const auto first = said.find("E16: Please select IP address!");
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_NE(said.find("E16: Please select IP address!", first + 1), std::string::npos) << said;
}

TEST_F(ConsoleTest, CancelRemoveClearAndEndOfInput) {
    WriteList("10.0.0.2\r\n10.0.0.3\r\n");
    EXPECT_EQ(Answer("c\n"), 0);
    EXPECT_EQ(Answer("r 1\n\n"), 0x0A000003);
    EXPECT_EQ(ReadList(), "10.0.0.3\r\n");
    EXPECT_EQ(Answer(""), 0);
    EXPECT_EQ(Answer("x\nc\n"), 0);
    EXPECT_EQ(ReadList(), "");
}

TEST_F(ConsoleTest, RussianPromptAndMessage) {
    test::ScopedEnv lang("LC_ALL", "ru_RU.UTF-8");
    EXPECT_EQ(Answer("?\nc\n"), 0);
    const std::string said = out.str();
    EXPECT_NE(said.find("Выбор IP адреса"), std::string::npos) << said;
    EXPECT_NE(said.find("c = Отмена"), std::string::npos) << said;
    EXPECT_NE(said.find("E16: Пожалуйста укажите IP адрес!"), std::string::npos) << said;
}

TEST_F(ConsoleTest, TheSetupDialogCannotBeShownWithoutADisplay) {
    std::istringstream in;
    ConsoleDialogs console(in, out, dir.path());
    EXPECT_FALSE(console.ShowSetup());
    EXPECT_NE(out.str().find("needs a display"), std::string::npos);
}

TEST(DialogServiceTest, ATestServiceReplacesTheConsoleUntilReset) {
    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs& script = *scripted;
    script.QueueAddress(0x7F000002);
    SetDialogs(std::move(scripted));
    EXPECT_EQ(CurrentDialogs().SelectIP("E16"), 0x7F000002);
    EXPECT_EQ(CurrentDialogs().SelectIP("E16"), 0); // nothing queued: cancelled
    EXPECT_EQ(script.selectIpTitles, (std::vector<std::string>{"E16", "E16"}));

    SetDialogs(nullptr);
    EXPECT_NE(dynamic_cast<ConsoleDialogs*>(&CurrentDialogs()), nullptr);
}

} // namespace
} // namespace velmora::ui
