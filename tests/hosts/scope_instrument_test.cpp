// The scope's instrument without Qt: the trigger puts the level crossing at
// time 0 whatever the block sizes, the modes show what they promise, no view
// joins kadrs across a gap in a stream, and the measurements, the spectrum
// and the CSV exports of the simulated module's sines come out right.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "csv_text.h"
#include "measure.h"
#include "spectrum.h"
#include "sweep.h"
#include "test_support.h"
#include "view_export.h"

namespace e16scope {
namespace {

using namespace testing;
using velmora::test::Split;

constexpr double kRate = 10000;
constexpr float kCodesPerVolt = 3200;
const double kPi = std::acos(-1.0);

// A CSV text's fields, row by row.
std::vector<std::vector<std::string>> Rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : Split(text, '\n')) rows.push_back(Split(line));
    return rows;
}

// A field whose number is `value`, within `tolerance`.
Matcher<const std::string&> Reads(double value, double tolerance) {
    return ResultOf([](const std::string& text) { return std::strtod(text.c_str(), nullptr); },
                    DoubleNear(value, tolerance));
}

// X1..X4 as the simulated module gives them, and a fifth channel counting
// kadrs so that a view can be checked to be one run of the signal.
struct Sine {
    double amplitude, hz;
};
const std::vector<Sine> kSines = {{0.5, 10}, {1, 20}, {1.5, 30}, {2, 40}};
constexpr std::size_t kChannels = 5, kCounter = 4;
const std::vector<std::string> kNames = {"X1", "X2", "X3", "X4", "count"};
const std::vector<float> kScales(kChannels, kCodesPerVolt);

int16_t SineCode(const Sine& s, std::size_t kadr) {
    return static_cast<int16_t>(std::lround(
        s.amplitude * std::sin(2 * kPi * s.hz * (static_cast<double>(kadr) / kRate) + 0.3) * kCodesPerVolt));
}

// Channel c's code in kadr k.
using Code = std::function<int(std::size_t k, std::size_t c)>;
int SineAt(std::size_t k, std::size_t c) {
    return SineCode(kSines[c], k);
}

// Kadrs `from` on: X1..X4 at `code`, the counter counting.
std::vector<int16_t> Codes(std::size_t from, std::size_t kadrs, const Code& code) {
    std::vector<int16_t> codes;
    for (std::size_t k = from; k < from + kadrs; ++k) {
        for (std::size_t c = 0; c < kCounter; ++c) codes.push_back(static_cast<int16_t>(code(k, c)));
        codes.push_back(static_cast<int16_t>(k % 30000));
    }
    return codes;
}

std::vector<int16_t> Sines(std::size_t from, std::size_t kadrs) {
    return Codes(from, kadrs, SineAt);
}

// Every channel at `code`, the counter counting on.
std::vector<int16_t> Flat(std::size_t from, std::size_t kadrs, int16_t code) {
    return Codes(from, kadrs, [code](std::size_t, std::size_t) { return code; });
}

// The sines with `channel` at `code(k)` in kadr k.
std::vector<int16_t> Replaced(std::size_t kadrs, std::size_t channel,
                              const std::function<int(std::size_t)>& code) {
    return Codes(0, kadrs,
                 [&](std::size_t k, std::size_t c) { return c == channel ? code(k) : SineAt(k, c); });
}

// `codes` in blocks of `block` kadrs, `after` called after each.
void Feed(Sweeper& sweeper, const std::vector<int16_t>& codes, std::size_t block,
          const std::function<void()>& after = {}) {
    for (std::size_t at = 0; at < codes.size() / kChannels; at += block) {
        sweeper.Add(codes.data() + at * kChannels, std::min(block, codes.size() / kChannels - at));
        if (after) after();
    }
}

// What `sweeper`, `window` kadrs long and triggered by `trigger`, shows after
// `codes` in blocks of `block` kadrs; 0: as many as `codes` holds.
View Swept(Sweeper& sweeper, const std::vector<int16_t>& codes, std::size_t window = 0,
           const TriggerSettings& trigger = {}, std::size_t block = 0) {
    const std::size_t kadrs = codes.size() / kChannels;
    sweeper.Reset(kChannels, window == 0 ? kadrs : window, kScales);
    EXPECT_TRUE(sweeper.SetTrigger(trigger));
    Feed(sweeper, codes, block == 0 ? kadrs : block);
    return sweeper.Current();
}

