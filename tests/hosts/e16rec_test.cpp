// e16rec's parts in this process, and the program run as a user runs it:
// channel lists, loss counting, a module cut off mid-recording through the
// simulator's fault controls, and the console's answers.
#include <dlfcn.h>

#include "driver_session.h"
#include "e16sim_control.h"
#include "kadr_stats.h"
#include "options.h"
#include "recorder.h"
#include "test_support.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace e16rec {
namespace {

TEST(E16recOptions, ChannelListsExpandRangesInOrder) {
    EXPECT_EQ(ParseChannelList("0-3,31,8"), (std::vector<int16_t>{0, 1, 2, 3, 31, 8}));
    EXPECT_EQ(ParseChannelList("5"), (std::vector<int16_t>{5}));
    for (const char* bad : {"", "32", "-1", "3-1", "1,,2", "a", "0-40", "1-"})
        EXPECT_FALSE(ParseChannelList(bad).has_value()) << bad;
}

// Codes of the Y16 ramp on the ±10 V range: 3200 codes per volt.
int16_t RampCode(int frame) {
    return static_cast<int16_t>((-5.0 + 0.01 * (frame % 1000)) * 3200.0);
}

// Lost and repeated kadrs are counted across the ramp's wrap, across calls,
// and an unbroken ramp counts none.
TEST(E16recStats, RampCountsLostAndRepeatedKadrs) {
    KadrStats stats({{"X1", 3200}, {"Y16", 3200}}, 1);
    std::vector<int16_t> kadrs;
    for (int frame : {995, 996, 997, 999, 0, 1, 1, 2, 10}) {
        kadrs.push_back(3200);
        kadrs.push_back(RampCode(frame));
    }
    stats.Add(kadrs.data(), static_cast<int32_t>(kadrs.size() / 2));
    EXPECT_EQ(stats.kadrs(), 9);
    EXPECT_EQ(stats.ramp().lost(), 1 + 7) << "998 and 3..9";
    EXPECT_EQ(stats.ramp().repeated(), 1) << "frame 1 twice";
    EXPECT_DOUBLE_EQ(stats.channels()[0].min, 1.0) << "X1 minimum, volts";
    EXPECT_DOUBLE_EQ(stats.channels()[0].sum, 9.0) << "X1 sum, volts";
    EXPECT_NEAR(stats.channels()[1].max, 4.99, 1e-3) << "Y16 maximum, volts";

    KadrStats unbroken({{"Y16", 3200}}, 0);
    std::vector<int16_t> ramp;
    for (int frame = 0; frame < 5000; ++frame) ramp.push_back(RampCode(frame));
    unbroken.Add(ramp.data(), 2500);
    unbroken.Add(ramp.data() + 2500, 2500);
    EXPECT_EQ(unbroken.ramp().lost(), 0);
    EXPECT_EQ(unbroken.ramp().repeated(), 0);
}

// Without a display or a terminal the console answers: the chooser takes the
// preselected address of the program's own folder (a link to it, so a private
// list), and the setup request detects as usual, then says it needs a display.
TEST(E16recRun, ChooseAddressAndSetupAnswerOnTheConsole) {
    velmora::test::PrivateStore store;
    const std::filesystem::path folder = store.dir().path();
    std::filesystem::create_symlink(std::filesystem::absolute("e16rec"), folder / "e16rec");
    std::ofstream(folder / "iplist.txt") << "10.0.0.2\r\n10.0.0.3\r\n";
    const std::string console = "env -u DISPLAY -u WAYLAND_DISPLAY ";
    const auto chosen =
        velmora::test::RunCommand(console + folder.string() + "/e16rec --choose-address </dev/null", folder);
    EXPECT_EQ(chosen.exit, 0);
    EXPECT_EQ(chosen.out, "10.0.0.2\n");
    EXPECT_NE(chosen.err.find("not a terminal"), std::string::npos) << "taken without a word: " << chosen.err;
    EXPECT_EQ(velmora::test::Slurp(folder / "iplist.txt"), "10.0.0.2\r\n10.0.0.3\r\n") << "the list changed";
    const auto setup = velmora::test::RunCommand(console + "./e16rec --setup </dev/null", folder);
    EXPECT_EQ(setup.exit, 0) << setup.err;
    EXPECT_NE((setup.out + setup.err).find("127.0.0.1"), std::string::npos)
        << "no detection before the setup";
    EXPECT_NE(setup.err.find("The setup dialog needs a display"), std::string::npos) << setup.err;
}

// A module that goes silent ends the recording with the driver's word on
// it and the count of kadrs that never came, instead of hanging or
// passing for a complete file.
TEST(E16recLoss, ADisconnectEndsTheRecordingWithTheDriversText) {
    velmora::test::PrivateStore store;
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    DriverSession session;
    std::string error;
    ASSERT_TRUE(session.Create(error)) << error;
    Options options;
    options.seconds = 30;
    Recorder recorder(session.adc(), options);
    ASSERT_TRUE(recorder.Prepare(error)) << error;
    // The driver has loaded the simulator from its folder; this is the same copy.
    void* simulator = ::dlopen((DriverFolder() / "libe16sim.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(simulator, nullptr);
    auto disconnectAfter = reinterpret_cast<decltype(&e16sim_fault_disconnect_after)>(
        ::dlsym(simulator, "e16sim_fault_disconnect_after"));
    ASSERT_EQ(disconnectAfter(0, 4 * 500), 0);

    std::atomic<bool> stop{false};
    RecordingResult result;
    EXPECT_TRUE(recorder.Record(nullptr, stop, result, error)) << error;
    EXPECT_EQ(result.requested, 30000);
    EXPECT_LT(result.stats->kadrs(), 1000);
    EXPECT_EQ(result.endedEarly.rfind("no data for 5 s", 0), 0u) << result.endedEarly;
    ::dlclose(simulator);
}

} // namespace
} // namespace e16rec
