// IPv4 addresses as the driver keeps them: a number with the first dotted
// part in the top byte (0: no address), and their dotted text. The one
// parser of a typed address, for the driver and its hosts alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

inline std::string DottedText(int32_t address) {
    const auto v = static_cast<uint32_t>(address);
    return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
           std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
}

// Exactly "a.b.c.d", each part 1 to 3 digits of 0..255; nothing for any other text.
inline std::optional<int32_t> ParseDotted(std::string_view text) {
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return std::nullopt;
            text.remove_prefix(1);
        }
        uint32_t value = 0;
        std::size_t digits = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
            value = value * 10 + static_cast<uint32_t>(text[digits++] - '0');
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        text.remove_prefix(digits);
        address = address << 8 | value;
    }
    if (!text.empty()) return std::nullopt;
    return static_cast<int32_t>(address);
}

} // namespace velmora
