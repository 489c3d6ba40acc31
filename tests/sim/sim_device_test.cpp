// Opening modules, handle safety, USB modules, call counts and injected
// failures of the simulated module (its identity is read by the detection
// tests); frequencies, the logical channel table and synchronization
// settings as it adjusts, checks and applies them.
#include <functional>
#include <set>
#include <string>
#include <type_traits>

#include "sim_fixture.h"

namespace e16sim::test {
namespace {

TEST_F(SimTest, OnlyTheTwoLoopbackAddressesAnswer) {
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpDac, 0, 10000), X502_ERR_OK);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), X502_ERR_OK);
    for (uint32_t ip : {0x7F000003u, 0x7F010001u, 0xC0A8010Au, 0x0A000001u, 0u}) {
        t_x502_hnd h = create();
        EXPECT_EQ(E16_OpenByIpAddr(h, ip, 0, 10000), X502_ERR_CONNECTION_REFUSED) << std::hex << ip;
        uint32_t ready = 0;
        EXPECT_EQ(X502_GetRecvReadyCount(h, &ready), X502_ERR_DEVICE_NOT_OPENED) << std::hex << ip;
    }
    // A module has one owner at a time; freeing a handle releases its module.
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpDac, 0, 10000), X502_ERR_DEVICE_BUSY) << "a second owner";
    EXPECT_EQ(E16_OpenByIpAddr(handles_[0], kIpNoDac, 0, 10000), X502_ERR_ALREADY_OPENED)
        << "a second module on one handle";
    ASSERT_EQ(X502_Free(handles_[0]), X502_ERR_OK);
    handles_.erase(handles_.begin());
    EXPECT_EQ(E16_OpenByIpAddr(handles_.back(), kIpDac, 0, 10000), X502_ERR_OK)
        << "the free released nothing";
}

// Every entry point that takes a handle, called with zeros for numbers and a
// zeroed buffer for pointers; from the binding's own list, so a new entry
// joins by itself.
alignas(16) uint8_t g_zeros[4096];
struct Zero {
    template <typename T> operator T() const {
        if constexpr (std::is_pointer_v<T>) return reinterpret_cast<T>(g_zeros);
        return T{};
    }
};
template <typename R, typename... A> std::function<int32_t(t_x502_hnd)> WithHandle(R (*)(A...)) {
    return nullptr;
}
template <typename... A> std::function<int32_t(t_x502_hnd)> WithHandle(int32_t (*entry)(t_x502_hnd, A...)) {
    return [entry](t_x502_hnd h) { return entry(h, static_cast<A>(Zero{})...); };
}
std::vector<std::pair<std::string, std::function<int32_t(t_x502_hnd)>>> everyCall() {
    std::vector<std::pair<std::string, std::function<int32_t(t_x502_hnd)>>> calls;
#define E16SIM_CALL(name)                                                                                    \
    if (auto call = WithHandle(&::name)) calls.emplace_back(#name, call);
    X502API_ENTRIES(E16SIM_CALL)
    E502API_ENTRIES(E16SIM_CALL)
#undef E16SIM_CALL
    return calls;
}

TEST_F(SimTest, NullClosedAndFreedHandlesAreRefusedByEveryCall) {
    t_x502_hnd closed = create(); // before the free, so it cannot reuse the freed address
    t_x502_hnd freed = open();
    ASSERT_EQ(X502_Free(freed), X502_ERR_OK);
    handles_.pop_back();
    const std::set<std::string> opening = {"X502_Close", "E16_OpenByIpAddr", "E16_OpenUsb", "X502_Free"};
    e16sim_reset_call_counts();
    const auto calls = everyCall();
    ASSERT_GE(calls.size(), 40u);
    for (const auto& [name, call] : calls) {
        EXPECT_EQ(call(nullptr), X502_ERR_INVALID_HANDLE) << name;
        EXPECT_EQ(call(freed), X502_ERR_INVALID_HANDLE) << name;
        EXPECT_EQ(call(reinterpret_cast<t_x502_hnd>(&freed)), X502_ERR_INVALID_HANDLE) << name;
        EXPECT_EQ(opening.contains(name) ? X502_ERR_DEVICE_NOT_OPENED : call(closed),
                  X502_ERR_DEVICE_NOT_OPENED)
            << name;
        EXPECT_EQ(e16sim_call_count(name.c_str()), opening.contains(name) ? 3 : 4) << name;
    }
    t_x502_hnd h = open();
    EXPECT_EQ(X502_GetDevInfo(h, nullptr), X502_ERR_INVALID_POINTER);
    EXPECT_EQ(X502_SetAdcFreq(h, nullptr, nullptr), X502_ERR_INVALID_POINTER);
    EXPECT_EQ(X502_ProcessAdcData(h, nullptr, nullptr, nullptr, 1), X502_ERR_INVALID_POINTER);
    EXPECT_EQ(X502_FlashRead(h, 0, nullptr, 4), X502_ERR_INVALID_POINTER);
}

// Listing and opening by index are TE16's tests.
TEST_F(SimTest, UsbModulesAreAddedOnceAndHaveOneOwner) {
    ASSERT_GE(e16sim_add_usb_module("SIMUSB1", 1), 0);
    EXPECT_EQ(e16sim_add_usb_module("SIMUSB1", 1), -1) << "the same serial twice";
    EXPECT_EQ(E16_OpenUsb(create(), "SIMUSB2"), X502_ERR_DEVICE_NOT_FOUND);
    ASSERT_EQ(E16_OpenUsb(create(), "SIMUSB1"), X502_ERR_OK);
    char serials[1][32];
    uint32_t count = 99;
    EXPECT_EQ(E16_UsbGetSerialList(serials, 1, X502_GETDEVS_FLAGS_ONLY_NOT_OPENED, &count), 0)
        << "an opened module listed as not opened";
    EXPECT_EQ(E16_OpenUsb(create(), "SIMUSB1"), X502_ERR_DEVICE_BUSY) << "a second owner";
}

// The fault controls every fault test relies on: a failing call heals, and
// an open can be refused with a code of the test's choosing.
TEST_F(SimTest, CallsAreCountedAndCanBeMadeToFail) {
    t_x502_hnd h = open();
    EXPECT_EQ(e16sim_call_count("X502_NoSuchCall"), -1);
    EXPECT_EQ(e16sim_fault_fail_call("Nothing", -1), -1);
    ASSERT_EQ(e16sim_fault_fail_call("X502_SetMode", -77), 0);
    EXPECT_EQ(X502_SetMode(h, 0), -77);
    ASSERT_EQ(e16sim_fault_fail_call("X502_SetMode", 0), 0);
    EXPECT_EQ(X502_SetMode(h, 1), X502_ERR_INVALID_MODE) << "a healed call checks its argument again";
    EXPECT_EQ(e16sim_call_count("X502_SetMode"), 2);
    e16sim_fault_refuse_open(1);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), X502_ERR_CONNECTION_REFUSED);
    e16sim_fault_refuse_open(-55);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), -55);
    e16sim_fault_refuse_open(0);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), X502_ERR_OK) << "refusal switched off";
}

