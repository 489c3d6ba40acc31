#include "ui/locale_numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/locale.h"

namespace velmora::ui {
namespace {

// The user's separator in place of the C locale's point.
std::string Localised(std::string text) {
    const std::size_t point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, platform::DecimalSeparator());
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The C form of a number in the user's form: sign, digits, separator as a
// point, exponent; empty when the text is not of that shape.
std::string CanonicalNumber(std::string_view text, const std::string& separator) {
    std::string out;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') out += '-';
        ++i;
    }
    bool digits = false;
    bool point = false;
    while (i < text.size()) {
        if (IsDigit(text[i])) {
            out += text[i++];
            digits = true;
        } else if (!point && text.substr(i, separator.size()) == separator) {
            out += '.';
            i += separator.size();
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return {};
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        out += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) out += text[i++];
        const std::size_t first = i;
        while (i < text.size() && IsDigit(text[i])) out += text[i++];
        if (i == first) return {};
    }
    return i == text.size() ? out : std::string();
}

} // namespace

std::string NumberText(double value, int digits) {
    if (value == 0.0) return "0"; // no "-0"
    char buffer[64];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits).ptr;
    std::string text(buffer, end);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return Localised(text);
}

std::string FixedText(double value, int minDecimals, int maxDecimals) {
    maxDecimals = std::max(maxDecimals, 0);
    minDecimals = std::clamp(minDecimals, 0, maxDecimals);
    // Long enough for any double in full, from 1e308 to 5e-324.
    char buffer[400];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
    std::string text(buffer, end);
    if (!std::isfinite(value)) return text;
    const bool negative = text.front() == '-';
    if (negative) text.erase(0, 1);
    if (text.find('.') == std::string::npos) text += '.';
    const std::size_t point = text.find('.');
    const std::size_t kept = point + 1 + static_cast<std::size_t>(maxDecimals);
    if (text.size() <= kept) text.append(kept + 1 - text.size(), '0');
    bool carry = text[kept] >= '5';
    text.resize(kept);
    // A carry runs left past the point and may add a digit: 9.96 is 10.0.
    for (std::size_t i = kept; carry;) {
        if (i == 0) {
            text.insert(0, 1, '1');
            break;
        }
        char& digit = text[--i];
        if (digit == '.') continue;
        carry = digit == '9';
        digit = carry ? '0' : static_cast<char>(digit + 1);
    }
    const std::size_t dot = text.find('.');
    std::size_t keep = text.size();
    while (keep > dot + 1 + static_cast<std::size_t>(minDecimals) && text[keep - 1] == '0') --keep;
    if (keep == dot + 1) --keep; // no decimals left: no point either
    text.resize(keep);
    if (negative && text.find_first_not_of("0.") != std::string::npos) text.insert(0, 1, '-');
    return Localised(text);
}

double AsWritten(float value) {
    if (!std::isfinite(value)) return value;
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    double written = value;
    std::from_chars(buffer, end, written);
    return written;
}

std::optional<double> ReadNumber(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    const std::string number = CanonicalNumber(text, platform::DecimalSeparator());
    if (number.empty()) return std::nullopt;
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc{} || end != number.data() + number.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace velmora::ui
