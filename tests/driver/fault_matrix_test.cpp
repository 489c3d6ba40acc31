// Every vendor entry point (from the binding's own list) fails in turn during
// each host operation that reaches the module: it returns (an alarm ends a
// hung run), reports a text where it reports failures at all, leaves no
// worker behind, and works again once the fault is cleared.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <tuple>
#include <utility>

#include <unistd.h>

#include "device/te16.h"
#include "device/x502api.h"
#include "driver_objects.h"

namespace velmora::test {
namespace {

constexpr int16_t kChannel = 0, kSingle = 1; // wired to X1 (recorded) and X2 (read singly) against ground
constexpr int16_t kSingleCode = 8000;        // 2.5 V on X2, range 0

// The driver object with X1 and X2 at known levels; a hang ends the process.
class Faults : public DriverObjects {
public:
    void SetUp() override {
        ::alarm(20);
        DriverObjects::SetUp();
        e16sim_set_dc(0, 1.25);
        e16sim_set_dc(1, 2.5);
    }
    void TearDown() override {
        e16sim_fault_clear_all();
        DriverObjects::TearDown();
        ::alarm(0);
    }

    // Detected, one channel wired to X1 at a rate that fills a block in a few
    // tens of milliseconds.
    void Detect() {
        ASSERT_TRUE(Test()) << LastError();
        Wire();
    }
    void Wire() {
        driver::State().input.channelTable[kChannel] = {kChannel, 1};
        driver::State().input.channelTable[kSingle] = {kSingle, 1};
        Select({kChannel}, 100000.0f);
    }
    // The generator armed and the start and stop words on, so that a start
    // reaches every output call too.
    void DetectAndArm() {
        Detect();
        driver::State().output.generator.waves[0] = {core::Waveform::Sine, 3200};
        driver::State().output.ApplySettings(driver::State().Device());
        EnableWords(0x00A5, 0x005A);
    }
    bool DataArrives() {
        return Eventually([&] { return Unread() > 0; });
    }
    int16_t Reading() {
        int16_t index = kSingle, code = 0;
        EXPECT_EQ(adc_->GetChannel(&index, &code), S_OK);
        return code;
    }
    static bool WorkerLeft() { return driver::State().acquisition.HasWorker(); }
    // A recording that starts and delivers data.
    void RecordsAgain() {
        ASSERT_TRUE(StartRecord()) << LastError();
        EXPECT_TRUE(DataArrives());
        EXPECT_EQ((std::pair{adc_->StopRecord(), WorkerLeft()}), std::pair(S_OK, false));
    }

