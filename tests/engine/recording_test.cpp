// Recording from the simulated module: the start's checks and failures, the
// numbers it programs, and long runs drained by the host in both ways, with
// every kadr checked against the frame ramp on Y16.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "engine/channels.h"
#include "engine/input_ring.h"
#include "engine_fixture.h"
#include "output/dac_output.h"

namespace velmora::test {
namespace {

using namespace engine;
using std::chrono::milliseconds;

class RecordingTest : public EngineTest {
protected:
    // Logical channel 0 on Y16 against ground, selected first of `count`.
    void SelectRamp(int16_t count) {
        s.channelTable[0] = {kRampInput, 1};
        std::vector<int16_t> channels(static_cast<std::size_t>(count));
        std::iota(channels.begin(), channels.end(), int16_t{0});
        SetInputChannels(s, channels);
    }

    uint32_t DigitalOutputs() {
        uint32_t lines = 0;
        e16sim_get_digital(E16SIM_MODULE_DAC, &lines, nullptr);
        return lines;
    }

    e16sim_state ModuleState() {
        e16sim_state st{};
        e16sim_get_state(E16SIM_MODULE_DAC, &st);
        return st;
    }

    // Drains with GetData; the ramp is at position 0 of each kadr.
    void DrainGetData(RampFollower& ramp) {
        const int32_t n = s.inputCountChannels;
        buffer_.resize(static_cast<std::size_t>(n) * 65536);
        int32_t count = static_cast<int32_t>(buffer_.size());
        int32_t rest = -1;
        const int32_t kadrs = CopyInputData(s, buffer_.data(), count, rest);
        ASSERT_EQ(count, kadrs * n);
        ASSERT_EQ(rest % n, 0);
        for (int32_t k = 0; k < kadrs; ++k) ramp.Add(buffer_[static_cast<std::size_t>(k) * n]);
    }

    void DrainInputData(RampFollower& ramp) {
        const InputTable t = TakeInputData(s);
        ASSERT_EQ(t.values[0], 0); // the header column: the channel list
        for (int32_t k = 1; k <= t.kadrs; ++k) ramp.Add(t.values[static_cast<std::size_t>(k) * t.channels]);
    }

