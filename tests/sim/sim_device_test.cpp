// Opening modules, identity, handle safety, USB modules, call counts and
// injected failures of the simulated module.
#include <cstring>
#include <functional>
#include <set>
#include <string>

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

TEST_F(SimTest, InformationRecordDescribesEachModule) {
    EXPECT_EQ(X502_GetLibraryVersion(), 0x01012200u);
    struct Expect {
        uint32_t ip;
        const char* serial;
        uint32_t flags;
    };
    for (const Expect& e : {Expect{kIpDac, "SIM0001", 1u}, Expect{kIpNoDac, "SIM0002", 0u}}) {
        SCOPED_TRACE(e.serial);
        t_x502_info info;
        std::memset(&info, 0xAA, sizeof info);
        ASSERT_EQ(X502_GetDevInfo(open(e.ip), &info), X502_ERR_OK);
        // Read at the documented offsets, not through the struct.
        const auto* raw = reinterpret_cast<const uint8_t*>(&info);
        EXPECT_STREQ(reinterpret_cast<const char*>(raw), "E16");
        EXPECT_STREQ(reinterpret_cast<const char*>(raw + 32), e.serial);
        uint32_t flags = 0;
        uint16_t fpga = 0;
        uint32_t mcu = 0;
        std::memcpy(&flags, raw + 64, 4);
        std::memcpy(&fpga, raw + 68, 2);
        std::memcpy(&mcu, raw + 72, 4);
        EXPECT_EQ(flags, e.flags) << "DAC flag";
        EXPECT_EQ(fpga, 0x0105) << "FPGA version";
        EXPECT_EQ(raw[71], 0); // revision A
        EXPECT_EQ(mcu, 0x01000300u) << "MCU version 1.0.3.0";
        EXPECT_EQ(raw[192], 0); // calibration block cleared, not left as garbage
    }
}

