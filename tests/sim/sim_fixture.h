// Fixture for the simulator tests: a reset simulator, handles that are freed
// afterwards, and helpers to program a channel table and receive words.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include "device/x502api.h"
#include "e16sim_control.h"

namespace e16sim::test {

constexpr uint32_t kIpDac = 0x7F000001u;
constexpr uint32_t kIpNoDac = 0x7F000002u;
constexpr double kQuantum = 10.0 / 6000000.0; // one code on the 10 V range

struct Lch {
    uint32_t phy, mode, range;
};

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { e16sim_reset(); }
    void TearDown() override {
        for (t_x502_hnd h : handles_) X502_Free(h);
        e16sim_reset();
    }

    t_x502_hnd create() {
        handles_.push_back(X502_Create());
        EXPECT_NE(handles_.back(), nullptr);
        return handles_.back();
    }

    t_x502_hnd open(uint32_t ip = kIpDac) {
        t_x502_hnd h = create();
        EXPECT_EQ(E16_OpenByIpAddr(h, ip, 0, 10000), X502_ERR_OK);
        return h;
    }

    // Programs the table and frequencies, enables the ADC stream and configures.
    static void program(t_x502_hnd h, const std::vector<Lch>& table, double fAcq) {
        for (uint32_t i = 0; i < table.size(); ++i) {
            ASSERT_EQ(X502_SetLChannel(h, i, table[i].phy, table[i].mode, table[i].range, 0), X502_ERR_OK);
        }
        ASSERT_EQ(X502_SetLChannelCount(h, static_cast<uint32_t>(table.size())), X502_ERR_OK);
        ASSERT_EQ(X502_SetAdcFreq(h, &fAcq, nullptr), X502_ERR_OK);
        ASSERT_EQ(X502_StreamsEnable(h, X502_STREAM_ADC), X502_ERR_OK);
        ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    }

    // Receives exactly `count` words (or fewer if the stream fails or 5 s pass).
    static std::vector<uint32_t> receive(t_x502_hnd h, size_t count) {
        std::vector<uint32_t> words(count);
        size_t got = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (got < count && std::chrono::steady_clock::now() < deadline) {
            const int32_t n = X502_Recv(h, words.data() + got, static_cast<uint32_t>(count - got), 500);
            if (n < 0) break;
            got += static_cast<size_t>(n);
        }
        words.resize(got);
        return words;
    }

    static std::vector<double> toVolts(t_x502_hnd h, const std::vector<uint32_t>& words) {
        std::vector<double> volts(words.size());
        uint32_t size = static_cast<uint32_t>(words.size());
        EXPECT_EQ(X502_ProcessAdcData(h, words.data(), volts.data(), &size, X502_PROC_FLAGS_VOLT),
                  X502_ERR_OK);
        volts.resize(size);
        return volts;
    }

    static double ramp(uint64_t frame) { return -5.0 + 0.01 * static_cast<double>(frame % 1000); }

    std::vector<t_x502_hnd> handles_;
};

} // namespace e16sim::test
