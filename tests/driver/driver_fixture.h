// Fixture for the in-process driver tests: a private store, scripted dialogs
// that answer the address chooser with 127.0.0.1, a reset simulator and one
// Lintara object seen through its three host faces. Host thread only.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "device/vendor_api.h"
#include "driver/driver_state.h"
#include "driver/lintara.h"
#include "e16sim_control.h"
#include "test_support.h"
#include "ui/scripted_dialogs.h"

namespace velmora::test {

constexpr int32_t kIpDac = 0x7F000001; // 127.0.0.1: E16 with DAC

// An interface pointer released at the end of its scope.
template <typename T> class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Reset(); }
    void Reset() {
        if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
    }
    void** out() {
        Reset();
        return reinterpret_cast<void**>(&p_);
    }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!device::VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
        auto dialogs = std::make_unique<ui::ScriptedDialogs>();
        dialogs_ = dialogs.get();
        ui::SetDialogs(std::move(dialogs));
        ASSERT_EQ(driver::Lintara::Create(IID_IADC3, adc_.out()), S_OK);
        ASSERT_EQ(adc_->QueryInterface(IID_IDIO, dio_.out()), S_OK);
        ASSERT_EQ(adc_->QueryInterface(IID_IDAO, dao_.out()), S_OK);
    }

    // The last reference ends any recording and closes the module. The start
    // and stop words last as long as the process, so they are switched off.
    void TearDown() override {
        dao_.Reset();
        dio_.Reset();
        adc_.Reset();
        driver::DioState& dio = driver::State().dio;
        dio.doStartEnabled = dio.doStopEnabled = false;
        dio.doStartValue = dio.doStopValue = 0;
        ui::SetDialogs(nullptr);
        e16sim_reset();
    }

    void Detect() {
        dialogs_->QueueAddress(kIpDac);
        VARIANT_BOOL found = VARIANT_FALSE;
        ASSERT_EQ(adc_->Test(&found), S_OK);
        ASSERT_EQ(found, VARIANT_TRUE) << driver::State().lastError;
    }

    // Selects logical channels and the kadr rate through IADC3.
    void Select(const std::vector<int16_t>& channels, float rate) {
        SAFEARRAY* table = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(channels.size()));
        for (LONG i = 0; i < static_cast<LONG>(channels.size()); ++i) {
            int16_t channel = channels[static_cast<size_t>(i)];
            SafeArrayPutElement(table, &i, &channel);
        }
        EXPECT_EQ(adc_->put_InputChannels(&table), S_OK);
        SafeArrayDestroy(table);
        EXPECT_EQ(adc_->put_Rate(&rate), S_OK);
    }

    bool StartRecord() {
        VARIANT_BOOL started = VARIANT_FALSE;
        EXPECT_EQ(adc_->StartRecord(&started), S_OK);
        return started == VARIANT_TRUE;
    }

    bool AdcBusy() {
        VARIANT_BOOL busy = VARIANT_FALSE;
        EXPECT_EQ(adc_->get_Busy(&busy), S_OK);
        return busy == VARIANT_TRUE;
    }

    bool DaoBusy() {
        VARIANT_BOOL busy = VARIANT_FALSE;
        EXPECT_EQ(dao_->get_Busy(&busy), S_OK);
        return busy == VARIANT_TRUE;
    }

    // Reads whole kadrs with GetData until `kadrs` have come or a few
    // seconds have passed.
    std::vector<int16_t> Collect(int32_t channels, int32_t kadrs) {
        std::vector<int16_t> samples;
        std::vector<int16_t> buffer(static_cast<size_t>(channels) * 4096);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (samples.size() < static_cast<size_t>(channels) * kadrs &&
               std::chrono::steady_clock::now() < deadline) {
            int32_t count = static_cast<int32_t>(buffer.size()), rest = 0, taken = 0;
            EXPECT_EQ(adc_->GetData(buffer.data(), &count, &rest, &taken), S_OK);
            samples.insert(samples.end(), buffer.begin(), buffer.begin() + count);
            if (taken == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return samples;
    }

    PrivateStore store_;
    ui::ScriptedDialogs* dialogs_ = nullptr;
    Ref<IADC3> adc_;
    Ref<IDIO> dio_;
    Ref<IDAO> dao_;
};

} // namespace velmora::test
