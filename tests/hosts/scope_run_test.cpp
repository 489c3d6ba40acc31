// e16scope run unattended, as a script runs it, through its real window with
// no display: against the simulated module (X1..X4 are sines of 0.5, 1, 1.5
// and 2 V at 10, 20, 30 and 40 Hz) or e16rec's stream of it, what a
// triggered export, the spectrum's export and --measure say, and how a run
// that cannot do them ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using velmora::test::Slurp;
using velmora::test::Split;

// A CSV of a header and rows of numbers.
struct Table {
    std::vector<std::string> names;
    std::vector<std::vector<double>> rows;

    std::size_t Column(const std::string& name) const {
        const auto at = std::ranges::find(names, name);
        EXPECT_NE(at, names.end()) << "no column " << name;
        return at == names.end() ? 0 : static_cast<std::size_t>(at - names.begin());
    }
};

Table Parse(const std::string& text) {
    Table table;
    std::istringstream lines(text);
    std::string line;
    if (std::getline(lines, line)) table.names = Split(line);
    while (std::getline(lines, line)) {
        std::vector<double> row;
        for (const std::string& field : Split(line)) row.push_back(std::strtod(field.c_str(), nullptr));
        table.rows.push_back(row);
    }
    return table;
}

class ScopeRun : public ::testing::Test {
protected:
    // The module is the simulated one at 127.0.0.1 with 32 single-ended
    // inputs, X1..X4 recorded at 2000 kadrs/s unless `args` say otherwise.
    velmora::test::Ran Scope(const std::string& args) {
        return Run("--address 127.0.0.1 --inputs se --channels 0-3 --rate 2000 " + args);
    }
    // As from cron or ssh: no display and no runtime folder, whose notice
    // stays off standard error.
    velmora::test::Ran Run(const std::string& args) {
        const std::string command =
            "env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR QT_QPA_PLATFORM=offscreen ./e16scope " +
            args + " </dev/null";
        return velmora::test::RunCommand(command, store.dir().path());
    }
    // e16scope watching what e16rec publishes of the same module: X1..X4 at
    // 2000 kadrs/s, stopped when e16scope ends.
    velmora::test::Ran Watch(const std::string& args) {
        const std::string endpoint = "ipc://" + File("pub");
        const std::string command =
            "{ ./e16rec -a 127.0.0.1 --inputs se -c 0-3 -r 2000 -q -t 10 -o - --publish " + endpoint +
            " >/dev/null 2>&1 & env -u DISPLAY -u WAYLAND_DISPLAY "
            "QT_QPA_PLATFORM=offscreen ./e16scope --source " +
            endpoint + " " + args + " </dev/null; s=$?; kill $!; wait; exit $s; }";
        return velmora::test::RunCommand(command, store.dir().path());
    }
    std::string File(const char* name) const { return (store.dir().path() / name).string(); }

    velmora::test::PrivateStore store;
};

