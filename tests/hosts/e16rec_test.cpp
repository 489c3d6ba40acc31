// e16rec's parts in this process: channel lists, loss counting, and its
// commands against the simulated module: a module cut off mid-recording
// through the simulator's fault controls, and a store that refuses the
// driver's settings.
#include <dlfcn.h>

#include "commands.h"
#include "driver_session.h"
#include "e16sim_control.h"
#include "kadr_stats.h"
#include "options.h"
#include "store_connection.h"
#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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

// What a command says, kept in memory.
class Said {
public:
    Said() : out_(::open_memstream(&outText_, &outSize_)), err_(::open_memstream(&errText_, &errSize_)) {}
    ~Said() {
        std::fclose(out_);
        std::fclose(err_);
        std::free(outText_);
        std::free(errText_);
    }
    Said(const Said&) = delete;
    Said& operator=(const Said&) = delete;

    Console io() const { return {out_, err_}; }
    std::string out() const { return Text(out_, outText_, outSize_); }
    std::string err() const { return Text(err_, errText_, errSize_); }

private:
    static std::string Text(std::FILE* stream, char* const& text, const std::size_t& size) {
        std::fflush(stream);
        return std::string(text, size);
    }
    char* outText_ = nullptr;
    char* errText_ = nullptr;
    std::size_t outSize_ = 0, errSize_ = 0;
    std::FILE* out_;
    std::FILE* err_;
};

// The module at 127.0.0.1, whatever the remembered list holds, and no display.
class E16recCommand : public ::testing::Test {
protected:
    static Options Quick() {
        Options o;
        o.address = 0x7F000001;
        o.output = "-";
        o.quiet = true;
        return o;
    }

    velmora::test::PrivateStore store;
    velmora::test::ScopedEnv display{"DISPLAY", std::nullopt};
    velmora::test::ScopedEnv wayland{"WAYLAND_DISPLAY", std::nullopt};
};

// A module lost mid-recording: the driver ends the recording, e16rec keeps
// every kadr that came before, passes on the driver's word and exits 1.
TEST_F(E16recCommand, ALostModuleEndsTheRecordingWithTheDriversText) {
    // The simulator the driver takes from its folder, loaded first so that
    // the fault is armed before the module opens.
    void* simulator =
        ::dlopen((velmora::hosts::DriverBeside().parent_path() / "libe16sim.so").c_str(), RTLD_NOW);
    ASSERT_NE(simulator, nullptr) << ::dlerror();
    auto disconnectAfter = reinterpret_cast<decltype(&e16sim_fault_disconnect_after)>(
        ::dlsym(simulator, "e16sim_fault_disconnect_after"));
    ASSERT_EQ(disconnectAfter(E16SIM_MODULE_DAC, 4 * 500), 0) << "500 kadrs of four channels";

    Options options = Quick();
    options.seconds = 30;
    Said said;
    EXPECT_EQ(RecordCommand(options, said.io()), 1);
    EXPECT_NE(said.out().find("recorded 500 of 30000 kadrs"), std::string::npos) << said.out();
    EXPECT_NE(said.out().find("lost: 29500 kadrs never came"), std::string::npos) << said.out();
    const std::string lead = "e16rec: the recording ended early: ";
    const std::string err = said.err();
    ASSERT_EQ(err.rfind(lead, 0), 0u) << err;
    // The module library's own words, which e16rec has none of.
    EXPECT_NE(err.find("Connection to the module was lost", lead.size()), std::string::npos) << err;
    ::dlclose(simulator);
}

// A store that refuses the driver's settings: a recording stands and says
// so; --setup, whose point the settings are, fails.
TEST_F(E16recCommand, SettingsTheStoreRefusesAreSaid) {
    velmora::reg::HKEY key = 0;
    ASSERT_EQ(velmora::reg::RegCreateKeyEx(velmora::reg::HKEY_CURRENT_USER, "Software\\e16rec test",
                                           velmora::reg::KEY_ALL_ACCESS, &key, nullptr),
              velmora::reg::ERROR_SUCCESS)
        << "the store exists once it holds something";
    velmora::reg::RegCloseKey(key);
    velmora::test::StoreConnection connection;
    connection.PoisonValue("ADChannels"); // in every save of the driver's settings

    const struct {
        int (*command)(const Options&, Console);
        int exit;
        std::string lead;
        std::string out;
    } cases[] = {
        {&RecordCommand, 0, "e16rec: warning: the settings were not saved: ", "recorded 300 of 300 kadrs"},
        {&SetupCommand, 1, "e16rec: the settings were not saved: ", "module: SIM0001 "},
    };
    Options options = Quick();
    options.kadrs = 300;
    // The driver's reason, from its LastError.
    const std::string reason = "The settings under HKEY_CURRENT_USER\\Software\\Tervan\\ADC\\L-Card\\E16 "
                               "were not saved: ";
    for (const auto& c : cases) {
        Said said;
        EXPECT_EQ(c.command(options, said.io()), c.exit) << c.lead;
        EXPECT_EQ(said.err().rfind(c.lead + reason, 0), 0u) << said.err();
        EXPECT_NE(said.out().find(c.out), std::string::npos) << said.out();
    }
    connection.Cure();
    Said said;
    EXPECT_EQ(SetupCommand(options, said.io()), 0) << said.err();
    EXPECT_EQ(said.err(), "");
    EXPECT_NE(said.out().find("\nsettings saved\n"), std::string::npos) << said.out();
}

} // namespace
} // namespace e16rec
