#include "comrt/guid_text.h"

#include <cstdio>

namespace velmora::com {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads `digits` hex digits at `pos` as one big-endian number.
bool ReadHex(std::string_view text, size_t pos, int digits, uint64_t* value) {
    *value = 0;
    for (int k = 0; k < digits; ++k) {
        const int digit = HexValue(text[pos + k]);
        if (digit < 0) return false;
        *value = (*value << 4) | static_cast<uint64_t>(digit);
    }
    return true;
}

} // namespace

std::string GuidToText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return text;
}

bool TextToGuid(std::string_view text, GUID* guid) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return false;
    uint64_t d1 = 0, d2 = 0, d3 = 0, d4 = 0, d5 = 0;
    if (!ReadHex(text, 1, 8, &d1) || !ReadHex(text, 10, 4, &d2) || !ReadHex(text, 15, 4, &d3) ||
        !ReadHex(text, 20, 4, &d4) || !ReadHex(text, 25, 12, &d5)) {
        return false;
    }
    guid->Data1 = static_cast<uint32_t>(d1);
    guid->Data2 = static_cast<uint16_t>(d2);
    guid->Data3 = static_cast<uint16_t>(d3);
    guid->Data4[0] = static_cast<uint8_t>(d4 >> 8);
    guid->Data4[1] = static_cast<uint8_t>(d4);
    for (int k = 0; k < 6; ++k) guid->Data4[2 + k] = static_cast<uint8_t>(d5 >> (40 - 8 * k));
    return true;
}

std::string ToLatin1(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text) bytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return bytes;
}

std::u16string FromLatin1(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (char b : bytes) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(b)));
    return text;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string utf8;
    for (char b : bytes) {
        const auto c = static_cast<unsigned char>(b);
        if (c < 0x80) {
            utf8.push_back(b);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return utf8;
}

bool Utf8ToLatin1(std::string_view utf8, std::string* bytes) {
    bytes->clear();
    for (size_t k = 0; k < utf8.size(); ++k) {
        const auto c = static_cast<unsigned char>(utf8[k]);
        if (c < 0x80) {
            bytes->push_back(static_cast<char>(c));
            continue;
        }
        // Only U+0080..U+00FF fit: lead byte 0xC2 or 0xC3 and one continuation.
        if ((c != 0xC2 && c != 0xC3) || k + 1 >= utf8.size()) return false;
        const auto next = static_cast<unsigned char>(utf8[++k]);
        if ((next & 0xC0) != 0x80) return false;
        bytes->push_back(static_cast<char>(((c & 0x1F) << 6) | (next & 0x3F)));
    }
    return true;
}

} // namespace velmora::com
