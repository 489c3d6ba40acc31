// CSV text for the scope's exports: fields quoted only when they must be, and
// numbers written with to_chars, without locale and fast.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

namespace e16scope {

// A channel's name as a field: quoted (quotes doubled) when it holds a
// comma, a quote or a line break.
inline void AppendField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// NaN is written "nan", as strtod and Python's float read it.
inline void AppendNumber(std::string& out, double value, std::chars_format format, int precision) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, format, precision);
    out.append(text, error == std::errc{} ? end : text);
}

} // namespace e16scope
