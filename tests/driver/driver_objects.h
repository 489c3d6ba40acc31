// A test fixture: a driver object in-process over the simulated module,
// seen through its faces, with scripted dialogs and a private store. What
// outlives the objects (the digital record) goes back to its first values.
#pragma once

#include <gtest/gtest.h>

#include <velmora/com_ptr.h>

#include <memory>
#include <string>

#include "device/vendor_api.h"
#include "driver/driver_ops.h"
#include "driver/lintara.h"
#include "e16sim_control.h"
#include "test_support.h"
#include "ui/scripted_dialogs.h"

namespace velmora::test {

inline constexpr int32_t kModuleIp = 0x7F000001; // SIM0001, with a DAC

class DriverObjects : public ::testing::Test {
protected:
    void SetUp() override {
        if (!device::VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
        auto dialogs = std::make_unique<ui::ScriptedDialogs>();
        dialogs_ = dialogs.get();
        ui::SetDialogs(std::move(dialogs));
        Create();
    }

    // The last reference ends any recording and closes the module.
    void TearDown() override {
        Release();
        driver::State().dio = dio::DigitalIo{};
        ui::SetDialogs(nullptr);
    }

    void Create() {
        ASSERT_EQ(driver::Lintara::Create(IID__Lintara, reinterpret_cast<void**>(lintara_.put())), S_OK);
        ASSERT_EQ(lintara_.As(IID_IADC3, &adc_), S_OK);
        ASSERT_EQ(lintara_.As(IID_IDIO, &dio_), S_OK);
        ASSERT_EQ(lintara_.As(IID_IDAO, &dao_), S_OK);
    }
    void Release() {
        dao_.reset();
        dio_.reset();
        adc_.reset();
        lintara_.reset();
    }

    // Test, the chooser answering `ip`.
    bool Test(int32_t ip = kModuleIp) {
        dialogs_->QueueAddress(ip);
        VARIANT_BOOL found = VARIANT_FALSE;
        EXPECT_EQ(adc_->Test(&found), S_OK);
        return found == VARIANT_TRUE;
    }
    static std::string LastError() { return driver::State().lastError; }
    // A Boolean member's answer, S_OK expected.
    template <typename Fn> static bool Flag(Fn member) {
        VARIANT_BOOL value = VARIANT_FALSE;
        EXPECT_EQ(member(&value), S_OK);
        return value == VARIANT_TRUE;
    }

    PrivateStore store_;
    ui::ScriptedDialogs* dialogs_ = nullptr;
    ComPtr<_Lintara> lintara_;
    ComPtr<IADC3> adc_;
    ComPtr<IDIO> dio_;
    ComPtr<IDAO> dao_;
};

} // namespace velmora::test
