// The worker waits in the library's receive: at rest it makes no timed
// wake-ups, and a stop ends that wait at once instead of after its time-out.
// Its pass from volts to codes gives the reference's bits with every kernel
// on a corpus of special values, and the reference agrees with the block
// function behind single readings and the generator.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "driver_record.h"
#include "engine/volts_to_codes.h"
#include "output/dsp.h"

namespace velmora::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class WorkerTest : public DriverRecordTest {
protected:
    void SetUp() override {
        DriverRecordTest::SetUp();
        if (!IsSkipped()) Detect();
    }
};

TEST_F(WorkerTest, AtRestItWaitsInTheReceiveAndTheStopEndsThatWaitAtOnce) {
    engine::SetInputChannels(s, {0});
    engine::SetRate(s, 1000.0f); // a receive time-out of 5128 ms
    s.sync.mode = core::StartMode::Syn1Rise;
    ASSERT_TRUE(engine::StartRecordChecked(s)) << s.lastError;
    std::this_thread::sleep_for(50ms); // the worker is in its first receive
    e16sim_reset_call_counts();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(e16sim_call_count("X502_Recv"), 0) << "the worker woke up while nothing came";
    EXPECT_EQ(e16sim_call_count("X502_GetRecvReadyCount"), 0) << "the worker polls";
    const auto stop = Clock::now();
    engine::StopRecording(s);
    EXPECT_LT(Clock::now() - stop, 2s) << "the stop waited for the receive's time-out";
    EXPECT_FALSE(s.acquisition.HasWorker());

    // The trigger releases a waiting worker: the block comes as soon as it is made.
    ASSERT_TRUE(engine::StartRecordChecked(s)) << s.lastError;
    std::this_thread::sleep_for(50ms);
    e16sim_fire_edge(E16SIM_INPUT_TRIG, 1);
    const auto fired = Clock::now();
    while (s.ring.CountUnread() == 0 && Clock::now() - fired < 2s) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(s.ring.CountUnread(), s.acquisition.blocks.blockKadrs) << "one whole block";
    engine::StopRecording(s);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Values already in codes and what they must give, from the worker's
// reference and from the block function that single readings and the
// generator use (in one call: its grouped loop and its tail).
TEST(VoltsToCodes, TheReferenceAndTheBlockFunctionRoundHalvesToEvenClipAndZeroNaN) {
    const std::vector<std::pair<double, int16_t>> cases = {
        {0.5, 0},           {1.5, 2},           {2.5, 2},        {-0.5, 0},        {-1.5, -2},
        {-2.5, -2},         {-0.0, 0},          {-7.75, -8},     {32766.5, 32766}, {32767.4, 32767},
        {32767.5, 32767},   {3e15, 32767},      {1e300, 32767},  {kInf, 32767},    {-32767.5, -32768},
        {-32768.5, -32768}, {-32769.0, -32768}, {-kInf, -32768}, {kNaN, 0},        {-kNaN, 0}};
    std::vector<double> values;
    for (const auto& c : cases) values.push_back(c.first);
    std::vector<int16_t> block(values.size());
    output::DoubleToInt16(values.data(), block.data(), values.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(engine::CodeOf(values[i]), cases[i].second) << "reference, " << values[i];
        EXPECT_EQ(block[i], cases[i].second) << "block function, " << values[i];
    }
}

// Special values at every lane position against every channel's scale, in
// blocks of every tail length; kernels the processor lacks are skipped.
TEST(VoltsToCodes, EveryKernelGivesTheReferencesBitsOnTheSpecialValues) {
    // Each edge of rounding and clipping with its neighbours, all negated too.
    std::vector<double> corpus = {kNaN,
                                  std::numeric_limits<double>::signaling_NaN(),
                                  kInf,
                                  0.0,
                                  1e300,
                                  4.9e-324,
                                  2147483647.5,
                                  2147483648.5,
                                  6755399441055744.5,
                                  std::numeric_limits<double>::max()};
    for (const double edge : {0.5, 1.5, 2.5, 32766.5, 32767.0, 32767.5, 32768.0, 32768.5, 32769.0})
        for (const double near : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, kInf)})
            corpus.push_back(near);
    for (std::size_t i = 0, n = corpus.size(); i < n; ++i) corpus.push_back(-corpus[i]);
    std::mt19937_64 random(16);
    std::uniform_int_distribution<int> halves(-70000, 70000);
    for (int i = 0; i < 2000; ++i) corpus.push_back(halves(random) / 2.0);
    // Codes per volt of the four ranges, 1 (values already in codes) and odd ones.
    const std::vector<double> scales = {1.0, 3200.0, 12800.0, 51200.0, 204800.0, -1.0, 0.0, 0.5, 1e-300};
    for (const engine::CodeKernel kernel : {engine::CodeKernel::Sse2, engine::CodeKernel::Avx2}) {
        if (!engine::KernelRuns(kernel)) continue;
        for (const std::size_t channels : {1u, 3u, 8u, 9u, 32u}) {
            std::vector<double> perChannel(channels);
            for (std::size_t c = 0; c < channels; ++c) perChannel[c] = scales[c % scales.size()];
            const engine::CodeScales pattern(perChannel);
            for (std::size_t shift = 0; shift < 17; ++shift) {
                const std::size_t count = corpus.size() - shift;
                std::vector<double> volts(corpus.begin() + static_cast<std::ptrdiff_t>(shift), corpus.end());
                std::vector<int16_t> got(count, 99);
                engine::VoltsToCodes(kernel, volts.data(), pattern, got.data(), count);
                for (std::size_t i = 0; i < count; ++i) {
                    const double scale = perChannel[i % channels];
                    ASSERT_EQ(got[i], engine::CodeOf(volts[i] * scale))
                        << "kernel " << static_cast<int>(kernel) << ", " << channels << " channels, value "
                        << volts[i] << " times " << scale << " at " << i;
                }
            }
        }
    }
}

} // namespace
} // namespace velmora::test
