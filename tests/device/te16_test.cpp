// TE16 against the simulated module, loaded the way the driver loads it: the
// process table from the test's folder. The control API (linked directly, the
// same library instance) counts calls and injects faults; the USB list is
// wrapped to stand in a failure the simulator never gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include "device/te16.h"
#include "device/vendor_api.h"
#include "e16sim_control.h"
#include "platform/module_folder.h"
#include "sim_probes.h"
#include "test_support.h"

namespace velmora::device {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kIp1 = 0x7F000001; // 127.0.0.1: E16 with DAC, SIM0001

// The simulator's table with the USB list made to fail with `listFault` (the
// code of every USB list call that fills a list), a case the simulator never gives.
int32_t listFault = 0;
VendorApi SpyTable() {
    static const VendorApi& sim = VendorApi::Process();
    VendorApi api = sim;
    api.E16_UsbGetSerialList = [](auto list, auto size, auto flags, auto count) {
        return size > 0 && listFault != 0 ? listFault : sim.E16_UsbGetSerialList(list, size, flags, count);
    };
    return api;
}

class TE16Sim : public ::testing::Test {
protected:
    void SetUp() override {
        if (!VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
        listFault = 0;
    }
    void TearDown() override {
        dev.Close();
        e16sim_reset();
    }

    void OpenModule(int32_t ip = kIp1) {
        ASSERT_TRUE(dev.Open(ip, TE16::kInterfaceEthernet)) << dev.LastErrorText();
    }

    // Words received, in receives of up to 1 s, until one fails (LastResult
    // then holds its code) or 5 s pass.
    std::size_t Received() {
        std::vector<uint32_t> words(100000);
        std::size_t got = 0;
        for (const auto deadline = Clock::now() + std::chrono::seconds(5); Clock::now() < deadline;) {
            const int32_t w = dev.Recv(words.data(), static_cast<int32_t>(words.size()), 1000);
            if (w < 0) break;
            got += static_cast<std::size_t>(w);
        }
        return got;
    }

    VendorApi api = SpyTable();
    TE16 dev{api};
};

// A refused address releases its handle; opening another module closes the
// first; closing twice closes once.
TEST_F(TE16Sim, EachHandleIsClosedAndFreedOnce) {
    EXPECT_FALSE(dev.Open(0x7F000009, TE16::kInterfaceEthernet)); // 127.0.0.9: nobody
    EXPECT_EQ(dev.OpenedAddress(), -1);
    EXPECT_EQ(dev.LastErrorText(), "Error -6: " + std::string(::X502_GetErrorString(-6)));
    EXPECT_EQ(e16sim_call_count("X502_Free"), 1) << "a failed open releases its handle";
    OpenModule(kIp1);
    EXPECT_TRUE(dev.DacPresent());
    EXPECT_EQ(dev.LastErrorText(), "Error 0: ");
    OpenModule(0x7F000002); // 127.0.0.2; Open closes the first module itself
    EXPECT_EQ(std::pair(dev.SerialNumber(), dev.DacPresent()), std::pair(std::string("SIM0002"), false));
    dev.Close();
    dev.Close();
    // The refused handle's, then each module's once.
    EXPECT_EQ(std::pair(e16sim_call_count("X502_Close"), e16sim_call_count("X502_Free")),
              (std::pair<int64_t, int64_t>(3, 3)))
        << "each handle closed and freed once";
}

// When the count query succeeds and the list itself fails, its code is what
// LastErrorText tells; a list that came is a success, not a code, and only an
// index in it opens.
TEST_F(TE16Sim, UsbOpensOnlyAnIndexInAListThatCame) {
    ASSERT_GE(e16sim_add_usb_module("USB-E16-42", 1), 0);
    listFault = X502_ERR_MEMORY_ALLOC;
    EXPECT_EQ(dev.UsbGetSerialList(TE16::kInterfaceUsb, false), X502_ERR_MEMORY_ALLOC);
    EXPECT_EQ(std::pair(dev.LastErrorText(), dev.UsbSerial(0)),
              std::pair(std::string("Error -2: Memory allocation error"), std::string()));
    EXPECT_FALSE(dev.Open(0, TE16::kInterfaceUsb)) << "an index into a list that failed";
    listFault = 0;
    EXPECT_EQ(dev.UsbGetSerialList(TE16::kInterfaceUsb, false), 1);
    EXPECT_EQ(dev.LastResult(), 0) << "the count of serials stored is not a code";
    e16sim_reset_call_counts();
    EXPECT_FALSE(dev.Open(1, TE16::kInterfaceUsb)) << "index 1 of a list of one";
    EXPECT_EQ(e16sim_call_count("X502_Create"), 0) << "a handle made for an index not in the list";
    ASSERT_TRUE(dev.Open(0, TE16::kInterfaceUsb)) << dev.LastErrorText();
    EXPECT_EQ(dev.SerialNumber(), "USB-E16-42");
}

// A stalled module times out without an error, then its buffer overflows;
// a lost connection ends the stream after the words before the loss. The
// library's code is kept.
TEST_F(TE16Sim, AStreamThatFailsKeepsTheLibrarysCode) {
    OpenModule();
    double rate = 500000, frame = 500000; // one channel
    ASSERT_TRUE(dev.SetLChannelCount(1) && dev.SetLChannel(0, 0, 0, 0, 0) && dev.SetAdcFreq(rate, frame));
    ASSERT_TRUE(dev.SetInStreamBufSize(1024));
    ASSERT_EQ(e16sim_fault_stall(E16SIM_MODULE_DAC, 1), 0);
    ASSERT_TRUE(dev.StartStreams(true, false, false, false, false));
    uint32_t word = 0;
    EXPECT_EQ(dev.Recv(&word, 1, 50), 0) << "words within the time-out of a stalled module";
    EXPECT_EQ(dev.LastResult(), 0) << "a time-out is no error";
    ASSERT_EQ(e16sim_fault_stall(E16SIM_MODULE_DAC, 0), 0);
    EXPECT_EQ(Received(), 1024u) << "the stall let the buffer fill";
    EXPECT_EQ(dev.LastErrorText(), "Error -10: " + std::string(::X502_GetErrorString(-10)));

    ASSERT_TRUE(dev.StopStreams());
    ASSERT_EQ(e16sim_fault_disconnect_after(E16SIM_MODULE_DAC, 1000), 0);
    ASSERT_TRUE(dev.StartStreams(true, false, false, false, false));
    EXPECT_EQ(Received(), 1000u) << "the words before the loss";
    EXPECT_EQ(dev.LastErrorText(), "Error -11: " + std::string(::X502_GetErrorString(-11)));
}

// A write merges its bytes into the whole sectors it covers, read first, so
// the sectors' other bytes stay; write access is closed after it, and a
// step that fails ends the write before the next one changes the flash.
TEST_F(TE16Sim, FlashWritesKeepTheRestOfTheirSectors) {
    OpenModule();
    std::vector<uint8_t> flash(3 * TE16::kFlashSector);
    for (std::size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 7 + 1);
    // The address and the bytes: the whole flash, across a sector's end, at a sector's first and last byte.
    const std::pair<int32_t, std::vector<uint8_t>> writes[] = {
        {0, flash}, {4090, std::vector<uint8_t>(10, 0x5A)}, {8192, {0x00}}, {12287, {0xFF}}};
    for (const auto& [address, bytes] : writes) {
        SCOPED_TRACE(address);
        ASSERT_TRUE(dev.FlashWrite(address, bytes.data(), static_cast<int32_t>(bytes.size())))
            << dev.LastErrorText();
        std::ranges::copy(bytes, flash.begin() + address);
        std::vector<uint8_t> read(flash.size());
        ASSERT_TRUE(dev.FlashRead(0, read.data(), static_cast<int32_t>(read.size())));
        EXPECT_EQ(read, flash);
        EXPECT_EQ(test::ModuleState().flash_write_enabled, 0) << "write access left open";
    }
    // The step that fails, and the next one that must not come.
    const std::pair<const char*, const char*> failures[] = {{"X502_FlashWriteEnable", "X502_FlashErase"},
                                                            {"X502_FlashRead", "X502_FlashErase"},
                                                            {"X502_FlashErase", "X502_FlashWrite"}};
    for (const auto& [failing, next] : failures) {
        SCOPED_TRACE(failing);
        ASSERT_EQ(e16sim_fault_fail_call(failing, X502_ERR_INTERNAL), 0);
        e16sim_reset_call_counts();
        EXPECT_FALSE(dev.FlashWrite(0, flash.data(), 1));
        EXPECT_EQ(e16sim_call_count(next), 0);
        EXPECT_EQ(test::ModuleState().flash_write_enabled, 0) << "write access left open";
        e16sim_fault_clear_all();
    }
}

// Preloading sizes the module's output buffer to the fewest whole copies of
// the signal, at least two, that reach a million words, and fills it; a
// top-up sends a copy only when one fits, as it does once the module plays.
TEST_F(TE16Sim, PreloadedOutputFillsItsBufferWithWholeCopies) {
    OpenModule();
    // The signal's samples, whether DAC2 plays too, the buffer's words.
    const std::tuple<int32_t, bool, int32_t> cases[] = {
        {300, true, 1000200}, {1000000, false, 2000000}, {1000, true, 1000000}};
    for (const auto& [size, dac2, bufferWords] : cases) {
        SCOPED_TRACE(size);
        const std::vector<double> samples(static_cast<std::size_t>(size), 1.0);
        e16sim_reset_call_counts();
        ASSERT_TRUE(dev.StartPreloadedOutput(size, true, dac2, samples.data(), samples.data()))
            << dev.LastErrorText();
        EXPECT_EQ(std::pair(dev.outStreamBufWords(), test::ModuleState().out_buf_words),
                  std::pair(bufferWords, static_cast<uint32_t>(bufferWords)));
        const int64_t copies = bufferWords / dev.outWords();
        EXPECT_EQ(e16sim_call_count("X502_Send"), copies) << "whole copies until full";
        EXPECT_FALSE(dev.SendOutput()) << "a top-up with no room";
        EXPECT_EQ(e16sim_call_count("X502_Send"), copies);
    }
    ASSERT_TRUE(dev.StartStreams(false, true, true, false, false)) << dev.LastErrorText();
    EXPECT_TRUE(test::Eventually([&] { return dev.SendOutput(); }, std::chrono::seconds(5)));
    ASSERT_TRUE(dev.StopStreams());
    EXPECT_FALSE(dev.SendOutput()) << "nothing loaded after a stop";
    ASSERT_EQ(e16sim_fault_fail_call("X502_Send", X502_ERR_INTERNAL), 0);
    const std::vector<double> samples(1000, 1.0);
    EXPECT_FALSE(dev.StartPreloadedOutput(1000, true, false, samples.data(), nullptr)) << "no copy sent";
}

// The fallback to the folder's simulator is what every host test runs on.
TEST(VendorApi, WithNothingFoundTheModuleIsUnreachable) {
    test::TempDir empty; // the simulator is looked for in the driver's folder only
    const VendorApi api = VendorApi::Load(DefaultVendorPaths(empty.path()));
    if (!api.libraries.empty()) GTEST_SKIP() << "the vendor libraries are installed on this system";
    EXPECT_FALSE(api.simulator);
    EXPECT_EQ(api.E16_OpenByIpAddr, nullptr);
    TE16 dev{api};
    EXPECT_EQ(dev.LibraryVersion(), 0u);
    EXPECT_EQ(dev.UsbGetSerialList(TE16::kInterfaceUsb, false), 0);
    EXPECT_EQ(dev.LastResult(), 0);
    EXPECT_FALSE(dev.Open(kIp1, TE16::kInterfaceEthernet));
    EXPECT_EQ(dev.LastErrorText(), "Error -10000: " + std::string(kVendorUnreachableText));
    EXPECT_EQ(dev.LibraryProblem(),
              "No libx502api.so.1 or libe502api.so.1 was found, nor libe16sim.so beside the driver");
}

// A vendor library that is there but does not load is a broken install: the
// folder's simulator does not stand in for the module, and the loader's
// reason names the file.
TEST(VendorApi, ABrokenVendorLibraryIsNotReplacedByTheSimulator) {
    for (const char* broken : {"libx502api.so.1", "libe502api.so.1"}) {
        test::TempDir folder;
        std::filesystem::copy_file(platform::ModuleFolder() / "libe16sim.so", folder.path() / "libe16sim.so");
        std::ofstream(folder.path() / broken) << "not a library";
        const VendorApi api = VendorApi::Load(DefaultVendorPaths(folder.path()));
        if (!api.libraries.empty() && !api.simulator)
            GTEST_SKIP() << "the vendor libraries are installed on this system";
        EXPECT_FALSE(api.simulator) << broken;
        const std::string file = (folder.path() / broken).string();
        EXPECT_EQ(TE16{api}.LibraryProblem().rfind(file + " does not load: ", 0), 0u) << api.unloadable;
    }
}

// A library that loads but lacks entries (another library under the name,
// one of another make) is named with what it lacks in the error of any call
// that needs them.
TEST(VendorApi, EntriesNoLibraryHasAreNamedInTheError) {
    test::TempDir folder;
    const auto file = folder.path() / "libx502api.so.1";
    std::filesystem::copy_file(platform::ModuleFolder() / "libcomrt.so", file);
    const VendorApi api = VendorApi::Load(DefaultVendorPaths(folder.path()));
    if (api.libraries.size() != 1) GTEST_SKIP() << "the vendor libraries are installed on this system";
    TE16 dev{api};
    EXPECT_FALSE(dev.Open(kIp1, TE16::kInterfaceEthernet));
    EXPECT_EQ(dev.LastErrorText(), "Error -10000: " + std::string(kVendorUnreachableText) +
                                       ": X502_GetLibraryVersion, X502_Create, X502_Free and " +
                                       std::to_string(api.missing.size() - 3) + " more not found in " +
                                       file.string());
}

// The loader speaks the user's language once a host called setlocale: a
// vendor library found nowhere still leaves the folder's simulator to serve.
TEST(VendorApi, WithNoVendorLibraryTheSimulatorServesInAnyLanguage) {
    test::TempDir folder;
    std::filesystem::copy_file(platform::ModuleFolder() / "libe16sim.so", folder.path() / "libe16sim.so");
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    const test::ScopedEnv german("LANGUAGE", "de");
    std::setlocale(LC_ALL, "C.UTF-8");
    const bool translated = ::dlopen("libnowhere.so.0", RTLD_NOW) == nullptr &&
                            !std::string(::dlerror()).ends_with("No such file or directory");
    const VendorApi api = VendorApi::Load(DefaultVendorPaths(folder.path()));
    std::setlocale(LC_ALL, locale.c_str());
    if (!translated) GTEST_SKIP() << "the loader's messages have no German here (libc-l10n)";
    if (!api.libraries.empty() && !api.simulator)
        GTEST_SKIP() << "the vendor libraries are installed on this system";
    EXPECT_TRUE(api.simulator) << api.unloadable;
}

TEST(VendorApi, AVendorLibraryInTheFolderServesEveryEntry) {
    // A copy of the simulator stands in for the vendor's x502api; with no
    // e502api anywhere the E16 entries are found in x502api instead.
    test::TempDir folder;
    const auto simulator = platform::ModuleFolder() / "libe16sim.so";
    std::filesystem::copy_file(simulator, folder.path() / "libx502api.so.1");
    std::filesystem::copy_file(simulator, folder.path() / "libe16sim.so");
    const VendorApi api = VendorApi::Load(DefaultVendorPaths(folder.path()));
    EXPECT_EQ(api.libraries, std::vector<std::string>{(folder.path() / "libx502api.so.1").string()});
    EXPECT_FALSE(api.simulator);
    EXPECT_EQ(api.missing, std::vector<std::string>{});
    EXPECT_TRUE(api.X502_AsyncOutDac && api.E16_OpenUsb) << "an entry of either library left out";
}

} // namespace
} // namespace velmora::device
