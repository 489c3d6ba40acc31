// e16scope's command line: what to record and show (e16rec's option names
// where they mean the same), and what to do unattended: record for a while,
// then export the view, save a screenshot or print the measurements, and
// exit. Pure functions; the window applies the result.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channel_table.h"
#include "stream_message.h"
#include "sweep.h"

namespace e16scope {

enum class ViewKind { Time, Spectrum, Xy };
using velmora::hosts::InputsChoice;

// --trigger CHANNEL,rising|falling,LEVEL[,auto|normal|single[,PRETRIGGER]]:
// the channel by its name (X1) or number (0..31), resolved once the driver
// names the channels; the panel's pre-trigger when none is given.
struct TriggerChoice {
    std::string channel;
    bool rising = true;
    double level = 0; // volts
    TriggerMode mode = TriggerMode::Auto;
    std::optional<double> pretrigger; // percent of the window, 0..100
};

// Kadrs per second the window's Rate box takes, and so --rate.
inline constexpr double kMinRate = 1, kMaxRate = velmora::hosts::kFastestRate;
// Decimals of a volt the DAC boxes take, and so --dac1 and --dac2.
inline constexpr int kDacDecimals = 3;

// `value` has digits past `decimals`: written with them, it would be cut.
bool FinerThan(double value, int decimals);

struct ScopeOptions {
    std::string source; // a stream instead of the module
    std::optional<int32_t> address;
    InputsChoice inputs = InputsChoice::Keep;
    std::optional<std::vector<int16_t>> channels;
    std::optional<int> range;                 // every channel's, by its number in the driver's list
    std::array<std::optional<double>, 2> dac; // DAC1's and DAC2's levels, volts
    std::optional<double> rate;               // kadrs per second
    std::optional<double> window;             // seconds
    std::optional<TriggerChoice> trigger;
    std::optional<ViewKind> view;
    std::optional<double> after; // seconds of recording before the actions, then exit
    std::string exportView;      // CSV of the view
    std::string screenshot;      // an image of the window
    bool measure = false;        // the measurement table as CSV on standard output

    // The command line asks for a recording at once: a module, channels, a
    // stream or an unattended run.
    bool StartsAtOnce() const {
        return address || channels || range || dac[0] || dac[1] || !source.empty() || after;
    }
};

// The time windows the window offers, in seconds, shortest first: the first
// and the last bound --window.
const std::vector<double>& WindowChoices();

// Parses argv; on failure returns nothing and sets `error` (empty for --help,
// whose text is Usage()).
std::optional<ScopeOptions> ParseScopeOptions(int argc, char** argv, std::string& error);
std::string Usage();

} // namespace e16scope