e16sim_config config(int32_t applied) {
    e16sim_config c{};
    EXPECT_EQ(e16sim_get_config(E16SIM_MODULE_DAC, applied, &c), 0);
    return c;
}

TEST_F(SimTest, AdcFrequenciesFollowTheDividerAndDelayRules) {
    struct Case {
        uint32_t channels;
        double acq, frame; // frame 0: not asked for
        double wantAcq, wantFrame;
    };
    const Case cases[] = {
        {4, 100000, 10000, 100000, 10000}, // divider 480, delay 4800 - 4 x 480
        {4, 239395.5, 1e9, 240000, 60000}, // 200.505 rounds down to divider 200; no delay
        {4, 1, 0.001, 48e6 / 1048576, 48e6 / (4.0 * 1048576 + 0x1FFFFF)}, // both clamp
        {32, 500000, 500000, 500000, 15625},                              // the whole rate on 32 channels
        {1, 2e6, 0, 500000, 500000},                                      // never above 500 kS/s
    };
    t_x502_hnd h = open();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels asking " << c.acq << " and " << c.frame);
        ASSERT_EQ(X502_SetLChannelCount(h, c.channels), X502_ERR_OK);
        double acq = c.acq;
        double frame = c.frame;
        ASSERT_EQ(X502_SetAdcFreq(h, &acq, c.frame > 0 ? &frame : nullptr), X502_ERR_OK);
        EXPECT_DOUBLE_EQ(acq, c.wantAcq) << "conversion rate";
        if (c.frame > 0) {
            EXPECT_DOUBLE_EQ(frame, c.wantFrame) << "frame rate";
        }
        if (c.acq == 100000) {
            EXPECT_EQ(config(0).adc_div, 480u) << "divider";
            EXPECT_EQ(config(0).frame_delay, 2880u) << "frame delay";
        }
    }
    for (double bad : {0.0, -1.0, std::nan("")}) {
        double frame = 1000;
        EXPECT_EQ(X502_SetAdcFreq(h, &bad, &frame), X502_ERR_INVALID_ADC_FREQ) << bad;
    }
}

