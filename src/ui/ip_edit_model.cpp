#include "ui/ip_edit_model.h"

#include "velmora/dotted_address.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace velmora::ui {
namespace {

constexpr int kMaxDigits = 3;
constexpr int64_t kMaxByte = 255;
constexpr int64_t kSaturated = 1'000'000'000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "0" followed by a digit: the box shows the number without leading zeros.
bool HasLeadingZero(const std::string& text) {
    return text.size() >= 2 && text[0] == '0' && IsDigit(text[1]);
}

} // namespace

int32_t AddressNumber(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return static_cast<int32_t>(uint32_t{a} << 24 | uint32_t{b} << 16 | uint32_t{c} << 8 | uint32_t{d});
}

std::optional<int64_t> BoxNumber(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    const bool negative = text.front() == '-';
    if (text.front() == '+' || negative) text.remove_prefix(1);
    if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return std::nullopt;
    int64_t value = 0;
    for (char c : text) value = std::min(value * 10 + (c - '0'), kSaturated);
    return negative ? -value : value;
}

int32_t ucIPModel::Value() {
    uint32_t result = 0;
    for (int i = 0; i < kBoxes; ++i) {
        const auto n = BoxNumber(Text(i));
        if (!n || *n < 0 || *n > kMaxByte) {
            AssignText(i, "", 0);
            return 0;
        }
        result |= static_cast<uint32_t>(*n) << (8 * i);
    }
    return static_cast<int32_t>(result);
}

void ucIPModel::SetValue(int32_t address) {
    const auto v = static_cast<uint32_t>(address);
    for (int i = 0; i < kBoxes; ++i) AssignText(i, std::to_string((v >> (8 * i)) & 0xFF), 0);
}

void ucIPModel::Focus(int box, int selStart, int selLength) {
    focus_ = std::clamp(box, 0, kLeftmost);
    selStart_ = std::clamp(selStart, 0, Length(focus_));
    selLength_ = std::clamp(selLength, 0, Length(focus_) - selStart_);
}

bool ucIPModel::KeyPress(char ch) {
    if (static_cast<unsigned char>(ch) < 32) {
        if (ch == '\b') EraseSelectionOr(selStart_ - 1, 1);
        return true;
    }
    if (!IsDigit(ch)) return false;
    const std::string& text = Text(focus_);
    const std::string result = text.substr(0, static_cast<std::size_t>(selStart_)) + ch +
                               text.substr(static_cast<std::size_t>(selStart_ + selLength_));
    const auto n = BoxNumber(result);
    if (static_cast<int>(result.size()) > kMaxDigits || !n || *n > kMaxByte) return false;
    if (ch == '0' && result.starts_with("00")) return false;
    AssignText(focus_, result, selStart_ + 1);
    return true;
}

void ucIPModel::KeyDown(IpKey key) {
    switch (key) {
    case IpKey::Left:
    case IpKey::Up:
        if (focus_ < kLeftmost && selStart_ == 0)
            Focus(focus_ + 1, Length(focus_ + 1));
        else
            MoveCaret(-1);
        break;
    case IpKey::Right:
    case IpKey::Down:
        if (focus_ >= 1 && selStart_ + selLength_ >= Length(focus_))
            Focus(focus_ - 1, 0);
        else
            MoveCaret(1);
        break;
    case IpKey::Home:
        Focus(kLeftmost, 0);
        break;
    case IpKey::End:
        Focus(0, Length(0));
        break;
    case IpKey::Delete:
        EraseSelectionOr(selStart_, 1);
        break;
    }
}

void ucIPModel::Edit(int box, std::string text, int caret) {
    focus_ = std::clamp(box, 0, kLeftmost);
    AssignText(focus_, std::move(text), caret);
}

void ucIPModel::DoubleClick(int box) {
    Focus(box, 0, Length(std::clamp(box, 0, kLeftmost)));
}

void ucIPModel::AssignText(int box, std::string text, int caret) {
    std::string& current = text_.at(static_cast<std::size_t>(box));
    const bool changed = current != text;
    current = std::move(text);
    if (box == focus_) Focus(box, caret, 0);
    if (changed) Changed(box);
}

// The text change rules: an invalid text goes back to the box's last good
// text; a valid one is normalised and, after the third digit, the focus
// moves on to the box on the right.
void ucIPModel::Changed(int box) {
    const std::string began = Text(box);
    const auto n = BoxNumber(began);
    if (!began.empty() && (!n || *n > kMaxByte)) {
        AssignText(box, lastGood_.at(static_cast<std::size_t>(box)), 0);
        return;
    }
    if (!began.empty() && (*n <= 0 || HasLeadingZero(began))) {
        const std::string normal = std::to_string(std::max<int64_t>(*n, 0));
        AssignText(box, normal, static_cast<int>(normal.size()));
    }
    lastGood_.at(static_cast<std::size_t>(box)) = began;
    if (box == focus_ && selStart_ == kMaxDigits && box >= 1) Focus(box - 1, 0);
}

void ucIPModel::EraseSelectionOr(int from, int count) {
    if (selLength_ == 0 && (from < 0 || from + count > Length(focus_))) return;
    const int start = selLength_ > 0 ? selStart_ : from;
    const int length = selLength_ > 0 ? selLength_ : count;
    std::string text = Text(focus_);
    text.erase(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    AssignText(focus_, std::move(text), start);
}

void ucIPModel::MoveCaret(int step) {
    int caret = selStart_ + step;
    if (selLength_ > 0) caret = step < 0 ? selStart_ : selStart_ + selLength_;
    Focus(focus_, caret, 0);
}

} // namespace velmora::ui
