// Command-line options of e16rec and their parsing. Pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace e16rec {

enum class InputMode { Keep, SingleEnded, Differential };

struct Options {
    std::vector<int16_t> channels{0, 1, 2, 3}; // logical channels in scan order
    int16_t range = 0;                         // range index for every selected channel
    float rate = 1000;                         // kadrs per second
    double seconds = 2.0;
    std::string output = "e16rec.csv"; // "" or "-": no CSV file
    InputMode inputs = InputMode::Keep;
    bool quiet = false;
    bool chooseAddress = false; // only open the address chooser, print the choice
    bool setup = false;         // only detect the module and open the driver's setup dialog
};

// Parses argv; on failure returns nothing and sets `error` (empty for --help).
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);
// "0-3,8,31" → {0,1,2,3,8,31}; nothing on a malformed list.
std::optional<std::vector<int16_t>> ParseChannelList(const std::string& text);
std::string Usage();

} // namespace e16rec
