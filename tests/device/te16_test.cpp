// TE16 against a recording fake table: the call sequences and the rules for
// LastResult, handle checks, texts and the flash and output algorithms.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "device/te16.h"
#include "fake_vendor.h"

namespace velmora::device {
namespace {

using test::FakeVendor;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int32_t kLoopback = 0x7F000001; // 127.0.0.1

class TE16Fake : public ::testing::Test {
protected:
    TE16Fake() { fake().Reset(); }
    static FakeVendor& fake() { return FakeVendor::Get(); }
    void OpenEthernet() {
        ASSERT_TRUE(dev.Open(kLoopback, TE16::kInterfaceEthernet));
        fake().calls.clear();
    }

    VendorApi api = FakeVendor::Table();
    TE16 dev{api};
};

TEST_F(TE16Fake, TableBindsEveryEntry) {
#define VELMORA_EXPECT_BOUND(name) EXPECT_NE(api.name, nullptr) << #name;
    VELMORA_X502_ENTRIES(VELMORA_EXPECT_BOUND)
    VELMORA_E16_ENTRIES(VELMORA_EXPECT_BOUND)
#undef VELMORA_EXPECT_BOUND
}

TEST_F(TE16Fake, ConstructionReadsVersionBytes) {
    fake().version = 0x01021E07;
    TE16 other{api};
    EXPECT_EQ(other.LibraryVersionMajor(), 1);
    EXPECT_EQ(other.LibraryVersionMinor(), 2);
    EXPECT_EQ(other.LibraryVersionBuild(), 30);
    EXPECT_EQ(other.OpenedAddress(), -1);
    EXPECT_EQ(other.Handle(), nullptr);
}

TEST_F(TE16Fake, OpenByEthernetRunsTheStepsInOrder) {
    std::strcpy(fake().info.name, "E16");
    fake().results["X502_SetMode"] = -3; // decides nothing
    ASSERT_TRUE(dev.Open(kLoopback, TE16::kInterfaceEthernet));
    EXPECT_THAT(fake().calls, ElementsAre("X502_Create()", "E16_OpenByIpAddr(2130706433,0,10000)",
                                          "X502_GetDevInfo()", "X502_SetMode(0)"));
    EXPECT_EQ(dev.OpenedAddress(), kLoopback);
    EXPECT_EQ(dev.Handle(), FakeVendor::FakeHandle());
    EXPECT_EQ(dev.BoardName(), "E16");
    EXPECT_EQ(dev.LastResult(), -3);
}

TEST_F(TE16Fake, FailedOpenClosesAndKeepsTheFailingCode) {
    std::strcpy(fake().info.name, "E16");
    for (const char* failing : {"E16_OpenByIpAddr", "X502_GetDevInfo"}) {
        fake().Reset();
        std::strcpy(fake().info.name, "E16");
        fake().results[failing] = -7;
        EXPECT_FALSE(dev.Open(kLoopback, TE16::kInterfaceEthernet)) << failing;
        EXPECT_EQ(dev.LastResult(), -7) << failing;
        EXPECT_EQ(dev.OpenedAddress(), -1);
        EXPECT_EQ(dev.Handle(), nullptr);
        EXPECT_EQ(dev.BoardName(), "");
        EXPECT_THAT(fake().CallsOf("X502_Close"), ElementsAre("X502_Close()")) << failing;
        EXPECT_THAT(fake().CallsOf("X502_Free"), ElementsAre("X502_Free()")) << failing;
        EXPECT_THAT(fake().CallsOf("X502_SetMode"), IsEmpty());
    }
}

TEST_F(TE16Fake, OpenWithoutCodeKeepsThePreviousLastResult) {
    fake().results["X502_SetSyncMode"] = -42;
    dev.SetSyncMode(0);
    fake().createFails = true;
    EXPECT_FALSE(dev.Open(kLoopback, TE16::kInterfaceEthernet));
    EXPECT_EQ(dev.LastResult(), -42);
    EXPECT_THAT(fake().CallsOf("X502_Close"), IsEmpty());

    // An unknown interface fails after the handle was created, and frees it.
    fake().createFails = false;
    fake().calls.clear();
    EXPECT_FALSE(dev.Open(kLoopback, 3));
    EXPECT_THAT(fake().calls, ElementsAre("X502_Create()", "X502_Close()", "X502_Free()"));
    EXPECT_EQ(dev.LastResult(), -42);
}

TEST_F(TE16Fake, CloseTwiceCallsTheLibraryOnce) {
    OpenEthernet();
    dev.Close();
    dev.Close();
    EXPECT_THAT(fake().calls, ElementsAre("X502_Close()", "X502_Free()"));
    EXPECT_EQ(dev.OpenedAddress(), -1);
    const t_x502_info zero{};
    EXPECT_EQ(std::memcmp(&dev.DeviceInfo(), &zero, sizeof zero), 0);
}

TEST_F(TE16Fake, UsbListAndOpenByIndex) {
    fake().usbSerials = {"USB0001", "USB0002"};
    EXPECT_EQ(dev.UsbGetSerialList(TE16::kInterfaceUsb, true), 2);
    EXPECT_THAT(fake().calls, ElementsAre("E16_UsbGetSerialList(0,1)", "E16_UsbGetSerialList(2,1)"));
    EXPECT_EQ(dev.UsbSerial(1), "USB0002");
    EXPECT_EQ(dev.UsbSerial(2), "");
    EXPECT_EQ(dev.UsbSerial(-1), "");

    fake().calls.clear();
    EXPECT_FALSE(dev.Open(2, TE16::kInterfaceUsb)); // index equal to the count
    EXPECT_FALSE(dev.Open(-1, TE16::kInterfaceUsb));
    EXPECT_THAT(fake().calls, IsEmpty());
    ASSERT_TRUE(dev.Open(1, TE16::kInterfaceUsb));
    EXPECT_THAT(fake().CallsOf("E16_OpenUsb"), ElementsAre("E16_OpenUsb(USB0002)"));
    EXPECT_EQ(dev.OpenedAddress(), 1);

    // The list survives Close; only USB enumerates.
    dev.Close();
    EXPECT_EQ(dev.UsbSerialCount(), 2);
    fake().calls.clear();
    EXPECT_EQ(dev.UsbGetSerialList(TE16::kInterfaceEthernet, false), 0);
    EXPECT_THAT(fake().calls, IsEmpty());
    EXPECT_EQ(dev.UsbSerial(0), "");
}

TEST_F(TE16Fake, FailedUsbListLeavesEveryIndexInvalid) {
    fake().usbSerials = {"USB0001"};
    fake().results["E16_UsbGetSerialList"] = -5;
    EXPECT_EQ(dev.UsbGetSerialList(TE16::kInterfaceUsb, false), -5);
    EXPECT_EQ(dev.UsbSerial(0), "");
    EXPECT_FALSE(dev.Open(0, TE16::kInterfaceUsb));
}

TEST_F(TE16Fake, IdentityTextsFromTheRecord) {
    fake().info.mcu_firmware_ver = 0x01020304;
    fake().info.fpga_ver = 0x0203;
    fake().info.board_rev = 1;
    fake().info.devflags = 0x3;
    OpenEthernet();
    EXPECT_EQ(dev.McuVersion(), "1.2.3");
    EXPECT_EQ(dev.FpgaVersion(), "2.3");
    EXPECT_EQ(dev.BoardRevision(), "B");
    EXPECT_TRUE(dev.DacPresent());
    dev.Close();
    EXPECT_EQ(dev.BoardRevision(), "A");
    EXPECT_EQ(dev.FpgaVersion(), "0.0");
    EXPECT_FALSE(dev.DacPresent());
}

TEST(TE16Text, AnsiFieldText) {
    const auto text = [](const char* bytes, std::size_t n) { return TE16::AnsiFieldText(bytes, n); };
    EXPECT_EQ(text("E16\0\0\0\0", 7), "E16");
    EXPECT_EQ(text("\0E16\0\0", 6), "E16");
    EXPECT_EQ(text("\x01\x02"
                   "AB\x03"
                   "CD",
                   7),
              "AB");
    EXPECT_EQ(text("\0\x01\x1F\0", 4), "");
    EXPECT_EQ(text("", 0), "");
    EXPECT_EQ(text("Caf\xE9", 4), "Caf\xC3\xA9"); // byte 0xE9 is U+00E9
    EXPECT_EQ(text("ABCD", 2), "AB");             // never beyond the field
}

TEST_F(TE16Fake, LastErrorTextAndErrorStringLengths) {
    EXPECT_EQ(dev.LastErrorText(), "Error 0: ");
    fake().results["X502_SetRefFreq"] = -12;
    dev.SetRefFreq(48000000);
    fake().errorText = "";
    EXPECT_EQ(dev.LastErrorText(), "Error -12: ");
    fake().errorText = std::string(511, 'x');
    EXPECT_EQ(dev.LastErrorText(), "Error -12: " + std::string(511, 'x'));
    fake().errorText = std::string(512, 'x');
    EXPECT_EQ(dev.LastErrorText(), "Error -12: ");
    fake().errorText = "Bad \xB0";
    EXPECT_EQ(dev.LastErrorText(), "Error -12: Bad \xC2\xB0");
}

TEST_F(TE16Fake, StreamsOnAClosedObjectCallNothing) {
    EXPECT_FALSE(dev.StartStreams(true, false, false, false, false));
    const double sine[4] = {0, 1, 0, -1};
    ASSERT_TRUE(dev.StartCyclicOutput(4, true, false, sine, nullptr)); // unchecked: passes handle 0
    ASSERT_EQ(dev.outWords(), 4);
    fake().calls.clear();
    EXPECT_FALSE(dev.StopStreams());
    EXPECT_EQ(dev.outWords(), 0);
    uint32_t words[4];
    double volts[4];
    EXPECT_EQ(dev.Recv(words, 4, 100), 0);
    EXPECT_EQ(dev.ProcessAdcData(words, 4, volts), 0);
    EXPECT_EQ(dev.GetNextExpectedLchNum(), 0);
    dev.SetInStreamStep(64);
    EXPECT_THAT(fake().calls, IsEmpty());
}

TEST_F(TE16Fake, StartStreamsSetsEveryStreamThenConfiguresAndStarts) {
    OpenEthernet();
    EXPECT_TRUE(dev.StartStreams(true, false, true, false, false));
    EXPECT_THAT(fake().calls,
                ElementsAre("X502_StreamsEnable(1)", "X502_StreamsDisable(16)", "X502_StreamsEnable(32)",
                            "X502_StreamsDisable(2)", "X502_StreamsDisable(64)", "X502_Configure(0)",
                            "X502_StreamsStart()"));
    fake().calls.clear();
    fake().results["X502_Configure"] = -9;
    EXPECT_FALSE(dev.StartStreams(true, false, false, false, false));
    EXPECT_THAT(fake().CallsOf("X502_StreamsStart"), IsEmpty());
    EXPECT_EQ(dev.LastResult(), -9);
}

TEST_F(TE16Fake, RecvKeepsZeroForCountsAndLeavesLastResultForSizeZero) {
    OpenEthernet();
    uint32_t words[8];
    fake().results["X502_SetSyncMode"] = -4;
    dev.SetSyncMode(0);
    EXPECT_EQ(dev.Recv(words, 0, 100), 0);
    EXPECT_EQ(dev.LastResult(), -4);
    EXPECT_THAT(fake().CallsOf("X502_Recv"), IsEmpty());

    fake().results["X502_Recv"] = 8;
    EXPECT_EQ(dev.Recv(words, 8, 250), 8);
    EXPECT_EQ(dev.LastResult(), 0);
    fake().results["X502_Recv"] = -20;
    EXPECT_EQ(dev.Recv(words, 8, 250), -20);
    EXPECT_EQ(dev.LastResult(), -20);
    EXPECT_THAT(fake().CallsOf("X502_Recv"), ElementsAre("X502_Recv(8,250)", "X502_Recv(8,250)"));
}

TEST_F(TE16Fake, ConversionAndQueriesPassValuesBack) {
    OpenEthernet();
    uint32_t words[6] = {};
    double volts[6];
    fake().processCount = 5;
    EXPECT_EQ(dev.ProcessAdcData(words, 6, volts), 5);
    fake().results["X502_ProcessAdcData"] = -1;
    EXPECT_EQ(dev.ProcessAdcData(words, 6, volts), 0);
    EXPECT_THAT(fake().CallsOf("X502_ProcessAdcData"),
                ElementsAre("X502_ProcessAdcData(6,1)", "X502_ProcessAdcData(6,1)"));
    fake().recvReady = 1234;
    EXPECT_EQ(dev.GetRecvReadyCount(), 1234);
    EXPECT_EQ(dev.GetNextExpectedLchNum(), 3);
    double acq = 2000, frame = 100;
    EXPECT_TRUE(dev.SetAdcFreq(acq, frame));
    EXPECT_EQ(acq, 1000.0);
    EXPECT_EQ(frame, 500.0);
    dev.SetInStreamStep(128);
    EXPECT_TRUE(dev.SetInStreamBufSize(4096));
    EXPECT_TRUE(dev.SetLChannel(5, 31, 0, 2, 0));
    EXPECT_TRUE(dev.AsyncGetAdcFrame(volts, 150));
    EXPECT_TRUE(dev.SetAdcSyncStartValue(4, 1, 1, 0.5));
    EXPECT_THAT(fake().calls,
                testing::IsSupersetOf({"X502_SetStreamStep(0,128)", "X502_SetStreamBufSize(0,4096)",
                                       "X502_SetLChannel(5,31,0,2,0)", "X502_AsyncGetAdcFrame(1,150)",
                                       "X502_SetAdcSyncStartValue(4,1,1,0.5)"}));
}

TEST_F(TE16Fake, DigitalLinesStayWithinSixteenBits) {
    OpenEthernet();
    dev.AsyncOutDig(0x12345);
    dev.AsyncOutDig(-1);
    EXPECT_THAT(fake().calls, ElementsAre("X502_AsyncOutDig(9029,0)", "X502_AsyncOutDig(65535,0)"));
    fake().inDig = 0xFFFFABCD;
    EXPECT_EQ(dev.AsyncInDig(), 0xABCD);
}

class TE16Flash : public TE16Fake {
protected:
    TE16Flash() {
        for (std::size_t i = 0; i < fake().flash.size(); ++i) fake().flash[i] = static_cast<uint8_t>(i * 7);
        original = fake().flash;
        OpenEthernet();
    }
    std::vector<uint8_t> original;
};

TEST_F(TE16Flash, WriteAcrossASectorBoundaryRewritesBothSectors) {
    const uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    fake().results["X502_FlashWriteDisable"] = -2;
    EXPECT_TRUE(dev.FlashWrite(4090, data, 10));
    EXPECT_THAT(fake().calls,
                ElementsAre("X502_FlashWriteEnable()", "X502_FlashRead(0,8192)", "X502_FlashErase(0,8192)",
                            "X502_FlashWrite(0,8192)", "X502_FlashWriteDisable()"));
    EXPECT_EQ(dev.LastResult(), -2); // the write-disable's code
    auto expected = original;
    std::copy(data, data + 10, expected.begin() + 4090);
    EXPECT_EQ(fake().flash, expected);
}

TEST_F(TE16Flash, WriteOfOneByteAtASectorStartTouchesOnlyThatSector) {
    const uint8_t byte = 0xAA;
    fake().results["X502_FlashWrite"] = -6;
    EXPECT_FALSE(dev.FlashWrite(8192, &byte, 1));
    EXPECT_THAT(fake().calls, ElementsAre("X502_FlashWriteEnable()", "X502_FlashRead(8192,4096)",
                                          "X502_FlashErase(8192,4096)", "X502_FlashWrite(8192,4096)",
                                          "X502_FlashWriteDisable()"));
    EXPECT_EQ(dev.LastResult(), 0);
}

TEST_F(TE16Flash, WriteEndingOnASectorEndStaysInThatSector) {
    const uint8_t data[6] = {};
    EXPECT_TRUE(dev.FlashWrite(4090, data, 6));
    EXPECT_THAT(fake().CallsOf("X502_FlashErase"), ElementsAre("X502_FlashErase(0,4096)"));
    EXPECT_EQ(std::vector<uint8_t>(fake().flash.begin() + 4096, fake().flash.end()),
              std::vector<uint8_t>(original.begin() + 4096, original.end()));
}

TEST_F(TE16Flash, RefusedWriteEnableDoesNothingElse) {
    const uint8_t byte = 0xAA;
    fake().results["X502_FlashWriteEnable"] = -8;
    EXPECT_FALSE(dev.FlashWrite(0, &byte, 1));
    EXPECT_THAT(fake().calls, ElementsAre("X502_FlashWriteEnable()"));
    EXPECT_EQ(dev.LastResult(), -8);
    EXPECT_EQ(fake().flash, original);
}

TEST_F(TE16Fake, StaticDacLevels) {
    OpenEthernet();
    fake().results["X502_AsyncOutDac"] = -1;
    EXPECT_FALSE(dev.AsyncOutDacPair(1.5, -2.25));
    EXPECT_THAT(fake().calls, ElementsAre("X502_AsyncOutDac(0,1.5,3)", "X502_AsyncOutDac(1,-2.25,3)"));
}

TEST_F(TE16Fake, CyclicOutputLoadsOneOrBothChannels) {
    OpenEthernet();
    const std::vector<double> wave(5000, 0.5);
    EXPECT_TRUE(dev.StartCyclicOutput(5000, true, false, wave.data(), wave.data()));
    EXPECT_EQ(dev.outWords(), 5000);
    EXPECT_THAT(fake().calls, ElementsAre("X502_OutCycleSetup(1)", "X502_StreamsEnable(16)",
                                          "X502_StreamsDisable(32)", "X502_StreamsDisable(64)",
                                          "X502_OutCycleLoadStart(5000)", "X502_PrepareData(data,-,-,5000,3)",
                                          "X502_Send(5000,5000)", "X502_OutCycleSetup(2)"));
    EXPECT_EQ(dev.outBuffer().size(), 5001u);

    fake().calls.clear();
    EXPECT_TRUE(dev.StartCyclicOutput(5000, true, true, wave.data(), wave.data()));
    EXPECT_EQ(dev.outWords(), 10000);
    EXPECT_THAT(fake().CallsOf("X502_PrepareData"), ElementsAre("X502_PrepareData(data,data,-,5000,3)"));
    EXPECT_THAT(fake().CallsOf("X502_Send"), ElementsAre("X502_Send(10000,5000)"));
}

TEST_F(TE16Fake, CyclicOutputFailures) {
    OpenEthernet();
    const double wave[2] = {1, -1};
    EXPECT_FALSE(dev.StartCyclicOutput(1, true, true, wave, wave));
    EXPECT_FALSE(dev.StartCyclicOutput(2, false, false, wave, wave));
    EXPECT_THAT(fake().calls, IsEmpty());

    fake().results["X502_OutCycleLoadStart"] = -11;
    EXPECT_FALSE(dev.StartCyclicOutput(2, false, true, wave, wave));
    EXPECT_EQ(dev.LastResult(), -11);
    EXPECT_THAT(fake().CallsOf("X502_Send"), IsEmpty());
    EXPECT_FALSE(dev.SendOutput()); // nothing prepared to send

    fake().results.clear();
    fake().results["X502_OutCycleSetup"] = 1; // positive is not a failure
    EXPECT_TRUE(dev.StartCyclicOutput(2, false, true, wave, wave));
    fake().results["X502_OutCycleSetup"] = -1;
    EXPECT_FALSE(dev.StartCyclicOutput(2, false, true, wave, wave));
}

TEST_F(TE16Fake, PreloadedOutputFillsWholeCopiesAndTopsUp) {
    OpenEthernet();
    const std::vector<double> wave(3000, 1.0);
    fake().sendFree = 10000; // room for three copies
    EXPECT_TRUE(dev.StartPreloadedOutput(3000, false, true, wave.data(), wave.data()));
    EXPECT_EQ(dev.outStreamBufWords(), 1002000); // smallest multiple of 3000 reaching 1000000
    EXPECT_THAT(fake().CallsOf("X502_SetStreamBufSize"), ElementsAre("X502_SetStreamBufSize(1,1002000)"));
    EXPECT_EQ(fake().CallsOf("X502_Send").size(), 3u);
    EXPECT_EQ(fake().CallsOf("X502_PreloadStart").size(), 1u);

    fake().calls.clear();
    EXPECT_FALSE(dev.SendOutput()); // 1000 free, a copy is 3000
    fake().sendFree = 3000;
    EXPECT_TRUE(dev.SendOutput());
    EXPECT_THAT(fake().calls,
                ElementsAre("X502_GetSendReadyCount()", "X502_GetSendReadyCount()", "X502_Send(3000,1000)"));
    double freq = 250000;
    EXPECT_TRUE(dev.SetOutFreq(freq));
}

TEST_F(TE16Fake, PreloadedOutputStopsOnAFailingSend) {
    OpenEthernet();
    const double wave[2] = {1, -1};
    fake().sendFree = 100;
    fake().results["X502_Send"] = -3;
    EXPECT_FALSE(dev.StartPreloadedOutput(2, true, false, wave, nullptr));
    EXPECT_EQ(fake().CallsOf("X502_Send").size(), 1u);
    EXPECT_EQ(dev.outStreamBufWords(), 1000000);
}

TEST(TE16NoLibrary, EveryOperationReportsUnreachable) {
    const VendorApi none;
    TE16 dev{none};
    EXPECT_EQ(dev.LibraryVersion(), 0u);
    EXPECT_EQ(dev.LibraryVersionMajor(), 0);
    EXPECT_EQ(dev.UsbGetSerialList(TE16::kInterfaceUsb, false), 0);
    EXPECT_EQ(dev.LastResult(), 0);
    EXPECT_FALSE(dev.Open(kLoopback, TE16::kInterfaceEthernet));
    EXPECT_EQ(dev.LastResult(), kVendorUnreachable);
    EXPECT_EQ(dev.LastErrorText(), "Error -10000: " + std::string(kVendorUnreachableText));
    EXPECT_FALSE(dev.StartStreams(true, false, false, false, false));
    EXPECT_FALSE(dev.SetRefFreq(48000000));
    EXPECT_EQ(dev.AsyncInDig(), 0);
    EXPECT_FALSE(dev.FlashWrite(0, nullptr, 0));
    dev.Close();
}

} // namespace
} // namespace velmora::device
