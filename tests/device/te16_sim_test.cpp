// TE16 against the simulated module, loaded the way the driver loads it: the
// process table from the test's folder. The control API (linked directly,
// the same library instance) shapes signals and injects faults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include "device/te16.h"
#include "e16sim_control.h"

namespace velmora::device {
namespace {

using Clock = std::chrono::steady_clock;
using ::testing::MatchesRegex;

constexpr int32_t kIp1 = 0x7F000001; // 127.0.0.1: E16 with DAC, SIM0001
constexpr int32_t kIp2 = 0x7F000002; // 127.0.0.2: no DAC, SIM0002
constexpr int32_t kRecvTimeoutMs = 1000;
constexpr double kCodeVolts = 10.0 / 6000000.0; // one code on the 10 V range

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

class TE16Sim : public ::testing::Test {
protected:
    void SetUp() override {
        if (!VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
    }
    void TearDown() override {
        dev.StopStreams();
        dev.Close();
        e16sim_reset();
    }

    void OpenModule(int32_t ip = kIp1) {
        ASSERT_TRUE(dev.Open(ip, TE16::kInterfaceEthernet)) << dev.LastErrorText();
    }

    // Common-ground channels on range 0; frame rate = total rate / channels.
    void Program(const std::vector<int32_t>& phys, double totalRate) {
        ASSERT_TRUE(dev.SetRefFreq(48000000));
        ASSERT_TRUE(dev.SetLChannelCount(static_cast<int32_t>(phys.size())));
        for (std::size_t i = 0; i < phys.size(); ++i)
            ASSERT_TRUE(dev.SetLChannel(static_cast<int32_t>(i), phys[i], 0, 0, 0));
        acqFreq = totalRate;
        frameFreq = totalRate / static_cast<double>(phys.size());
        ASSERT_TRUE(dev.SetAdcFreq(acqFreq, frameFreq)) << dev.LastErrorText();
    }

    // Receives `count` values in volts (fewer if the stream fails or 5 s pass).
    std::vector<double> ReceiveVolts(std::size_t count) {
        std::vector<uint32_t> words(count);
        std::vector<double> volts(count);
        std::size_t got = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (got < count && Clock::now() < deadline) {
            const int32_t w = dev.Recv(words.data(), static_cast<int32_t>(count - got), kRecvTimeoutMs);
            if (w < 0) break;
            got += static_cast<std::size_t>(dev.ProcessAdcData(words.data(), w, volts.data() + got));
        }
        volts.resize(got);
        return volts;
    }

    TE16 dev;
    double acqFreq = 0;
    double frameFreq = 0;
};

TEST_F(TE16Sim, ProcessTableIsTheLinkedSimulator) {
    const VendorApi& api = VendorApi::Process();
    EXPECT_EQ(reinterpret_cast<void*>(api.X502_Create), reinterpret_cast<void*>(&::X502_Create));
    EXPECT_EQ(dev.LibraryVersionMajor(), 1);
    EXPECT_EQ(dev.LibraryVersionMinor(), 1);
    EXPECT_EQ(dev.LibraryVersionBuild(), 34);
}

TEST_F(TE16Sim, OpensBothLoopbackModulesWithTheirIdentity) {
    OpenModule(kIp1);
    EXPECT_EQ(dev.OpenedAddress(), kIp1);
    EXPECT_EQ(dev.BoardName(), "E16");
    EXPECT_EQ(dev.SerialNumber(), "SIM0001");
    EXPECT_EQ(dev.BoardRevision(), "A");
    EXPECT_EQ(dev.FpgaVersion(), "1.5");
    EXPECT_EQ(dev.McuVersion(), "1.0.3");
    EXPECT_TRUE(dev.DacPresent());
    EXPECT_EQ(dev.LastErrorText(), "Error 0: ");

    OpenModule(kIp2); // Open closes the first module itself
    EXPECT_EQ(dev.SerialNumber(), "SIM0002");
    EXPECT_FALSE(dev.DacPresent());
    e16sim_state state{};
    ASSERT_EQ(e16sim_get_state(E16SIM_MODULE_DAC, &state), 0);
    EXPECT_EQ(state.open, 0);
}

TEST_F(TE16Sim, AddressesWithoutAModuleAreRefused) {
    for (const int32_t ip : {0x7F000009, 0x0A000002}) { // 127.0.0.9, 10.0.0.2
        EXPECT_FALSE(dev.Open(ip, TE16::kInterfaceEthernet));
        EXPECT_EQ(dev.OpenedAddress(), -1);
        EXPECT_EQ(dev.Handle(), nullptr);
        EXPECT_EQ(dev.BoardName(), "");
        EXPECT_LT(dev.LastResult(), 0);
        EXPECT_EQ(dev.LastErrorText(), "Error " + std::to_string(dev.LastResult()) + ": " +
                                           ::X502_GetErrorString(dev.LastResult()));
        EXPECT_THAT(dev.LastErrorText(), MatchesRegex("Error -[0-9]+: .+"));
    }
    EXPECT_EQ(e16sim_call_count("X502_Free"), 2); // each failed open released its handle
}

TEST_F(TE16Sim, OpensAUsbModuleByIndex) {
    ASSERT_GE(e16sim_add_usb_module("USB-E16-42", 1), 0);
    const int32_t count = dev.UsbGetSerialList(TE16::kInterfaceUsb, false);
    ASSERT_GE(count, 1);
    int32_t index = -1;
    for (int32_t i = 0; i < count; ++i)
        if (dev.UsbSerial(i) == "USB-E16-42") index = i;
    ASSERT_GE(index, 0);
    ASSERT_TRUE(dev.Open(index, TE16::kInterfaceUsb)) << dev.LastErrorText();
    EXPECT_EQ(dev.SerialNumber(), "USB-E16-42");
    EXPECT_FALSE(dev.Open(count, TE16::kInterfaceUsb));
}

// One second over all 32 inputs at the full rate, received in 40 ms blocks
// the way the acquisition worker does it: no frame lost or repeated.
TEST_F(TE16Sim, StreamsOneSecondOfThirtyTwoChannels) {
    OpenModule();
    std::vector<int32_t> phys(32);
    for (int32_t i = 0; i < 32; ++i) phys[static_cast<std::size_t>(i)] = i; // lch 31 = Y16, the frame ramp
    Program(phys, 500000);
    ASSERT_DOUBLE_EQ(acqFreq, 500000);
    ASSERT_DOUBLE_EQ(frameFreq, 15625);
    constexpr int32_t kBlockKadrs = 1024; // the first power of two lasting 40 ms
    constexpr int32_t kBlockWords = kBlockKadrs * 32;
    ASSERT_TRUE(dev.SetInStreamBufSize(0));
    dev.SetInStreamStep(kBlockWords);

    std::vector<uint32_t> raw(kBlockWords);
    std::vector<double> values(kBlockWords);
    int64_t frames = 0;
    int64_t brokenRamp = 0;
    const auto t0 = Clock::now();
    ASSERT_TRUE(dev.StartStreams(true, false, false, false, false)) << dev.LastErrorText();
    const auto t1 = Clock::now();
    while (Clock::now() - t1 < std::chrono::seconds(1)) {
        if (dev.GetRecvReadyCount() < kBlockWords) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const int32_t w = dev.Recv(raw.data(), kBlockWords, kRecvTimeoutMs);
        ASSERT_GT(w, 0) << dev.LastErrorText();
        const int32_t v = dev.ProcessAdcData(raw.data(), w, values.data());
        ASSERT_EQ(v % 32, 0);
        for (int32_t k = 0; k < v / 32; ++k, ++frames) {
            const double expected = -5.0 + 0.01 * static_cast<double>(frames % 1000);
            if (std::abs(values[static_cast<std::size_t>(k * 32 + 31)] - expected) > 2 * kCodeVolts)
                ++brokenRamp;
        }
        EXPECT_EQ(dev.GetNextExpectedLchNum(), 0);
    }
    const auto q0 = Clock::now();
    const int64_t pending = dev.GetRecvReadyCount();
    const auto q1 = Clock::now();
    EXPECT_TRUE(dev.StopStreams());

    EXPECT_EQ(brokenRamp, 0);
    EXPECT_GE(frames, 15625 - 2 * kBlockKadrs);
    // Everything the clock produced up to the query, received or still waiting.
    const double produced = static_cast<double>(frames) + static_cast<double>(pending) / 32.0;
    EXPECT_GE(produced, frameFreq * Seconds(q0 - t1) - kBlockKadrs);
    EXPECT_LE(produced, frameFreq * Seconds(q1 - t0) + kBlockKadrs);
}

// The worker's pending receive while the host keeps using the object: a
// stop from the host makes the receive return with what it had.
TEST_F(TE16Sim, HostStopEndsAPendingReceive) {
    OpenModule();
    Program({0}, 100000);
    ASSERT_TRUE(dev.StartStreams(true, false, false, false, false));
    constexpr int32_t kTenSeconds = 1000000;
    std::vector<uint32_t> words(kTenSeconds);
    int32_t received = -1;
    std::thread worker([&] { received = dev.Recv(words.data(), kTenSeconds, 10000); });
    for (int32_t i = 0; i < 20; ++i) {
        dev.AsyncOutDig(i);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(dev.StopStreams());
    worker.join();
    EXPECT_GE(received, 0);
    EXPECT_LT(received, kTenSeconds);
}

TEST_F(TE16Sim, CyclicSineOnDac1IsReadBackOnX15) {
    OpenModule();
    Program({14}, 100000); // X15 sees DAC1
    constexpr int32_t kPeriod = 100;
    constexpr double kAmplitude = 2.0;
    std::vector<double> sine(kPeriod);
    for (int32_t i = 0; i < kPeriod; ++i)
        sine[static_cast<std::size_t>(i)] = kAmplitude * std::sin(2 * std::numbers::pi * i / kPeriod);
    ASSERT_TRUE(dev.StartCyclicOutput(kPeriod, true, false, sine.data(), nullptr)) << dev.LastErrorText();
    EXPECT_EQ(dev.outWords(), kPeriod);
    double outFreq = 100000; // 1 kHz sine
    ASSERT_TRUE(dev.SetOutFreq(outFreq));
    ASSERT_DOUBLE_EQ(outFreq, 100000);
    std::vector<double> cycle(2 * kPeriod);
    ASSERT_EQ(e16sim_get_out_cycle(E16SIM_MODULE_DAC, E16SIM_OUT_DAC1, cycle.data(), 2 * kPeriod), kPeriod);
    EXPECT_NEAR(cycle[25], kAmplitude, 1e-3);
    ASSERT_TRUE(dev.StartStreams(true, true, false, false, false)) << dev.LastErrorText();

    const auto volts = ReceiveVolts(20000); // 0.2 s
    ASSERT_EQ(volts.size(), 20000u);
    const auto [low, high] = std::minmax_element(volts.begin(), volts.end());
    EXPECT_NEAR(*high, kAmplitude, 0.01);
    EXPECT_NEAR(*low, -kAmplitude, 0.01);
    int32_t risings = 0;
    for (std::size_t i = 1; i < volts.size(); ++i) risings += volts[i - 1] < 0 && volts[i] >= 0;
    EXPECT_NEAR(risings, 200, 1);
    e16sim_state state{};
    ASSERT_EQ(e16sim_get_state(E16SIM_MODULE_DAC, &state), 0);
    EXPECT_EQ(state.enabled_streams & (X502_STREAM_DAC1 | X502_STREAM_DAC2), X502_STREAM_DAC1);

    EXPECT_TRUE(dev.StopStreams());
    EXPECT_EQ(dev.outWords(), 0);
}

TEST_F(TE16Sim, StaticDacAndDigitalLoopback) {
    OpenModule();
    EXPECT_TRUE(dev.AsyncOutDacPair(1.25, -3.5));
    double now = 0, level = 0;
    uint32_t flags = 0;
    ASSERT_EQ(e16sim_get_dac(E16SIM_MODULE_DAC, 1, &now, &level, &flags), 0);
    EXPECT_DOUBLE_EQ(level, -3.5);
    EXPECT_EQ(flags, 3u);

    dev.AsyncOutDig(0x1A5A5);
    uint32_t outputs = 0, pullups = 0;
    ASSERT_EQ(e16sim_get_digital(E16SIM_MODULE_DAC, &outputs, &pullups), 0);
    EXPECT_EQ(outputs, 0xA5A5u);
    EXPECT_EQ(dev.AsyncInDig(), 0xA5A5);
    EXPECT_EQ(dev.LastResult(), 0);

    OpenModule(kIp2); // no DAC: the library refuses, the code and text come back
    EXPECT_FALSE(dev.AsyncOutDac(0, 1.0));
    EXPECT_EQ(dev.LastResult(), X502_ERR_DAC_NOT_PRESENT);
}

// Start on an upward crossing of 0.2505 V by a ramp on X1 rising 1 mV a frame:
// the first frame is the first at or above the level, 0.251 V.
TEST_F(TE16Sim, AnalogLevelStartBeginsAtTheCrossing) {
    OpenModule();
    ASSERT_EQ(e16sim_set_ramp(0, -1.0, 0.001, 2000), 0);
    Program({0}, 100000);
    ASSERT_TRUE(dev.SetSyncMode(0));
    ASSERT_TRUE(dev.SetSyncStartMode(X502_SYNC_ADC_EDGE_RISE));
    ASSERT_TRUE(dev.SetAdcSyncStartValue(0, 0, 0, 0.2505));
    ASSERT_TRUE(dev.StartStreams(true, false, false, false, false)) << dev.LastErrorText();
    const auto volts = ReceiveVolts(100);
    ASSERT_EQ(volts.size(), 100u);
    EXPECT_NEAR(volts[0], 0.251, 2 * kCodeVolts);
    for (std::size_t i = 1; i < volts.size(); ++i)
        EXPECT_NEAR(volts[i] - volts[i - 1], 0.001, 2 * kCodeVolts);
    e16sim_state state{};
    ASSERT_EQ(e16sim_get_state(E16SIM_MODULE_DAC, &state), 0);
    EXPECT_NEAR(-1.0 + 0.001 * static_cast<double>(state.first_frame % 2000), volts[0], 2 * kCodeVolts);
}

TEST_F(TE16Sim, StallThenOverflowComesBackAsACode) {
    OpenModule();
    Program({0}, 500000);
    ASSERT_TRUE(dev.SetInStreamBufSize(1024));
    ASSERT_EQ(e16sim_fault_stall(E16SIM_MODULE_DAC, 1), 0);
    ASSERT_TRUE(dev.StartStreams(true, false, false, false, false));
    std::vector<uint32_t> words(512);
    EXPECT_EQ(dev.Recv(words.data(), 512, 50), 0); // stalled: nothing within the time-out
    EXPECT_EQ(dev.LastResult(), 0);
    ASSERT_EQ(e16sim_fault_stall(E16SIM_MODULE_DAC, 0), 0);
    int32_t result = 0;
    for (int32_t i = 0; i < 10 && result >= 0; ++i) result = dev.Recv(words.data(), 512, 200);
    EXPECT_EQ(result, X502_ERR_STREAM_OVERFLOW);
    EXPECT_EQ(dev.LastResult(), X502_ERR_STREAM_OVERFLOW);
    EXPECT_EQ(dev.LastErrorText(),
              "Error -10: " + std::string(::X502_GetErrorString(X502_ERR_STREAM_OVERFLOW)));
}

TEST_F(TE16Sim, DisconnectComesBackAsACode) {
    OpenModule();
    Program({0, 1}, 100000);
    ASSERT_EQ(e16sim_fault_disconnect_after(E16SIM_MODULE_DAC, 1000), 0);
    ASSERT_TRUE(dev.StartStreams(true, false, false, false, false));
    std::vector<uint32_t> words(400);
    int64_t total = 0;
    int32_t result = 0;
    for (int32_t i = 0; i < 10 && result >= 0; ++i) {
        result = dev.Recv(words.data(), 400, kRecvTimeoutMs);
        if (result > 0) total += result;
    }
    EXPECT_EQ(total, 1000);
    EXPECT_EQ(result, X502_ERR_CONNECTION_LOST);
    EXPECT_THAT(dev.LastErrorText(), MatchesRegex("Error -11: .+"));
}

TEST_F(TE16Sim, FailingEntryPointsStopTheOperation) {
    OpenModule();
    Program({0}, 100000);
    ASSERT_EQ(e16sim_fault_fail_call("X502_StreamsStart", X502_ERR_INTERNAL), 0);
    EXPECT_FALSE(dev.StartStreams(true, false, false, false, false));
    EXPECT_EQ(dev.LastResult(), X502_ERR_INTERNAL);

    const double wave[4] = {0, 1, 0, -1};
    ASSERT_EQ(e16sim_fault_fail_call("X502_OutCycleLoadStart", X502_ERR_INVALID_OUT_SIZE), 0);
    e16sim_reset_call_counts();
    EXPECT_FALSE(dev.StartCyclicOutput(4, true, true, wave, wave));
    EXPECT_EQ(e16sim_call_count("X502_Send"), 0);
    EXPECT_THAT(dev.LastErrorText(), MatchesRegex("Error -46: .+"));
}

TEST_F(TE16Sim, FlashWriteKeepsTheRestOfItsSectors) {
    OpenModule();
    std::vector<uint8_t> pattern(8192);
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i % 251);
    ASSERT_TRUE(dev.FlashWrite(0, pattern.data(), 8192)) << dev.LastErrorText();
    const uint8_t data[10] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    ASSERT_TRUE(dev.FlashWrite(4090, data, 10)) << dev.LastErrorText();
    EXPECT_EQ(dev.LastResult(), 0); // write protection restored
    std::vector<uint8_t> back(8192);
    ASSERT_TRUE(dev.FlashRead(0, back.data(), 8192));
    std::copy(data, data + 10, pattern.begin() + 4090);
    EXPECT_EQ(back, pattern);
    e16sim_state state{};
    ASSERT_EQ(e16sim_get_state(E16SIM_MODULE_DAC, &state), 0);
    EXPECT_EQ(state.flash_write_enabled, 0);
}

} // namespace
} // namespace velmora::device
