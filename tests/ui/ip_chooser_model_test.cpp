#include "ui/ip_chooser_model.h"

#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace velmora::ui {
namespace {

constexpr int32_t kLoopback = 0x7F000001;

class ChooserTest : public ::testing::Test {
protected:
    std::filesystem::path ListFile() const { return dir.path() / "iplist.txt"; }
    void WriteList(const std::string& bytes) { std::ofstream(ListFile(), std::ios::binary) << bytes; }
    std::string ReadList() const {
        std::ifstream in(ListFile(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& item : dlg.List()) texts.push_back(item.text);
        return texts;
    }
    std::string Boxes() {
        ucIPModel& ip = dlg.Edit();
        return ip.Text(3) + "." + ip.Text(2) + "." + ip.Text(1) + "." + ip.Text(0);
    }

    test::TempDir dir;
    dlgIPModel dlg{dir.path()};
};

TEST_F(ChooserTest, WithoutAListFileOnlyTheLoopbackIsOfferedAndNothingIsWritten) {
    dlg.Load();
    EXPECT_EQ(Texts(), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(dlg.ListIndex(), 0);
    EXPECT_EQ(Boxes(), "127.0.0.1");
    EXPECT_FALSE(dlg.RemoveEnabled());
    EXPECT_EQ(dlg.listFile(), ListFile().string());

    ASSERT_TRUE(dlg.Ok());
    EXPECT_FALSE(dlg.IsOpen());
    EXPECT_EQ(dlg.chosenAddress(), kLoopback);
    EXPECT_FALSE(std::filesystem::exists(ListFile()));
}

TEST_F(ChooserTest, TheFileGivesItsValidNewAddressesInOrder) {
    const std::string file = "10.0.0.2\r\n300.1.1.1\r\n10.0.0.2\r\n1.2.3.4.5\r\n010.0.0.1\r\n";
    WriteList(file);
    dlg.Load();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"127.0.0.1", "10.0.0.2", "1.2.3.4", "10.0.0.1"}));
    EXPECT_EQ(dlg.List()[1].address, 0x0A000002);
    EXPECT_EQ(dlg.ListIndex(), 1);
    EXPECT_EQ(Boxes(), "10.0.0.2");
    EXPECT_TRUE(dlg.RemoveEnabled());
    EXPECT_FALSE(dlg.listChanged());

    dlg.Cancel();
    EXPECT_EQ(dlg.chosenAddress(), 0);
    EXPECT_EQ(ReadList(), file); // unchanged, so not rewritten
}

TEST_F(ChooserTest, LinesEndingInLineFeedsOnlyAreReadToo) {
    WriteList("0.0.0.0\n127.0.0.1\n10.1.1.1\n\n 10.1.1.2\n10.1.1.3");
    dlg.Load();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"127.0.0.1", "10.1.1.1", "10.1.1.3"}));
}

TEST_F(ChooserTest, ANewAddressBecomesTheTopOfTheRememberedList) {
    WriteList("10.0.0.2\r\n");
    dlg.Load();
    dlg.Edit().SetValue(AddressNumber(192, 168, 1, 10));
    ASSERT_TRUE(dlg.Ok());
    EXPECT_EQ(dlg.chosenAddress(), -1062731510);
    EXPECT_EQ(ReadList(), "192.168.1.10\r\n10.0.0.2\r\n");

    dlg.Load();
    EXPECT_EQ(dlg.ListIndex(), 1);
    dlg.SelectItem(2);
    ASSERT_TRUE(dlg.Ok());
    EXPECT_EQ(dlg.chosenAddress(), 0x0A000002);
    EXPECT_FALSE(dlg.listChanged());
    EXPECT_EQ(ReadList(), "192.168.1.10\r\n10.0.0.2\r\n");
}

TEST_F(ChooserTest, OkWithAnIncompleteAddressKeepsTheDialogOpen) {
    dlg.Load();
    dlg.Edit().Edit(0, "", 0);
    EXPECT_FALSE(dlg.Ok());
    EXPECT_TRUE(dlg.IsOpen());
    EXPECT_EQ(dlg.chosenAddress(), 0);
    dlg.Edit().SetValue(0); // 0.0.0.0 is no address either
    EXPECT_FALSE(dlg.Ok());
    dlg.Edit().SetValue(0x0A000009);
    EXPECT_TRUE(dlg.Ok());
    EXPECT_EQ(ReadList(), "10.0.0.9\r\n");
}

