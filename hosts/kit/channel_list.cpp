#include "channel_list.h"

#include <algorithm>
#include <charconv>

namespace velmora::hosts {
namespace {

bool ParseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// "5" or "2-7"; the dash is looked for after the first character.
bool ParseRange(const std::string& part, int& first, int& last) {
    const auto dash = part.find('-', 1);
    if (dash == std::string::npos) {
        if (!ParseInt(part, first)) return false;
        last = first;
        return true;
    }
    return ParseInt(part.substr(0, dash), first) && ParseInt(part.substr(dash + 1), last);
}

} // namespace

std::optional<std::vector<int16_t>> ParseChannelList(const std::string& text) {
    std::vector<int16_t> channels;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = std::min(text.find(',', start), text.size());
        int first = 0, last = 0;
        if (!ParseRange(text.substr(start, comma - start), first, last)) return std::nullopt;
        if (first < 0 || last > 31 || first > last) return std::nullopt;
        for (int k = first; k <= last; ++k) channels.push_back(static_cast<int16_t>(k));
        if (channels.size() > kMaxInputChannels) return std::nullopt;
        start = comma + 1;
    }
    if (channels.empty()) return std::nullopt;
    return channels;
}

} // namespace velmora::hosts
