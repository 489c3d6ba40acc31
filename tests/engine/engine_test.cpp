// The engine against the simulated module reached through the driver's own
// vendor table, and the worker's pass from volts to codes.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "device/te16.h"
#include "driver_record.h"
#include "engine/sync.h"
#include "engine/volts_to_codes.h"
#include "output/dsp.h"

namespace velmora::test {
namespace {

using namespace engine;
using namespace std::chrono_literals;

// What the host's InputData takes: every unread kadr, then marked read.
InputTable Take(DriverState& s) {
    InputTable t = s.ring.Unread(s.input.inputChannels);
    s.ring.MarkRead(t.kadrs);
    return t;
}
using Clock = std::chrono::steady_clock;
using core::StartMode;
using core::SyncDirection;
using core::Waveform;

// What the library last told the module, configured or not.
e16sim_config Pending() {
    e16sim_config c{};
    e16sim_get_config(E16SIM_MODULE_DAC, 0, &c);
    return c;
}

// The record with SIM0001 detected; BeforeDetection leaves it to the test.
using BeforeDetection = DriverRecordTest;
class EngineTest : public DriverRecordTest {
protected:
    void SetUp() override {
        DriverRecordTest::SetUp();
        if (!IsSkipped()) Detect();
    }
    void Record(const std::vector<int16_t>& channels, float rate) {
        SetInputChannels(s, channels);
        SetRate(s, rate);
        ASSERT_TRUE(StartRecordChecked(s)) << s.lastError;
    }
    // Recording one channel at 1 kHz (a block of 64 kadrs), the worker
    // waiting for the trigger.
    void RecordWaitingForTheTrigger() {
        s.sync.mode = StartMode::Syn1Rise;
        Record({0}, 1000.0f);
        std::this_thread::sleep_for(50ms);
    }
};

// The simulator behind a library version the test chooses, opening the
// module at 127.0.0.1 whatever address it is asked for.
uint32_t g_version = 0;
const device::VendorApi& ChosenLibrary() {
    static device::VendorApi api = device::VendorApi::Process();
    api.X502_GetLibraryVersion = [] { return g_version; };
    api.E16_OpenByIpAddr = [](t_x502_hnd h, uint32_t, uint32_t flags, uint32_t timeout) {
        return device::VendorApi::Process().E16_OpenByIpAddr(h, 0x7F000001u, flags, timeout);
    };
    return api;
}

// A detection needs library 1.1.30 or later and an address from the chooser.
// One that succeeds describes the module and clears the last error, which a
// library refused replaces and a cancel keeps; only an open shows the wait cursor.
TEST_F(BeforeDetection, DetectionNeedsLibrary1_1_30AndAnAddress) {
    const std::string reinstall = "Please reinstall E16 driver (X502API v1.1.30 is required)!";
    const struct {
        uint32_t version;
        uint32_t address; // 0: the chooser cancelled
        int16_t basePort; // 0: not detected
        std::string error;
    } cases[] = {
        {0x01011E00u, 0, 0, "previous"},
        {0x01011E00u, 0x7F008000, 1, ""}, // 1.1.30; the address's low 15 bits zero: base port 1
        {0x01020000u, 0x7F000001, 2, ""}, // any of them set: 2
        {0x02000000u, 0x7F008000, 1, ""}, // 2.0.0
        // 1.1.29; last, as a refused library leaves its answer queued
        {0x01011D00u, 0x7F008000, 0, reinstall},
        {0x00096300u, 0x7F008000, 0, reinstall}, // 0.9.99
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "library " << std::hex << c.version << ", address " << c.address);
        g_version = c.version;
        driver::OnObjectCreated(s);
        s.module.device = std::make_unique<device::TE16>(ChosenLibrary());
        s.lastError = "previous";
        c.address == 0 ? dialogs_->QueueCancel() : dialogs_->QueueAddress(c.address);
        const bool detected = TestDevice(s, *dialogs_), opened = c.basePort != 0;
        EXPECT_EQ(std::tuple(detected, s.module.basePort, s.lastError),
                  std::tuple(opened, c.basePort, c.error))
            << "detected, base port, last error";
        const bool asked = c.address == 0 || c.error.empty();
        EXPECT_EQ(std::exchange(dialogs_->selectIpTitles, {}).size(), asked ? 1u : 0u) << "address asked";
        // The wait cursor is on for the open only.
        EXPECT_EQ(std::exchange(dialogs_->waitCursor, {}),
                  (opened ? std::vector<bool>{true, false} : std::vector<bool>{}));
        if (opened) {
            EXPECT_EQ(s.module.infoText,
                      "Board:\tE16, rev.A\r\nSerial N:\tSIM0001\r\nMCU:\tVer.1.0.3\r\nFPGA:\tVer.1.5");
        }
        driver::OnObjectDestroyed(s);
    }
}

TEST_F(BeforeDetection, WithoutAModuleTheRateIsOnlyComputed) {
    driver::OnObjectCreated(s);
    for (const float asked : {1e-30f, 1e-45f, 0.001f}) { // the module's slowest divider, 2^20
        SetRate(s, asked);
        GetRate(s);
        EXPECT_EQ(s.input.adcDivider, 1 << 20) << "rate " << asked;
    }
    SetInputChannels(s, std::vector<int16_t>(8, 0));
    SetRate(s, 100000.0f);
    EXPECT_EQ(GetRate(s), 62500.0f) << "500 kS/s shared by 8 channels";
    EXPECT_EQ(e16sim_call_count("X502_SetAdcFreq"), 0) << "no module: only computed";
}

// Channel names and the programming fold the table onto the module's inputs.
TEST_F(EngineTest, TheChannelTableFoldsOntoTheModulesInputs) {
    s.input.channelTable[5] = {37, 1};
    s.input.channelTable[6] = {-1, 1};
    const std::pair<int16_t, const char*> names[] = {
        {3, "XY4"}, {20, "Calibration 0"}, {5, "X6"}, {6, "Y16"}, {32, ""}, {-1, ""}};
    for (const auto& [index, name] : names) EXPECT_EQ(s.input.ChannelName(index), name) << index;
    EXPECT_EQ(s.input.channelTable[5].source, 5); // folded and kept
    // Programmed input by input.
    s.input.channelTable[7] = {20, 0}; // own zero, programmed on input 4
    s.input.channelTable[9] = {25, 1}; // Y10 against ground
    SetChannelRange(s, 9, 2);
    SetInputChannels(s, {7, 9, 3});
    const e16sim_config c = Pending();
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> got;
    for (uint32_t i = 0; i < c.lch_count; ++i) got.emplace_back(c.lch[i].phy, c.lch[i].mode, c.lch[i].range);
    EXPECT_EQ(got, (decltype(got){
                       {4, X502_LCH_MODE_ZERO, 0}, {25, X502_LCH_MODE_COMM, 2}, {3, X502_LCH_MODE_DIFF, 0}}));
}

TEST_F(EngineTest, ARateBecomesADividerWithADecimation) {
    // Below 6 Hz in all the module runs faster; 2^20 is its slowest divider,
    // and with the longest pause between frames one channel's slowest frame
    // is some 15.3 Hz: slower rates take a decimation that the module can
    // run, and keep it when the rate achieved is applied again. The kadr rate
    // is the module's own, before its rounding to a float (500000 / 3).
    // Channels, the rate asked and achieved, the divider and the decimation.
    const std::tuple<std::size_t, float, float, int32_t, int32_t> cases[] = {
        {8, 100000.0f, 62500.0f, 96, 1}, {1, 7000.0f, 7000.3f, 6857, 1},
        {1, 1.0f, 1.0f, 1 << 20, 16},    {1, 3.0f, 3.0f, 1 << 20, 8},
        {1, 10.0f, 10.0f, 1 << 20, 2},   {4, 0.001f, 0.001f, 1 << 20, 1 << 13},
        {32, 0.5f, 0.5f, 750000, 4},     {3, 166666.0f, 166666.67f, 96, 1},
        {1, 15.2f, 15.2f, 1 << 20, 2}, // within 0.4 % of the slowest frame
    };
    for (const auto& [channels, asked, achieved, divider, decimation] : cases) {
        SCOPED_TRACE(testing::Message() << channels << " channels at " << asked);
        SetInputChannels(s, std::vector<int16_t>(channels, 0));
        SetRate(s, asked);
        for (const char* when : {"asked", "applied again"}) {
            const float rate = GetRate(s);
            EXPECT_NEAR(rate, achieved, 1e-4 * achieved) << when;
            EXPECT_EQ(std::pair(s.input.adcDivider, s.input.decimation), std::pair(divider, decimation))
                << when << ": divider and decimation";
            EXPECT_EQ(GetKadrRate(s), Pending().frame_freq / decimation) << when << ": unrounded";
            EXPECT_EQ(rate, static_cast<float>(GetKadrRate(s))) << when;
        }
        EXPECT_NEAR(Pending().adc_freq, 48e6 / divider, 1e-6) << "the module's frequency";
    }
}

TEST_F(BeforeDetection, StartSynchronizationCodes) {
    s.sync = {StartMode::AnalogLevel, SyncDirection::Below, 4, 1, 6400};
    Detect();
    EXPECT_EQ(Pending().sync_start_mode, 11u) << "detection sends the synchronization too";
    ASSERT_TRUE(s.Device()->SetDigInPullup(0xFF));
    s.input.channelTable[6] = {16, 0}; // upper half, differential: watched against ground
    // Mode, direction, logical channel, range, level; the module's mode and what it watches.
    using Watch = std::tuple<uint32_t, uint32_t, uint32_t, double>;
    const auto below = SyncDirection::Below;
    const std::tuple<core::StartSync, uint32_t, Watch> cases[] = {
        {{StartMode::Syn1Fall}, 3u, {}}, // the falling edge on TRIG, with the pull-ups off
        {{StartMode::AnalogLevel, SyncDirection::Above, 4, 2, 6400}, 8u, {4, 1, 2, 0.125}},
        {{StartMode::AnalogLevel, below, 4, 2, 6400}, 11u, {4, 1, 2, 0.125}},
        {{StartMode::AnalogLevel, below, 6, 0, -32000}, 11u, {16, 0, 0, -10.0}},
        {{static_cast<StartMode>(7)}, 0u, {}}}; // no such mode: immediate start
    for (const auto& [sync, code, watch] : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(sync.mode));
        ProgramSync(sync, s.input.channelTable, *s.Device());
        const e16sim_config c = Pending();
        EXPECT_EQ(c.sync_start_mode, code) << "the module's start mode";
        const bool analog = sync.mode == StartMode::AnalogLevel;
        EXPECT_EQ(analog ? Watch(c.watch_phy, c.watch_mode, c.watch_range, c.watch_level) : Watch{}, watch)
            << "watched input, mode, range and level";
        uint32_t lines = 0, pullups = 1;
        e16sim_get_digital(E16SIM_MODULE_DAC, &lines, &pullups);
        EXPECT_EQ(pullups, 0u) << "pull-ups";
    }
}