    int32_t kadrsBefore = 0;
    std::string entry; // the one failing
};

// What each operation needs first, then does with the fault in place and
// checks of what it reports, then shows once the fault is cleared.
struct Operation {
    const char* name;
    std::function<void(Faults&)> arrange, act, recovered;
};

const Operation kOperations[] = {
    {"Detection", [](Faults&) {},
     [](Faults& f) { // a failed detection says why and leaves the module closed
         if (f.Test()) return;
         EXPECT_NE(f.LastError(), "") << "a failed detection without a text";
         EXPECT_FALSE(f.LastError().starts_with("Error 0")) << "no code of the failure: " << f.LastError();
         EXPECT_EQ(driver::State().Device()->Handle(), nullptr) << "a failed detection left the module open";
     },
     [](Faults& f) { // the next Test asks for the address again and opens it
         f.Detect();
         EXPECT_EQ(f.Reading(), kSingleCode);
     }},
    {"Start", &Faults::DetectAndArm,
     [](Faults& f) { // a failed start says why and is over
         const bool started = f.StartRecord();
         EXPECT_TRUE(started || !f.LastError().empty()) << "a failed start without a text";
         if (started) f.adc_->StopRecord();
         EXPECT_FALSE(f.Busy());
     },
     &Faults::RecordsAgain},
    {"Recording",
     [](Faults& f) {
         f.DetectAndArm();
         ASSERT_TRUE(f.StartRecord()) << f.LastError();
         ASSERT_TRUE(f.DataArrives());
         f.kadrsBefore = f.Unread();
     },
     [](Faults& f) { // the worker rides it out silently; the stop ends it and keeps what came
         if (f.entry == "X502_ProcessAdcData") { // but kadrs it could not convert end it, said
             EXPECT_TRUE(Eventually([&] { return !f.Busy(); }));
             EXPECT_TRUE(f.LastError().ends_with("; the module's data could not be converted"))
                 << f.LastError();
         } else {
             const int64_t polls = e16sim_call_count("X502_Recv");
             EXPECT_TRUE(Eventually([&] { return e16sim_call_count("X502_Recv") >= polls + 3; }))
                 << "the worker turns";
             EXPECT_EQ(f.LastError(), "") << "the worker reports nothing";
         }
         EXPECT_EQ((std::pair{f.adc_->StopRecord(), f.Busy()}), std::pair(S_OK, false));
         EXPECT_GE(f.Unread(), f.kadrsBefore) << "kadrs received before the stop were lost";
     },
     &Faults::RecordsAgain},
    {"SingleReading", &Faults::Detect,
     [](Faults& f) { // 0 or the input, LastError left alone
         const int16_t code = f.Reading();
         EXPECT_TRUE(code == 0 || code == kSingleCode) << "read " << code;
         EXPECT_EQ(f.LastError(), "");
     },
     [](Faults& f) { EXPECT_EQ(f.Reading(), kSingleCode) << "a set-up the fault spoiled"; }},
    {"AnalogWrite", &Faults::Detect,
     [](Faults& f) { // silent: IDAO's LastError stays empty
         EXPECT_EQ(f.dao_->put_ValueReal(0, 1.5), S_OK);
         EXPECT_EQ(driver::State().output.lastError, "");
     },
     [](Faults& f) { // the level the fault kept from the module is written when asked again
         EXPECT_EQ((std::pair{f.dao_->put_ValueReal(0, 1.5), ModuleDacLevel(0)}), std::pair(S_OK, 1.5));
     }},
    {"DigitalWrite", &Faults::Detect, [](Faults& f) { EXPECT_EQ(f.SetWord(0x1234), S_OK); },
     [](Faults& f) {
         EXPECT_EQ((std::pair{f.SetWord(0x4321), ModuleLines()}), std::pair(S_OK, 0x4321u));
     }},
};

#define VELMORA_ENTRY_NAME(name) #name,
const std::string kEntries[] = {X502API_ENTRIES(VELMORA_ENTRY_NAME) E502API_ENTRIES(VELMORA_ENTRY_NAME)};
#undef VELMORA_ENTRY_NAME

class FaultMatrix : public Faults, public ::testing::WithParamInterface<std::tuple<std::string, int>> {};

TEST_P(FaultMatrix, RecoversFromAFailingCall) {
    const auto& [entry, index] = GetParam();
    const Operation& op = kOperations[index];
    this->entry = entry;
    op.arrange(*this);
    if (HasFatalFailure()) return;
    ASSERT_EQ(e16sim_fault_fail_call(entry.c_str(), X502_ERR_INTERNAL), 0);
    op.act(*this);
    EXPECT_FALSE(WorkerLeft());
    e16sim_fault_clear_all();
    SCOPED_TRACE("after the fault was cleared");
    op.recovered(*this);
}

INSTANTIATE_TEST_SUITE_P(EveryEntry, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kEntries),
                                            ::testing::Range(0, static_cast<int>(std::size(kOperations)))),
                         [](const auto& info) {
                             return std::string(kOperations[std::get<1>(info.param)].name) + "_" +
                                    std::get<0>(info.param);
                         });

constexpr int32_t kBlock = 4096;             // kadrs of one channel at 100000 per second in 40 ms
constexpr int32_t kCame = 2 * kBlock + 1000; // the loss comes inside the third block

