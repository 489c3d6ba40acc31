// The worker waits in the library's receive: at rest it makes no timed
// wake-ups, and a stop ends that wait at once instead of after its time-out.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "device/te16.h"
#include "driver/driver_ops.h"
#include "e16sim_control.h"
#include "engine/operations.h"
#include "test_support.h"
#include "ui/scripted_dialogs.h"

namespace velmora::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!device::VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
        auto dialogs = std::make_unique<ui::ScriptedDialogs>();
        dialogs->QueueAddress(0x7F000001);
        ui::ScriptedDialogs& prompt = *dialogs;
        ui::SetDialogs(std::move(dialogs));
        driver::OnObjectCreated(s);
        ASSERT_TRUE(engine::TestDevice(s, prompt)) << s.lastError;
    }
    void TearDown() override {
        while (s.instanceCount > 0) driver::OnObjectDestroyed(s);
        s.acquisition.Join();
        s.module.Release();
        ui::SetDialogs(nullptr);
        e16sim_reset();
    }

    PrivateStore store_;
    driver::DriverState s;
};

TEST_F(WorkerTest, AtRestItWaitsInTheReceiveAndTheStopEndsThatWaitAtOnce) {
    engine::SetInputChannels(s, {0});
    engine::SetRate(s, 1000.0f); // a receive time-out of 5128 ms
    s.sync.mode = core::StartMode::Syn1Rise;
    ASSERT_TRUE(engine::StartRecordChecked(s)) << s.lastError;
    std::this_thread::sleep_for(50ms); // the worker is in its first receive
    e16sim_reset_call_counts();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(e16sim_call_count("X502_Recv"), 0) << "the worker woke up while nothing came";
    EXPECT_EQ(e16sim_call_count("X502_GetRecvReadyCount"), 0) << "the worker polls";
    const auto stop = Clock::now();
    engine::StopRecording(s);
    EXPECT_LT(Clock::now() - stop, 2s) << "the stop waited for the receive's time-out";
    EXPECT_FALSE(s.acquisition.HasWorker());

    // The trigger releases a waiting worker: the block comes as soon as it is made.
    ASSERT_TRUE(engine::StartRecordChecked(s)) << s.lastError;
    std::this_thread::sleep_for(50ms);
    e16sim_fire_edge(E16SIM_INPUT_TRIG, 1);
    const auto fired = Clock::now();
    while (s.ring.CountUnread() == 0 && Clock::now() - fired < 2s) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(s.ring.CountUnread(), s.acquisition.blocks.blockKadrs) << "one whole block";
    engine::StopRecording(s);
}

} // namespace
} // namespace velmora::test
