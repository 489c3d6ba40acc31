// Every vendor entry point fails in turn, during each host operation that
// reaches the module: detection, a start, a running recording, a single
// reading, an analog and a digital write. Whatever fails, the operation
// returns (a watchdog ends the run otherwise), reports a text where it
// reports failures at all, leaves no worker behind, and works again once the
// fault is cleared. The entries come from the binding's own list, so a new
// one joins the matrix by itself.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/te16.h"
#include "device/x502api.h"
#include "driver_objects.h"

namespace velmora::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kFault = X502_ERR_INTERNAL;
constexpr int16_t kChannel = 0;       // logical 0 wired to X1 against ground: recorded
constexpr int16_t kSingle = 1;        // logical 1 wired to X2 against ground: read singly
constexpr int16_t kSingleCode = 8000; // 2.5 V on X2, range 0

std::vector<std::string> EveryEntry() {
    return {
#define VELMORA_ENTRY_NAME(name) #name,
        X502API_ENTRIES(VELMORA_ENTRY_NAME) E502API_ENTRIES(VELMORA_ENTRY_NAME)
#undef VELMORA_ENTRY_NAME
    };
}

// Ends the process, naming the case, when the guarded scope outlives `limit`:
// a hang shows as a failure that says where instead of a stuck run.
class Watchdog {
public:
    Watchdog(std::string what, std::chrono::seconds limit)
        : thread_([this, what = std::move(what), limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (done_cv_.wait_for(lock, limit, [this] { return done_; })) return;
              std::fprintf(stderr, "%s did not return within %lld s\n", what.c_str(),
                           static_cast<long long>(limit.count()));
              std::abort();
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::thread thread_; // last: starts once the rest is built
};

// Polls `holds` every few ms until it is true or `limit` has passed.
bool Eventually(const std::function<bool()>& holds, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!holds()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A driver object over the simulated module at 127.0.0.1, seen through its
// three faces, with X1 and X2 at known levels.
class FaultFixture : public DriverObjects {
protected:
    void SetUp() override {
        DriverObjects::SetUp();
        e16sim_set_dc(0, 1.25);
        e16sim_set_dc(1, 2.5);
    }

    void TearDown() override {
        e16sim_fault_clear_all();
        DriverObjects::TearDown();
    }

    static void Heal() { e16sim_fault_clear_all(); }

    // Detected, with one channel wired to X1 at a rate that fills a block in
    // a few tens of milliseconds.
    void Detect() {
        ASSERT_TRUE(Test()) << LastError();
        Wire();
    }
    void Wire() {
        driver::State().input.channelTable[kChannel] = {kChannel, 1};
        driver::State().input.channelTable[kSingle] = {kSingle, 1};
        SAFEARRAY* table = SafeArrayCreateVector(VT_I2, 0, 1);
        static_cast<int16_t*>(table->pvData)[0] = kChannel;
        EXPECT_EQ(adc_->put_InputChannels(&table), S_OK);
        SafeArrayDestroy(table);
        float rate = 100000.0f;
        EXPECT_EQ(adc_->put_Rate(&rate), S_OK);
    }
    // The generator armed (a sine on DAC1) and the start and stop words on,
    // so a start reaches every output call too.
    void ArmOutputs() {
        driver::DriverState& s = driver::State();
        s.output.generator.waves[0].waveform = core::Waveform::Sine;
        s.output.generator.waves[0].amplitude = 3200;
        s.output.ApplySettings(s.Device());
        VARIANT_BOOL on = VARIANT_TRUE;
        int32_t start = 0x00A5, stop = 0x005A;
        dio_->put_DOStartEnabled(&on);
        dio_->put_DOStartValue(&start);
        dio_->put_DOStopEnabled(&on);
        dio_->put_DOStopValue(&stop);
    }
    bool StartRecord() {
        return Flag([&](VARIANT_BOOL* v) { return adc_->StartRecord(v); });
    }
    bool Busy() {
        return Flag([&](VARIANT_BOOL* v) { return adc_->get_Busy(v); });
    }
    int32_t UnreadKadrs() {
        int32_t kadrs = -1;
        EXPECT_EQ(adc_->get_InputCountKadrs(&kadrs), S_OK);
        return kadrs;
    }
    bool DataArrives() {
        return Eventually([&] { return UnreadKadrs() > 0; }, std::chrono::seconds(3));
    }
    int16_t Reading() {
        int16_t index = kSingle, code = 0;
        EXPECT_EQ(adc_->GetChannel(&index, &code), S_OK);
        return code;
    }
    // Read through the interface, as a host reads it.
    std::string LastError() {
        BSTR text = nullptr;
        EXPECT_EQ(adc_->get_LastError(&text), S_OK);
        std::string out;
        for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i)
            out.push_back(static_cast<char>(text[i]));
        SysFreeString(text);
        return out;
    }
    static bool WorkerLeft() { return driver::State().acquisition.HasWorker(); }
    // A recording that starts with the fault healed and delivers data.
    void RecordsAgain() {
        ASSERT_TRUE(StartRecord()) << "after the fault was cleared: " << LastError();
        EXPECT_TRUE(DataArrives()) << "after the fault was cleared";
        EXPECT_EQ(adc_->StopRecord(), S_OK);
        EXPECT_FALSE(WorkerLeft());
    }
};

class FaultMatrix : public FaultFixture, public ::testing::WithParamInterface<std::string> {
protected:
    const std::string& Entry() const { return GetParam(); }
    void Inject() { ASSERT_EQ(e16sim_fault_fail_call(Entry().c_str(), kFault), 0) << Entry(); }
    Watchdog Guard(const char* operation) const {
        return Watchdog(std::string(operation) + " with " + Entry() + " failing", std::chrono::seconds(20));
    }
};

// A failed detection says why and leaves the module closed; the next Test
// asks for the address again and opens it.
TEST_P(FaultMatrix, Detection) {
    Inject();
    bool found = false;
    {
        auto watchdog = Guard("Test");
        found = Test();
    }
    if (!found) {
        EXPECT_FALSE(LastError().empty()) << "a failed detection without a text";
        EXPECT_EQ(driver::State().Device()->Handle(), nullptr) << "a failed detection left the module open";
    }
    EXPECT_FALSE(WorkerLeft());
    Heal();
    ASSERT_TRUE(Test()) << "after the fault was cleared: " << LastError();
    Wire();
    EXPECT_EQ(Reading(), kSingleCode) << "the module answers after the fault was cleared";
}

// A failed start says why and is over: not busy, no worker.
TEST_P(FaultMatrix, Start) {
    Detect();
    ArmOutputs();
    Inject();
    {
        auto watchdog = Guard("StartRecord");
        if (StartRecord()) {
            EXPECT_EQ(adc_->StopRecord(), S_OK);
        } else {
            EXPECT_FALSE(LastError().empty()) << "a failed start without a text";
        }
    }
    EXPECT_FALSE(Busy());
    EXPECT_FALSE(WorkerLeft());
    Heal();
    RecordsAgain();
}

// A fault while recording is the worker's to ride out: it reports nothing,
// the stop ends it promptly and what had come stays readable.
TEST_P(FaultMatrix, Recording) {
    Detect();
    ArmOutputs();
    ASSERT_TRUE(StartRecord()) << LastError();
    ASSERT_TRUE(DataArrives());
    const int32_t before = UnreadKadrs();
    {
        auto watchdog = Guard("the recording");
        Inject();
        // A few turns of the worker's loop with the fault in place.
        const int64_t polls = e16sim_call_count("X502_Recv");
        EXPECT_TRUE(
            Eventually([&] { return e16sim_call_count("X502_Recv") >= polls + 3; }, std::chrono::seconds(2)));
        EXPECT_EQ(LastError(), "") << "the worker reports nothing";
        EXPECT_EQ(adc_->StopRecord(), S_OK);
    }
    EXPECT_FALSE(Busy());
    EXPECT_FALSE(WorkerLeft());
    EXPECT_GE(UnreadKadrs(), before) << "kadrs received before the stop were lost";
    Heal();
    RecordsAgain();
}

// A single reading that fails gives 0 and leaves LastError alone; the next
// one after the fault reads the input, not a set-up the fault spoiled.
TEST_P(FaultMatrix, SingleReading) {
    Detect();
    {
        auto watchdog = Guard("GetChannel");
        Inject();
        const int16_t code = Reading();
        EXPECT_TRUE(code == 0 || code == kSingleCode) << "read " << code;
    }
    EXPECT_EQ(LastError(), "");
    EXPECT_FALSE(WorkerLeft());
    Heal();
    EXPECT_EQ(Reading(), kSingleCode) << "after the fault was cleared";
}

// A failed static write is silent (IDAO LastError stays empty); the next
// level written after the fault reaches the output.
TEST_P(FaultMatrix, AnalogOutputWrite) {
    Detect();
    {
        auto watchdog = Guard("ValueReal let");
        Inject();
        EXPECT_EQ(dao_->put_ValueReal(0, 1.5), S_OK);
    }
    BSTR text = nullptr;
    EXPECT_EQ(dao_->get_LastError(&text), S_OK);
    EXPECT_EQ(SysStringLen(text), 0u);
    SysFreeString(text);
    Heal();
    EXPECT_EQ(dao_->put_ValueReal(0, 2.5), S_OK);
    double now = 0, level = 0;
    uint32_t flags = 0;
    e16sim_get_dac(E16SIM_MODULE_DAC, 0, &now, &level, &flags);
    EXPECT_EQ(level, 2.5) << "after the fault was cleared";
}

// A failed digital write is silent; the next word written reaches the lines.
TEST_P(FaultMatrix, DigitalWrite) {
    Detect();
    {
        auto watchdog = Guard("DOValue let");
        Inject();
        int32_t word = 0x1234;
        EXPECT_EQ(dio_->put_DOValue(&word), S_OK);
    }
    Heal();
    int32_t word = 0x4321;
    EXPECT_EQ(dio_->put_DOValue(&word), S_OK);
    uint32_t lines = 0, pullups = 0;
    e16sim_get_digital(E16SIM_MODULE_DAC, &lines, &pullups);
    EXPECT_EQ(lines, 0x4321u) << "after the fault was cleared";
}

INSTANTIATE_TEST_SUITE_P(EveryEntry, FaultMatrix, ::testing::ValuesIn(EveryEntry()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

using ModuleLost = FaultFixture;

// A lost connection does not end the recording: the worker keeps waiting for
// data and reports nothing until the host stops it. The stop is prompt, what
// came before the loss stays readable, the module still counts as detected,
// and the next start fails with the library's text.
TEST_F(ModuleLost, TheRecordingWaitsForTheStopAndTheNextStartSaysWhy) {
    Detect();
    constexpr int32_t kBlock = 4096; // kadrs of one channel at 100000 per second in 40 ms
    ASSERT_EQ(e16sim_fault_disconnect_after(E16SIM_MODULE_DAC, 2 * kBlock), 0);
    ASSERT_TRUE(StartRecord()) << LastError();
    ASSERT_EQ(driver::State().acquisition.blocks.blockKadrs, kBlock);
    ASSERT_TRUE(Eventually([&] { return UnreadKadrs() == 2 * kBlock; }, std::chrono::seconds(3)));
    // The worker's next look at the module finds it gone.
    const int64_t polls = e16sim_call_count("X502_Recv");
    ASSERT_TRUE(
        Eventually([&] { return e16sim_call_count("X502_Recv") >= polls + 3; }, std::chrono::seconds(2)));
    EXPECT_TRUE(Busy());
    EXPECT_EQ(LastError(), "");
    {
        Watchdog watchdog("StopRecord after the loss", std::chrono::seconds(5));
        EXPECT_EQ(adc_->StopRecord(), S_OK);
    }
    EXPECT_FALSE(Busy());
    EXPECT_FALSE(WorkerLeft());
    EXPECT_EQ(UnreadKadrs(), 2 * kBlock);
    EXPECT_TRUE(Test()) << "detection is kept until the last object goes";
    EXPECT_FALSE(StartRecord());
    EXPECT_EQ(LastError(), "Error -11: Connection to the module was lost");
    EXPECT_FALSE(Busy());
    EXPECT_FALSE(WorkerLeft());
}

} // namespace
} // namespace velmora::test
