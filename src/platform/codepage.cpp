#include "platform/codepage.h"

#include <algorithm>

namespace velmora::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

char ToAnsiChar(char32_t c) {
    return c <= 0xFF ? static_cast<char>(c) : '?';
}

// Decodes one UTF-8 sequence at text[i], advancing i; malformed input gives
// the replacement character and consumes one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    if (extra < 0 || lead > 0xF4 || i + extra > text.size()) return kReplacement;
    char32_t c = lead & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return kReplacement;
        c = (c << 6) | (next & 0x3F);
    }
    i += extra;
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
    return c;
}

char32_t DecodeUtf16(std::u16string_view text, std::size_t& i) {
    const char16_t unit = text[i++];
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    if (unit >= 0xDC00 || i >= text.size() || text[i] < 0xDC00 || text[i] > 0xDFFF) return kReplacement;
    return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i++] - 0xDC00);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[extra] | (c >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

} // namespace

std::string ToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) out += ToAnsiChar(DecodeUtf16(text, i));
    return out;
}

std::u16string FromAnsi(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char b : bytes) out += static_cast<char16_t>(static_cast<unsigned char>(b));
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) out += ToAnsiChar(DecodeUtf8(utf8, i));
    return out;
}

std::string AnsiToUtf8(std::string_view bytes) {
    // Most stored text is ASCII, the same bytes in UTF-8: copied whole.
    if (std::all_of(bytes.begin(), bytes.end(), [](char b) { return static_cast<unsigned char>(b) < 0x80; }))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes) AppendUtf8(out, static_cast<unsigned char>(b));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) AppendUtf16(out, DecodeUtf8(utf8, i));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) AppendUtf8(out, DecodeUtf16(text, i));
    return out;
}

} // namespace velmora::platform
