// The waveform generator as the analog inputs see it: the outputs wired to
// X15 and X16 recorded while they play, a cyclic load that fails, static
// writes during and after playing, and the code/volt conversions.
#include <algorithm>
#include <cmath>
#include <limits>

#include "driver_fixture.h"
#include "output/dac_output.h"

namespace velmora::test {
namespace {

constexpr int16_t kX15 = 14; // logical channel on the first DAC output
constexpr int16_t kX16 = 15; // and on the second
constexpr float kKadrRate = 10000.0f;
constexpr int32_t kKadrs = 5000;         // half a second: 50 periods at 100 Hz
constexpr int32_t kSineCodes = 3200;     // 1 V
constexpr int32_t kTriangleCodes = 6400; // 2 V

int64_t DacWrites() {
    return e16sim_call_count("X502_AsyncOutDac");
}

double ModuleLevel(uint32_t channel) {
    double now = 0, level = 0;
    uint32_t flags = 0;
    e16sim_get_dac(E16SIM_MODULE_DAC, channel, &now, &level, &flags);
    return level;
}

class Generator : public DriverTest {
protected:
    // Arms the generator as the DAC page's Start does.
    void Arm(int16_t waveform0, int32_t amplitude0, int16_t waveform1, int32_t amplitude1) {
        driver::DriverState& s = driver::State();
        s.dacChannels[0].waveform = waveform0;
        s.dacChannels[0].amplitude = amplitude0;
        s.dacChannels[1].waveform = waveform1;
        s.dacChannels[1].amplitude = amplitude1;
        s.dacSignalFreq = 100.0;
        output::ApplyDacSettings(s);
    }

