// e16rec's recorder in this process against the simulated module, so the
// simulator's fault controls can cut the module off mid-recording.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "driver_session.h"
#include "e16sim_control.h"
#include "recorder.h"
#include "test_support.h"

namespace e16rec {
namespace {

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