// Exports of the module 0.55 s apart, Auto and Normal, and of e16rec's
// stream start their time at X1's upward crossing of 0 V. A stream names its
// channels with its first message: --trigger takes effect then, by name or by
// position, and a name it lacks is refused as for the module.
TEST_F(ScopeRun, TriggeredExportsPutTheCrossingAtTimeZero) {
    const struct {
        bool stream;
        const char* args;
        const char* err; // null: exported
    } cases[] = {
        {false, "--after 0.6 --trigger X1,rising,0", nullptr},
        {false, "--after 1.15 --trigger X1,rising,0,normal,50", nullptr},
        {true, "--after 2 --trigger X1,rising,0", nullptr},
        {true, "--after 2 --trigger 0,rising,0", nullptr},
        {true, "--after 2 --trigger Z9,rising,0", "e16scope: --trigger: no recorded channel is named Z9\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::filesystem::remove(File("view.csv"));
        const std::string args = std::string(c.args) + " --window 0.2 --export-view " + File("view.csv");
        const auto ran = c.stream ? Watch(args) : Scope(args);
        EXPECT_EQ(ran.exit, c.err == nullptr ? 0 : 1) << ran.err;
        if (c.err != nullptr) {
            EXPECT_THAT(ran.err, testing::EndsWith(c.err));
            continue;
        }
        EXPECT_EQ(ran.err, "") << "a line not e16scope's";
        // 0.2 s of X1..X4 whose time starts before X1's upward crossing of 0 V
        // and passes it at time 0.
        const Table view = Parse(Slurp(File("view.csv")));
        ASSERT_EQ(view.names, (std::vector<std::string>{"time_s", "X1", "X2", "X3", "X4"}));
        ASSERT_NEAR(view.rows.size(), 400, 2); // 0.2 s at 2000 kadrs/s
        const std::size_t x1 = view.Column("X1");
        std::size_t zero = 0; // the first row at or after time 0
        while (zero < view.rows.size() && view.rows[zero][0] < 0) ++zero;
        ASSERT_TRUE(zero > 0 && zero + 10 < view.rows.size()) << "time 0 at row " << zero;
        EXPECT_LT(view.rows[zero][0], 1.0 / 2000);
        EXPECT_LT(view.rows[zero - 1][x1], 0.0);
        EXPECT_GE(view.rows[zero][x1], 0.0);
        EXPECT_GT(view.rows[zero + 10][x1], view.rows[zero][x1]); // rising
    }
}

// The picture of the window is that of a window a person uses, offscreen too.
TEST_F(ScopeRun, SpectrumPeaksAtTheSinesFrequencies) {
    const auto ran = Scope("--window 1 --view spectrum --after 1.5 --export-view " + File("spectrum.csv") +
                           " --screenshot " + File("window.png"));
    ASSERT_EQ(ran.exit, 0) << ran.err;
    const std::string png = Slurp(File("window.png"));
    ASSERT_GE(png.size(), 24u);
    const auto bigEndian = [&png](std::size_t at) {
        return (uint32_t{uint8_t(png[at])} << 24) | (uint32_t{uint8_t(png[at + 1])} << 16) |
               (uint32_t{uint8_t(png[at + 2])} << 8) | uint8_t(png[at + 3]);
    };
    EXPECT_GE(bigEndian(16), 1280u) << "width";
    EXPECT_GE(bigEndian(20), 800u) << "height";
    const Table spectrum = Parse(Slurp(File("spectrum.csv")));
    ASSERT_GE(spectrum.rows.size(), 3u);
    ASSERT_EQ(spectrum.names.front(), "frequency_hz");
    const double bin = spectrum.rows[1][0] - spectrum.rows[0][0];
    // X2 at 20 Hz: the rate and the channel passed on to the spectrum.
    const std::size_t c = spectrum.Column("X2");
    const auto peak = std::max_element(spectrum.rows.begin() + 1, spectrum.rows.end(),
                                       [c](const auto& a, const auto& b) { return a[c] < b[c]; });
    EXPECT_NEAR((*peak)[0], 20, bin);
}

// A rate past the module's is said, as e16rec says it, and measured at the rate set.
TEST_F(ScopeRun, MeasurementsMatchTheSines) {
    const auto ran = Scope("--rate 200000 --window 1 --trigger X1,rising,0 --after 1.5 --measure");
    ASSERT_EQ(ran.exit, 0) << ran.err;
    EXPECT_THAT(ran.err,
                testing::HasSubstr(
                    "e16scope: adjusted rate: 200000 kadrs/s asked, 125000 kadrs/s set by the driver\n"));
    const Table table = Parse(ran.out);
    ASSERT_EQ(table.rows.size(), 4u) << ran.out;
    const struct { double amplitude, hz; } sines[] = {{0.5, 10}, {1, 20}, {1.5, 30}};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::vector<double>& row = table.rows[i];
        EXPECT_NEAR(row[table.Column("vpp_v")], 2 * sines[i].amplitude, 0.02 * 2 * sines[i].amplitude);
        EXPECT_NEAR(row[table.Column("freq_hz")], sines[i].hz, 0.02 * sines[i].hz) << "at the rate set";
    }
    EXPECT_THAT(ran.out, testing::HasSubstr("\nX1,"));
    // On ±0.625 V X1's 0.5 V stays whole, X2's 1 V clips.
    const Table narrow = Parse(Scope("--range 2 --after 0.5 --measure").out);
    ASSERT_EQ(narrow.rows.size(), 4u);
    const std::size_t clipped = narrow.Column("clipped"), max = narrow.Column("max_v");
    EXPECT_EQ(std::pair(narrow.rows[0][clipped], narrow.rows[1][clipped]), std::pair(0.0, 1.0));
    EXPECT_NEAR(narrow.rows[1][max], 0.64, 0.001);
}

