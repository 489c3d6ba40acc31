// The hosts' command lines, GNU style: "-t 0.5", "-t0.5", "--time 0.5" and
// "--time=0.5" are the same. Each program lists its options as a table;
// a bad one is refused in one line naming the option and what it takes.
#pragma once

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
const OptionSpec<Options>* FindOption(const std::vector<OptionSpec<Options>>& specs, const std::string& arg,
                                      std::optional<std::string>& value) {
    if (arg.starts_with("--")) {
        const auto equals = arg.find('=');
        if (equals != std::string::npos) value = arg.substr(equals + 1);
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        for (const auto& s : specs)
            if (name == s.longName) return &s;
    } else if (arg.size() >= 2 && arg[0] == '-') {
        if (arg.size() > 2) value = arg.substr(2);
        for (const auto& s : specs)
            if (s.shortName != 0 && arg[1] == s.shortName) return &s;
    }
    return nullptr;
}

// One argument (with the next one when it holds the value); false with
// `error` set when refused.
template <typename Options>
bool TakeOption(const std::vector<OptionSpec<Options>>& specs, const char* program, Options& o, int argc,
                char** argv, int& i, std::vector<std::string>& given, std::string& error) {
    const std::string arg = argv[i];
    std::optional<std::string> value;
    const OptionSpec<Options>* spec = FindOption(specs, arg, value);
    if (spec == nullptr) {
        error = "unknown option " + arg + " (" + program + " --help lists them)";
        return false;
    }
    const std::string named = std::string("--") + spec->longName;
    if (spec->takes == nullptr) {
        if (value) error = named + " takes no value";
        given.push_back(spec->longName);
        return !value && spec->apply(o, "");
    }
    if (!value && i + 1 >= argc) {
        error = named + " needs " + spec->takes;
        return false;
    }
    if (!value) value = argv[++i];
    given.push_back(spec->longName);
    if (!spec->apply(o, *value)) {
        error = named + ": '" + *value + "' is not " + spec->takes;
        return false;
    }
    return true;
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
        if (arg == "-h" || arg == "--help") {
            error.clear();
            return false;
        }
        if (!detail::TakeOption(specs, program, o, argc, argv, i, given, error)) return false;
    }
    return true;
}

} // namespace velmora::hosts