TEST_F(EngineTest, SingleReadingKeepsItsSetupUntilSomethingChanges) {
    e16sim_set_dc(3, 1.25);
    e16sim_set_dc(19, 0.25); // XY4 = X4 - Y4 = 1 V
    // The code, then the setups and frames taken since the counts were reset.
    auto read = [&] {
        const int32_t code = ReadSingleChannel(s, 3);
        return std::tuple(code, e16sim_call_count("X502_Configure"),
                          e16sim_call_count("X502_AsyncGetAdcFrame"));
    };
    e16sim_reset_call_counts();
    EXPECT_EQ(read(), std::tuple(3200, 1, 1));
    EXPECT_EQ(read(), std::tuple(3200, 1, 2)); // within a second: no new setup
    SetChannelRange(s, 3, 1);
    EXPECT_EQ(read(), std::tuple(12800, 2, 3));
    ASSERT_TRUE(StartRecordChecked(s)) << s.lastError;
    e16sim_reset_call_counts();
    EXPECT_EQ(read(), std::tuple(0, 0, 0)); // the recording owns the module
    StopRecording(s);
    e16sim_reset_call_counts();
    EXPECT_EQ(read(), std::tuple(12800, 1, 1)); // the recording replaced the setup
}

TEST(ReceiveTimeout, IsTwoOfTheModulesKadrsPlus5s) {
    const std::tuple<float, int32_t, int32_t> cases[] = {
        {1000.0f, 1, 5002}, {1.0f, 8, 5250}, {0.001f, 1, 2005000}};
    for (const auto& [rate, decimation, ms] : cases) EXPECT_EQ(ReceiveTimeout(rate, decimation), ms) << rate;
}

