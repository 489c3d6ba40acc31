// Numbers as the setup pages show and read them: with the user's decimal
// separator, in the general or a fixed-decimals form. Pure functions of the
// value and the locale; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::ui {

// The shortest text of `value` with at most `digits` significant digits and no
// trailing zeros: 10, 0.5, 100000, -1.5 ("E" with an exponent for very large
// or small values).
std::string NumberText(double value, int digits = 15);
// At least `minDecimals` and at most `maxDecimals` decimals: the number as
// written (the shortest text that reads back as `value`) rounded with halves
// away from zero, as a user rounds it. FixedText(5, 1, 3) is "5.0",
// FixedText(0.1, 3, 5) "0.100", FixedText(-0.078125, 3, 5) "-0.07813",
// FixedText(2.675, 0, 2) "2.68"; a zero has no sign.
std::string FixedText(double value, int minDecimals, int maxDecimals);
// The double written as the float's shortest text (0.1f gives 0.1), so that a
// float is rounded as the number it stands for, not as its binary error.
double AsWritten(float value);
// A number typed by the user: blanks around it, an optional sign, digits with
// at most one user's decimal separator, an optional exponent. Nothing for
// any other text, including one with the other separator.
std::optional<double> ReadNumber(std::string_view text);

} // namespace velmora::ui
