// A test fixture: one driver record over the simulated module with scripted
// dialogs and a private store, torn down with no object, worker or open
// module left behind. No object exists until a test makes one or detects.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "device/vendor_api.h"
#include "driver/driver_ops.h"
#include "engine/operations.h"
#include "sim_probes.h"
#include "test_support.h"
#include "ui/scripted_dialogs.h"

namespace velmora::test {

inline constexpr int32_t kSimWithDac = 0x7F000001;    // 127.0.0.1: SIM0001
inline constexpr int32_t kSimWithoutDac = 0x7F000002; // 127.0.0.2: SIM0002

class DriverRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!device::VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
        dialogs_ = new ui::ScriptedDialogs;
        ui::SetDialogs(std::unique_ptr<ui::ScriptedDialogs>(dialogs_));
    }
    void TearDown() override {
        while (s.instanceCount > 0) driver::OnObjectDestroyed(s);
        s.acquisition.Join();
        s.module.Release();
        ui::SetDialogs(nullptr);
        e16sim_reset();
    }

    // An object, made when there is none, and the module at `ip` detected.
    void Detect(int32_t ip = kSimWithDac) {
        if (s.instanceCount == 0) driver::OnObjectCreated(s);
        dialogs_->QueueAddress(ip);
        ASSERT_TRUE(engine::TestDevice(s, *dialogs_)) << s.lastError;
    }

    PrivateStore store_;
    driver::DriverState s;
    ui::ScriptedDialogs* dialogs_ = nullptr;
};

} // namespace velmora::test