    // X15 and X16 measured against ground on logical channels 14 and 15.
    void SelectOutputs() {
        driver::State().channelTable[kX15] = {kX15, 1};
        driver::State().channelTable[kX16] = {kX16, 1};
        Select({kX15, kX16}, kKadrRate);
    }
};

// Sample k of column `column` of two-channel kadrs.
struct Kadrs {
    const std::vector<int16_t>& samples;
    int16_t at(size_t k, size_t column) const { return samples[2 * k + column]; }
    size_t size() const { return samples.size() / 2; }
};

// Kadrs where the first column crosses zero going up (or down).
std::vector<size_t> ZeroCrossings(const Kadrs& kadrs, bool rising) {
    std::vector<size_t> found;
    for (size_t k = 1; k < kadrs.size(); ++k) {
        const bool before = kadrs.at(k - 1, 0) < 0, after = kadrs.at(k, 0) < 0;
        if (before != after && after != rising) found.push_back(k);
    }
    return found;
}

std::pair<int16_t, int16_t> Extremes(const Kadrs& kadrs, size_t column) {
    int16_t low = std::numeric_limits<int16_t>::max(), high = std::numeric_limits<int16_t>::min();
    for (size_t k = 0; k < kadrs.size(); ++k) {
        low = std::min(low, kadrs.at(k, column));
        high = std::max(high, kadrs.at(k, column));
    }
    return {low, high};
}

TEST_F(Generator, SineAndTriangleArriveInStepOnX15AndX16) {
    Detect();
    Arm(3, kSineCodes, 6, kTriangleCodes);
    SelectOutputs();
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    EXPECT_TRUE(DaoBusy());
    const std::vector<int16_t> samples = Collect(2, kKadrs);
    ASSERT_EQ(adc_->StopRecord(), S_OK);
    ASSERT_GE(samples.size(), size_t{2} * kKadrs);
    const Kadrs kadrs{samples};

    // 100 Hz: a rising zero crossing every 100 kadrs.
    const std::vector<size_t> rising = ZeroCrossings(kadrs, true);
    const std::vector<size_t> falling = ZeroCrossings(kadrs, false);
    ASSERT_GE(rising.size(), 2u);
    const double period = double(rising.back() - rising.front()) / double(rising.size() - 1);
    EXPECT_NEAR(period, kKadrRate / 100.0, 0.5);
    EXPECT_NEAR(double(rising.size()), kadrs.size() / 100.0, 1.0);

    const auto [sineLow, sineHigh] = Extremes(kadrs, 0);
    const auto [triangleLow, triangleHigh] = Extremes(kadrs, 1);
    EXPECT_NEAR(sineHigh, kSineCodes, 40);
    EXPECT_NEAR(sineLow, -kSineCodes, 40);
    EXPECT_NEAR(triangleHigh, kTriangleCodes, 300);
    EXPECT_NEAR(triangleLow, -kTriangleCodes, 300);

    // Both start their period together: the triangle is at its minimum where
    // the sine rises through zero and at its maximum where it falls. The
    // triangle moves 256 codes a kadr, so two kadrs of slack.
    for (size_t k : rising) EXPECT_LT(kadrs.at(k, 1), -kTriangleCodes + 600) << "kadr " << k;
    for (size_t k : falling) EXPECT_GT(kadrs.at(k, 1), kTriangleCodes - 600) << "kadr " << k;
}

TEST_F(Generator, AFailedCyclicLoadEndsTheStartAndDisarms) {
    Detect();
    Arm(3, kSineCodes, 0, 0);
    SelectOutputs();
    e16sim_fault_fail_call("X502_OutCycleLoadStart", -13);
    EXPECT_FALSE(StartRecord());
    EXPECT_FALSE(AdcBusy());
    EXPECT_FALSE(DaoBusy());
    EXPECT_FALSE(driver::State().dacStreamEnabled) << "the user arms it again";
    BSTR error = nullptr;
    ASSERT_EQ(adc_->get_LastError(&error), S_OK);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(std::u16string(error, 6), u"Error ");
    SysFreeString(error);
    EXPECT_EQ(e16sim_call_count("X502_StreamsStart"), 0);

    // Healed, a start without the generator runs and leaves the outputs alone.
    e16sim_fault_fail_call("X502_OutCycleLoadStart", 0);
    const int64_t loads = e16sim_call_count("X502_OutCycleLoadStart");
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    EXPECT_FALSE(DaoBusy());
    adc_->StopRecord();
    EXPECT_EQ(e16sim_call_count("X502_OutCycleLoadStart"), loads);
}

TEST_F(Generator, APlayingChannelIgnoresStaticWritesTheOtherTakesThem) {
    Detect();
    Arm(3, kSineCodes, 0, 0); // channel 1 "Off"
    SelectOutputs();
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    EXPECT_TRUE(DaoBusy());
    EXPECT_EQ(e16sim_get_out_cycle(E16SIM_MODULE_DAC, E16SIM_OUT_DAC1, nullptr, 0), 10000);

    int64_t writes = DacWrites();
    EXPECT_EQ(dao_->put_ValueReal(0, 3.0), S_OK);
    EXPECT_EQ(dao_->put_Value(0, 100), S_OK);
    EXPECT_EQ(DacWrites(), writes) << "the waveform owns channel 0";
    double volts = -1;
    dao_->get_ValueReal(0, &volts);
    EXPECT_EQ(volts, 0.0);
    EXPECT_EQ(dao_->put_ValueReal(1, 2.0), S_OK);
    EXPECT_EQ(DacWrites(), writes + 1);
    EXPECT_EQ(ModuleLevel(1), 2.0);

    // A block naming both channels writes both, playing or not.
    writes = DacWrites();
    double both[] = {0.5, 2.0};
    int32_t counted = 0;
    dao_->SetValuesReal(0, 2, both, &counted);
    EXPECT_EQ(counted, 2);
    EXPECT_EQ(DacWrites(), writes + 2);
    adc_->StopRecord();
}

TEST_F(Generator, AfterTheRecordingStaticWritesReachTheModuleAgain) {
    Detect();
    Arm(3, kSineCodes, 6, kTriangleCodes);
    SelectOutputs();
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    Collect(2, 200);
    adc_->StopRecord();
    EXPECT_FALSE(DaoBusy());
    EXPECT_TRUE(driver::State().dacStreamEnabled) << "armed for the next recording";

    // The waveform did not change the stored levels: 0 V is no change.
    const int64_t writes = DacWrites();
    dao_->put_ValueReal(0, 0.0);
    EXPECT_EQ(DacWrites(), writes);
    dao_->put_ValueReal(0, -0.25);
    dao_->put_Value(1, 6400);
    EXPECT_EQ(DacWrites(), writes + 2);
    EXPECT_EQ(ModuleLevel(0), -0.25);
    EXPECT_EQ(ModuleLevel(1), 2.0);
}

TEST(DacConversions, CodesRoundHalfToEvenAndStayInRange) {
    driver::DriverState s;
    s.dacUnitScale = 2.0;
    EXPECT_EQ(output::DacVoltsToCode(s, 1.25), 2);
    EXPECT_EQ(output::DacVoltsToCode(s, 1.75), 4);
    EXPECT_EQ(output::DacVoltsToCode(s, -1.25), -2);
    EXPECT_EQ(output::DacVoltsToCode(s, -0.25), 0);
    EXPECT_EQ(output::DacVoltsToCode(s, 1.3), 3);
    EXPECT_EQ(output::DacVoltsToCode(s, 1e12), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(output::DacVoltsToCode(s, std::nan("")), 0);
    s.dacUnitScale = 3200.0;
    EXPECT_EQ(output::DacCodeToVolts(s, -5), -5 / 3200.0);
    EXPECT_EQ(output::DacVoltsToCode(s, output::DacCodeToVolts(s, -5)), -5);
}

} // namespace
} // namespace velmora::test
