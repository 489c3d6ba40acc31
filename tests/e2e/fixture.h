// The fixture of every host test: a private registry store with the driver
// registered in it, a powered-on simulator, no address list, and the check
// that the test leaves no thread and no driver object behind.
#pragma once

#include <gtest/gtest.h>

#include "e16sim_control.h"
#include "host.h"
#include "test_support.h"

namespace e2e {

class HostTest : public testing::Test {
protected:
    void SetUp() override {
        threadsBefore_ = CountThreads();
        WriteAddressList("");
        e16sim_reset();
        ASSERT_EQ(RegisterDriver(), S_OK);
    }

    void TearDown() override {
        auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(DriverSymbol("DllCanUnloadNow"));
        ASSERT_NE(canUnload, nullptr);
        EXPECT_EQ(canUnload(), S_OK) << "a driver object or server lock was left behind";
        EXPECT_EQ(SettleThreads(threadsBefore_), threadsBefore_) << "a thread was left behind";
    }

    // Creates the driver and detects the module at 127.0.0.1.
    Ptr<IADC3> DetectedAdc() {
        Ptr<IADC3> adc = CreateAdc();
        VARIANT_BOOL found = VARIANT_FALSE;
        if (adc) adc->Test(&found);
        EXPECT_EQ(found, VARIANT_TRUE);
        return adc;
    }

private:
    velmora::test::PrivateStore store_;
    int threadsBefore_ = 0;
};

} // namespace e2e
