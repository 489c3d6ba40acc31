#include "options.h"

#include <charconv>
#include <cstring>

namespace e16rec {
namespace {

template <typename T> bool ParseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ParseRange(const std::string& part, int& first, int& last) {
    const auto dash = part.find('-', 1);
    if (dash == std::string::npos) {
        if (!ParseNumber(part, first)) return false;
        last = first;
        return true;
    }
    return ParseNumber(part.substr(0, dash), first) && ParseNumber(part.substr(dash + 1), last);
}

// Applies one option that takes a value; false when the value is bad.
bool ApplyValue(Options& o, const std::string& name, const std::string& value) {
    if (name == "-c" || name == "--channels") {
        auto list = ParseChannelList(value);
        if (list) o.channels = *list;
        return list.has_value();
    }
    if (name == "-R" || name == "--range") return ParseNumber(value, o.range) && o.range >= 0 && o.range <= 3;
    if (name == "-r" || name == "--rate") return ParseNumber(value, o.rate) && o.rate > 0;
    if (name == "-t" || name == "--time") return ParseNumber(value, o.seconds) && o.seconds > 0;
    if (name == "-o" || name == "--output") {
        o.output = value;
        return true;
    }
    if (name == "--inputs") {
        if (value == "se")
            o.inputs = InputMode::SingleEnded;
        else if (value == "diff")
            o.inputs = InputMode::Differential;
        else
            return false;
        return true;
    }
    return false;
}

bool TakesValue(const std::string& name) {
    static const char* const kNames[] = {"-c", "--channels", "-R", "--range",  "-r",      "--rate",
                                         "-t", "--time",     "-o", "--output", "--inputs"};
    for (const char* n : kNames)
        if (name == n) return true;
    return false;
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
        start = comma + 1;
    }
    if (channels.empty()) return std::nullopt;
    return channels;
}

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            error.clear();
            return std::nullopt;
        }
        if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
            continue;
        }
        if (arg == "--choose-address") {
            o.chooseAddress = true;
            continue;
        }
        if (arg == "--setup") {
            o.setup = true;
            continue;
        }
        if (!TakesValue(arg)) {
            error = "unknown option " + arg;
            return std::nullopt;
        }
        if (i + 1 >= argc || !ApplyValue(o, arg, argv[i + 1])) {
            error = "bad or missing value for " + arg;
            return std::nullopt;
        }
        ++i;
    }
    return o;
}

std::string Usage() {
    return "usage: e16rec [options]\n"
           "Records the E16 module (or its simulator) through the Lintara driver.\n"
           "  -c, --channels LIST  logical channels in scan order, e.g. 0-3,31 (default 0-3)\n"
           "  -R, --range N        input range 0..3: ±10, ±2.5, ±0.625, ±0.156 V (default 0)\n"
           "  -r, --rate HZ        kadrs per second, per channel (default 1000)\n"
           "  -t, --time SECONDS   recording time (default 2)\n"
           "  -o, --output FILE    CSV file in volts, '-' for none (default e16rec.csv)\n"
           "      --inputs se|diff store the driver's channel table first: channel k is\n"
           "                       X1..X16, Y1..Y16 against ground (se) or XY1..XY16 (diff)\n"
           "  -q, --quiet          no progress line\n"
           "      --choose-address only open the driver's address chooser and print the\n"
           "                       address chosen; exit status 1 when none was\n"
           "      --setup          only detect the module and open the driver's setup\n"
           "                       dialog; what OK stores is saved when the program ends\n"
           "                       (the dialog needs a display; without one the driver\n"
           "                       says so and nothing changes)\n"
           "The module's address is asked for by the driver (a non-interactive run takes\n"
           "the first address of iplist.txt next to the driver, or 127.0.0.1).\n";
}

} // namespace e16rec
