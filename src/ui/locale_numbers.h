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
// At least `minDecimals` and at most `maxDecimals` decimals, rounded to the
// nearest: FixedText(5, 1, 3) is "5.0", FixedText(0.1, 3, 5) is "0.100".
std::string FixedText(double value, int minDecimals, int maxDecimals);
// A number typed by the user: blanks around it, an optional sign, digits with
// at most one user's decimal separator, an optional exponent. Nothing for
// any other text, including one with the other separator.
std::optional<double> ReadNumber(std::string_view text);
// Rounded to `decimals` places, halves to the even neighbour.
double RoundHalfEven(double value, int decimals);

} // namespace velmora::ui
