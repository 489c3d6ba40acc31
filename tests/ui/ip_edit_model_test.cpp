#include "ui/ip_edit_model.h"

#include <string>

#include <gtest/gtest.h>

namespace velmora::ui {
namespace {

std::string Boxes(const ucIPModel& ip) {
    return ip.Text(3) + "|" + ip.Text(2) + "|" + ip.Text(1) + "|" + ip.Text(0);
}

// Types into the focused box; returns the characters that were accepted.
std::string Type(ucIPModel& ip, const std::string& keys) {
    std::string accepted;
    for (char c : keys)
        if (ip.KeyPress(c)) accepted += c;
    return accepted;
}

TEST(AddressNumberTest, DottedTextAndNumberAgree) {
    EXPECT_EQ(AddressNumber(192, 168, 1, 10), -1062731510);
    EXPECT_EQ(AddressNumber(127, 0, 0, 1), 0x7F000001);
    EXPECT_EQ(DottedText(-1062731510), "192.168.1.10");
    EXPECT_EQ(DottedText(-1), "255.255.255.255");
    EXPECT_EQ(DottedText(0x0A000002), "10.0.0.2");
}

TEST(UcIpTest, ValueFillsTheBoxesMostSignificantOnTheLeft) {
    ucIPModel ip;
    ip.SetValue(-1062731510);
    EXPECT_EQ(Boxes(ip), "192|168|1|10");
    EXPECT_EQ(ip.Value(), -1062731510);
    // Writing the value does not move the focus, even with three digits in it.
    EXPECT_EQ(ip.FocusBox(), 3);
    EXPECT_EQ(ip.SelStart(), 0);
}

TEST(UcIpTest, AnEmptyBoxMakesTheValueZero) {
    ucIPModel ip;
    ip.SetValue(0x0A000002);
    ip.Edit(1, "", 0);
    EXPECT_EQ(ip.Value(), 0);
    EXPECT_EQ(Boxes(ip), "10|0||2");
    ucIPModel fresh;
    EXPECT_EQ(fresh.Value(), 0);
}

TEST(UcIpTest, KeyPressAcceptsOnlyDigitsThatKeepTheBoxAByte) {
    ucIPModel ip;
    ip.Focus(2);
    EXPECT_EQ(Type(ip, "256"), "25");
    EXPECT_EQ(ip.Text(2), "25");
    EXPECT_EQ(Type(ip, ".a -"), "");

    ip.Focus(1);
    EXPECT_EQ(Type(ip, "00"), "0"); // 0 behind a single 0
    EXPECT_EQ(Type(ip, "7"), "7");  // "07" shows as 7
    EXPECT_EQ(ip.Text(1), "7");
    EXPECT_EQ(ip.SelStart(), 1);

    ip.Focus(0, 0);
    EXPECT_EQ(Type(ip, "9"), "9");
    ip.Focus(0, 0);
    EXPECT_EQ(Type(ip, "0"), "0"); // "09", leading zero dropped
    EXPECT_EQ(ip.Text(0), "9");
}

TEST(UcIpTest, BackspaceAndTypingReplaceTheSelection) {
    ucIPModel ip;
    ip.SetValue(AddressNumber(1, 2, 3, 255));
    ip.DoubleClick(0);
    EXPECT_EQ(ip.SelLength(), 3);
    EXPECT_EQ(Type(ip, "1"), "1");
    EXPECT_EQ(ip.Text(0), "1");
    EXPECT_TRUE(ip.KeyPress('\b'));
    EXPECT_EQ(ip.Text(0), "");
    EXPECT_TRUE(ip.KeyPress('\t')); // other control characters pass untouched
    EXPECT_EQ(ip.Text(0), "");

    ip.DoubleClick(0); // nothing to select in an empty box
    EXPECT_EQ(ip.SelLength(), 0);
    ip.Focus(3, 1);
    ip.KeyDown(IpKey::Delete);
    EXPECT_EQ(ip.Text(3), "1");
}

TEST(UcIpTest, TheThirdDigitMovesOnToTheBoxOnTheRight) {
    ucIPModel ip;
    ip.Focus(3);
    EXPECT_EQ(Type(ip, "192168"), "192168");
    EXPECT_EQ(ip.FocusBox(), 1);
    EXPECT_EQ(ip.SelStart(), 0);
    EXPECT_EQ(Type(ip, "1"), "1");
    ip.KeyDown(IpKey::Right);
    EXPECT_EQ(Type(ip, "100"), "100");
    EXPECT_EQ(ip.FocusBox(), 0); // the rightmost box keeps it
    EXPECT_EQ(ip.SelStart(), 3);
    EXPECT_EQ(ip.Value(), AddressNumber(192, 168, 1, 100));
}

TEST(UcIpTest, ArrowsHomeAndEndCrossBoxesOnlyAtTheEdges) {
    ucIPModel ip;
    ip.SetValue(AddressNumber(10, 20, 30, 40));
    ip.Focus(1, 1);
    ip.KeyDown(IpKey::Left);
    EXPECT_EQ(ip.FocusBox(), 1);
    EXPECT_EQ(ip.SelStart(), 0);
    ip.KeyDown(IpKey::Up);
    EXPECT_EQ(ip.FocusBox(), 2);
    EXPECT_EQ(ip.SelStart(), 2);

    ip.KeyDown(IpKey::Down);
    EXPECT_EQ(ip.FocusBox(), 1);
    EXPECT_EQ(ip.SelStart(), 0);
    ip.Focus(1, 0, 2); // a selection reaching the end
    ip.KeyDown(IpKey::Right);
    EXPECT_EQ(ip.FocusBox(), 0);
    EXPECT_EQ(ip.SelStart(), 0);

    ip.KeyDown(IpKey::Home);
    EXPECT_EQ(ip.FocusBox(), 3);
    EXPECT_EQ(ip.SelStart(), 0);
    ip.KeyDown(IpKey::Left); // nothing further left
    EXPECT_EQ(ip.FocusBox(), 3);
    ip.KeyDown(IpKey::End);
    EXPECT_EQ(ip.FocusBox(), 0);
    EXPECT_EQ(ip.SelStart(), 2);
    ip.KeyDown(IpKey::Right);
    EXPECT_EQ(ip.FocusBox(), 0);
}

TEST(UcIpTest, AnInvalidChangeGoesBackToTheLastGoodText) {
    ucIPModel ip;
    ip.Focus(2);
    Type(ip, "12");
    ip.Edit(2, "999", 3);
    EXPECT_EQ(ip.Text(2), "12");
    ip.Edit(2, "1a", 2);
    EXPECT_EQ(ip.Text(2), "12");
    EXPECT_EQ(ip.FocusBox(), 2); // no advance after a refused change

    ip.Edit(2, "-4", 2);
    EXPECT_EQ(ip.Text(2), "0");
    ip.Edit(2, "0200", 4);
    EXPECT_EQ(ip.Text(2), "200");
    ip.Edit(3, "x", 1);
    EXPECT_EQ(ip.Text(3), ""); // its last good text was empty
}

} // namespace
} // namespace velmora::ui