// A view of kadrs in a row from `code`, as the counter tells them.
void ExpectOneRun(const View& view, const Code& code = SineAt) {
    ASSERT_GT(view.kadrs, 0u);
    const std::size_t start = static_cast<std::size_t>(view.Code(0, kCounter));
    for (std::size_t k = 0; k < view.kadrs; ++k) {
        ASSERT_EQ(view.Code(k, kCounter), static_cast<int16_t>((start + k) % 30000)) << "kadr " << k;
        for (std::size_t c = 0; c < kCounter; ++c) ASSERT_EQ(view.Code(k, c), code(start + k, c));
    }
}

TEST(Sweeper, TheLevelCrossingIsAtTimeZeroForEveryEdgePretriggerAndBlockSize) {
    // A ring of 6000 kadrs; X2, 1 V at 20 Hz, the source.
    constexpr std::size_t kWindow = 3000, kSource = 1;
    constexpr double kLevel = 0.3;
    for (Edge edge : {Edge::Rising, Edge::Falling})
        for (double pretrigger : {0.0, 0.1, 0.5, 0.9})
            for (std::size_t block : {1u, 7u, 1000u, 14000u}) {
                SCOPED_TRACE(testing::Message() << (edge == Edge::Rising ? "rising" : "falling")
                                                << ", pretrigger " << pretrigger << ", blocks of " << block);
                Sweeper sweeper;
                const View view =
                    Swept(sweeper, Sines(0, 28000), kWindow,
                          {true, kSource, edge, kLevel, pretrigger, TriggerMode::Normal}, block);
                // Sweeps do not overlap: at most one per window.
                EXPECT_THAT(sweeper.Sweeps(), AllOf(Ge(4u), Le(28000 / kWindow)));
                ASSERT_EQ(std::tuple(sweeper.State(), view.triggered, view.kadrs),
                          std::tuple(SweepState::Triggered, true, kWindow));
                ExpectOneRun(view);
                const double pre = std::round(pretrigger * kWindow);
                EXPECT_THAT(view.firstTime, AllOf(Ge(-pre), Lt(1 - pre)));
                // kadr `at` is the first at or after the trigger point; the one
                // before may precede the view (no pretrigger).
                const auto at = static_cast<std::size_t>(pre),
                           start = static_cast<std::size_t>(view.Code(0, kCounter));
                EXPECT_EQ(view.firstKadr % 30000, start) << "where cursors read";
                const double level = kLevel * kCodesPerVolt, up = edge == Edge::Rising ? 1 : -1;
                const double before = SineAt(start + at - 1, kSource), after = view.Code(at, kSource);
                // Upside down for a falling edge.
                EXPECT_THAT(std::pair(up * before, up * after), Pair(Lt(up * level), Ge(up * level)));
                // Time 0 is the crossing itself, between the two.
                EXPECT_NEAR(before - (after - before) * (view.firstTime + static_cast<double>(at) - 1), level,
                            1e-6);
            }
}

TEST(Sweeper, ABlockManyRingsLongKeepsItsSweepsWhole) {
    constexpr std::size_t kWindow = 1000, kSource = 2, kPre = 500;
    // The sines, then far below the level: the last sweep ends long before the block.
    const auto code = [](std::size_t k, std::size_t c) { return k < 5000 ? SineAt(k, c) : -3000; };
    Sweeper sweeper;
    const View view = // one block
        Swept(sweeper, Codes(0, 25000, code), kWindow,
              {true, kSource, Edge::Rising, 0, 0.5, TriggerMode::Normal});
    EXPECT_GE(sweeper.Sweeps(), 2u);
    ASSERT_EQ(view.kadrs, kWindow);
    ExpectOneRun(view, code);
    EXPECT_LT(view.Code(0, kCounter) + kPre, 5000u);
    EXPECT_LT(view.Code(kPre - 1, kSource), 0);
    EXPECT_GE(view.Code(kPre, kSource), 0);
}