// Two channels at 1 kHz, the second on range 2: a pass has room for the first
// power of two of kadrs lasting 40 ms, each sample scaled for its channel's range.
TEST_F(EngineTest, BlockTablesFitTheRecording) {
    SetChannelRange(s, 1, 2);
    ASSERT_NO_FATAL_FAILURE(Record({0, 1}, 1000.0f));
    const BlockTables& blocks = s.acquisition.blocks;
    EXPECT_EQ(blocks.blockKadrs, 64);
    EXPECT_EQ(ModuleState().in_step, 10u) << "the words of one hand-over time";
    ASSERT_EQ(blocks.scales.period() % 2, 0u) << "whole kadrs";
    for (std::size_t i = 0; i < blocks.scales.period(); ++i) // ranges 0 and 2 in turn
        ASSERT_EQ(blocks.scales.data()[i], i % 2 == 0 ? 3200.0 : 51200.0) << "sample " << i;
}

TEST_F(EngineTest, DecimationKeepsTheFirstOfEveryNFrames) {
    s.input.channelTable[0] = {31, 1}; // Y16 against ground: -5 V + 0.01 V a frame
    // A decimation of 16: the module's slowest frame is some 15.3 Hz.
    ASSERT_NO_FATAL_FAILURE(Record({0}, 1.0f));
    ASSERT_TRUE(Eventually([&] { return s.ring.CountUnread() > 0; }, 10s));
    const InputTable t = Take(s);
    EXPECT_EQ(t.kadrs, 1) << "the first of sixteen frames is the one kadr kept";
    EXPECT_EQ(t.values[1], -16000) << "its first frame";
    ASSERT_TRUE(Eventually([&] { return s.ring.CountUnread() > 0; }, 10s));
    EXPECT_EQ(Take(s).values[1], -16000 + 16 * 32) << "the seventeenth frame, next";
}

