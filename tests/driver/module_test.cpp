// IModule on a driver object in-process over the simulated module: the
// address a host sets opens that module without the chooser, the identity
// and counters it reports, Close and a later detection elsewhere, and the
// settings' save on a free and on a locked store.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <thread>
#include <tuple>

#include "driver_objects.h"
#include "settings/cregistry.h"
#include "store_connection.h"

namespace velmora::test {
namespace {

using Clock = std::chrono::steady_clock;
using ModuleFace = DriverObjects;
using DetectedModule = DetectedObjects;

// The faces lead to one object, and every face answers for IModule with the
// one face. (The members that return the object are the interface table's.)
TEST_F(ModuleFace, EveryFaceIsTheOneObject) {
    ComPtr<IUnknown> identity, unknown;
    ComPtr<IModule> module;
    ASSERT_EQ(lintara_.As(IID_IUnknown, &identity), S_OK);
    for (IUnknown* face :
         std::vector<IUnknown*>{lintara_.get(), adc_.get(), dio_.get(), dao_.get(), module_.get()}) {
        ASSERT_EQ(face->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
        ASSERT_EQ(face->QueryInterface(IID_IModule, module.put_void()), S_OK);
        EXPECT_EQ(std::pair(unknown.get(), module.get()), std::pair(identity.get(), module_.get()));
    }
}

// A set address opens that module with no answer queued for the chooser; Close
// ends it, and another address opens the other module in the same object.
TEST_F(ModuleFace, ASetAddressOpensThatModuleWithoutTheChooser) {
    EXPECT_EQ(Text(&IModule::get_SerialNumber) + Text(&IModule::get_Address), "") << "before a detection";
    for (auto [address, text, serial] : {std::tuple{u"127.0.0.1", "127.0.0.1", "SIM0001"},
                                         std::tuple{u"127.0.0.2", "127.0.0.2", "SIM0002"}}) {
        SCOPED_TRACE(text);
        SetAddress(address);
        ASSERT_TRUE(Ask(adc_.get(), &IADC3::Test)) << LastError();
        // Backend: the Python package's test
        EXPECT_EQ(std::tuple(Connected(), Text(&IModule::get_SerialNumber), Text(&IModule::get_Address),
                             Text(&IModule::get_ModuleName)),
                  std::tuple(true, serial, text, "E16 rev. A"));
        EXPECT_EQ(module_->Close(), S_OK);
        EXPECT_FALSE(Detected());
        EXPECT_FALSE(Connected());
        EXPECT_EQ(Text(&IModule::get_SerialNumber), serial) << "the module last opened";
    }
}

// Text that is no address leaves the one set; an empty one returns to the
// chooser, whose address reads back even when no module answered there.
TEST_F(ModuleFace, OnlyADottedAddressOrNoneIsTaken) {
    SetAddress(u"127.0.0.2");
    for (const char16_t* bad :
         {u"127.0.0", u"127.0.0.256", u"127.0.0.1.5", u" 127.0.0.1", u"localhost", u"0.0.0.0"})
        SetAddress(bad);
    EXPECT_EQ(Text(&IModule::get_Address), "127.0.0.2");
    SetAddress(u"");
    EXPECT_EQ(Text(&IModule::get_Address), "");
    ASSERT_FALSE(Test(0x7F000009));
    EXPECT_EQ(Text(&IModule::get_Address), "127.0.0.9") << "the address refused, for the host to name";
    ASSERT_TRUE(Test(kSimWithDac)) << LastError();
    EXPECT_EQ(Text(&IModule::get_SerialNumber), "SIM0001") << "the chooser's answer";
    EXPECT_EQ(module_->Close(), S_OK);
    ASSERT_FALSE(Test(0x7F000009));
    EXPECT_EQ(Text(&IModule::get_SerialNumber) + ", " + Text(&IModule::get_ModuleName), "SIM0001, E16 rev. A")
        << "a refused Test leaves the module last opened";
}

// ChooseAddress asks the driver's chooser, titled as at a detection, and
// only answers: the open module and the address set stay.
TEST_F(DetectedModule, ChooseAddressOnlyAnswers) {
    SetAddress(u"127.0.0.2");
    dialogs_->QueueAddress(0x7F000003);
    dialogs_->QueueCancel();
    EXPECT_EQ(Text(&IModule::ChooseAddress), "127.0.0.3");
    EXPECT_EQ(Text(&IModule::ChooseAddress), "") << "cancelled";
    EXPECT_EQ(dialogs_->selectIpTitles.back(), "E16");
    EXPECT_EQ(Text(&IModule::get_Address), "127.0.0.1") << "the open module's";
    EXPECT_EQ(Text(&IModule::get_SerialNumber), "SIM0001");
    EXPECT_EQ(module_->Close(), S_OK);
    EXPECT_TRUE(Ask(adc_.get(), &IADC3::Test)) << LastError();
    EXPECT_EQ(Text(&IModule::get_SerialNumber), "SIM0002") << "the address set, not the choice";
}

// KadrRate is the rate the module runs at, of which Rate is the float (the
// engine's test): at 500000 / 3 kadrs/s they part by 30 ppb.
TEST_F(DetectedModule, KadrRateIsTheModulesRateUnrounded) {
    Select({0, 1, 2}, 166666.0f);
    EXPECT_EQ(Number(&IModule::get_KadrRate), 500000.0 / 3);
}

// What IModule says of the last run: StartTime is its first kadr's, at any
// rate, and KadrsReceived what the host drained plus what is unread, counted
// from the start. (EndReason after a stop is the lost connection's test.)
TEST_F(DetectedModule, TheRunMembersDescribeTheLastRun) {
    const auto now = [] {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    };
    Select({0, 1}, 20000.0f);
    EXPECT_EQ(Number(&IModule::get_StartTime), 0.0) << "before a start";
    const double started = now();
    ASSERT_TRUE(StartRecord()) << LastError();
    std::vector<int16_t> buffer(65536);
    int64_t drained = 0; // kadrs of two channels
    for (auto end = Clock::now() + std::chrono::milliseconds(300); Clock::now() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (int32_t samples = 1; samples > 0; drained += samples / 2) // all that is unread
            samples = GetData(buffer.data(), static_cast<int32_t>(buffer.size()));
    }
    EXPECT_EQ(adc_->StopRecord(), S_OK);
    EXPECT_NEAR(Number(&IModule::get_StartTime), started, 1.0);
    EXPECT_GT(drained, 0);
    EXPECT_EQ(Number(&IModule::get_KadrsReceived), static_cast<double>(drained + Unread()));
    ASSERT_TRUE(StartRecord()) << LastError();
    EXPECT_LT(Number(&IModule::get_KadrsReceived), static_cast<double>(drained)) << "counted from the start";
    EXPECT_EQ(adc_->StopRecord(), S_OK);
    // StartTime is the first kadr's first sample: below the module's slowest
    // frame not a kadr earlier, at a slow rate of many channels not its last
    // sample (most of a kadr later), and not the end of the backlog that a
    // worker held up at the start finds (here the module's data held back).
    std::vector<int16_t> all(32);
    std::iota(all.begin(), all.end(), int16_t{0});
    const struct {
        std::vector<int16_t> channels;
        float rate;
        int heldMs;
    } starts[] = {{{0}, 2.0f, 0}, {all, 1.0f, 0}, {{0, 1}, 20000.0f, 300}};
    for (const auto& c : starts) {
        SCOPED_TRACE(testing::Message() << c.channels.size() << " channels at " << c.rate);
        Select(c.channels, c.rate);
        ASSERT_EQ(e16sim_fault_stall(E16SIM_MODULE_DAC, c.heldMs > 0), 0);
        const double before = now();
        ASSERT_TRUE(StartRecord()) << LastError();
        const double after = now();
        std::this_thread::sleep_for(std::chrono::milliseconds(c.heldMs));
        e16sim_fault_stall(E16SIM_MODULE_DAC, 0);
        ASSERT_TRUE(Eventually([&] { return Number(&IModule::get_StartTime) != 0.0; }));
        EXPECT_GT(Number(&IModule::get_StartTime), before - 0.002);
        EXPECT_LT(Number(&IModule::get_StartTime), after + 0.02);
        EXPECT_EQ(adc_->StopRecord(), S_OK);
    }
}

// A store locked by another connection refuses the save and says why (its
// bounded wait and that nothing is written are the settings' tests); once
// free, the save stores the values the host set.
TEST_F(DetectedModule, SaveSettingsStoresOnlyOnAFreeStore) {
    Select({0}, 2500.0f);
    StoreConnection other;
    other.Lock();
    EXPECT_FALSE(Ask(module_.get(), &IModule::SaveSettings));
    EXPECT_THAT(LastError(), testing::HasSubstr("were not saved"));
    other.Release();
    EXPECT_TRUE(Ask(module_.get(), &IModule::SaveSettings)) << LastError();
    float rate = 0.0f;
    EXPECT_TRUE(settings::cRegistry().GetSingleAt(
        settings::HKEY_CURRENT_USER, "Software\\Tervan\\ADC\\L-Card\\E16\\SIM0001", "Rate", rate));
    EXPECT_EQ(rate, 2500.0f);
}

} // namespace
} // namespace velmora::test
