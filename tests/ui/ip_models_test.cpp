// The address boxes and the address chooser without a toolkit: the typing
// rules, focus moves, the remembered list and its file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "list_folder_test.h"
#include "test_support.h"
#include "ui/ip_chooser_model.h"
#include "ui/ip_edit_model.h"

namespace velmora::ui {
namespace {

std::string Boxes(const ucIPModel& ip) {
    return ip.Text(3) + "." + ip.Text(2) + "." + ip.Text(1) + "." + ip.Text(0);
}

// Types into the focused box; returns the characters that were accepted.
std::string Type(ucIPModel& ip, const std::string& keys) {
    std::string accepted;
    for (char c : keys)
        if (ip.KeyPress(c)) accepted += c;
    return accepted;
}

TEST(UcIpTest, EveryBoxStaysAByteAndAnEmptyOneMeansNoAddress) {
    ucIPModel ip;
    ip.Focus(2);
    EXPECT_EQ(Type(ip, "256.a"), "25") << "a digit past 255, a dot or a letter";
    ip.Focus(1);
    EXPECT_EQ(Type(ip, "00"), "0") << "a 0 behind a lone 0";
    EXPECT_EQ(Type(ip, "7"), "7");
    EXPECT_EQ(Boxes(ip), ".25.7.") << "\"07\" shows as 7";
    ip.SetValue(0x0A000002);
    ip.Edit(1, "", 0);
    EXPECT_EQ(ip.Value(), 0) << "an empty box";
    EXPECT_EQ(Boxes(ip), "10.0..2") << "the other boxes kept";
}

TEST(UcIpTest, TheThirdDigitMovesOnToTheNextBox) {
    ucIPModel ip; // the focus starts in the leftmost box
    EXPECT_EQ(Type(ip, "192168"), "192168");
    EXPECT_EQ(ip.FocusBox(), 1) << "after two full boxes";
    EXPECT_EQ(Type(ip, "1"), "1");
    ip.KeyDown(IpKey::Right);
    EXPECT_EQ(Type(ip, "100"), "100");
    EXPECT_EQ(ip.FocusBox(), 0) << "the rightmost box keeps the focus";
    EXPECT_EQ(ip.Value(), AddressNumber(192, 168, 1, 100));
}

TEST(UcIpTest, ArrowsHomeAndEndCrossBoxesOnlyAtTheEdges) {
    ucIPModel ip;
    ip.SetValue(AddressNumber(10, 20, 30, 40));
    // Focused box, caret, selection length; the key; the box and caret after it.
    const std::tuple<int, int, int, IpKey, int, int> moves[] = {
        {1, 1, 0, IpKey::Left, 1, 0},  {1, 0, 0, IpKey::Up, 2, 2},   {2, 2, 0, IpKey::Down, 1, 0},
        {1, 0, 2, IpKey::Right, 0, 0}, {0, 0, 0, IpKey::Home, 3, 0}, {3, 0, 0, IpKey::Left, 3, 0},
        {3, 0, 0, IpKey::End, 0, 2},   {0, 2, 0, IpKey::Right, 0, 2}};
    for (const auto& [box, caret, length, key, toBox, toCaret] : moves) {
        SCOPED_TRACE(testing::Message() << "key " << static_cast<int>(key) << " in box " << box << " at "
                                        << caret << " selecting " << length);
        ip.Focus(box, caret, length);
        ip.KeyDown(key);
        EXPECT_EQ(ip.FocusBox(), toBox) << "box";
        EXPECT_EQ(ip.SelStart(), toCaret) << "caret";
    }
}

class ChooserTest : public ListFolderTest {
protected:
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& item : dlg.List()) texts.push_back(item.text);
        return texts;
    }

    dlgIPModel dlg{dir.path()};
};

