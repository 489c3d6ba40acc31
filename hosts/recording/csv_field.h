// A CSV field as the hosts' files write it, the recording's header and
// e16scope's exports alike: a text with a comma, a quote or a line break is
// quoted (its quotes doubled), as any CSV reader takes it back.
#pragma once

#include <string>
#include <string_view>

namespace velmora::hosts {

inline void AppendCsvField(std::string& out, std::string_view text) {
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

} // namespace velmora::hosts
