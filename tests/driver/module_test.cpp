// IModule on a driver object in-process over the simulated module: the
// address a host sets opens that module without the chooser, the identity
// and counters it reports, Close and a later detection elsewhere, and the
// settings' save on a free and on a locked store.
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <velmora/registry_store.h>

#include "driver_objects.h"
#include "store_connection.h"

namespace velmora::test {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince1970() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

class ModuleFace : public DriverObjects {
public:
    bool Detected() { return Ask(adc_.get(), &IADC3::get_Detected); }
    // Drains everything unread; the kadrs taken.
    int64_t Drain() {
        std::vector<int16_t> buffer(65536);
        int64_t taken = 0;
        for (int32_t kadrs = 1; kadrs > 0;) {
            int32_t count = static_cast<int32_t>(buffer.size()), rest = 0;
            EXPECT_EQ(adc_->GetData(buffer.data(), &count, &rest, &kadrs), S_OK);
            taken += kadrs;
        }
        return taken;
    }
};

// Every face answers for IModule with the one face.
TEST_F(ModuleFace, IsReachedFromEveryFace) {
    std::vector<IUnknown*> faces{lintara_.get(), adc_.get(), dio_.get(), dao_.get(), module_.get()};
    for (IUnknown* face : faces) {
        IModule* module = nullptr;
        ASSERT_EQ(face->QueryInterface(IID_IModule, reinterpret_cast<void**>(&module)), S_OK);
        EXPECT_EQ(module, module_.get());
        module->Release();
    }
}

// A set address opens that module with no answer queued for the chooser; Close
// ends it, and another address opens the other module in the same object.
TEST_F(ModuleFace, ASetAddressOpensThatModuleWithoutTheChooser) {
    EXPECT_EQ(Text(&IModule::get_SerialNumber), "") << "before a detection";
    EXPECT_EQ(Text(&IModule::get_Address), "");
    struct Case {
        const char16_t* address;
        const char* text;
        const char* serial;
    };
    for (const Case& c :
         {Case{u"127.0.0.1", "127.0.0.1", "SIM0001"}, Case{u"127.0.0.2", "127.0.0.2", "SIM0002"}}) {
        SCOPED_TRACE(c.text);
        SetAddress(c.address);
        EXPECT_EQ(Text(&IModule::get_Address), c.text) << "the address set, before Test";
        ASSERT_TRUE(Ask(adc_.get(), &IADC3::Test)) << LastError();
        EXPECT_TRUE(Connected());
        EXPECT_EQ(Text(&IModule::get_SerialNumber), c.serial);
        EXPECT_EQ(Text(&IModule::get_Address), c.text);
        EXPECT_EQ(Text(&IModule::get_ModuleName), "E16 rev. A");
        const std::string backend = Text(&IModule::get_Backend);
        EXPECT_TRUE(backend.starts_with("simulated module (/")) << backend;
        EXPECT_NE(backend.find("libe16sim.so), version 1.1.34"), std::string::npos) << backend;
        EXPECT_EQ(module_->Close(), S_OK);
        EXPECT_FALSE(Detected());
        EXPECT_FALSE(Connected());
        EXPECT_EQ(Text(&IModule::get_SerialNumber), c.serial) << "the module last opened";
    }
}

// Text that is no address leaves the one set.
TEST_F(ModuleFace, OnlyADottedAddressIsTaken) {
    SetAddress(u"127.0.0.2");
    for (const char16_t* bad :
         {u"127.0.0", u"127.0.0.256", u"127.0.0.1.5", u" 127.0.0.1", u"localhost", u"0.0.0.0"})
        SetAddress(bad);
    EXPECT_EQ(Text(&IModule::get_Address), "127.0.0.2");
}

TEST_F(ModuleFace, AnEmptyAddressReturnsToTheChooser) {
    SetAddress(u"127.0.0.2");
    SetAddress(u"");
    EXPECT_EQ(Text(&IModule::get_Address), "");
    ASSERT_TRUE(Test(kSimWithDac)) << LastError();
    EXPECT_EQ(Text(&IModule::get_SerialNumber), "SIM0001") << "the chooser's answer";
}

// ChooseAddress asks the driver's chooser, titled as at a detection, and
// only answers: the open module and the address set stay.
TEST_F(ModuleFace, ChooseAddressOnlyAnswers) {
    ASSERT_TRUE(Test(kSimWithDac)) << LastError();
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

// KadrsReceived is what the host drained plus what is unread, counted from
// the start.
TEST_F(ModuleFace, KadrsReceivedIsWhatWasDrainedPlusWhatIsUnread) {
    ASSERT_TRUE(Test()) << LastError();
    Select({0, 1}, 20000.0f);
    ASSERT_TRUE(StartRecord()) << LastError();
    int64_t drained = 0;
    for (auto end = Clock::now() + std::chrono::milliseconds(300); Clock::now() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        drained += Drain();
    }
    EXPECT_EQ(adc_->StopRecord(), S_OK);
    EXPECT_GT(drained, 0);
    EXPECT_EQ(Number(&IModule::get_KadrsReceived), static_cast<double>(drained + Unread()));
    ASSERT_TRUE(StartRecord()) << LastError();
    EXPECT_LT(Number(&IModule::get_KadrsReceived), static_cast<double>(drained)) << "counted from the start";
}

TEST_F(ModuleFace, StartTimeIsTheFirstKadrs) {
    ASSERT_TRUE(Test()) << LastError();
    Select({0, 1}, 20000.0f);
    EXPECT_EQ(Number(&IModule::get_StartTime), 0.0) << "before a start";
    const double started = SecondsSince1970();
    ASSERT_TRUE(StartRecord()) << LastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(adc_->StopRecord(), S_OK);
    EXPECT_NEAR(Number(&IModule::get_StartTime), started, 1.0);
}

TEST_F(ModuleFace, EndReasonStaysEmptyForAStoppedRun) {
    ASSERT_TRUE(Test()) << LastError();
    Select({0, 1}, 20000.0f);
    ASSERT_TRUE(StartRecord()) << LastError();
    EXPECT_EQ(Text(&IModule::get_EndReason), "") << "while recording";
    EXPECT_EQ(adc_->StopRecord(), S_OK);
    EXPECT_EQ(Text(&IModule::get_EndReason), "");
}

float StoredRate(const char* serial) {
    const std::string key = std::string("Software\\Tervan\\ADC\\L-Card\\E16\\") + serial;
    reg::HKEY handle = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_CURRENT_USER, key.c_str(), reg::KEY_READ, &handle) != reg::ERROR_SUCCESS)
        return -1;
    uint32_t bits = 0;
    reg::DWORD size = sizeof bits;
    reg::RegQueryValueEx(handle, "Rate", nullptr, reinterpret_cast<reg::BYTE*>(&bits), &size);
    reg::RegCloseKey(handle);
    return std::bit_cast<float>(bits);
}

// A store locked by another connection refuses the save within its wait and
// says why.
TEST_F(ModuleFace, SaveSettingsReportsALockedStore) {
    ASSERT_TRUE(Test()) << LastError();
    Select({0}, 2500.0f);
    StoreConnection other;
    other.Lock();
    const auto start = Clock::now();
    EXPECT_FALSE(Ask(module_.get(), &IModule::SaveSettings));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(6500)) << "one bounded wait";
    EXPECT_NE(LastError().find("were not saved"), std::string::npos) << LastError();
    other.Release();
    EXPECT_EQ(StoredRate("SIM0001"), -1.0f) << "nothing of the refused save";
}

TEST_F(ModuleFace, SaveSettingsStoresTheValuesOnAFreeStore) {
    ASSERT_TRUE(Test()) << LastError();
    Select({0}, 2500.0f);
    EXPECT_TRUE(Ask(module_.get(), &IModule::SaveSettings)) << LastError();
    EXPECT_EQ(StoredRate("SIM0001"), 2500.0f);
}

} // namespace
} // namespace velmora::test
