#include "options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string_view>

#include "command_line.h"
#include "stream_reader.h"
#include "velmora/dotted_address.h"

namespace e16rec {
namespace {

constexpr double kWeek = 7 * 86400; // seconds: the longest recording, and file

using Spec = velmora::hosts::OptionSpec<Options>;
using velmora::hosts::ParseNumber;

const std::vector<Spec>& Specs() {
    static const std::string formats = velmora::hosts::FormatNames();
    static const std::vector<Spec> specs = {
        {'c', "channels", "a list of at most 256 channels 0..31 such as 0-3,31",
         [](Options& o, const std::string& v) {
             auto list = ParseChannelList(v);
             if (list) o.channels = *list;
             return list.has_value();
         }},
        // The driver's list bounds it, once the driver is there.
        {'R', "range", "a range number from 0",
         [](Options& o, const std::string& v) { return ParseNumber(v, o.range) && o.range >= 0; }},
        {'r', "rate", "kadrs per second from 0.001 to 500000",
         [](Options& o, const std::string& v) {
             return ParseNumber(v, o.rate) && o.rate >= velmora::hosts::kSlowestRate &&
                    o.rate <= velmora::hosts::kFastestRate;
         }},
        {'t', "time", "seconds above 0, at most 604800",
         [](Options& o, const std::string& v) {
             o.lengthGiven = true;
             return ParseNumber(v, o.seconds) && o.seconds > 0 && o.seconds <= kWeek;
         }},
        {'n', "kadrs", "a number of kadrs from 1 to 10^12",
         [](Options& o, const std::string& v) {
             int64_t n = 0;
             if (!ParseNumber(v, n) || n < 1 || n > 1'000'000'000'000) return false;
             o.kadrs = n;
             o.lengthGiven = true;
             return true;
         }},
        {0, "buffer", "seconds from 1 to 3600",
         [](Options& o, const std::string& v) {
             return ParseNumber(v, o.buffer) && o.buffer >= 1 && o.buffer <= 3600;
         }},
        {0, "split", "seconds from 1 to 604800",
         [](Options& o, const std::string& v) {
             return ParseNumber(v, o.split) && o.split >= 1 && o.split <= kWeek;
         }},
        {'a', "address", velmora::hosts::kAddressTakes,
         [](Options& o, const std::string& v) {
             const auto address = velmora::ParseDotted(v);
             if (!address || *address == 0) return false; // even after a good one
             o.address = *address;
             return true;
         }},
        // A name beginning with - is most likely the next option, the file's
        // name forgotten: such a file is named ./-name.
        {'o', "output", "a file name, or - for none (./-name for a name beginning with -)",
         [](Options& o, const std::string& v) {
             o.output = v;
             return !v.empty() && (v == "-" || v[0] != '-');
         }},
        {'f', "format", formats.c_str(),
         [](Options& o, const std::string& v) {
             o.format = velmora::hosts::FormatNamed(v);
             return o.format.has_value();
         }},
        {0, "inputs", "se or diff",
         [](Options& o, const std::string& v) {
             const auto inputs = velmora::hosts::ParseInputs(v);
             o.inputs = inputs.value_or(InputsChoice::Keep);
             return inputs.has_value();
         }},
        {0, "publish", velmora::hosts::kBoundEndpoint,
         [](Options& o, const std::string& v) {
             o.publish = v;
             return velmora::hosts::IsEndpoint(v, true);
         }},
        {0, "source", velmora::hosts::kConnectedEndpoint,
         [](Options& o, const std::string& v) {
             o.source = v;
             return velmora::hosts::IsEndpoint(v, false);
         }},
        {0, "force", nullptr, [](Options& o, const std::string&) { return o.force = true; }},
        {'q', "quiet", nullptr, [](Options& o, const std::string&) { return o.quiet = true; }},
        {0, "choose-address", nullptr, [](Options& o, const std::string&) { return o.chooseAddress = true; }},
        {0, "setup", nullptr, [](Options& o, const std::string&) { return o.setup = true; }},
    };
    return specs;
}

} // namespace

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options o;
    std::vector<std::string> given;
    if (!velmora::hosts::ParseCommandLine(Specs(), "e16rec", argc, argv, o, given, error))
        return std::nullopt;
    const auto gave = [&given](const char* name) {
        return std::find(given.begin(), given.end(), name) != given.end();
    };
    if (gave("time") && gave("kadrs")) {
        error = "--time and --kadrs both give the length; give one of them";
        return std::nullopt;
    }
    // The dialogs record nothing; --setup opens the module --address names.
    for (const auto& [command, takes] : {std::pair{"setup", "address"}, std::pair{"choose-address", ""}}) {
        if (!gave(command)) continue;
        for (const std::string& other : given)
            if (other != command && other != takes) {
                error = std::string("--") + command + " records nothing; --" + other + " does not go with it";
                return std::nullopt;
            }
    }
    // A stream brings its module, channels and rate, and is not sent on.
    if (!o.source.empty())
        for (const char* other :
             {"publish", "channels", "range", "rate", "address", "inputs", "setup", "choose-address"})
            if (gave(other)) {
                error = std::string(other == std::string_view("publish")
                                        ? "--source records a stream, which it does not publish again"
                                        : "--source takes its module, channels and rate from the stream") +
                        "; --" + other + " does not go with it";
                return std::nullopt;
            }
    error = o.source.empty() ? o.NoKadrIn(o.rate) : "";
    if (!error.empty()) return std::nullopt;
    return o;
}