// The one crossing of each signal fires one sweep: noise of ±5 codes around
// the level after it does not retrigger, and a level at the end of the range,
// or within half a code of it, fires as the signal clips there; the reach
// offered is that wide and no wider.
TEST(Sweeper, OneCrossingFiresOneSweep) {
    constexpr std::size_t kWindow = 500;
    const Reach reach = LevelReach(kCodesPerVolt);
    EXPECT_EQ(std::pair(reach.low * kCodesPerVolt, reach.high * kCodesPerVolt), std::pair(-32768.0, 32767.0));
    EXPECT_TRUE(reach.Holds(-32768.4 / kCodesPerVolt) && reach.Holds(32767.4 / kCodesPerVolt));
    EXPECT_FALSE(reach.Holds(-32768.6 / kCodesPerVolt) || reach.Holds(32767.6 / kCodesPerVolt));
    for (Edge edge : {Edge::Rising, Edge::Falling}) {
        const int up = edge == Edge::Rising ? 1 : -1;
        const int16_t end = edge == Edge::Rising ? INT16_MAX : INT16_MIN;
        // X1 from far below the level (above, for a falling edge) into noise
        // around it; or from 0 V to the range's end and back.
        std::vector<int16_t> noisy = Flat(0, 20 * kWindow, static_cast<int16_t>(-1600 * up)),
                             clipped = Flat(0, 20 * kWindow, 0);
        for (std::size_t k = 2 * kWindow; k < 20 * kWindow; ++k)
            noisy[k * kChannels] = static_cast<int16_t>(320 + static_cast<int>(k * 7 % 11) - 5);
        for (std::size_t k = 2 * kWindow; k < 3 * kWindow; ++k) clipped[k * kChannels] = end;
        for (const auto& [codes, level] :
             {std::pair{noisy, 320.0}, {clipped, end}, {clipped, end + 0.4 * up}}) {
            Sweeper sweeper;
            Swept(sweeper, codes, kWindow, {true, 0, edge, level / kCodesPerVolt, 0.2, TriggerMode::Normal},
                  37);
            EXPECT_EQ(sweeper.Sweeps(), 1u) << level << " codes, " << (up > 0 ? "rising" : "falling");
        }
    }
}

TEST(Sweeper, EachModeShowsWhatItPromises) {
    constexpr std::size_t kWindow = 2000;
    const struct {
        const char* name;
        TriggerMode mode;
        // After a window and a half of no trigger, of the sines, then of no trigger again.
        SweepState quiet, swept, quietAgain;
        bool freeRunsWhenQuiet;
    } cases[] = {
        {"normal", TriggerMode::Normal, SweepState::Armed, SweepState::Triggered, SweepState::Armed, false},
        {"auto", TriggerMode::Auto, SweepState::Auto, SweepState::Triggered, SweepState::Auto, true},
        {"single", TriggerMode::Single, SweepState::Armed, SweepState::Held, SweepState::Held, false},
    };
    for (const auto& m : cases) {
        SCOPED_TRACE(m.name);
        Sweeper sweeper;
        Swept(sweeper, {}, kWindow, {true, 2, Edge::Rising, 0, 0.5, m.mode}); // no kadrs yet
        const auto feed = [&sweeper, &m](const std::vector<int16_t>& codes) {
            Feed(sweeper, codes, 101, [&sweeper, &m] {
                // Untriggered samples only while running free, or in Auto before its first sweep.
                const View view = sweeper.Current();
                ASSERT_TRUE(view.triggered || view.kadrs == 0 || sweeper.State() == SweepState::Auto ||
                            (m.mode == TriggerMode::Auto && sweeper.Sweeps() == 0));
            });
        };
        feed(Flat(0, kWindow / 2, 0));
        EXPECT_EQ(std::pair(sweeper.State(), sweeper.Current().kadrs),
                  std::pair(SweepState::Armed, m.freeRunsWhenQuiet ? kWindow / 2 : 0u))
            << "before a window of waiting";
        feed(Flat(sweeper.Received(), kWindow + kWindow / 2, 0));
        const View quiet = sweeper.Current();
        EXPECT_EQ(std::tuple(sweeper.State(), quiet.kadrs, quiet.firstTime),
                  std::tuple(m.quiet, m.freeRunsWhenQuiet ? kWindow : 0u, 0.0));
        if (m.freeRunsWhenQuiet) {
            EXPECT_EQ(quiet.Code(kWindow - 1, kCounter), static_cast<int16_t>(sweeper.Received() - 1));
        }
        feed(Sines(sweeper.Received(), 5 * kWindow));
        EXPECT_EQ(std::pair(sweeper.State(), sweeper.Current().triggered), std::pair(m.swept, true));
        const bool single = m.mode == TriggerMode::Single;
        EXPECT_THAT(sweeper.Sweeps(), AllOf(Ge(single ? 1u : 3u), Le(single ? 1u : 5u)));
        feed(Flat(sweeper.Received(), 3 * kWindow, 0));
        EXPECT_EQ(sweeper.State(), m.quietAgain);
        EXPECT_EQ(sweeper.Current().triggered, !m.freeRunsWhenQuiet) << "the last sweep stays shown";
        if (single) {
            feed(Sines(sweeper.Received(), 3 * kWindow));
            EXPECT_EQ(sweeper.Sweeps(), 1u) << "held until Rearm";
            sweeper.Rearm();
            EXPECT_EQ(sweeper.State(), SweepState::Armed);
            feed(Sines(sweeper.Received(), 3 * kWindow));
            EXPECT_EQ(std::pair(sweeper.State(), sweeper.Sweeps()), std::pair(SweepState::Held, uint64_t{2}));
        }
    }
}

