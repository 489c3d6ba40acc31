#include "scope_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "channel_list.h"
#include "command_line.h"
#include "stream_reader.h"
#include "velmora/dotted_address.h"

namespace e16scope {
namespace {

constexpr double kWeek = 7 * 86400;

using velmora::hosts::ParseNumber;

bool Positive(const std::string& text, std::optional<double>& value, double most) {
    double v = 0;
    if (!ParseNumber(text, v) || v <= 0 || v > most) return false;
    value = v;
    return true;
}

// Within the outputs' ±10 V and their decimals, as the DAC boxes take it.
bool DacLevel(const std::string& text, std::optional<double>& level) {
    double volts = 0;
    if (!ParseNumber(text, volts) || std::fabs(volts) > 10 || FinerThan(volts, kDacDecimals)) return false;
    level = volts;
    return true;
}

std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
        const std::size_t comma = text.find(',', from);
        fields.push_back(text.substr(from, comma - from));
        if (comma == std::string::npos) return fields;
        from = comma + 1;
    }
}

std::optional<TriggerMode> ParseMode(const std::string& text) {
    if (text == "auto") return TriggerMode::Auto;
    if (text == "normal") return TriggerMode::Normal;
    if (text == "single") return TriggerMode::Single;
    return std::nullopt;
}

// "X1,rising,0.25" or "X1,rising,0.25,normal,20": the channel's text is
// checked once the driver names them.
std::optional<TriggerChoice> ParseTrigger(const std::string& text) {
    const std::vector<std::string> fields = Fields(text);
    if (fields.size() < 3 || fields.size() > 5 || fields[0].empty()) return std::nullopt;
    TriggerChoice trigger;
    trigger.channel = fields[0];
    if (fields[1] != "rising" && fields[1] != "falling") return std::nullopt;
    trigger.rising = fields[1] == "rising";
    if (!ParseNumber(fields[2], trigger.level)) return std::nullopt;
    if (fields.size() > 3) {
        const std::optional<TriggerMode> mode = ParseMode(fields[3]);
        if (!mode) return std::nullopt;
        trigger.mode = *mode;
    }
    if (fields.size() > 4) {
        double percent = 0;
        // Whole, as the window's pre-trigger box takes it: 12.5 would be 13 unsaid.
        if (!ParseNumber(fields[4], percent) || percent < 0 || percent > 100 ||
            percent != std::floor(percent))
            return std::nullopt;
        trigger.pretrigger = percent;
    }
    return trigger;
}

// What --window takes: the window's own choices bound it.
const char* WindowTakes() {
    static const std::string text = [] {
        char line[64];
        std::snprintf(line, sizeof line, "a time from %g to %g seconds", WindowChoices().front(),
                      WindowChoices().back());
        return std::string(line);
    }();
    return text.c_str();
}

std::optional<ViewKind> ParseView(const std::string& text) {
    if (text == "time") return ViewKind::Time;
    if (text == "spectrum" || text == "fft") return ViewKind::Spectrum;
    if (text == "xy") return ViewKind::Xy;
    return std::nullopt;
}

using Spec = velmora::hosts::OptionSpec<ScopeOptions>;

const std::vector<Spec>& Specs() {
    static const std::vector<Spec> specs = {
        {0, "source", velmora::hosts::kConnectedEndpoint,
         [](ScopeOptions& o, const std::string& v) {
             o.source = v;
             return velmora::hosts::IsEndpoint(v, false);
         }},
        {0, "address", velmora::hosts::kAddressTakes,
         [](ScopeOptions& o, const std::string& v) {
             return (o.address = velmora::ParseDotted(v)).has_value();
         }},
        {0, "inputs", "se or diff",
         [](ScopeOptions& o, const std::string& v) {
             const auto inputs = velmora::hosts::ParseInputs(v);
             o.inputs = inputs.value_or(InputsChoice::Keep);
             return inputs.has_value();
         }},
        {0, "channels", "a list of channels 0..31 such as 0-3,31, each once",
         [](ScopeOptions& o, const std::string& v) {
             // The window shows a channel once: a second mention would be dropped unsaid.
             o.channels = velmora::hosts::ParseChannelList(v);
             if (!o.channels) return false;
             std::vector<int16_t> sorted = *o.channels;
             std::sort(sorted.begin(), sorted.end());
             return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
         }},
        // The driver's list bounds it, once the driver is there.
        {0, "range", "a range number from 0",
         [](ScopeOptions& o, const std::string& v) {
             int range = -1;
             return ParseNumber(v, range) && (o.range = range) >= 0;
         }},
        {0, "dac1", "a level from -10 to 10 V of 3 decimals at most",
         [](ScopeOptions& o, const std::string& v) { return DacLevel(v, o.dac[0]); }},
        {0, "dac2", "a level from -10 to 10 V of 3 decimals at most",
         [](ScopeOptions& o, const std::string& v) { return DacLevel(v, o.dac[1]); }},
        {0, "rate", "a number of kadrs per second from 1 to 500000",
         [](ScopeOptions& o, const std::string& v) {
             return Positive(v, o.rate, kMaxRate) && *o.rate >= kMinRate;
         }},
        {0, "window", WindowTakes(),
         [](ScopeOptions& o, const std::string& v) {
             return Positive(v, o.window, WindowChoices().back()) && *o.window >= WindowChoices().front();
         }},
        {0, "trigger",
         "CHANNEL,rising|falling,LEVEL[,auto|normal|single[,PRETRIGGER]] such as X1,rising,0 or "
         "X1,falling,0.5,single,10 (PRETRIGGER a whole percent from 0 to 100)",
         [](ScopeOptions& o, const std::string& v) { return (o.trigger = ParseTrigger(v)).has_value(); }},
        {0, "view", "time, spectrum (or fft) or xy",
         [](ScopeOptions& o, const std::string& v) { return (o.view = ParseView(v)).has_value(); }},
        {0, "after", "a time in seconds above 0, at most a week (604800)",
         [](ScopeOptions& o, const std::string& v) { return Positive(v, o.after, kWeek); }},
        {0, "export-view", "a file name",
         [](ScopeOptions& o, const std::string& v) { return !(o.exportView = v).empty(); }},
        {0, "screenshot", "a file name",
         [](ScopeOptions& o, const std::string& v) { return !(o.screenshot = v).empty(); }},
        {0, "measure", nullptr, [](ScopeOptions& o, const std::string&) { return o.measure = true; }},
    };
    return specs;
}

