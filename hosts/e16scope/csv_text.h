// CSV numbers for the scope's exports, written with to_chars, without locale
// and fast; a text field goes through the recordings' AppendCsvField.
#pragma once

#include <charconv>
#include <cmath>
#include <string>

namespace e16scope {

// NaN is written "nan", as strtod and Python's float read it.
inline void AppendNumber(std::string& out, double value, std::chars_format format, int precision) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, format, precision);
    out.append(text, error == std::errc{} ? end : text);
}

// `decimals` (at most 9) decimals, rounded; much faster than to_chars with a
// precision, which a view of 5 million values needs. Huge values and NaN go
// through to_chars.
inline void AppendFixed(std::string& out, double value, int decimals) {
    static constexpr double kScale[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    const double scaled = value * kScale[decimals];
    if (!(std::abs(scaled) < 9e18)) return AppendNumber(out, value, std::chars_format::fixed, decimals);
    long long units = std::llround(scaled);
    if (units < 0) out += '-', units = -units;
    const auto one = static_cast<long long>(kScale[decimals]);
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, units / one).ptr;
    if (decimals > 0) {
        *end++ = '.';
        long long fraction = units % one;
        for (int d = decimals - 1; d >= 0; --d, fraction /= 10)
            end[d] = static_cast<char>('0' + fraction % 10);
        end += decimals;
    }
    out.append(text, end);
}

} // namespace e16scope