TEST(Sweeper, WithoutATriggerTheNewestWindowRolls) {
    Sweeper sweeper;
    sweeper.Reset(kChannels, 1000, kScales);
    // A source that is not a recorded channel, or a level that is no number,
    // leaves the trigger off.
    EXPECT_FALSE(sweeper.SetTrigger({true, 0, Edge::Rising, std::nan(""), 0.5, TriggerMode::Normal}));
    EXPECT_FALSE(sweeper.SetTrigger({true, kChannels, Edge::Rising, 0, 0.5, TriggerMode::Normal}));
    for (std::size_t block : {1u, 333u, 5000u}) {
        Feed(sweeper, Sines(sweeper.Received(), 2500), block);
        const View view = sweeper.Current();
        ASSERT_EQ(std::tuple(sweeper.State(), view.kadrs, view.triggered),
                  std::tuple(SweepState::Roll, std::size_t{1000}, false));
        ExpectOneRun(view);
        EXPECT_EQ(
            std::pair(view.firstKadr, view.Code(999, kCounter)),
            std::pair(sweeper.Received() - 1000, static_cast<int16_t>((sweeper.Received() - 1) % 30000)));
    }
    EXPECT_EQ(sweeper.Sweeps(), 0u);
}

// Kadrs missing from a stream: the rolling view starts after them, and a
// sweep they cut is dropped for the next whole one.
TEST(Sweeper, NoViewReachesBackAcrossMissingKadrs) {
    Sweeper sweeper;
    Swept(sweeper, Sines(0, 1500), 1000, {}, 500);
    sweeper.Skip(300);
    Feed(sweeper, Sines(1800, 200), 200);
    for (std::size_t shown : {200u, 1000u}) {
        const View view = sweeper.Current();
        EXPECT_EQ(std::pair(view.kadrs, view.firstKadr), std::pair(shown, sweeper.Received() - shown));
        ExpectOneRun(view);
        Feed(sweeper, Sines(sweeper.Received(), 1500), 500);
    }
    // X4 rises through 0 V after kadrs 238, 488...: the sweep from 239 is cut at 800.
    Swept(sweeper, Sines(0, 800), 1000, {true, 3, Edge::Rising, 0, 0, TriggerMode::Normal}, 100);
    sweeper.Skip(300);
    Feed(sweeper, Sines(1100, 1300), 100);
    const View view = sweeper.Current();
    ASSERT_EQ(std::tuple(view.triggered, sweeper.Sweeps(), view.firstKadr), std::tuple(true, 1u, 1239u));
    ExpectOneRun(view);
    // Armed after a gap (a stream joined late, the trigger changed), a sweep's
    // pre-trigger part still comes after it.
    sweeper.Reset(kChannels, 1000, kScales);
    sweeper.Skip(100000);
    ASSERT_TRUE(sweeper.SetTrigger({true, 3, Edge::Rising, 0, 0.5, TriggerMode::Normal}));
    Feed(sweeper, Sines(100000, 1300), 100);
    const View joined = sweeper.Current();
    ASSERT_EQ(std::tuple(sweeper.Sweeps(), joined.firstKadr), std::tuple(1u, 100239u))
        << "the first crossing with its pre-trigger part after the gap";
    ExpectOneRun(joined);
}

// A second of the sines, a whole number of periods.
const View& Second() {
    static Sweeper sweeper;
    static const View view = Swept(sweeper, Sines(0, 10000), 10000, {}, 4096);
    return view;
}

// A cursor reads the kadr nearest it, and none half a kadr past either end.
TEST(Measure, ACursorReadsTheNearestKadrOfTheView) {
    const View& view = Second();
    ASSERT_EQ(view.kadrs, 10000u);
    const std::pair<double, std::optional<std::size_t>> cases[] = {
        {0, 0}, {-0.4, 0}, {-0.6, std::nullopt}, {9999, 9999}, {9999.4, 9999}, {9999.6, std::nullopt}};
    for (const auto& [kadr, read] : cases)
        EXPECT_EQ(KadrAt(view, kRate, (view.Time(0) + kadr) / kRate), read) << kadr;
}