// The combinations that cannot work, named before anything is opened.
bool Consistent(const ScopeOptions& o, const std::vector<std::string>& given, std::string& error) {
    const auto has = [&](const char* name) {
        return std::find(given.begin(), given.end(), name) != given.end();
    };
    if (!o.source.empty())
        for (const char* other : {"address", "inputs", "channels", "range", "rate", "dac1", "dac2"})
            if (has(other)) {
                error = std::string("--source takes its module, channels and rate from the stream; --") +
                        other + " does not go with it";
                return false;
            }
    // Unattended, nobody would answer the driver's address chooser.
    if (o.after && !o.address && o.source.empty()) {
        error = "--after needs --address A or --source ENDPOINT: a script's run asks nobody for the module";
        return false;
    }
    if (!o.after)
        for (const char* action : {"export-view", "screenshot", "measure"})
            if (has(action)) {
                error = std::string("--") + action + " needs --after SECONDS (how long to record first)";
                return false;
            }
    return true;
}

} // namespace

const std::vector<double>& WindowChoices() {
    static const std::vector<double> choices{0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 60};
    return choices;
}

bool FinerThan(double value, int decimals) {
    const double scaled = value * std::pow(10.0, decimals);
    return std::fabs(scaled - std::round(scaled)) > 1e-6 * std::max(1.0, std::fabs(scaled));
}

std::optional<ScopeOptions> ParseScopeOptions(int argc, char** argv, std::string& error) {
    ScopeOptions o;
    std::vector<std::string> given;
    if (!velmora::hosts::ParseCommandLine(Specs(), "e16scope", argc, argv, o, given, error))
        return std::nullopt;
    if (!Consistent(o, given, error)) return std::nullopt;
    return o;
}

std::string Usage() {
    return R"(Usage: e16scope [OPTION]...
Shows the E16 module's analog inputs live through the Lintara driver: the
signals against time, their spectrum or one against another, with a
trigger, measurements and cursors.

  --address A          the module's address, without asking; the remembered
                       list and the setup dialog's address stay as they are
  --inputs se|diff     store the channel table first: X1..X16, Y1..Y16
                       against ground, or XY1..XY16 differential
  --channels LIST      channels 0..31, each once, e.g. 0-3,31; they are
                       scanned in their panel's order, 0 first
  --range N            every channel's input range by its number in the
                       driver's list, 0 for ±10 V full scale; a number past
                       the list is refused with the list
  --rate R             kadrs per second, 1 to 500000
  --dac1 V, --dac2 V   the analog outputs' levels, -10 to 10 volts to a
                       millivolt, set before the recording starts (refused
                       while the setup dialog's waveform generator plays on
                       them)
  --window SECONDS     the time the view spans, 0.01 to 60
  --trigger CHANNEL,rising|falling,LEVEL[,MODE[,PRETRIGGER]]
                       a display trigger, e.g. X1,rising,0 (volts; the
                       channel by its name or number); MODE auto (the
                       default), normal or single; PRETRIGGER the whole
                       percent of the window before the trigger point, 0 to 100
  --view time|spectrum|fft|xy
                       the view shown (fft is the spectrum)
  --source ENDPOINT    watch what e16rec --publish sends (tcp://HOST:PORT or
                       ipc://PATH) instead of the module
  --after SECONDS      record that long, do what the options below ask, and
                       exit: 0 when all of it was done, 1 otherwise; with
                       --address or --source, as nobody answers a chooser.
                       The actions wait for the module's SECONDS x rate
                       kadrs, at most 2 s more (then status 1); a stream
                       is watched for SECONDS
  --export-view FILE   the samples in the view as CSV: time_s (from the
                       trigger point, else from the recording's start) then
                       volts per channel; in the spectrum, frequency_hz then
                       dBV
  --screenshot FILE    the window as an image: PNG, or JPEG or BMP for a
                       name ending in .jpg or .bmp
  --measure            the measurement table as CSV on standard output:
                       channel,min_v,max_v,mean_v,rms_v,vpp_v,freq_hz,clipped
                       (clipped: 1 when a sample reached its range's end;
                       freq_hz nan when no frequency is measured)
  -h, --help           this text
      --version        e16scope's version

With --address, --channels, --range, --dac1, --dac2, --source or --after the
recording starts at once; otherwise Test detects the module (the driver asks
for its address) and Start records the checked channels. Setup opens the
driver's setup dialog, Record to file writes the recording as CSV, or as
HDF5 for a name ending in .h5, .hdf5 or .he5. The panel below the channels
sets the analog outputs' levels and shows and toggles the digital lines. The
status bar names the module the driver opened and, when the driver ends a
recording by itself (a lost connection, an overflow, silence), why; Test or
Start then opens the module again. With no display, run it with
QT_QPA_PLATFORM=offscreen.

The window's settings are written as it closes (not after --after) to
velmora/e16scope.conf in $XDG_CONFIG_HOME, or in ~/.config when unset.
)";
}

} // namespace e16scope