// Every entry point with a handle.
std::vector<std::pair<const char*, std::function<int32_t(t_x502_hnd)>>> everyCall() {
    static uint32_t words[4] = {};
    static double volts[4] = {};
    static uint8_t bytes[4] = {};
    static t_x502_info info;
    static uint32_t size = 4;
    return {
        {"X502_Close", [](t_x502_hnd h) { return X502_Close(h); }},
        {"E16_OpenByIpAddr", [](t_x502_hnd h) { return E16_OpenByIpAddr(h, kIpDac, 0, 10); }},
        {"E16_OpenUsb", [](t_x502_hnd h) { return E16_OpenUsb(h, "SIMUSB1"); }},
        {"X502_SetMode", [](t_x502_hnd h) { return X502_SetMode(h, 0); }},
        {"X502_Configure", [](t_x502_hnd h) { return X502_Configure(h, 0); }},
        {"X502_GetDevInfo", [](t_x502_hnd h) { return X502_GetDevInfo(h, &info); }},
        {"X502_StreamsStart", [](t_x502_hnd h) { return X502_StreamsStart(h); }},
        {"X502_StreamsStop", [](t_x502_hnd h) { return X502_StreamsStop(h); }},
        {"X502_StreamsEnable", [](t_x502_hnd h) { return X502_StreamsEnable(h, 1); }},
        {"X502_StreamsDisable", [](t_x502_hnd h) { return X502_StreamsDisable(h, 1); }},
        {"X502_FlashWriteEnable", [](t_x502_hnd h) { return X502_FlashWriteEnable(h); }},
        {"X502_FlashWriteDisable", [](t_x502_hnd h) { return X502_FlashWriteDisable(h); }},
        {"X502_LedBlink", [](t_x502_hnd h) { return X502_LedBlink(h); }},
        {"X502_GetRecvReadyCount", [](t_x502_hnd h) { return X502_GetRecvReadyCount(h, words); }},
        {"X502_GetSendReadyCount", [](t_x502_hnd h) { return X502_GetSendReadyCount(h, words); }},
        {"X502_GetNextExpectedLchNum", [](t_x502_hnd h) { return X502_GetNextExpectedLchNum(h, words); }},
        {"X502_Recv", [](t_x502_hnd h) { return X502_Recv(h, words, 4, 10); }},
        {"X502_Send", [](t_x502_hnd h) { return X502_Send(h, words, 4, 10); }},
        {"X502_ProcessAdcData", [](t_x502_hnd h) { return X502_ProcessAdcData(h, words, volts, &size, 1); }},
        {"X502_SetStreamStep", [](t_x502_hnd h) { return X502_SetStreamStep(h, 0, 16); }},
        {"X502_SetStreamBufSize", [](t_x502_hnd h) { return X502_SetStreamBufSize(h, 0, 4096); }},
        {"X502_AsyncGetAdcFrame", [](t_x502_hnd h) { return X502_AsyncGetAdcFrame(h, 1, 10, volts); }},
        {"X502_SetRefFreq", [](t_x502_hnd h) { return X502_SetRefFreq(h, 48000000); }},
        {"X502_SetAdcFreq", [](t_x502_hnd h) { return X502_SetAdcFreq(h, volts, volts + 1); }},
        {"X502_SetLChannelCount", [](t_x502_hnd h) { return X502_SetLChannelCount(h, 1); }},
        {"X502_SetLChannel", [](t_x502_hnd h) { return X502_SetLChannel(h, 0, 0, 0, 0, 0); }},
        {"X502_SetSyncMode", [](t_x502_hnd h) { return X502_SetSyncMode(h, 0); }},
        {"X502_SetSyncStartMode", [](t_x502_hnd h) { return X502_SetSyncStartMode(h, 0); }},
        {"X502_SetAdcSyncStartValue", [](t_x502_hnd h) { return X502_SetAdcSyncStartValue(h, 0, 0, 0, 1); }},
        {"X502_AsyncInDig", [](t_x502_hnd h) { return X502_AsyncInDig(h, words); }},
        {"X502_AsyncOutDig", [](t_x502_hnd h) { return X502_AsyncOutDig(h, 1, 0); }},
        {"X502_SetDinFreq", [](t_x502_hnd h) { return X502_SetDinFreq(h, volts); }},
        {"X502_SetOutFreq", [](t_x502_hnd h) { return X502_SetOutFreq(h, volts); }},
        {"X502_SetDigInPullup", [](t_x502_hnd h) { return X502_SetDigInPullup(h, 0); }},
        {"X502_FlashRead", [](t_x502_hnd h) { return X502_FlashRead(h, 0, bytes, 4); }},
        {"X502_FlashWrite", [](t_x502_hnd h) { return X502_FlashWrite(h, 0, bytes, 4); }},
        {"X502_FlashErase", [](t_x502_hnd h) { return X502_FlashErase(h, 0, 4096); }},
        {"X502_OutCycleSetup", [](t_x502_hnd h) { return X502_OutCycleSetup(h, 0); }},
        {"X502_OutCycleLoadStart", [](t_x502_hnd h) { return X502_OutCycleLoadStart(h, 4); }},
        {"X502_PrepareData",
         [](t_x502_hnd h) { return X502_PrepareData(h, volts, nullptr, nullptr, 4, 1, words); }},
        {"X502_PreloadStart", [](t_x502_hnd h) { return X502_PreloadStart(h); }},
        {"X502_AsyncOutDac", [](t_x502_hnd h) { return X502_AsyncOutDac(h, 0, 1.0, 1); }},
        {"X502_Free", [](t_x502_hnd h) { return X502_Free(h); }},
    };
}

