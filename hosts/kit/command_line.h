// The hosts' command lines, GNU style: "-t 0.5", "-t0.5", "--time 0.5" and
// "--time=0.5" are the same, and short options run together as getopt runs
// them ("-qt 0.5" is "-q -t 0.5"). Each program lists its options as a
// table; a bad one is refused in one line naming the option and what it takes.
#pragma once

#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace velmora::hosts {

// What a refusal of --address says it takes, in both hosts' words.
inline constexpr const char* kAddressTakes = "an IPv4 address such as 127.0.0.1";

// The whole of `text` as a T: no trailing characters, no "inf" or "nan";
// `value` stays as it was otherwise.
template <typename T> bool ParseNumber(const std::string& text, T& value) {
    T parsed{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (ec != std::errc() || ptr != end || text.empty()) return false;
    if constexpr (std::is_floating_point_v<T>)
        if (!std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

template <typename Options> struct OptionSpec {
    char shortName; // 0: none
    const char* longName;
    const char* takes; // what a good value is, for the refusal; null: a flag
    std::function<bool(Options&, const std::string&)> apply;
};

namespace detail {

template <typename Options>
const OptionSpec<Options>* FindOption(const std::vector<OptionSpec<Options>>& specs,
                                      const std::string& longName, char shortName) {
    for (const auto& s : specs)
        if (shortName != 0 ? s.shortName == shortName : longName == s.longName) return &s;
    return nullptr;
}

// Applies `spec` with `value`, or with the next argument when it takes one
// and `value` is none; false with `error` set when refused.
template <typename Options>
bool Apply(const OptionSpec<Options>& spec, std::optional<std::string> value, Options& o, int argc,
           char** argv, int& i, std::vector<std::string>& given, std::string& error) {
    const std::string named = std::string("--") + spec.longName;
    given.push_back(spec.longName);
    if (spec.takes == nullptr) {
        if (value) error = named + " takes no value";
        return !value && spec.apply(o, "");
    }
    if (!value && i + 1 >= argc) {
        error = named + " needs " + spec.takes;
        return false;
    }
    if (!value) value = argv[++i];
    if (!spec.apply(o, *value)) {
        error = named + ": '" + *value + "' is not " + spec.takes;
        return false;
    }
    return true;
}

// "-qt0.5" as getopt takes it: a run of flags, the first letter that takes a
// value taking the rest of the argument, or the next argument when none is
// left. -h in the run is help: false with `error` empty.
template <typename Options>
bool TakeShortOptions(const std::vector<OptionSpec<Options>>& specs, const char* program, Options& o,
                      int argc, char** argv, int& i, std::vector<std::string>& given, std::string& error) {
    const std::string arg = argv[i];
    for (size_t at = 1; at < arg.size(); ++at) {
        const OptionSpec<Options>* spec = FindOption(specs, "", arg[at]);
        if (arg[at] == 'h' && spec == nullptr) {
            error.clear();
            return false;
        }
        if (spec == nullptr) { // a word no option begins (-platform), else the letter
            const bool letter = at > 1 && std::isalnum(static_cast<unsigned char>(arg[at]));
            error = "unknown option " + (letter ? std::string("-") + arg[at] : arg) + " (" + program +
                    " --help lists them)";
            return false;
        }
        if (spec->takes == nullptr) {
            if (!Apply(*spec, std::nullopt, o, argc, argv, i, given, error)) return false;
            continue;
        }
        std::optional<std::string> value;
        if (at + 1 < arg.size()) value = arg.substr(at + 1);
        return Apply(*spec, value, o, argc, argv, i, given, error);
    }
    return true;
}

// One argument (with the next one when it holds the value); false with
// `error` set when refused.
template <typename Options>
bool TakeOption(const std::vector<OptionSpec<Options>>& specs, const char* program, Options& o, int argc,
                char** argv, int& i, std::vector<std::string>& given, std::string& error) {
    const std::string arg = argv[i];
    if (arg.size() >= 2 && arg[0] == '-' && arg[1] != '-')
        return TakeShortOptions(specs, program, o, argc, argv, i, given, error);
    const auto equals = arg.find('=');
    const OptionSpec<Options>* spec =
        arg.starts_with("--")
            ? FindOption(specs, arg.substr(2, equals == std::string::npos ? equals : equals - 2), 0)
            : nullptr;
    if (spec == nullptr) {
        error = "unknown option " + arg + " (" + program + " --help lists them)";
        return false;
    }
    std::optional<std::string> value;
    if (equals != std::string::npos) value = arg.substr(equals + 1);
    return Apply(*spec, value, o, argc, argv, i, given, error);
}

} // namespace detail

// Applies argv's options to `o`, the long name of each taken going to
// `given`. False with `error` set on a refusal, or with `error` empty for
// -h or --help.
template <typename Options>
bool ParseCommandLine(const std::vector<OptionSpec<Options>>& specs, const char* program, int argc,
                      char** argv, Options& o, std::vector<std::string>& given, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            error.clear();
            return false;
        }
        if (!detail::TakeOption(specs, program, o, argc, argv, i, given, error)) return false;
    }
    return true;
}

} // namespace velmora::hosts
