// Command-line options of e16rec and their parsing, GNU style: "-t 0.5",
// "-t0.5", "--time 0.5" and "--time=0.5" are the same, and "-qt 0.5" is
// "-q -t 0.5". A bad value is refused with one line naming the option and
// what it takes. Pure functions.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channel_list.h"
#include "channel_table.h"
#include "kadr_count.h"
#include "recording_file.h"

namespace e16rec {

using velmora::hosts::InputsChoice;

struct Options {
    std::vector<int16_t> channels{0, 1, 2, 3}; // logical channels in scan order
    int16_t range = 0;                         // range index for every selected channel
    float rate = 1000;                         // kadrs per second, as requested
    double seconds = 2.0;                      // unless kadrs is given
    std::optional<int64_t> kadrs;
    double buffer = 10;                // seconds of kadrs the file writer may fall behind the drain
    double split = 0;                  // seconds of kadrs per file; 0: one file
    std::optional<int32_t> address;    // the module's IPv4 address, instead of the driver's chooser
    std::string output = "e16rec.csv"; // "-": no file
    std::optional<velmora::hosts::FileFormat> format; // by default, the output's extension
    InputsChoice inputs = InputsChoice::Keep;
    bool force = false;
    bool quiet = false;
    bool chooseAddress = false; // only open the address chooser, print the choice
    bool setup = false;         // only open the driver's setup dialog
    bool lengthGiven = false;   // -t or -n
    std::string publish;        // a ZeroMQ endpoint to publish the recording on
    std::string source;         // a ZeroMQ endpoint to record from, instead of a module

    // No length given to a run that has no natural end: it goes on until a
    // signal (a publisher) or the publisher's end (a source).
    bool UntilStopped() const { return !lengthGiven && (!publish.empty() || !source.empty()); }
    // The file writer's queue, and the publisher's, in kadrs at `rate`.
    int64_t BufferKadrs(double rate) const {
        return std::max<int64_t>(velmora::hosts::KadrsIn(buffer, rate), 1);
    }

    // Why --time holds no kadr at `rate` (a stream's is known at its first
    // message); "" when it holds one or the length is not a time.
    std::string NoKadrIn(double rate) const;

    velmora::hosts::FileFormat FileFormat() const {
        return format.value_or(velmora::hosts::FormatOf(output));
    }
};

// Parses argv; on failure returns nothing and sets `error` (empty for --help).
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);
using velmora::hosts::ParseChannelList;
std::string Usage();

} // namespace e16rec
