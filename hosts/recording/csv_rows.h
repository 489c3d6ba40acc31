// The text of CSV rows: each kadr's time, then each code in volts with six
// decimals (more at a scale where six would merge codes). The volts come from
// a table of every code's text per codes-per-volt scale, made once with
// std::to_chars, so that a row is a run of copies: the formatting keeps up
// with the module many times over.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "recording_file.h"

namespace velmora::hosts {

// How much of `text` one write takes so that it ends a line and holds no
// more than `limit` bytes: all of it when it fits, its first line when
// that alone is longer.
std::size_t WholeLinesWithin(std::string_view text, std::size_t limit);

class CsvRows {
public:
    explicit CsvRows(const RecordingInfo& info);
    // Seconds from the recording's first kadr (`firstKadr` is the first
    // row's index in the recording), then the volts; appends to `out`.
    void Append(std::size_t firstKadr, const int16_t* codes, std::size_t kadrs, std::string& out) const;

    // One code's text: its length, then its characters.
    using Text = std::array<char, 16>;
    using Table = std::vector<Text>; // indexed by the code + 32768

private:
    struct Column {
        double codesPerVolt;
        int decimals;
        std::shared_ptr<const Table> texts; // null: a text too long for one; to_chars per value
    };
    char* Row(char* at, std::size_t kadr, const int16_t* codes) const;

    std::vector<Column> columns_;
    double rate_;
    std::size_t longestRow_ = 0; // bytes a row may take while it is made
};

} // namespace velmora::hosts
