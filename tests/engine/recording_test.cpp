// Recording from the simulated module: the numbers a start programs, the
// worker waiting for the host, the generator's cycle load, and what a stop or
// the last object leaves behind.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "engine/channels.h"
#include "engine/input_ring.h"
#include "engine_fixture.h"
#include "output/dac_output.h"

namespace velmora::test {
namespace {

using namespace engine;
using RecordingTest = EngineTest;

constexpr int16_t kRampInput = 31; // Y16 carries the frame ramp

// Y16 against ground on range 0 at frame m: -5 V + 0.01 V * (m mod 1000).
int16_t RampCode(int64_t frame) {
    return static_cast<int16_t>(-16000 + 32 * (frame % 1000));
}

// Polls `done` every few ms until it holds or ten seconds pass.
template <typename Done> bool WaitFor(Done done) {
    for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

TEST_F(RecordingTest, BlockSizeTimeoutScalesAndDecimation) {
    Detect();
    SetInputChannels(s, {0, 1});
    driver::SetChannelRange(s, 1, 2);
    driver::SetRate(s, 1000.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(s.blockKadrs, 64); // the first power of two lasting 40 ms
    EXPECT_EQ(ReceiveTimeout(s), 5128);
    EXPECT_EQ(ModuleState().in_step, 128u);
    ASSERT_EQ(s.scaleTable.size(), 128u);
    for (std::size_t k = 0; k < 64; ++k)
        ASSERT_EQ(std::pair(s.scaleTable[2 * k], s.scaleTable[2 * k + 1]), std::pair(3200.0, 51200.0)) << k;
    driver::StopRecordNow(s);

    s.channelTable[0] = {kRampInput, 1};
    SetInputChannels(s, {0});
    driver::SetRate(s, 1.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(s.decimation, 8);
    EXPECT_EQ(s.blockKadrs, 8);
    ASSERT_TRUE(WaitFor([&] { return CountUnreadKadrs(s) > 0; }));
    const InputTable t = TakeInputData(s); // the first block of eight frames gives one kadr
    EXPECT_EQ(t.kadrs, 1);
    EXPECT_EQ(t.values[1], RampCode(0));
    driver::StopRecordNow(s);
}

TEST_F(RecordingTest, WorkerWaitsForRoomInARingThatIsNoMultipleOfTheBlock) {
    Detect();
    s.channelTable[0] = {kRampInput, 1};
    SetInputChannels(s, {0, 1});
    driver::SetInputSizeRequested(s, 1100);
    driver::SetRate(s, 5000.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    ASSERT_EQ(s.inputSizeKadrs, 550);
    ASSERT_EQ(s.blockKadrs, 256); // two blocks fit, the third only once the host reads
    ASSERT_TRUE(WaitFor([&] { return s.inputCountKadrs.load() == 512; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(s.inputCountKadrs.load(), 512);
    int64_t kadrs = 0, faults = 0;
    auto drain = [&] {
        const InputTable t = TakeInputData(s);
        for (int32_t k = 1; k <= t.kadrs; ++k)
            faults += t.values[static_cast<std::size_t>(k) * 2] != RampCode(kadrs++);
        return kadrs >= 2000 || faults > 0;
    };
    WaitFor(drain);
    driver::StopRecordNow(s);
    drain(); // what the worker wrote last stays readable after the stop
    EXPECT_GE(kadrs, 2000);
    EXPECT_EQ(faults, 0);
}

TEST_F(RecordingTest, SizeRequestWhileRecordingTakesEffectAtTheNextStart) {
    Detect();
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    const int32_t running = s.allocKadrs;
    driver::SetInputSizeRequested(s, 4096);
    EXPECT_EQ(s.inputSizeKadrs, running);
    driver::StopRecordNow(s);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(s.inputSizeKadrs, 4096);
    EXPECT_EQ(s.allocKadrs, 4096);
    driver::StopRecordNow(s);
}

TEST_F(RecordingTest, ArmedGeneratorLoadsItsCycleOrEndsTheStart) {
    Detect();
    s.dacChannels[0].waveform = 3; // Sine on the first output only
    s.dacChannels[0].amplitude = 3200;
    output::ApplyDacSettings(s);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(e16sim_get_out_cycle(E16SIM_MODULE_DAC, E16SIM_OUT_DAC1, nullptr, 0), 10000);
    EXPECT_EQ(ModuleState().enabled_streams & (X502_STREAM_DAC1 | X502_STREAM_DAC2), X502_STREAM_DAC1);
    driver::StopRecordNow(s);
    EXPECT_FALSE(s.dacChannels[0].running);
    EXPECT_TRUE(s.dacStreamEnabled); // armed for the next recording

    s.dio.doStartEnabled = s.dio.doStopEnabled = true;
    s.dio.doStartValue = 0x55;
    s.dio.doStopValue = 0x3C;
    e16sim_fault_fail_call("X502_OutCycleLoadStart", X502_ERR_INTERNAL);
    const int64_t streamStarts = Calls("X502_StreamsStart");
    EXPECT_FALSE(driver::StartRecordChecked(s));
    EXPECT_EQ(s.lastError,
              "Error " + std::to_string(X502_ERR_INTERNAL) + ": " + X502_GetErrorString(X502_ERR_INTERNAL));
    EXPECT_FALSE(s.busy.load());
    EXPECT_FALSE(s.dacStreamEnabled); // the user arms it again
    EXPECT_FALSE(s.dacChannels[0].running);
    EXPECT_EQ(DigitalOutputs(), 0x3Cu); // the stop word, never the start word
    EXPECT_EQ(Calls("X502_StreamsStart"), streamStarts);
}

TEST_F(RecordingTest, NoWorkerOutlivesAStopOrTheLastObject) {
    Detect();
    s.dio.doStartEnabled = true;
    s.dio.doStartValue = 0xF0;
    driver::SetRate(s, 50000.0f);
    for (int cycle = 0; cycle < 20; ++cycle) {
        ASSERT_TRUE(driver::StartRecordChecked(s)) << "cycle " << cycle << ": " << s.lastError;
        if (cycle % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        driver::StopRecordNow(s);
        ASSERT_FALSE(s.thread) << "cycle " << cycle;
        ASSERT_FALSE(s.threadRunning.load()) << "cycle " << cycle;
    }
    EXPECT_EQ(DigitalOutputs(), 0xF0u);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    driver::OnObjectDestroyed(s);
    EXPECT_FALSE(s.busy.load());
    EXPECT_FALSE(s.thread);
    EXPECT_EQ(ModuleState().open, 0);
}

} // namespace
} // namespace velmora::test