// A lost connection, after kCame kadrs, ends the recording by itself: Busy
// false with the library's text in LastError (EndReason, the same text, is
// the stalled stream's test), what came before kept, and the module given
// up. Once it answers again, the next Test opens the same address without
// asking, keeps what the host set since the last save (rate, channel table,
// generator), and a start records.
TEST_F(Faults, ALostConnectionGivesTheModuleUpUntilTheNextTest) {
    DetectAndArm();
    driver::DriverState& s = driver::State();
    const auto rate = std::exchange(s.input.rate, 1000.0f);
    s.input.channelTable[kChannel].singleEnded = 0;
    s.output.generator.waves[0].waveform = core::Waveform::Pulse;
    ASSERT_TRUE(Ask(module_.get(), &IModule::SaveSettings)) << LastError();
    s.input.rate = rate;
    s.input.channelTable[kChannel].singleEnded = 1;
    s.output.generator.waves[0].waveform = core::Waveform::Sine;
    ASSERT_EQ(e16sim_fault_disconnect_after(E16SIM_MODULE_DAC, kCame), 0);
    ASSERT_TRUE(StartRecord()) << LastError();
    ASSERT_EQ(driver::State().acquisition.blocks.blockKadrs, kBlock);
    ASSERT_TRUE(Eventually([&] { return !Busy(); }));
    EXPECT_EQ(LastError(), "Error -11: Connection to the module was lost");
    EXPECT_EQ(Unread(), kCame) << "the kadrs of the block cut short are kept too";
    EXPECT_EQ(std::tuple(Detected(), Connected(), WorkerLeft(), Text(&IModule::get_Address)),
              std::tuple(false, false, false, "127.0.0.1"))
        << "the module given up, the address the lost module's";
    EXPECT_FALSE(StartRecord()) << "a start before the module is open again";
    EXPECT_EQ(adc_->StopRecord(), S_OK);
    EXPECT_EQ(Text(&IModule::get_EndReason), LastError()) << "a host's stop after the end keeps its reason";

    e16sim_fault_clear_all();
    ASSERT_TRUE(Ask(adc_.get(), &IADC3::Test)) << "no chooser answer is queued: " << LastError();
    EXPECT_EQ(std::tuple(Connected(), s.input.rate, s.input.channelTable[kChannel].singleEnded,
                         s.output.generator.waves[0].waveform),
              std::tuple(true, rate, int16_t{1}, core::Waveform::Sine))
        << "open again, with what the host set since the save";
    RecordsAgain();

    // So does a host that names its module's address at every Test.
    ASSERT_EQ(e16sim_fault_disconnect_after(E16SIM_MODULE_DAC, kCame), 0);
    ASSERT_TRUE(StartRecord()) << LastError();
    ASSERT_TRUE(Eventually([&] { return !Busy(); }));
    e16sim_fault_clear_all();
    SetAddress(u"127.0.0.1");
    ASSERT_TRUE(Ask(adc_.get(), &IADC3::Test)) << LastError();
    EXPECT_EQ(s.input.rate, rate);
}