TEST(Measure, TheSinesMeasureWithinHalfAPercent) {
    // Also a second rolling round the ring's end, in two parts.
    Sweeper sweeper;
    const View wrapped = Swept(sweeper, Sines(0, 25000), 10000, {}, 4096);
    ASSERT_FALSE(wrapped.second.empty());
    for (const View* view : {&Second(), &wrapped}) {
        const std::vector<Measurement> m =
            Measure(*view, kRate, {true, 1, Edge::Rising, 0.2, 0.5, TriggerMode::Auto});
        ASSERT_EQ(m.size(), kChannels);
        for (std::size_t c = 0; c < kSines.size(); ++c) {
            SCOPED_TRACE(testing::Message() << kNames[c] << (view == &wrapped ? ", wrapped" : ""));
            const double a = kSines[c].amplitude, tolerance = 0.005 * a;
            EXPECT_THAT((std::vector{m[c].min, m[c].max, m[c].mean, m[c].rms, m[c].vpp, m[c].freq}),
                        ElementsAre(DoubleNear(-a, tolerance), DoubleNear(a, tolerance),
                                    DoubleNear(0, tolerance), DoubleNear(a / std::sqrt(2.0), tolerance),
                                    DoubleNear(2 * a, 2 * tolerance),
                                    DoubleNear(kSines[c].hz, 0.005 * kSines[c].hz)))
                << "min, max, mean, rms, peak to peak and frequency";
        }
    }
}

// Only a sample at the codes' very end marks its extreme as a bound; the
// counter, climbing, never reaches one.
TEST(Measure, AnExtremeAtTheCodesEndIsClipped) {
    // The code, and the low and the high end clipped.
    const std::tuple<int16_t, bool, bool> cases[] = {
        {INT16_MIN, true, false}, {INT16_MAX, false, true}, {-32767, false, false}, {32766, false, false}};
    for (const auto& [code, low, high] : cases) {
        Sweeper sweeper;
        const Measurement m = Measure(Swept(sweeper, Flat(0, 100, code)), kRate, {})[0];
        EXPECT_EQ(std::pair(m.clippedLow, m.clippedHigh), std::pair(low, high)) << code;
    }
}

// X1 rising through `level` volts, for the level its frequency is taken at.
TriggerSettings OnX1(double level) {
    return {true, 0, Edge::Rising, level, 0.5, TriggerMode::Normal};
}

// A trigger level X1 never crosses (either way) leaves its source the
// middle of its swing; with too few crossings, or uneven ones, the
// spectrum's peak stands in where it resolves a tone, and nowhere else.
TEST(Measure, TooFewOrUnevenCrossingsTakeTheSpectrumsPeakOnlyWhereItResolvesATone) {
    const auto raised = [](std::size_t k) { return SineCode(kSines[0], k) + 5600; }; // X1 on 1.75 V
    // X1 of 1000 codes' swing under a ripple of 80: within a tenth of the
    // swing, so each rising crossing counts once.
    const auto rippled = [](std::size_t k) { return SineCode({0.15, 10}, k) + (k % 2 == 0 ? 40 : -40); };
    // X1 with one kadr at 10 V: the middle of the swing is above the sine.
    const auto spiked = [](std::size_t k) { return k == 5000 ? 32000 : SineCode(kSines[0], k); };
    // X4 under noise of ±0.1 V, a twentieth of its swing.
    const auto noisy = [random = std::minstd_rand(7), noise = std::uniform_int_distribution<int>(-320, 320)](
                           std::size_t k) mutable { return SineCode(kSines[3], k) + noise(random); };
    // X1 pulses of 2 V and of 1.2 V taking turns: the middle of the swing
    // crosses both, a trigger level of 1.5 V only the tall ones.
    const auto pulses = [](std::size_t k) { return k % 1000 < 100 ? 6400 : k % 1000 / 100 == 5 ? 3840 : 0; };
    // X1 at 0.4828 of the rate, as a 140 Hz sine at 290 kadrs/s: the
    // samples near each beat's null stay within the hysteresis and hide some
    // crossings.
    const auto nearNyquist = [](std::size_t k) { return SineCode({1, 4828}, k); };
    // X1 pulses of 2 V, 500 kadrs long, 600 to 1400 kadrs apart, 10 a
    // second on the whole: no one period, and a spectrum that peaks in its
    // first bin.
    const auto wandering = [](std::size_t k) {
        for (const std::size_t start : {200, 800, 2200, 3100, 4300, 5000, 6300, 7300, 8100, 9200})
            if (k >= start && k < start + 500) return 6400;
        return 0;
    };
    const struct {
        const char* view;
        std::vector<int16_t> codes;
        TriggerSettings trigger;
        bool crossed;  // X1's frequency from crossings alone
        double x1, x4; // Hz; NaN: none
    } cases[] = {
        {"a second", Sines(0, 10000), OnX1(0.6), true, 10, 40},
        {"two periods of X1 on 1.75 V", Replaced(2000, 0, raised), OnX1(0), true, 10, 40},
        {"one period of X1", Sines(0, 1000), OnX1(0.6), false, NAN, 40},
        // A whole period between its falling crossings.
        {"1.5 periods of X1", Sines(0, 1500), {}, true, 10, 40},
        {"X1 under a spike", Replaced(10000, 0, spiked), {}, false, 10, 40},
        {"X1 small, under a ripple", Replaced(10000, 0, rippled), {}, true, 10, 40},
        {"tall and short pulses", Replaced(10000, 0, pulses), OnX1(1.5), true, 10, 40},
        {"X4 under noise", Replaced(10000, 3, noisy), {}, true, 10, 40},
        {"flat", Flat(0, 10000, 1000), {}, false, NAN, NAN},
        // One rise to a level near the top, two falls through the middle.
        {"a level near X1's top", Sines(400, 1100), OnX1(0.48), true, 10, 40},
        {"X1 near the Nyquist frequency", Replaced(10000, 0, nearNyquist), {}, true, 4828, 40},
        {"X1 pulses at wandering intervals", Replaced(10000, 0, wandering), {}, true, 10, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.view);
        Sweeper sweeper;
        const View view = Swept(sweeper, c.codes);
        std::vector<Measurement> m = Measure(view, kRate, c.trigger);
        EXPECT_EQ(!std::isnan(m[0].freq), c.crossed) << "crossings alone: " << m[0].freq;
        EXPECT_TRUE(WantsSpectrum(m)) << "the counter's one crossing";
        FillFromSpectrum(m, SpectrumAnalyzer().Compute(view, kRate));
        if (!c.crossed && !std::isnan(c.x1)) {
            EXPECT_EQ(Rows(MeasurementsCsv(m, kNames))[1][6], "10") << "the peak's bin tells no finer";
        }
        for (const auto& [channel, hz] : {std::pair{0, c.x1}, {3, c.x4}})
            EXPECT_THAT(m[channel].freq,
                        std::isnan(hz) ? Matcher<double>(IsNan()) : DoubleNear(hz, 0.02 * hz))
                << kNames[channel];
    }
}