TEST_F(ChooserTest, WithoutAListFileOnlyTheLoopbackIsOfferedAndNothingIsWritten) {
    dlg.Load();
    EXPECT_EQ(Texts(), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(Boxes(dlg.Edit()), "127.0.0.1");
    EXPECT_FALSE(dlg.RemoveEnabled()) << "the loopback can be removed";
    ASSERT_TRUE(dlg.Ok());
    EXPECT_EQ(dlg.chosenAddress(), 0x7F000001);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "iplist.txt")) << "a list file was written";
}

TEST_F(ChooserTest, TheFileGivesItsValidNewAddressesAndANewChoiceGoesOnTop) {
    const std::string file = "10.0.0.2\r\n300.1.1.1\r\n10.0.0.2\r\n1.2.3.4.5\r\n010.0.0.1\r\n";
    WriteList(file);
    dlg.Load();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"127.0.0.1", "10.0.0.2", "1.2.3.4", "10.0.0.1"}));
    EXPECT_EQ(dlg.ListIndex(), 1) << "the file's first address is selected";
    EXPECT_EQ(Boxes(dlg.Edit()), "10.0.0.2");
    dlg.Cancel();
    EXPECT_EQ(dlg.chosenAddress(), 0) << "after Cancel";
    EXPECT_EQ(ReadList(), file) << "unchanged, so not rewritten";

    dlg.Load();
    dlg.Edit().SetValue(AddressNumber(192, 168, 1, 10));
    ASSERT_TRUE(dlg.Ok());
    EXPECT_EQ(dlg.chosenAddress(), -1062731510);
    EXPECT_EQ(ReadList(), "192.168.1.10\r\n10.0.0.2\r\n1.2.3.4\r\n10.0.0.1\r\n") << "the new choice on top";
}

TEST_F(ChooserTest, OkWithoutAnAddressKeepsTheDialogOpen) {
    dlg.Load();
    dlg.Edit().Edit(0, "", 0);
    EXPECT_FALSE(dlg.Ok()) << "an empty box"; // the view shows text 151
    EXPECT_TRUE(dlg.IsOpen());
    dlg.Edit().SetValue(0);
    EXPECT_FALSE(dlg.Ok()) << "0.0.0.0";
    EXPECT_EQ(dlg.chosenAddress(), 0);
}

TEST_F(ChooserTest, ClearThenCancelLeavesAnEmptyFile) {
    WriteList("10.0.0.2\r\n10.0.0.3\r\n");
    dlg.Load();
    dlg.Clear();
    EXPECT_EQ(Texts(), std::vector<std::string>{"127.0.0.1"}) << "after Clear";
    EXPECT_EQ(Boxes(dlg.Edit()), "127.0.0.1") << "after Clear";
    dlg.Cancel();
    EXPECT_EQ(dlg.chosenAddress(), 0);
    ASSERT_TRUE(std::filesystem::exists(dir.path() / "iplist.txt")) << "Cancel removed the file";
    EXPECT_EQ(ReadList(), "") << "Cancel undid the Clear";
}

TEST_F(ChooserTest, RemoveSelectsTheNextItemOrTheLastAndSparesTheLoopback) {
    WriteList("10.0.0.1\r\n10.0.0.2\r\n10.0.0.3\r\n");
    dlg.Load();
    // Item removed; the item selected and the address shown after it.
    const std::tuple<int32_t, int32_t, std::string> removals[] = {
        {3, 2, "10.0.0.2"}, {1, 1, "10.0.0.2"}, {0, 0, "127.0.0.1"}};
    for (const auto& [item, selected, shown] : removals) {
        dlg.SelectItem(item);
        dlg.Remove();
        EXPECT_EQ(dlg.ListIndex(), selected) << "removing " << item;
        EXPECT_EQ(Boxes(dlg.Edit()), shown) << "removing " << item;
    }
    EXPECT_EQ(Texts(), (std::vector<std::string>{"127.0.0.1", "10.0.0.2"}));
    dlg.CloseBox();
    EXPECT_EQ(dlg.chosenAddress(), 0) << "after closing the box";
    EXPECT_EQ(ReadList(), "10.0.0.2\r\n") << "the removals are kept on a close";
}

} // namespace
} // namespace velmora::ui