TEST_F(SimTest, OutputAndDigitalInputFrequenciesUseTheReferenceDivider) {
    t_x502_hnd h = open();
    // 6857.14 + 0.49 -> divider 6857
    for (const auto& [asked, given] : {std::pair{1000.0, 1000.0}, {7000.0, 48e6 / 6857}, {1e6, 500000.0}}) {
        double out = asked;
        ASSERT_EQ(X502_SetOutFreq(h, &out), X502_ERR_OK) << "asking " << asked;
        EXPECT_DOUBLE_EQ(out, given) << "asking " << asked;
    }
    double out = -1.0;
    EXPECT_EQ(X502_SetOutFreq(h, &out), X502_ERR_INVALID_OUT_FREQ);
    double din = 3e6;
    ASSERT_EQ(X502_SetDinFreq(h, &din), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(din, 1e6) << "digital input rate limit";
    EXPECT_EQ(X502_SetRefFreq(h, 2000000), X502_ERR_INVALID_REF_FREQ);
    ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    EXPECT_EQ(config(1).out_div, 96u) << "applied output divider";
    EXPECT_DOUBLE_EQ(config(1).din_freq, 1e6) << "applied digital input rate";
}

TEST_F(SimTest, SettingsAreRefusedWhileStreaming) {
    t_x502_hnd h = open();
    program(h, {{0, 0, 0}}, 1000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    double f = 2000.0;
    EXPECT_EQ(X502_SetAdcFreq(h, &f, nullptr), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_SetOutFreq(h, &f), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_Configure(h, 0), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_StreamsStart(h), X502_ERR_STREAM_IS_RUNNING);
    ASSERT_EQ(X502_StreamsStop(h), X502_ERR_OK);
    EXPECT_EQ(X502_SetAdcFreq(h, &f, nullptr), X502_ERR_OK) << "refused after the stop";
}

TEST_F(SimTest, ChannelTableAndSyncSettingsAreCheckedAndAppliedByConfigure) {
    t_x502_hnd h = open();
    EXPECT_EQ(X502_SetLChannel(h, 0, 31, X502_LCH_MODE_COMM, 3, 0), X502_ERR_OK);
    EXPECT_EQ(X502_SetLChannel(h, 1, 15, X502_LCH_MODE_DIFF, 1, 128), X502_ERR_OK);
    EXPECT_EQ(X502_SetLChannel(h, 3, 16, X502_LCH_MODE_DIFF, 0, 0), X502_ERR_INVALID_LCH_PHY_NUMBER);
    EXPECT_EQ(X502_SetLChannel(h, 3, 0, 3, 0, 0), X502_ERR_INVALID_LCH_MODE);
    EXPECT_EQ(X502_SetLChannel(h, 3, 0, 0, 4, 0), X502_ERR_INVALID_LCH_RANGE);
    EXPECT_EQ(X502_SetLChannel(h, 256, 0, 0, 0, 0), X502_ERR_INVALID_LCH_NUMBER);
    EXPECT_EQ(X502_SetLChannelCount(h, 257), X502_ERR_INVALID_LTABLE_SIZE);
    ASSERT_EQ(X502_SetLChannelCount(h, 2), X502_ERR_OK);
    for (uint32_t code : {4u, 5u, 12u}) {
        EXPECT_EQ(X502_SetSyncStartMode(h, code), X502_ERR_INVALID_SYNC_MODE) << code;
    }
    ASSERT_EQ(X502_SetSyncStartMode(h, X502_SYNC_ADC_BELOW_LEVEL), X502_ERR_OK);
    EXPECT_EQ(X502_SetAdcSyncStartValue(h, 20, X502_LCH_MODE_DIFF, 1, 0.5), X502_ERR_INVALID_LCH_PHY_NUMBER);
    ASSERT_EQ(X502_SetAdcSyncStartValue(h, 20, X502_LCH_MODE_COMM, 1, 0.5), X502_ERR_OK);

    EXPECT_EQ(config(1).lch_count, 1u) << "applied before Configure";
    ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    const e16sim_config c = config(1);
    EXPECT_EQ(c.lch_count, 2u);
    EXPECT_EQ(c.lch[0].phy, 31u);
    EXPECT_EQ(c.lch[0].range, 3u);
    EXPECT_EQ(c.lch[1].mode, 1u);
    EXPECT_EQ(c.sync_start_mode, 11u);
    EXPECT_EQ(c.watch_phy, 20u);
    EXPECT_DOUBLE_EQ(c.watch_level, 0.5);
}

} // namespace
} // namespace e16sim::test