// A frequency from crossings claims no decimal they do not resolve: at 2.25
// kadrs a period (a 40 Hz sine at 90 kadrs/s) an interpolated crossing is
// off by a fifth of a kadr; well sampled over a second, it is not.
TEST(Measure, TheFrequencyIsWrittenToWhatItsCrossingsResolve) {
    // Hz over so many kadrs, written with its error within a step of its last decimal.
    const std::tuple<double, std::size_t, const char*> cases[] = {
        {kRate / 2.25, 200, "4454"}, {kRate / 2.25, 10000, "4444.6"}, {10, 10000, "10.000"}};
    for (const auto& [hz, kadrs, written] : cases) {
        SCOPED_TRACE(testing::Message() << hz << " Hz over " << kadrs << " kadrs");
        Sweeper sweeper;
        const auto sine = [f = hz](std::size_t k) { return SineCode({1, f}, k); };
        const std::vector<Measurement> m = Measure(Swept(sweeper, Replaced(kadrs, 0, sine)), kRate, {});
        EXPECT_LE(std::abs(m[0].freq - hz), m[0].freqStep) << "the error is within what it claims";
        EXPECT_EQ(Rows(MeasurementsCsv(m, kNames))[1][6], written);
    }
}

TEST(Spectrum, TheSinesPeakAtTheirFrequencyAndLevel) {
    SpectrumAnalyzer analyzer;
    const Spectrum& spectrum = analyzer.Compute(Second(), kRate);
    ASSERT_EQ(std::pair(spectrum.points, spectrum.frequency.size()),
              std::pair(std::size_t{10000}, std::size_t{5001}));
    EXPECT_EQ(std::pair(spectrum.frequency[1], spectrum.frequency.back()), std::pair(1.0, kRate / 2));
    for (std::size_t c = 0; c < kSines.size(); ++c) {
        SCOPED_TRACE(kNames[c]);
        const std::vector<double>& db = spectrum.dbv[c];
        const auto peak = static_cast<std::size_t>(std::max_element(db.begin() + 2, db.end()) - db.begin());
        EXPECT_NEAR(spectrum.frequency[peak], kSines[c].hz, spectrum.frequency[1]);
        EXPECT_NEAR(db[peak], 20 * std::log10(kSines[c].amplitude / std::sqrt(2.0)), 0.5);
        EXPECT_NEAR(spectrum.PeakFrequency(c), kSines[c].hz, 0.05);
        EXPECT_LT(db[peak * 3], db[peak] - 60) << "no leakage far from the peak";
    }
    // A tone between two bins is told between them, on its side.
    Sweeper sweeper;
    const auto between = [](std::size_t k) { return SineCode({1, 10.3}, k); };
    EXPECT_NEAR(analyzer.Compute(Swept(sweeper, Replaced(10000, 0, between)), kRate).PeakFrequency(0), 10.3,
                0.05);
    // A constant's level is all in the 0 Hz bin, and one at half the rate
    // all in the last: neither has a mirror to add.
    const double half = 20 * std::log10(0.5);
    EXPECT_NEAR(analyzer.Compute(Swept(sweeper, Flat(0, 4096, 1600)), kRate).dbv[0][0], half, 0.01);
    const auto alternating = [](std::size_t k) { return k % 2 == 0 ? 1600 : -1600; };
    EXPECT_NEAR(analyzer.Compute(Swept(sweeper, Replaced(4096, 0, alternating)), kRate).dbv[0].back(), half,
                0.01);
}