std::string Options::NoKadrIn(double at) const {
    if (kadrs || UntilStopped() || velmora::hosts::KadrsIn(seconds, at) >= 1) return {};
    char text[160];
    std::snprintf(text, sizeof text, "--time: %g s at %g kadrs/s is less than one kadr; give more time or -n",
                  seconds, at);
    return text;
}

std::string Usage() {
    return "usage: e16rec [options]   records the E16 module through the Lintara driver\n"
           "  -c, --channels LIST  channels 0..31 in scan order, e.g. 0-3,31 (default 0-3)\n"
           "  -R, --range N        every channel's input range by its number in the\n"
           "                       driver's list, 0 for \u00B110 V full scale (default); a\n"
           "                       number past the list is refused with the list\n"
           "  -r, --rate HZ        kadrs per second (default 1000)\n"
           "  -t, --time SECONDS   length of the recording, at most a week (default 2; with\n"
           "                       --publish or --source, until Ctrl-C or the stream's end)\n"
           "  -n, --kadrs N        length as a number of kadrs instead\n"
           "  -a, --address A      the module's address, without asking; the remembered\n"
           "                       addresses stay as they are\n"
           "  -o, --output FILE    .h5, .hdf5 or .he5: HDF5 (codes); any other name: CSV\n"
           "                       (volts); - for none, the summary only (/dev/stdout puts\n"
           "                       the rows on standard output) (default e16rec.csv)\n"
           "  -f, --format F       " +
           velmora::hosts::FormatNames() +
           ", whatever the file's extension\n"
           "      --force          replace an existing file (with --split, every file of\n"
           "                       the series, so that none of an earlier one joins it)\n"
           "      --split SECONDS  a new file every SECONDS (1 to 604800) of data: FILE's\n"
           "                       name gets -0001, -0002, ... before its extension (run.h5:\n"
           "                       run-0001.h5, ...); each file holds its first kadr's\n"
           "                       index (first_kadr), and the CSV time counts from the\n"
           "                       recording's first kadr in all\n"
           "      --buffer SECONDS\n"
           "                       how far the file may fall behind the module before the\n"
           "                       recording ends, 1 to 3600 (default 10); a stream\n"
           "                       (--source) waits for a file that falls behind, while it\n"
           "                       takes something at least every SECONDS\n"
           "      --inputs se|diff\n"
           "                       channels as X1..X16,Y1..Y16 to ground, or XY1..XY16;\n"
           "                       stored, so later runs record the same inputs\n"
           "      --publish ENDPOINT\n"
           "                       publish every block on a ZeroMQ PUB socket as well:\n"
           "                       tcp://*:PORT, tcp://HOST:PORT, tcp://127.0.0.1:* (a free\n"
           "                       port, printed) or ipc://PATH (docs/stream.md)\n"
           "      --source ENDPOINT\n"
           "                       record a publishing e16rec's stream instead of a module:\n"
           "                       -t and -n count kadrs received; gaps go into the file.\n"
           "                       A publisher that sends nothing is waited for without\n"
           "                       end; 10 s without a good message ends it (status 1), and\n"
           "                       a refused message is said once, those alike counted\n"
           "  -q, --quiet          no progress line\n"
           "      --setup          detect the module (--address names it; no other option\n"
           "                       goes with it), open the driver's setup dialog, save what\n"
           "                       OK stored (the dialog needs a display)\n"
           "      --choose-address\n"
           "                       open the driver's address chooser, print the choice (no\n"
           "                       other option goes with it)\n"
           "  -h, --help           this text\n"
           "      --version        e16rec's version\n"
           "\n"
           "Options:\n"
           "  Numbers take a point before their decimals (0.5) whatever the locale;\n"
           "  short options run together (-qt 0.5 is -q -t 0.5).\n"
           "\n"
           "Files:\n"
           "  A file is flushed at least once a second, whole kadrs only: one cut off by a\n"
           "  kill or a crash keeps all but its last second. HDF5 is written in SWMR mode:\n"
           "  h5py reads a file while it grows, or after a kill, with File(name, \"r\",\n"
           "  swmr=True); other readers open one cut off once 'h5clear -s FILE' ran. A\n"
           "  full disk ends the recording with the system's reason; the file keeps every\n"
           "  kadr written before, and the summary counts only those. A file that takes\n"
           "  nothing (a hung disk, a pipe nobody reads) is waited for, aloud, and left\n"
           "  after half a minute (or --buffer, when longer) or at Ctrl-C, with the kadrs\n"
           "  still queued unwritten (exit status 1).\n"
           "\n"
           "Exit status:\n"
           "  0 all kadrs recorded; 1 an error, a full disk, a file that fell --buffer\n"
           "  behind, a recording the driver or the stream ended early, or a stream that\n"
           "  lost kadrs in gaps (the reason on standard error); 2 a bad option; 128 + the\n"
           "  signal when SIGINT, SIGTERM or SIGHUP stopped it (the file then holds every\n"
           "  kadr received, and the summary says so); 0 when a signal ends a run without\n"
           "  -t or -n (--publish, --source).\n";
}

} // namespace e16rec
