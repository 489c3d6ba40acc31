// Fixture for the engine tests: a private store, scripted dialogs, a reset
// simulator reached through the driver's own vendor table, and one driver
// record per test. Helpers read the Y16 frame ramp back out of recorded kadrs.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "device/te16.h"
#include "driver/driver_ops.h"
#include "driver/driver_state.h"
#include "e16sim_control.h"
#include "engine/recording.h"
#include "test_support.h"
#include "ui/scripted_dialogs.h"

namespace velmora::test {

constexpr int32_t kIpDac = 0x7F000001;   // 127.0.0.1: E16 with DAC, SIM0001
constexpr int32_t kIpNoDac = 0x7F000002; // 127.0.0.2: no DAC, SIM0002
constexpr int16_t kRampInput = 31;       // Y16 carries the frame ramp

using Clock = std::chrono::steady_clock;

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

    void Create() { driver::OnObjectCreated(s); }

    // A created object and a detected module at `ip`.
    void Detect(int32_t ip = kIpDac) {
        if (s.instanceCount == 0) Create();
        dialogs_->QueueAddress(ip);
        ASSERT_TRUE(driver::TestDevice(s)) << s.lastError;
    }

    PrivateStore store_;
    driver::DriverState s;
    ui::ScriptedDialogs* dialogs_ = nullptr;
};

// Position of the ramp in its 1000-frame period from a code on range 0:
// volts = -5 + 0.01 * m, code = volts * 3200 = -16000 + 32 * m.
inline int32_t RampStep(int16_t code) {
    const int32_t shifted = code + 16000;
    return shifted % 32 == 0 && shifted >= 0 && shifted < 32000 ? shifted / 32 : -1;
}

// Follows the ramp across every kadr handed to it: each must be the frame
// after the one before, the first one frame 0.
class RampFollower {
public:
    void Add(int16_t code) {
        const int32_t step = RampStep(code);
        if (step != (expected_ % 1000)) {
            if (faults_++ == 0)
                firstFault_ = "kadr " + std::to_string(kadrs_) + ": step " + std::to_string(step) +
                              " instead of " + std::to_string(expected_ % 1000);
            expected_ = step;
        }
        ++expected_;
        ++kadrs_;
    }
    int64_t kadrs() const { return kadrs_; }
    int64_t faults() const { return faults_; }
    const std::string& firstFault() const { return firstFault_; }

private:
    int64_t expected_ = 0;
    int64_t kadrs_ = 0;
    int64_t faults_ = 0;
    std::string firstFault_;
};

// Polls `done` every few ms until it holds or `seconds` pass.
template <typename Done> bool WaitFor(Done done, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace velmora::test