TEST(Spectrum, PointsAreTheNewestSamplesUnderTheCap) {
    // Kadrs, the cap, the points.
    const std::tuple<std::size_t, std::size_t, std::size_t> cases[] = {
        {10000, 65536, 10000},  {10007, 65536, 10000}, {100000, 16384, 16384},
        {100000, 10000, 10000}, {17, 65536, 16},       {15, 65536, 0}};
    for (const auto& [kadrs, cap, points] : cases)
        EXPECT_EQ(SpectrumPoints(kadrs, cap), points) << kadrs << " kadrs under " << cap;
    // The newest: a view of silence then the sines shows the sines, also
    // where the ring wraps within them.
    for (std::size_t silence : {20000u, 65000u}) {
        Sweeper sweeper;
        Swept(sweeper, Flat(0, silence, 0), 30000);
        Feed(sweeper, Sines(silence, 10000), 10000);
        SpectrumAnalyzer analyzer;
        analyzer.SetMaxPoints(10000);
        EXPECT_NEAR(analyzer.Compute(sweeper.Current(), kRate).dbv[3][40],
                    20 * std::log10(2 / std::sqrt(2.0)), 0.5)
            << silence;
    }
}

TEST(Spectrum, AveragingSmoothsNoiseAndStartsOverOnANewRate) {
    constexpr std::size_t kKadrs = 4096;
    SpectrumAnalyzer single, averaged;
    averaged.SetAveraging(8);
    uint32_t seed = 12345;
    std::vector<int16_t> noise(kKadrs * kChannels);
    const auto spread = [](const std::vector<double>& db) { // of the dB over the bins
        double sum = 0, squares = 0;
        for (std::size_t k = 10; k < db.size() - 10; ++k) sum += db[k], squares += db[k] * db[k];
        const double n = static_cast<double>(db.size() - 20);
        return std::sqrt(squares / n - (sum / n) * (sum / n));
    };
    Sweeper sweeper;
    for (std::size_t round = 1; round <= 10; ++round) {
        for (int16_t& code : noise)
            code = static_cast<int16_t>(((seed = seed * 1664525 + 1013904223) >> 20) - 2048);
        single.Compute(Swept(sweeper, noise), kRate);
        EXPECT_EQ(averaged.Compute(sweeper.Current(), kRate).averaged, std::min<std::size_t>(round, 8));
    }
    EXPECT_LT(spread(averaged.Last().dbv[0]), 0.5 * spread(single.Last().dbv[0]));
    EXPECT_EQ(averaged.Compute(sweeper.Current(), kRate / 2).averaged, 1u);
    EXPECT_EQ(averaged.Compute(sweeper.Current(), kRate / 2).averaged, 2u);
    // A steady sine keeps its level however many spectra went through the average.
    const View& sines = Second();
    const double once = single.Compute(sines, kRate).dbv[1][20];
    for (int i = 1; i <= 20; ++i) EXPECT_NEAR(averaged.Compute(sines, kRate).dbv[1][20], once, 0.01) << i;
}