// A module that stops sending, one whose buffer overflows while the host
// lags (its clock runs 100 times fast and the host reads only after a pause),
// or reads that all fail, before the first data or after, end the recording
// the same way: the stop word is written, and the module
// stays open.
TEST_F(Faults, AStalledStreamEndsTheRecordingWithAReason) {
    enum Fault { Stall, Overflow, Failing, FailingLater };
    // How LastError and EndReason begin and end.
    const std::tuple<Fault, const char*, const char*> cases[] = {
        {Stall, "No data from the module for 5 s", ""},               // after the first data
        {Overflow, "Error -10: Input stream buffer overflow", ""},    // the host reads after a pause
        {Failing, "Error -13: ", "; every read failed for 5 s"},      // from before the first data
        {FailingLater, "Error -13: ", "; every read failed for 5 s"}, // after the first data
    };
    Detect();
    for (const auto& [fault, reason, ending] : cases) {
        SCOPED_TRACE(reason);
        EnableWords(0x00A5, 0x005A);
        e16sim_set_time_scale(fault == Overflow ? 100 : 1);
        if (fault == Failing) {
            ASSERT_EQ(e16sim_fault_fail_call("X502_Recv", X502_ERR_INTERNAL), 0);
        }
        ASSERT_TRUE(StartRecord()) << LastError();
        EXPECT_EQ(Text(&IModule::get_EndReason), "") << "a start forgets how the last run ended";
        if (fault != Failing) {
            ASSERT_TRUE(DataArrives());
        }
        const auto since = std::chrono::steady_clock::now();
        if (fault == Stall) e16sim_fault_stall(E16SIM_MODULE_DAC, 1);
        if (fault == FailingLater) {
            ASSERT_EQ(e16sim_fault_fail_call("X502_Recv", X502_ERR_INTERNAL), 0);
        }
        if (fault == Overflow) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        std::vector<int16_t> buffer(1 << 16); // the host keeps reading
        ASSERT_TRUE(Eventually(
            [&] {
                GetData(buffer.data(), 1 << 16);
                return !Busy();
            },
            std::chrono::seconds(8)));
        EXPECT_LT(std::chrono::steady_clock::now() - since, std::chrono::milliseconds(6500));
        EXPECT_TRUE(LastError().starts_with(reason) && LastError().ends_with(ending)) << LastError();
        // Only a lost connection gives the module up.
        EXPECT_EQ(std::tuple(Text(&IModule::get_EndReason), Connected(), ModuleLines()),
                  std::tuple(LastError(), true, 0x005Au))
            << "EndReason, the module open, the stop word";
        e16sim_fault_clear_all();
        e16sim_set_time_scale(1);
    }
    RecordsAgain();
}

// A host that leaves its ring full past the time-out and then meets a read
// that fails for a moment keeps its recording: the driver's wait for room
// was no failing read.
TEST_F(Faults, AReadFailingAfterTheHostsPauseIsNoEnd) {
    Detect();
    Select({kChannel}, 1000.0f);
    int32_t ring = 1024;
    ASSERT_EQ(adc_->put_InputSizeData(&ring), S_OK);
    ASSERT_TRUE(StartRecord()) << LastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(6500)); // the ring full after a second
    ASSERT_EQ(e16sim_fault_fail_call("X502_Recv", X502_ERR_INTERNAL), 0);
    std::vector<int16_t> buffer(1024);
    EXPECT_EQ(GetData(buffer.data(), 1024), 1024);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    e16sim_fault_clear_all();
    EXPECT_TRUE(Busy()) << LastError();
}

// A host that lets the driver go without another call after the recording
// ended by itself still leaves the stop word on the lines.
TEST_F(Faults, TheLastReleaseAfterARecordingEndedByItselfWritesTheStopWord) {
    Detect();
    EnableWords(0x00A5, 0x005A);
    ASSERT_TRUE(StartRecord()) << LastError();
    ASSERT_TRUE(DataArrives());
    e16sim_fault_stall(E16SIM_MODULE_DAC, 1);
    // Read from the state: a member call would run the stop path itself.
    ASSERT_TRUE(Eventually([] { return !driver::State().acquisition.Busy(); }, std::chrono::seconds(8)));
    EXPECT_EQ(ModuleLines(), 0x00A5u);
    Release();
    EXPECT_EQ(ModuleLines(), 0x005Au);
}

// However long the trigger takes, the start waits for it.
TEST_F(Faults, AStartWaitingForItsTriggerWaitsBeyondTheReceiveTimeOut) {
    Detect();
    driver::State().sync.mode = core::StartMode::Syn1Rise;
    ASSERT_TRUE(StartRecord()) << LastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(6000)); // past the receive time-out of 5.08 s
    EXPECT_TRUE(Busy()) << LastError();
    EXPECT_EQ(Unread(), 0);
    e16sim_fire_edge(E16SIM_INPUT_TRIG, 1);
    EXPECT_TRUE(DataArrives());
    EXPECT_EQ(LastError(), "");
}

} // namespace
} // namespace velmora::test
