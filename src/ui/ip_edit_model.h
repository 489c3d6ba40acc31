// ucIPModel: the behaviour of the address edit control ucIP (four number boxes
// with focus, caret and selection) without a toolkit, plus the conversions
// between address numbers and dotted text. Not thread-safe; one UI thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "velmora/dotted_address.h"

namespace velmora::ui {

// a.b.c.d <-> a x 2^24 + b x 2^16 + c x 2^8 + d as a two's-complement
// number; the text of a number is velmora::DottedText.
int32_t AddressNumber(uint8_t a, uint8_t b, uint8_t c, uint8_t d);
// The value of a box text: optional spaces and sign around decimal digits.
// Empty when the text is not such a number; very long numbers saturate.
std::optional<int64_t> BoxNumber(std::string_view text);

enum class IpKey { Left, Up, Right, Down, Home, End, Delete };

class ucIPModel {
public:
    static constexpr int kBoxes = 4;
    static constexpr int kLeftmost = kBoxes - 1;

    // Box i holds byte i: box 3 is the leftmost (most significant), box 0 the
    // rightmost. Get clears the first box that is not a number 0..255 and
    // returns 0 then.
    int32_t Value();
    void SetValue(int32_t address);

    const std::string& Text(int box) const { return text_.at(static_cast<std::size_t>(box)); }
    int FocusBox() const { return focus_; }
    int SelStart() const { return selStart_; }
    int SelLength() const { return selLength_; }

    // The user puts the focus into a box (click, tab) with a caret and selection.
    void Focus(int box, int selStart = 0, int selLength = 0);
    // A character typed into the focused box: false when refused. Digits and
    // backspace edit the text; other control characters pass unchanged.
    bool KeyPress(char ch);
    void KeyDown(IpKey key);
    // A change the view made to a box itself (paste, cut), caret after it.
    void Edit(int box, std::string text, int caret);
    void DoubleClick(int box);

private:
    int Length(int box) const { return static_cast<int>(Text(box).size()); }
    // Sets a box's text as the program does; the change rules run when it differs.
    void AssignText(int box, std::string text, int caret);
    void Changed(int box);
    void EraseSelectionOr(int from, int count);
    void MoveCaret(int step);

    std::array<std::string, kBoxes> text_{};
    std::array<std::string, kBoxes> lastGood_{};
    int focus_ = kLeftmost;
    int selStart_ = 0;
    int selLength_ = 0;
};

} // namespace velmora::ui
