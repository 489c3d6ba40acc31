// Fixture for the engine tests: a private store, scripted dialogs and a reset
// simulator reached through the driver's own vendor table; one driver record
// per test, torn down with no worker left.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "device/te16.h"
#include "driver/driver_ops.h"
#include "driver/driver_state.h"
#include "e16sim_control.h"
#include "engine/recording.h"
#include "test_support.h"
#include "ui/scripted_dialogs.h"

namespace velmora::test {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!device::VendorApi::Process().simulator) GTEST_SKIP() << "the vendor libraries are installed";
        e16sim_reset();
        auto dialogs = std::make_unique<ui::ScriptedDialogs>();
        dialogs_ = dialogs.get();
        ui::SetDialogs(std::move(dialogs));
    }

    void TearDown() override {
        while (s.instanceCount > 0) driver::OnObjectDestroyed(s);
        engine::JoinWorker(s);
        s.device.reset();
        ui::SetDialogs(nullptr);
        e16sim_reset();
    }

    // A created object and the module at `ip` (127.0.0.1: SIM0001, with a DAC).
    void Detect(int32_t ip = 0x7F000001) {
        if (s.instanceCount == 0) driver::OnObjectCreated(s);
        dialogs_->QueueAddress(ip);
        ASSERT_TRUE(driver::TestDevice(s)) << s.lastError;
    }

    // What the library last told the module, configured or not.
    static e16sim_config Pending() {
        e16sim_config c{};
        e16sim_get_config(E16SIM_MODULE_DAC, 0, &c);
        return c;
    }

    static e16sim_state ModuleState() {
        e16sim_state st{};
        e16sim_get_state(E16SIM_MODULE_DAC, &st);
        return st;
    }

    static uint32_t DigitalOutputs() {
        uint32_t lines = 0;
        e16sim_get_digital(E16SIM_MODULE_DAC, &lines, nullptr);
        return lines;
    }

    static int64_t Calls(const char* entry) { return e16sim_call_count(entry); }

    PrivateStore store_;
    driver::DriverState s;
    ui::ScriptedDialogs* dialogs_ = nullptr;
};

} // namespace velmora::test