// The running ring keeps its size; the one asked for reads back once the
// recording ends, and is made at the next start.
// A rate asked while recording is not taken: the module runs on at the
// rate it started with, and that is the rate the host reads, then and after.
TEST_F(EngineTest, ARateAskedWhileRecordingIsNotTaken) {
    ASSERT_NO_FATAL_FAILURE(Record({0, 1, 2}, 7000.0f));
    const std::pair running(GetRate(s), GetKadrRate(s));
    SetRate(s, 100.0f);
    EXPECT_EQ(std::pair(GetRate(s), GetKadrRate(s)), running);
    StopRecording(s);
    EXPECT_EQ(std::pair(GetRate(s), GetKadrRate(s)), running);
}

TEST_F(EngineTest, ANewRingSizeWaitsForTheRecordingsEnd) {
    ASSERT_NO_FATAL_FAILURE(Record({0}, 1000.0f));
    const int32_t running = s.ring.Capacity();
    SetInputSizeRequested(s, 4096);
    EXPECT_EQ(s.ring.SizeKadrs(), running);
    StopRecording(s);
    EXPECT_EQ(std::pair(s.ring.SizeKadrs(), s.ring.Capacity()), std::pair(4096, running));
    ASSERT_TRUE(StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(std::pair(s.ring.SizeKadrs(), s.ring.Capacity()), std::pair(4096, 4096));
    StopRecording(s);
}

// Kadrs left unread after a stop stay for the selection and ranges they
// were recorded with; another list, even as long, or a selected channel's
// new range gives them up rather than name or scale them wrongly.
TEST_F(EngineTest, UnreadKadrsGoWithTheSelectionTheyWereRecordedWith) {
    // A new list when `list` is not empty, else channel 1 or 5 (`channel`) on `range`.
    const struct {
        const char* change;
        std::vector<int16_t> list;
        int16_t channel, range;
        bool kept;
    } cases[] = {
        {"the same list again", {0, 1}, 0, 0, true},
        {"an unselected channel's range", {}, 5, 1, true},
        {"a selected channel's range as it is", {}, 1, 0, true},
        {"another list as long", {2, 3}, 0, 0, false},
        {"a selected channel's new range", {}, 1, 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        ASSERT_NO_FATAL_FAILURE(Record({0, 1}, 1000.0f));
        ASSERT_TRUE(Eventually([&] { return s.ring.CountUnread() > 0; }, 10s));
        StopRecording(s);
        c.list.empty() ? SetChannelRange(s, c.channel, c.range) : SetInputChannels(s, c.list);
        EXPECT_EQ(s.ring.CountUnread() > 0, c.kept);
        SetChannelRange(s, 1, 0);
    }
}

// An armed generator loads its cycle for the outputs that play; a load that
// fails ends the start with the library's text, disarms the generator and
// writes the stop word, never the start word.
TEST_F(EngineTest, ArmedGeneratorLoadsItsCycleOrEndsTheStart) {
    s.output.generator.waves[0] = {Waveform::Sine, 3200}; // on the first output only
    s.output.ApplySettings(s.Device());
    ASSERT_TRUE(StartRecordChecked(s)) << s.lastError;
    EXPECT_EQ(e16sim_get_out_cycle(E16SIM_MODULE_DAC, E16SIM_OUT_DAC1, nullptr, 0), 10000);
    EXPECT_EQ(ModuleState().enabled_streams & (X502_STREAM_DAC1 | X502_STREAM_DAC2), X502_STREAM_DAC1);
    StopRecording(s);
    EXPECT_FALSE(s.output.Busy());
    EXPECT_TRUE(s.output.streamEnabled) << "armed again for the next start";

    s.dio.doStartEnabled = s.dio.doStopEnabled = true;
    s.dio.doStartValue = 0x55;
    s.dio.doStopValue = 0x3C;
    e16sim_fault_fail_call("X502_OutCycleLoadStart", X502_ERR_INTERNAL);
    EXPECT_FALSE(StartRecordChecked(s));
    EXPECT_EQ(s.lastError,
              "Error " + std::to_string(X502_ERR_INTERNAL) + ": " + X502_GetErrorString(X502_ERR_INTERNAL));
    // Nothing runs, and the generator is disarmed: the user arms it again.
    EXPECT_EQ(std::tuple(s.acquisition.Busy(), s.output.Busy(), s.output.streamEnabled),
              std::tuple(false, false, false))
        << "recording, output, generator armed";
    EXPECT_EQ(ModuleLines(), 0x3Cu) << "the stop word";
    EXPECT_EQ(e16sim_call_count("X502_StreamsStart"), 1) << "the first start's only";
}

// Three channels at 3333 kadrs/s bring 50 words a hand-over, so kadrs are
// cut between passes all the time, and a stop lands inside one now and then:
// every kadr comes whole with its channels in their places, Y16's ramp runs
// unbroken, and each new start begins on a kadr's first channel.
TEST_F(EngineTest, KadrsCutBetweenPassesOrByAStopComeWhole) {
    e16sim_set_dc(0, 1.0);
    e16sim_set_dc(1, 2.0);
    s.input.channelTable[0] = {0, 1};  // X1
    s.input.channelTable[1] = {1, 1};  // X2
    s.input.channelTable[2] = {31, 1}; // Y16: -5 V + 0.01 V a frame, over 1000 frames
    SetInputChannels(s, {0, 1, 2});
    SetRate(s, 3333.0f);
    for (int run = 0; run < 4; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(StartRecordChecked(s)) << s.lastError;
        int32_t next = -1;
        for (int32_t kadrs = 0; kadrs < 600;) {
            ASSERT_TRUE(Eventually([&] { return s.ring.CountUnread() > 0; }, 10s));
            const InputTable t = Take(s);
            for (int32_t k = 1; k <= t.kadrs; ++k, ++kadrs) {
                const int16_t* kadr = &t.values[static_cast<std::size_t>(3 * k)];
                ASSERT_EQ(kadr[0], 3200) << "kadr " << kadrs;
                ASSERT_EQ(kadr[1], 6400) << "kadr " << kadrs;
                const int32_t ramp = (kadr[2] + 16000) / 32;
                ASSERT_TRUE(next < 0 || ramp == next % 1000) << "kadr " << kadrs << ": " << ramp;
                next = ramp + 1;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100 + 300 * run)); // a stop elsewhere in a kadr
        StopRecording(s);
    }
}

// The hand-over follows how often the host polled over the last window,
// within its bounds, and holds between windows.
TEST(HandOverPace, FollowsTheHostsPollsWithinItsBounds) {
    using namespace std::chrono;
    // Polls in the window, the time since it began, the interval then in ms.
    const std::tuple<uint64_t, milliseconds, int64_t> cases[] = {
        {100, 100ms, kHandOverMs},      // every millisecond: the fastest
        {20, 100ms, 5},                 // every 5 ms
        {16, 100ms, 6},                 // every 6.25 ms
        {100, 50ms, 6},                 // the window not over: as before
        {5, 100ms, kSlowestHandOverMs}, // every 20 ms: the slowest
        {0, 100ms, kSlowestHandOverMs}, // not at all
        {1, 200ms, kSlowestHandOverMs}, // a longer window counts whole
    };
    const auto start = Clock::now();
    HandOverPace pace(start);
    EXPECT_EQ(pace.Interval(0, start).count(), kHandOverMs) << "the fastest until the first window ends";
    auto since = start;
    uint64_t polls = 0;
    for (const auto& [inWindow, after, ms] : cases) {
        SCOPED_TRACE(testing::Message() << inWindow << " polls in " << after.count() << " ms");
        const auto now = since + after;
        EXPECT_EQ(pace.Interval(polls + inWindow, now).count(), ms);
        if (after >= HandOverPace::kWindow) {
            polls += inWindow;
            since = now;
        }
    }
}

// A stop ends the worker at once: one waiting for the trigger, whose receives
// last a few milliseconds each with pauses of 20 ms between them, whatever
// the library does at a stop; and one whose host does not poll, which gets
// the slowest hand-overs (and everything whole when it does read).
TEST_F(EngineTest, AStopEndsTheWorkerAtOnce) {
    for (const bool waiting : {false, true}) {
        SCOPED_TRACE(waiting ? "waiting for the trigger" : "paced hand-overs");
        if (waiting) {
            ASSERT_NO_FATAL_FAILURE(RecordWaitingForTheTrigger());
            e16sim_reset_call_counts();
            std::this_thread::sleep_for(500ms);
            EXPECT_LE(e16sim_call_count("X502_Recv"), 30)
                << "receives between pauses of 20 ms while nothing comes";
            EXPECT_GE(e16sim_call_count("X502_Recv"), 10) << "receives of a few milliseconds";
        } else {
            ASSERT_NO_FATAL_FAILURE(Record({0, 1, 2, 3}, 50000.0f));
            std::this_thread::sleep_for(300ms);
            EXPECT_GT(Take(s).kadrs, 10000) << "0.3 s at 50000 kadrs/s";
        }
        const auto stop = Clock::now();
        StopRecording(s);
        EXPECT_LT(Clock::now() - stop, waiting ? 1000ms : 100ms);
        EXPECT_FALSE(s.acquisition.HasWorker());
    }
}

// Once the trigger came, kadrs reach the ring long before a whole block of them has.
TEST_F(EngineTest, TheTriggersKadrsComeBeforeABlockOfThem) {
    ASSERT_NO_FATAL_FAILURE(RecordWaitingForTheTrigger());
    e16sim_fire_edge(E16SIM_INPUT_TRIG, 1);
    ASSERT_TRUE(Eventually([&] { return s.ring.CountUnread() > 0; }, 10s));
    EXPECT_LT(s.ring.CountUnread(), s.acquisition.blocks.blockKadrs / 2) << "a block late";
    StopRecording(s);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Values already in codes and what they must give, from the worker's
// reference and from the block function that single readings and the
// generator use (in one call: its grouped loop and its tail).
TEST(VoltsToCodes, EachValueGivesItsRoundedClippedCode) {
    const std::vector<std::pair<double, int16_t>> cases = {
        {0.5, 0},           {1.5, 2},           {2.5, 2},        {-0.5, 0},        {-1.5, -2},
        {-2.5, -2},         {-0.0, 0},          {-7.75, -8},     {32766.5, 32766}, {32767.4, 32767},
        {32767.5, 32767},   {3e15, 32767},      {1e300, 32767},  {kInf, 32767},    {-32767.5, -32768},
        {-32768.5, -32768}, {-32769.0, -32768}, {-kInf, -32768}, {kNaN, 0},        {-kNaN, 0}};
    std::vector<double> values;
    for (const auto& c : cases) values.push_back(c.first);
    std::vector<int16_t> block(values.size());
    output::DoubleToInt16(values.data(), block.data(), values.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(CodeOf(values[i]), cases[i].second) << "reference, " << values[i];
        EXPECT_EQ(block[i], cases[i].second) << "block function, " << values[i];
    }
    EXPECT_EQ(ClampToCode(-11.0 * 3200), -32768) << "a single reading's code clips rather than wraps";
}

// Special values at every lane position against every channel's scale, in
// blocks of every tail length; kernels the processor lacks are skipped.
TEST(VoltsToCodes, EveryKernelGivesTheReferencesBitsOnTheSpecialValues) {
    // Each edge of rounding and clipping with its neighbours, all negated too.
    using Limits = std::numeric_limits<double>;
    std::vector<double> corpus = {
        kNaN,         Limits::signaling_NaN(), kInf,         0.0, 1e300, 4.9e-324, 2147483647.5,
        2147483648.5, 6755399441055744.5,      Limits::max()};
    for (const double edge : {0.5, 1.5, 2.5, 32766.5, 32767.0, 32767.5, 32768.0, 32768.5, 32769.0})
        for (const double near : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, kInf)})
            corpus.push_back(near);
    for (std::size_t i = 0, n = corpus.size(); i < n; ++i) corpus.push_back(-corpus[i]);
    std::mt19937_64 random(16);
    std::uniform_int_distribution<int> halves(-70000, 70000);
    for (int i = 0; i < 2000; ++i) corpus.push_back(halves(random) / 2.0);
    // Codes per volt of the four ranges, 1 (values already in codes) and odd ones.
    const std::vector<double> scales = {1.0, 3200.0, 12800.0, 51200.0, 204800.0, -1.0, 0.0, 0.5, 1e-300};
    for (const CodeKernel kernel : {CodeKernel::Sse2, CodeKernel::Avx2}) {
        if (!KernelRuns(kernel)) continue;
        for (const std::size_t channels : {1u, 3u, 8u, 9u, 32u}) {
            std::vector<double> perChannel(channels);
            for (std::size_t c = 0; c < channels; ++c) perChannel[c] = scales[c % scales.size()];
            const CodeScales pattern(perChannel);
            for (std::size_t shift = 0; shift < 17; ++shift) {
                const std::size_t count = corpus.size() - shift;
                std::vector<double> volts(corpus.begin() + static_cast<std::ptrdiff_t>(shift), corpus.end());
                std::vector<int16_t> got(count, 99);
                VoltsToCodes(kernel, volts.data(), pattern, got.data(), count);
                for (std::size_t i = 0; i < count; ++i) {
                    const double scale = perChannel[i % channels];
                    ASSERT_EQ(got[i], CodeOf(volts[i] * scale))
                        << "kernel " << static_cast<int>(kernel) << ", " << channels << " channels, value "
                        << volts[i] << " times " << scale << " at " << i;
                }
            }
        }
    }
}

} // namespace
} // namespace velmora::test
