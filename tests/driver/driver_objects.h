// A test fixture: a driver object in-process over the simulated module,
// seen through its faces, with scripted dialogs and a private store. What
// outlives the objects (the digital record) goes back to its first values.
// Its helpers are public, for tables of operations to call.
#pragma once

#include <gtest/gtest.h>

#include <velmora/com_ptr.h>

#include <string>
#include <vector>

#include "dispatch_args.h"
#include "driver/lintara.h"
#include "driver_record.h"

namespace velmora::test {

// The record of DriverRecordTest stays unused: the objects share the
// process-wide one.
class DriverObjects : public DriverRecordTest {
public:
    void SetUp() override {
        DriverRecordTest::SetUp();
        if (!IsSkipped()) Create();
    }
    // The last reference ends any recording and closes the module.
    void TearDown() override {
        Release();
        driver::State().dio = dio::DigitalIo{};
        DriverRecordTest::TearDown();
    }

    void Create() {
        ASSERT_EQ(driver::Lintara::Create(IID__Lintara, reinterpret_cast<void**>(lintara_.put())), S_OK);
        ASSERT_EQ(lintara_.As(IID_IADC3, &adc_), S_OK);
        ASSERT_EQ(lintara_.As(IID_IDIO, &dio_), S_OK);
        ASSERT_EQ(lintara_.As(IID_IDAO, &dao_), S_OK);
        ASSERT_EQ(lintara_.As(IID_IModule, &module_), S_OK);
    }
    void Release() {
        module_.reset();
        dao_.reset();
        dio_.reset();
        adc_.reset();
        lintara_.reset();
    }

    // Test, the chooser answering `ip`.
    bool Test(int32_t ip = kSimWithDac) {
        dialogs_->QueueAddress(ip);
        return Ask(adc_.get(), &IADC3::Test);
    }
    static std::string LastError() { return driver::State().lastError; }
    // GetData into `capacity` samples at `buffer`; the samples written.
    int32_t GetData(int16_t* buffer, int32_t capacity) {
        int32_t rest = 0, kadrs = 0;
        EXPECT_EQ(adc_->GetData(buffer, &capacity, &rest, &kadrs), S_OK);
        return capacity;
    }
    bool StartRecord() { return Ask(adc_.get(), &IADC3::StartRecord); }
    // Selects, then starts.
    bool Record(const std::vector<int16_t>& channels, float rate) {
        Select(channels, rate);
        return StartRecord();
    }
    // An IModule text member's answer as UTF-8.
    std::string Text(HRESULT (STDMETHODCALLTYPE IModule::*member)(BSTR*)) {
        BSTR text = nullptr;
        EXPECT_EQ((module_.get()->*member)(&text), S_OK);
        std::string utf8(text, text + SysStringLen(text)); // the answers are ASCII
        SysFreeString(text);
        return utf8;
    }
    void SetAddress(const char16_t* address) {
        BSTR text = SysAllocString(address);
        EXPECT_EQ(module_->put_Address(text), S_OK);
        SysFreeString(text);
    }
    bool Connected() { return Ask(module_.get(), &IModule::get_Connected); }
    double Number(HRESULT (STDMETHODCALLTYPE IModule::*member)(double*)) {
        return Get(module_.get(), member);
    }
    bool Busy() { return Ask(adc_.get(), &IADC3::get_Busy); }
    bool Detected() { return Ask(adc_.get(), &IADC3::get_Detected); }
    int32_t Unread() { return Get(adc_.get(), &IADC3::get_InputCountKadrs); }
    void Select(const std::vector<int16_t>& channels, float rate) {
        SAFEARRAY* table = Int16Vector(channels);
        EXPECT_EQ(adc_->put_InputChannels(&table), S_OK);
        SafeArrayDestroy(table);
        EXPECT_EQ(adc_->put_Rate(&rate), S_OK);
    }
    HRESULT SetWord(int32_t word) { return dio_->put_DOValue(&word); }
    // The start and stop words on.
    void EnableWords(int32_t start, int32_t stop) {
        VARIANT_BOOL on = VARIANT_TRUE;
        dio_->put_DOStartEnabled(&on);
        dio_->put_DOStartValue(&start);
        dio_->put_DOStopEnabled(&on);
        dio_->put_DOStopValue(&stop);
    }
    ComPtr<_Lintara> lintara_;
    ComPtr<IADC3> adc_;
    ComPtr<IDIO> dio_;
    ComPtr<IDAO> dao_;
    ComPtr<IModule> module_;
};

// The objects after a detection of the simulated module at 127.0.0.1.
class DetectedObjects : public DriverObjects {
public:
    void SetUp() override {
        DriverObjects::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(Test()) << LastError();
    }
};

} // namespace velmora::test