TEST_F(ChooserTest, ClearThenCancelLeavesAnEmptyFile) {
    WriteList("10.0.0.2\r\n10.0.0.3\r\n");
    dlg.Load();
    dlg.Clear();
    EXPECT_EQ(Texts(), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(dlg.ListIndex(), 0);
    EXPECT_EQ(Boxes(), "127.0.0.1");
    EXPECT_FALSE(dlg.RemoveEnabled());
    dlg.Cancel();
    EXPECT_EQ(dlg.chosenAddress(), 0);
    ASSERT_TRUE(std::filesystem::exists(ListFile()));
    EXPECT_EQ(ReadList(), "");
}

TEST_F(ChooserTest, RemoveSelectsTheNextItemOrTheLastAndSparesTheLoopback) {
    WriteList("10.0.0.1\r\n10.0.0.2\r\n10.0.0.3\r\n");
    dlg.Load();
    dlg.SelectItem(3);
    dlg.Remove();
    EXPECT_EQ(dlg.ListIndex(), 2);
    EXPECT_EQ(Boxes(), "10.0.0.2");
    dlg.SelectItem(1);
    dlg.Remove();
    EXPECT_EQ(dlg.ListIndex(), 1);
    EXPECT_EQ(Boxes(), "10.0.0.2");
    dlg.SelectItem(0);
    dlg.Remove();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"127.0.0.1", "10.0.0.2"}));
    dlg.CloseBox();
    EXPECT_EQ(dlg.chosenAddress(), 0);
    EXPECT_EQ(ReadList(), "10.0.0.2\r\n");
}

TEST_F(ChooserTest, AddAddressKeepsTheListFreeOfZeroAndRepeats) {
    dlg.Load();
    dlg.AddAddress(0, 1, true);
    dlg.AddAddress(kLoopback, 1, true);
    EXPECT_FALSE(dlg.listChanged());
    dlg.AddAddress(0x0A000001, 5, false); // past the end: appended
    dlg.AddAddress(0x0A000002, 0, false);
    dlg.AddAddress(0x0A000003, 1, false);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"127.0.0.1", "10.0.0.3", "10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(dlg.ListIndex(), 0);
    dlg.SelectItem(2);
    dlg.AddAddress(0x0A000004, 1, false); // the selection stays on its item
    EXPECT_EQ(dlg.ListIndex(), 3);
    EXPECT_EQ(dlg.List()[3].text, "10.0.0.1");
    EXPECT_TRUE(dlg.listChanged());
}

TEST(ParseAddressTest, FourDottedBytesOfOneToThreeDigits) {
    EXPECT_EQ(dlgIPModel::ParseAddress("192.168.1.10"), -1062731510);
    EXPECT_EQ(dlgIPModel::ParseAddress("255.255.255.255"), -1);
    EXPECT_EQ(dlgIPModel::ParseAddress("1.2.3.4.5"), 0x01020304);
    EXPECT_EQ(dlgIPModel::ParseAddress("1.2.3.4."), 0x01020304);
    EXPECT_EQ(dlgIPModel::ParseAddress("010.0.0.1"), 0x0A000001);
    for (const char* bad : {"", "1234", "1.2.3", "300.1.1.1", "1..2.3", "1.2.3.a", " 1.2.3.4", "1.2.3.+4",
                            "1.2.3.0001", "1.2.3.4 ", "0.0.0.0"}) {
        EXPECT_EQ(dlgIPModel::ParseAddress(bad), 0) << bad;
    }
}

TEST(ResourceTextTest, RussianWhereTheUserInterfaceIsRussian) {
    test::ScopedEnv all("LC_ALL", "");
    test::ScopedEnv messages("LC_MESSAGES", "");
    {
        test::ScopedEnv lang("LANG", "en_GB.UTF-8");
        EXPECT_EQ(ResourceText(kTextCancel), "Cancel");
        EXPECT_EQ(ResourceText(kTextTitle), "Select IP Address");
        EXPECT_EQ(ResourceText(kTextSelectAddress), "Please select IP address!");
    }
    test::ScopedEnv lang("LANG", "ru_RU.UTF-8");
    EXPECT_EQ(ResourceText(kTextCancel), "Отмена");
    EXPECT_EQ(ResourceText(kTextClear), "Очистить");
    EXPECT_EQ(ResourceText(kTextRemove), "Удалить");
    EXPECT_EQ(ResourceText(kTextTitle), "Выбор IP адреса");
    EXPECT_EQ(ResourceText(kTextSelectAddress), "Пожалуйста укажите IP адрес!");
    EXPECT_EQ(ResourceText(1), "");
}

} // namespace
} // namespace velmora::ui