TEST_F(SimTest, NullClosedAndFreedHandlesAreRefusedByEveryCall) {
    t_x502_hnd closed = create(); // before the free, so it cannot reuse the freed address
    t_x502_hnd freed = open();
    ASSERT_EQ(X502_Free(freed), X502_ERR_OK);
    handles_.pop_back();
    const std::set<std::string> opening = {"X502_Close", "E16_OpenByIpAddr", "E16_OpenUsb", "X502_Free"};
    e16sim_reset_call_counts();
    for (const auto& [name, call] : everyCall()) {
        EXPECT_EQ(call(nullptr), X502_ERR_INVALID_HANDLE) << name;
        EXPECT_EQ(call(freed), X502_ERR_INVALID_HANDLE) << name;
        EXPECT_EQ(call(reinterpret_cast<t_x502_hnd>(&freed)), X502_ERR_INVALID_HANDLE) << name;
        if (!opening.contains(name)) {
            EXPECT_EQ(call(closed), X502_ERR_DEVICE_NOT_OPENED) << name;
        }
        EXPECT_EQ(e16sim_call_count(name), opening.contains(name) ? 3 : 4) << name;
    }
    t_x502_hnd h = open();
    EXPECT_EQ(X502_GetDevInfo(h, nullptr), X502_ERR_INVALID_POINTER);
    EXPECT_EQ(X502_SetAdcFreq(h, nullptr, nullptr), X502_ERR_INVALID_POINTER);
    EXPECT_EQ(X502_ProcessAdcData(h, nullptr, nullptr, nullptr, 1), X502_ERR_INVALID_POINTER);
    EXPECT_EQ(X502_FlashRead(h, 0, nullptr, 4), X502_ERR_INVALID_POINTER);
}

TEST_F(SimTest, UsbModulesExistOnlyOnceAdded) {
    uint32_t count = 99;
    EXPECT_EQ(E16_UsbGetSerialList(nullptr, 0, 0, &count), 0);
    EXPECT_EQ(count, 0u) << "modules before any was added";
    ASSERT_EQ(e16sim_add_usb_module("SIMUSB1", 1), 2);
    EXPECT_EQ(e16sim_add_usb_module("SIMUSB1", 1), -1) << "the same serial twice";
    char serials[2][32];
    std::memset(serials, 'x', sizeof serials);
    EXPECT_EQ(E16_UsbGetSerialList(serials, 2, 0, &count), 1);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(serials[0], "SIMUSB1");
    t_x502_hnd h = create();
    EXPECT_EQ(E16_OpenUsb(h, "SIMUSB2"), X502_ERR_DEVICE_NOT_FOUND);
    ASSERT_EQ(E16_OpenUsb(h, "SIMUSB1"), X502_ERR_OK);
    EXPECT_EQ(E16_UsbGetSerialList(serials, 2, X502_GETDEVS_FLAGS_ONLY_NOT_OPENED, &count), 0)
        << "an opened module listed as not opened";
    EXPECT_EQ(E16_OpenUsb(create(), "SIMUSB1"), X502_ERR_DEVICE_BUSY) << "a second owner";
}

TEST_F(SimTest, CallsAreCountedAndCanBeMadeToFail) {
    t_x502_hnd h = open();
    EXPECT_EQ(e16sim_call_count("E16_OpenByIpAddr"), 1);
    EXPECT_EQ(e16sim_call_count("X502_NoSuchCall"), -1);
    ASSERT_EQ(e16sim_fault_fail_call("X502_SetMode", -77), 0);
    EXPECT_EQ(X502_SetMode(h, 0), -77);
    EXPECT_EQ(X502_SetMode(h, 0), -77);
    EXPECT_EQ(e16sim_call_count("X502_SetMode"), 2);
    ASSERT_EQ(e16sim_fault_fail_call("X502_SetMode", 0), 0);
    EXPECT_EQ(X502_SetMode(h, 1), X502_ERR_INVALID_MODE) << "a healed call checks its argument again";
    EXPECT_EQ(e16sim_fault_fail_call("Nothing", -1), -1);

    e16sim_fault_fail_call("X502_Create", -1);
    EXPECT_EQ(X502_Create(), nullptr);
    e16sim_fault_fail_call("X502_GetLibraryVersion", 0x01011D00);
    EXPECT_EQ(X502_GetLibraryVersion(), 0x01011D00u);
    e16sim_fault_clear_all();
    EXPECT_EQ(X502_GetLibraryVersion(), 0x01012200u) << "clearing all faults";

    e16sim_fault_refuse_open(1);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), X502_ERR_CONNECTION_REFUSED);
    e16sim_fault_refuse_open(-55);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), -55);
    e16sim_fault_refuse_open(0);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), X502_ERR_OK) << "refusal switched off";
    e16sim_reset_call_counts();
    EXPECT_EQ(e16sim_call_count("X502_SetMode"), 0);
}

} // namespace
} // namespace e16sim::test
