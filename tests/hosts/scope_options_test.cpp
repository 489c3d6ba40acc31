// e16scope's command line: what each option gives, and the one-line refusal
// of each bad value or combination.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "scope_options.h"

namespace e16scope {
namespace {

// A command line's words, none of which holds a space, parsed.
std::optional<ScopeOptions> Parse(const std::string& line, std::string& error) {
    std::vector<std::string> args{"e16scope"};
    std::istringstream in(line);
    for (std::string word; in >> word;) args.push_back(word);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    return ParseScopeOptions(static_cast<int>(argv.size()), argv.data(), error);
}

TEST(ScopeOptions, TakeWhatAScriptGives) {
    std::string error;
    const auto o = Parse("--address 127.0.0.1 --inputs=diff --channels 0-2,31 --rate 5000 --window=0.2 "
                         "--trigger X1,falling,-0.25,single,12 --view fft --after 1.5 --export-view v.csv "
                         "--screenshot=s.png --measure --range 2 --dac2 -2.5",
                         error);
    ASSERT_TRUE(o) << error;
    ASSERT_TRUE(o->trigger);
    EXPECT_EQ(std::tie(o->address, o->inputs, o->channels, o->rate, o->window, o->view, o->after,
                       o->exportView, o->screenshot, o->measure, o->trigger->channel, o->trigger->rising,
                       o->trigger->level, o->trigger->mode, o->trigger->pretrigger),
              std::tuple(0x7F000001, InputsChoice::Differential, std::vector<int16_t>{0, 1, 2, 31}, 5000, 0.2,
                         ViewKind::Spectrum, 1.5, "v.csv", "s.png", true, "X1", false, -0.25,
                         TriggerMode::Single, 12.0));
    EXPECT_EQ(std::tie(o->range, o->dac[0], o->dac[1]), std::tuple(2, std::nullopt, -2.5));
    EXPECT_TRUE(o->StartsAtOnce());
}

// Each bound is taken itself, as the window's boxes take it.
TEST(ScopeOptions, TakeTheEndsOfEachRange) {
    std::string error;
    auto o = Parse("--address 127.0.0.1 --rate 500000 --window 60 --after 604800 --dac1 -10 --dac2 10 "
                   "--trigger X1,rising,0,normal,100",
                   error);
    ASSERT_TRUE(o && o->trigger) << error;
    EXPECT_EQ(std::tie(o->rate, o->window, o->after, o->dac[0], o->dac[1], o->trigger->pretrigger),
              std::tuple(500000, 60, 604800, -10, 10, 100));
    o = Parse("--rate 1 --window 0.01", error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(std::tie(o->rate, o->window), std::tuple(1, 0.01));
}

TEST(ScopeOptions, WithoutOptionsTheWindowWaitsForTheUser) {
    std::string error;
    const auto o = Parse("--window 10 --view xy", error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->view, ViewKind::Xy);
    EXPECT_FALSE(o->StartsAtOnce());
}

TEST(ScopeOptions, RefuseBadValuesAndCombinationsInOneLine) {
    const std::string kTrigger =
        "CHANNEL,rising|falling,LEVEL[,auto|normal|single[,PRETRIGGER]] such as "
        "X1,rising,0 or X1,falling,0.5,single,10 (PRETRIGGER a whole percent from 0 to 100)";
    const struct {
        std::string args, error;
    } cases[] = {
        {"--rate 0.5", "--rate: '0.5' is not a number of kadrs per second from 1 to 500000"},
        {"--rate 600000", "--rate: '600000' is not a number of kadrs per second from 1 to 500000"},
        {"--after 1e9", "--after: '1e9' is not a time in seconds above 0, at most a week (604800)"},
        {"--window 61", "--window: '61' is not a time from 0.01 to 60 seconds"},
        {"--window 0.001", "--window: '0.001' is not a time from 0.01 to 60 seconds"},
        {"--window nan", "--window: 'nan' is not a time from 0.01 to 60 seconds"},
        {"--trigger X1,up,0", "--trigger: 'X1,up,0' is not " + kTrigger},
        {"--trigger ,rising,0", "--trigger: ',rising,0' is not " + kTrigger},
        {"--trigger X1,rising", "--trigger: 'X1,rising' is not " + kTrigger},
        {"--trigger X1,rising,0,sometimes", "--trigger: 'X1,rising,0,sometimes' is not " + kTrigger},
        {"--trigger X1,rising,0,normal,101", "--trigger: 'X1,rising,0,normal,101' is not " + kTrigger},
        {"--trigger X1,rising,0,normal,12.5", "--trigger: 'X1,rising,0,normal,12.5' is not " + kTrigger},
        {"--trigger X1,rising,0,normal,5,9", "--trigger: 'X1,rising,0,normal,5,9' is not " + kTrigger},
        {"--view bode", "--view: 'bode' is not time, spectrum (or fft) or xy"},
        {"--inputs both", "--inputs: 'both' is not se or diff"},
        {"--address 10.0.0", "--address: '10.0.0' is not an IPv4 address such as 127.0.0.1"},
        {"--channels 0-40", "--channels: '0-40' is not a list of channels 0..31 such as 0-3,31, each once"},
        {"--channels 0-3,2", "--channels: '0-3,2' is not a list of channels 0..31 such as 0-3,31, each once"},
        {"--range -1", "--range: '-1' is not a range number from 0"},
        {"--range 1.5", "--range: '1.5' is not a range number from 0"},
        {"--dac1 10.5", "--dac1: '10.5' is not a level from -10 to 10 V of 3 decimals at most"},
        {"--dac2 0.00015", "--dac2: '0.00015' is not a level from -10 to 10 V of 3 decimals at most"},
        {"--after", "--after needs a time in seconds above 0, at most a week (604800)"},
        {"--measure=yes", "--measure takes no value"},
        {"-x", "unknown option -x (e16scope --help lists them)"},
        {"--export-view v.csv", "--export-view needs --after SECONDS (how long to record first)"},
        {"--measure", "--measure needs --after SECONDS (how long to record first)"},
        {"--channels 0-3 --after 1",
         "--after needs --address A or --source ENDPOINT: a script's run asks nobody for the module"},
        {"--source tcp://127.0.0.1:5555 --rate 10",
         "--source takes its module, channels and rate from the stream; --rate does not go with it"},
        {"--source tcp://127.0.0.1:5555 --range 1",
         "--source takes its module, channels and rate from the stream; --range does not go with it"},
        {"--source udp://x", "--source: 'udp://x' is not a ZeroMQ endpoint: tcp://HOST:PORT or ipc://PATH"},
        {"--source tcp://", "--source: 'tcp://' is not a ZeroMQ endpoint: tcp://HOST:PORT or ipc://PATH"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(Parse(c.args, error)) << c.args;
        EXPECT_EQ(error, c.error);
    }
}

TEST(ScopeOptions, HelpIsNoError) {
    std::string error = "stale";
    EXPECT_FALSE(Parse("--rate 5 --help", error));
    EXPECT_EQ(error, "");
}

} // namespace
} // namespace e16scope