    std::vector<int16_t> buffer_;
};

TEST_F(RecordingTest, RefusalsBeforeTheModuleWriteNothing) {
    Detect();
    s.dio.doStartEnabled = true;
    s.dio.doStartValue = 0x55;
    s.rate = 0.0f;
    EXPECT_FALSE(driver::StartRecordChecked(s));
    EXPECT_EQ(s.lastError, "The Sampling Rate is not selected!");
    s.rate = 1000.0f;
    s.inputCountChannels = 0;
    EXPECT_FALSE(driver::StartRecordChecked(s));
    EXPECT_EQ(s.lastError, "Any channel is not selected!");
    EXPECT_FALSE(s.busy.load());
    EXPECT_EQ(DigitalOutputs(), 0u);
}

TEST_F(RecordingTest, StreamStartFailureStopsAndWritesTheStopWord) {
    Detect();
    s.dio.doStartEnabled = s.dio.doStopEnabled = true;
    s.dio.doStartValue = 0x55;
    s.dio.doStopValue = 0xAA;
    e16sim_fault_fail_call("X502_StreamsStart", X502_ERR_INTERNAL);
    EXPECT_FALSE(driver::StartRecordChecked(s));
    EXPECT_EQ(s.lastError,
              "Error " + std::to_string(X502_ERR_INTERNAL) + ": " + X502_GetErrorString(X502_ERR_INTERNAL));
    EXPECT_FALSE(s.busy.load());
    EXPECT_FALSE(s.thread);
    EXPECT_EQ(DigitalOutputs(), 0xAAu);
    EXPECT_EQ(ModuleState().stream_state, E16SIM_STREAM_IDLE);
}

TEST_F(RecordingTest, StartWordAfterSuccessStopWordOnEveryStop) {
    Detect();
    s.dio.doStopEnabled = true;
    s.dio.doStopValue = 0x0F;
    driver::StopRecordNow(s); // nothing runs: the word is written all the same
    EXPECT_EQ(DigitalOutputs(), 0x0Fu);
    s.dio.doStartEnabled = true;
    s.dio.doStartValue = 0xF0;
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(DigitalOutputs(), 0xF0u);
    EXPECT_FALSE(driver::StartRecordChecked(s)); // already running
    driver::StopRecordNow(s);
    EXPECT_EQ(DigitalOutputs(), 0x0Fu);
    EXPECT_FALSE(s.threadRunning.load());
}

TEST_F(RecordingTest, BlockSizeTimeoutAndScalesFollowRateAndRing) {
    Detect();
    SetInputChannels(s, {0, 1});
    driver::SetRate(s, 1000.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(s.inputSizeKadrs, 524288);
    EXPECT_EQ(s.blockKadrs, 64); // the first power of two lasting 40 ms
    EXPECT_EQ(s.blockWords, 128);
    EXPECT_EQ(ReceiveTimeout(s), 5128);
    EXPECT_EQ(ModuleState().in_step, 128u);
    driver::StopRecordNow(s);

    SetInputChannels(s, {0});
    driver::SetRate(s, 1.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(s.decimation, 8);
    EXPECT_EQ(s.blockKadrs, 8);
    EXPECT_EQ(ModuleState().in_buf_words, 8u * 512u);
    driver::StopRecordNow(s);

    SetInputChannels(s, {0, 1, 2, 3, 4, 5, 6, 7});
    driver::SetChannelRange(s, 1, 2);
    driver::SetChannelRange(s, 2, 1);
    driver::SetRate(s, 100000.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(s.rate, 62500.0f);
    const std::vector<double> kadr = {3200, 51200, 12800, 3200, 3200, 3200, 3200, 3200};
    ASSERT_EQ(s.scaleTable.size(), static_cast<std::size_t>(s.blockWords));
    for (int32_t k = 0; k < s.blockKadrs; ++k)
        ASSERT_TRUE(std::equal(kadr.begin(), kadr.end(), s.scaleTable.begin() + k * 8)) << "kadr " << k;
    driver::StopRecordNow(s);
}

TEST_F(RecordingTest, ThirtyTwoChannelsAtFullRateDrainedWithGetData) {
    Detect();
    SelectRamp(32);
    driver::SetRate(s, 500000.0f / 32);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(s.rate, 15625.0f);
    RampFollower ramp;
    const int64_t twoSeconds = 2 * 15625;
    WaitFor(
        [&] {
            std::this_thread::sleep_for(milliseconds(100));
            DrainGetData(ramp);
            return ramp.kadrs() >= twoSeconds || ramp.faults() > 0;
        },
        15.0);
    driver::StopRecordNow(s);
    EXPECT_GE(ramp.kadrs(), twoSeconds);
    EXPECT_EQ(ramp.faults(), 0) << ramp.firstFault();
}

TEST_F(RecordingTest, InputDataAcrossRingWraps) {
    Detect();
    SelectRamp(2);
    driver::SetInputSizeRequested(s, 1100); // 550 kadrs: no multiple of the block
    driver::SetRate(s, 5000.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(s.inputSizeKadrs, 550);
    EXPECT_EQ(s.blockKadrs, 256);
    RampFollower ramp;
    WaitFor(
        [&] {
            std::this_thread::sleep_for(milliseconds(30));
            DrainInputData(ramp);
            return ramp.kadrs() >= 6 * 550 || ramp.faults() > 0;
        },
        15.0);
    driver::StopRecordNow(s);
    DrainInputData(ramp); // what the worker wrote last stays readable after the stop
    EXPECT_GE(ramp.kadrs(), 6 * 550);
    EXPECT_EQ(ramp.faults(), 0) << ramp.firstFault();
}

TEST_F(RecordingTest, HostThatPausesUntilTheRingIsFullLosesNothing) {
    Detect();
    SelectRamp(1);
    driver::SetInputSizeRequested(s, 1024);
    driver::SetRate(s, 5000.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    ASSERT_EQ(s.blockKadrs, 256); // the ring holds exactly four blocks
    ASSERT_TRUE(WaitFor([&] { return s.inputCountKadrs.load() == 1024; }, 10.0));
    const int64_t receives = e16sim_call_count("X502_Recv");
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(e16sim_call_count("X502_Recv"), receives); // the worker waits for the host
    EXPECT_TRUE(s.busy.load());
    RampFollower ramp;
    WaitFor(
        [&] {
            DrainInputData(ramp);
            std::this_thread::sleep_for(milliseconds(20));
            return ramp.kadrs() >= 4000 || ramp.faults() > 0;
        },
        15.0);
    driver::StopRecordNow(s);
    EXPECT_GE(ramp.kadrs(), 4000);
    EXPECT_EQ(ramp.faults(), 0) << ramp.firstFault();
}

TEST_F(RecordingTest, PausingHostOnARingThatIsNoMultipleOfTheBlockLosesNothing) {
    Detect();
    SelectRamp(2);
    driver::SetInputSizeRequested(s, 1100);
    driver::SetRate(s, 5000.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    ASSERT_EQ(s.inputSizeKadrs, 550);
    ASSERT_EQ(s.blockKadrs, 256); // two blocks fit, the third only once the host reads
    ASSERT_TRUE(WaitFor([&] { return s.inputCountKadrs.load() == 512; }, 10.0));
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(s.inputCountKadrs.load(), 512);
    RampFollower ramp;
    WaitFor(
        [&] {
            DrainInputData(ramp);
            std::this_thread::sleep_for(milliseconds(20));
            return ramp.kadrs() >= 3000 || ramp.faults() > 0;
        },
        15.0);
    driver::StopRecordNow(s);
    EXPECT_GE(ramp.kadrs(), 3000);
    EXPECT_EQ(ramp.faults(), 0) << ramp.firstFault();
}

TEST_F(RecordingTest, SizeAndRateRequestsWhileRecordingWaitForTheNextStart) {
    Detect();
    SelectRamp(1);
    driver::SetRate(s, 5000.0f);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    const int64_t freqCalls = e16sim_call_count("X502_SetAdcFreq");
    driver::SetInputSizeRequested(s, 4096);
    EXPECT_EQ(s.inputSizeRequested, 4096);
    EXPECT_EQ(s.inputSizeKadrs, 1048576);
    EXPECT_EQ(driver::GetRate(s), 5000.0f);
    driver::SetRate(s, 100.0f);
    EXPECT_EQ(s.rate, 5000.0f);
    EXPECT_EQ(e16sim_call_count("X502_SetAdcFreq"), freqCalls);
    driver::StopRecordNow(s);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(s.inputSizeKadrs, 4096);
    EXPECT_EQ(s.allocKadrs, 4096);
    driver::StopRecordNow(s);
}

TEST_F(RecordingTest, ArmedGeneratorWithBothChannelsOffRecordsWithoutOutput) {
    Detect();
    s.dacStreamEnabled = true;
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(e16sim_call_count("X502_OutCycleLoadStart"), 0);
    EXPECT_EQ(ModuleState().enabled_streams & (X502_STREAM_DAC1 | X502_STREAM_DAC2), 0u);
    driver::StopRecordNow(s);
    EXPECT_TRUE(s.dacStreamEnabled); // stays armed for the next recording
}

TEST_F(RecordingTest, ArmedGeneratorLoadsItsCycleBeforeTheStreams) {
    Detect();
    s.dacChannels[0].waveform = 3; // Sine on the first output only
    s.dacChannels[0].amplitude = 3200;
    output::ApplyDacSettings(s);
    ASSERT_TRUE(driver::StartRecordChecked(s)) << s.lastError;
    EXPECT_TRUE(s.dacChannels[0].running);
    EXPECT_FALSE(s.dacChannels[1].running);
    EXPECT_EQ(s.device->outWords(), 10000);
    EXPECT_EQ(e16sim_get_out_cycle(E16SIM_MODULE_DAC, E16SIM_OUT_DAC1, nullptr, 0), 10000);
    const uint32_t streams = ModuleState().enabled_streams;
    EXPECT_NE(streams & X502_STREAM_DAC1, 0u);
    EXPECT_EQ(streams & X502_STREAM_DAC2, 0u);
    driver::StopRecordNow(s);
    EXPECT_FALSE(s.dacChannels[0].running);
    EXPECT_TRUE(s.dacStreamEnabled);
}

TEST_F(RecordingTest, FailedCycleLoadDisarmsTheGeneratorAndStops) {
    Detect();
    s.dio.doStopEnabled = true;
    s.dio.doStopValue = 0x3C;
    s.dacChannels[1].waveform = 4; // Pulse
    s.dacChannels[1].amplitude = 1000;
    output::ApplyDacSettings(s);
    e16sim_fault_fail_call("X502_OutCycleLoadStart", X502_ERR_INTERNAL);
    EXPECT_FALSE(driver::StartRecordChecked(s));
    EXPECT_EQ(s.lastError,
              "Error " + std::to_string(X502_ERR_INTERNAL) + ": " + X502_GetErrorString(X502_ERR_INTERNAL));
    EXPECT_FALSE(s.busy.load());
    EXPECT_FALSE(s.dacStreamEnabled);
    EXPECT_FALSE(s.dacChannels[1].running);
    EXPECT_EQ(DigitalOutputs(), 0x3Cu);
    EXPECT_EQ(e16sim_call_count("X502_StreamsStart"), 0);
}

TEST_F(RecordingTest, TwoHundredStartsAndStops) {
    Detect();
    SelectRamp(2);
    driver::SetRate(s, 50000.0f);
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(driver::StartRecordChecked(s)) << "cycle " << cycle << ": " << s.lastError;
        ASSERT_TRUE(s.busy.load());
        RampFollower ramp; // each recording starts its ramp at frame 0
        if (cycle % 20 == 0) std::this_thread::sleep_for(milliseconds(60));
        DrainGetData(ramp);
        driver::StopRecordNow(s);
        DrainGetData(ramp);
        ASSERT_FALSE(s.busy.load());
        ASSERT_FALSE(s.thread);
        ASSERT_FALSE(s.threadRunning.load());
        ASSERT_EQ(ramp.faults(), 0) << "cycle " << cycle << ": " << ramp.firstFault();
    }
    EXPECT_EQ(ModuleState().stream_state, E16SIM_STREAM_IDLE);
}

} // namespace
} // namespace velmora::test