TEST(Export, MeasurementsCsvReadsBack) {
    const std::vector<Measurement> m = Measure(Second(), kRate, {});
    const std::vector<std::vector<std::string>> rows = Rows(MeasurementsCsv(m, kNames));
    ASSERT_EQ(rows.size(), kChannels + 1);
    EXPECT_EQ(rows[0], Split("channel,min_v,max_v,mean_v,rms_v,vpp_v,freq_hz,clipped"));
    const auto as = [](double value) { return Reads(value, 1e-6 * (1 + std::abs(value))); };
    EXPECT_THAT(rows[4], ElementsAre("X4", as(m[3].min), as(m[3].max), as(m[3].mean), as(m[3].rms),
                                     as(m[3].vpp), as(m[3].freq), "0"));
    EXPECT_EQ(Split(MeasurementsCsv(m, {"a,\"b\""}), '\n')[1].substr(0, 10), "\"a,\"\"b\"\"\",");
    for (bool Measurement::*end : {&Measurement::clippedLow, &Measurement::clippedHigh}) {
        Measurement clipped = m[0];
        clipped.*end = true;
        EXPECT_TRUE(MeasurementsCsv({clipped}, {}).ends_with(",1\n"));
    }
}

// A view longer than the 2048 rows written at a time: every row once.
TEST(Export, TheTimeCsvCountsAsThePlotsAxis) {
    Sweeper sweeper;
    const View view =
        Swept(sweeper, Sines(0, 8000), 2500, {true, 3, Edge::Rising, 0.5, 0.2, TriggerMode::Normal}, 999);
    ASSERT_TRUE(view.triggered);
    const velmora::test::TempDir dir;
    const std::string path = dir.str() + "/view.csv";
    std::string error;
    ASSERT_TRUE(WriteTimeCsv(path, view, kRate, kNames, error)) << error;
    std::vector<std::vector<std::string>> rows = Rows(velmora::test::Slurp(path));
    ASSERT_EQ(rows.size(), view.kadrs + 1);
    EXPECT_EQ(rows[0], Split("time_s,X1,X2,X3,X4,count"));
    for (std::size_t k : {std::size_t{0}, std::size_t{499}, std::size_t{500}, view.kadrs - 1}) {
        const double t = (view.firstTime + static_cast<double>(k)) / kRate;
        EXPECT_THAT(rows[k + 1], ElementsAre(Reads(t, 1e-9), _, _, _, Reads(view.Volts(k, 3), 1e-6), _));
        EXPECT_EQ(std::strtod(rows[k + 1][0].c_str(), nullptr) < 0, k < 500) << "kadr " << k;
    }
    // Untriggered, from the recording's start, as the plot's axis.
    Sweeper rolling;
    ASSERT_TRUE(WriteTimeCsv(path, Swept(rolling, Sines(0, 8000), 2500, {}, 999), kRate, kNames, error))
        << error;
    EXPECT_EQ(Rows(velmora::test::Slurp(path))[1][0], "0.550000000");
    SpectrumAnalyzer analyzer;
    const Spectrum& spectrum = analyzer.Compute(view, kRate);
    ASSERT_TRUE(WriteSpectrumCsv(path, spectrum, kNames, error)) << error;
    rows = Rows(velmora::test::Slurp(path));
    ASSERT_EQ(rows.size(), spectrum.frequency.size() + 1);
    EXPECT_EQ(rows[0], Split("frequency_hz,X1,X2,X3,X4,count"));
    EXPECT_THAT(rows[11], ElementsAre(Reads(40, 0), _, _, _, Reads(spectrum.dbv[3][10], 1e-3), _)); // 40 Hz
}

TEST(Export, FixedDecimalsRoundLikePrintf) {
    // The value, its decimals and its text.
    const std::tuple<double, int, const char*> cases[] = {
        {0.5, 6, "0.500000"},         {-0.0000004, 6, "0.000000"},         {1.9999996, 6, "2.000000"},
        {-0.0123456, 6, "-0.012346"}, {-30.000000001, 9, "-30.000000001"}, {-112.25, 3, "-112.250"},
        {std::nan(""), 6, "nan"}};
    for (const auto& [value, decimals, expected] : cases) {
        std::string text;
        AppendFixed(text, value, decimals);
        EXPECT_EQ(text, expected) << value;
    }
}

TEST(Export, FailuresSayWhy) {
    const View& view = Second();
    const std::tuple<std::string, double, const char*> cases[] = {
        {"/nonexistent-dir/view.csv", kRate, "No such file or directory"},
        {"/dev/full", kRate, "No space left on device"},
        {"/tmp/view.csv", 0, "the rate is not known"}};
    for (const auto& [path, rate, reason] : cases) {
        std::string error;
        EXPECT_FALSE(WriteTimeCsv(path, view, rate, kNames, error));
        EXPECT_EQ(error, "cannot write " + path + ": " + reason);
    }
    std::string error;
    EXPECT_FALSE(WriteSpectrumCsv("/tmp/spectrum.csv", Spectrum{}, kNames, error));
    EXPECT_EQ(error, "cannot write /tmp/spectrum.csv: no spectrum (too few samples)");
}

} // namespace
} // namespace e16scope