// The outputs' levels are set before the start; the simulated module loops
// DAC1 and DAC2 back to X15 and X16.
TEST_F(ScopeRun, TheDacLevelsGivenComeBackOnX15AndX16) {
    const auto ran = Run(
        "--address 127.0.0.1 --inputs se --channels 14,15 --dac1 1.5 --dac2 -2.345 --after 0.5 --measure");
    ASSERT_EQ(ran.exit, 0) << ran.err;
    const Table table = Parse(ran.out);
    ASSERT_EQ(table.rows.size(), 2u) << ran.out;
    const std::size_t mean = table.Column("mean_v");
    EXPECT_EQ(std::pair(table.rows[0][mean], table.rows[1][mean]), std::pair(1.5, -2.345));
}

// What a run cannot do ends it with status 1 and the reason, for the script
// that started it to see.
TEST_F(ScopeRun, WhatCannotBeDoneEndsTheRunWithItsReason) {
    const std::pair<std::string, std::string> cases[] = {
        {"--trigger Z9,rising,0 --measure", "e16scope: --trigger: no recorded channel is named Z9\n"},
        {"--range 9 --measure",
         "e16scope: the driver has no range 9; its ranges are 0 (\u00b110 V), 1 (\u00b12.5 V), "
         "2 (\u00b10.625 V), 3 (\u00b10.156 V)\n"},
        {"--range 3 --trigger X2,rising,0.17 --measure",
         "e16scope: --trigger: X2 never reaches 0.17 V: its codes reach -0.160000 to 0.159995 V\n"},
        {"--trigger X2,rising,5,normal --measure",
         "e16scope: nothing measured: no samples in the view yet\n"},
        {"--export-view /nonexistent/v.csv",
         "e16scope: cannot export the view: cannot write /nonexistent/v.csv: No such file or directory\n"},
        {"--screenshot /nonexistent/s.png",
         "e16scope: cannot write /nonexistent/s.png: No such file or directory\n"}};
    for (const auto& [args, reason] : cases) {
        const auto ran = Scope("--after 0.5 " + args);
        EXPECT_EQ(ran.exit, 1) << args;
        EXPECT_THAT(ran.err, testing::EndsWith(reason)) << args;
        EXPECT_EQ(ran.out, "") << args << ": no table of nothing measured";
    }
    // A stream that sends nothing.
    const std::string silent = "ipc://" + File("silent");
    const auto ran = Run("--source " + silent + " --after 0.5 --measure");
    EXPECT_EQ(ran.exit, 1);
    EXPECT_EQ(ran.err, "e16scope: no message from " + silent + " for 0.5 s\n");
}

// Ctrl-C, a hang-up or a kill from the terminal close the window as its
// close box does: the window's choices are kept for the next start, and the
// status says the signal, as the shell would.
TEST_F(ScopeRun, ASignalClosesTheWindowAsItsCloseBoxDoes) {
    const auto conf = store.dir().path() / "velmora" / "e16scope.conf";
    for (const auto& [name, status] : {std::pair{"INT", 130}, {"TERM", 143}, {"HUP", 129}}) {
        SCOPED_TRACE(name);
        std::filesystem::remove(conf);
        const std::string signal = name;
        // Sent once it catches the three (SigCgt bits 1, 2 and 15), whatever its start
        // takes; a background job would ignore Ctrl-C unless told otherwise.
        const velmora::test::Ran r = velmora::test::RunCommand(
            "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen env --default-signal"
            " ./e16scope --address 127.0.0.1 --channels 0-2 </dev/null & p=$!; for i in $(seq 300); do "
            "m=$(awk '/^SigCgt/ {print $2}' /proc/$p/status); "
            "[ $(( 0x${m:-0} & 0x4003 )) -eq $(( 0x4003 )) ] && break; sleep 0.1; done; kill -" +
                signal + " $p; wait $p",
            store.dir().path());
        EXPECT_EQ(r.exit, status) << r.err;
        EXPECT_THAT(Slurp(conf), testing::HasSubstr("channels=0, 1, 2\n"));
    }
}

} // namespace
