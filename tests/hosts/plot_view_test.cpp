// e16scope's plot drawn offscreen: the columns' extents on the pixels they
// belong to, a sweep's time axis, dragging the trigger level (from the
// plot's edge when it is off the plot) and the time cursors with the mouse,
// and the traces' values at the cursors.
#include <QSignalSpy>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "offscreen_app.h"

#include <cmath>
#include <functional>
#include <vector>

#include "plot_view.h"

namespace e16scope {
namespace {

using namespace testing;

constexpr float kCodesPerVolt = 1000;

class PlotViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { velmora::test::OffscreenApp(); }
    void SetUp() override { Prepare(plot_); }
    // 700 x 400, one red trace.
    static void Prepare(PlotView& plot) {
        plot.resize(700, 400);
        plot.SetTraces({{QStringLiteral("A"), Qt::red, kCodesPerVolt, 0}});
        plot.show();
    }
    // `codes(k)` at kadr k on every channel, `perColumn` kadrs a column.
    static TraceColumns Columns(std::size_t kadrs, int16_t (*codes)(std::size_t), std::size_t channels = 1,
                                std::size_t perColumn = 1) {
        TraceColumns columns;
        columns.Reset(channels, perColumn, kadrs / perColumn);
        for (std::size_t k = 0; k < kadrs; ++k)
            columns.Add(std::vector<int16_t>(channels, codes(k)).data(), 1);
        return columns;
    }
    // +2 V for 50 kadrs, then -2 V for 50.
    static int16_t Square(std::size_t k) { return (k / 50) % 2 == 0 ? 2000 : -2000; }
    static int16_t Ramp(std::size_t k) { return static_cast<int16_t>(k * 10); }
    static int16_t Level(std::size_t) { return 1000; }
    QImage Drawn() {
        plot_.replot(QCustomPlot::rpImmediateRefresh);
        return plot_.toPixmap().toImage();
    }
    // Where trace `trace` is drawn at `seconds`: its column's middle, offset
    // included; NaN outside the data.
    double DrawnAt(std::size_t trace, double seconds) const {
        const ColumnTraces& traces = plot_.Traces();
        const std::size_t column = traces.ColumnAt(seconds);
        if (trace >= traces.Traces() || column >= traces.Columns()) return NAN;
        const auto [low, high] = traces.Extent(trace, column);
        return (low + high) / 2;
    }
    std::pair<double, double> TimeRange() const {
        return {plot_.xAxis->range().lower, plot_.xAxis->range().upper};
    }
    QPoint Pixel(double seconds, double volts) const {
        return {static_cast<int>(std::lround(plot_.xAxis->coordToPixel(seconds))),
                static_cast<int>(std::lround(plot_.yAxis->coordToPixel(volts)))};
    }
    void Drag(QPoint from, QPoint to) {
        QTest::mousePress(&plot_, Qt::LeftButton, {}, from);
        QTest::mouseMove(&plot_, to);
        QTest::mouseRelease(&plot_, Qt::LeftButton, {}, to);
    }
    // `ink` somewhere in `area`.
    static bool Ink(const QImage& image, QRect area, QColor ink) {
        for (int x = area.left(); x <= area.right(); ++x)
            for (int y = area.top(); y <= area.bottom(); ++y)
                if (image.pixelColor(x, y) == ink) return true;
        return false;
    }
    // `ink` on the row of `at`, within a pixel of it on either side.
    static bool InkNear(const QImage& image, QPoint at, QColor ink) {
        return Ink(image, {at.x() - 1, at.y(), 3, 1}, ink);
    }

    PlotView plot_;
};

// Flat columns land on their level's row, a step's join crosses the rows
// between, and an offset moves the trace by its volts.
TEST_F(PlotViewTest, ColumnsLandOnTheirPixels) {
    const struct {
        const char* what;
        double offset, seconds;
        std::vector<double> red, clear; // volts drawn at and not
    } cases[] = {
        {"the high half", 0, 0.025, {2}, {-2, 0}},
        {"the low half", 0, 0.075, {-2}, {2}},
        {"the step", 0, 0.0495, {0}, {}},
        {"the high half, offset +1 V", 1, 0.025, {3}, {2}},
    };
    const TraceColumns columns = Columns(200, Square);
    plot_.SetAutoscale(false);
    for (const auto& c : cases) {
        plot_.SetOffset(0, c.offset);
        plot_.Show(columns, 1000, 0.2);
        const QImage image = Drawn();
        // The step's join spans the two columns' pixels: any of them will do.
        for (const auto& [volts, red] : {std::pair{c.red, true}, {c.clear, false}})
            for (const double v : volts)
                EXPECT_EQ(InkNear(image, Pixel(c.seconds, v), Qt::red), red) << c.what << " at " << v << " V";
    }
}

// The traces are drawn a band of columns at a time and only over the
// rectangle they cover: a picture after another is the one a fresh plot
// draws, whether the new traces cover less or more than the old.
TEST_F(PlotViewTest, ANewPictureLeavesNoTraceOfTheOld) {
    const struct {
        const char* what;
        std::size_t kadrs[2];
        int16_t (*codes[2])(std::size_t);
        bool autoscale;
    } cases[] = {
        {"a square, then a ramp", {200, 200}, {Square, Ramp}, true},
        {"200 columns, then 20", {200, 20}, {Square, Square}, false},
        {"20 columns, then 200", {20, 200}, {Ramp, Square}, false},
        {"a tall ramp, then a short one", {200, 30}, {Ramp, Ramp}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        plot_.SetAutoscale(c.autoscale);
        PlotView fresh;
        Prepare(fresh);
        fresh.SetAutoscale(c.autoscale);
        plot_.Show(Columns(c.kadrs[0], c.codes[0]), 1000, 0.2);
        Drawn();
        plot_.Show(Columns(c.kadrs[1], c.codes[1]), 1000, 0.2);
        fresh.Show(Columns(c.kadrs[1], c.codes[1]), 1000, 0.2);
        fresh.replot(QCustomPlot::rpImmediateRefresh);
        EXPECT_EQ(Drawn(), fresh.toPixmap().toImage());
    }
}

// Few columns far apart: the joins between them span bands of columns, and
// every pixel column between the first and the last has some of the trace
// (the first ones are under the axis and its ticks), a sloping one or a
// level one.
TEST_F(PlotViewTest, ATraceIsWholeAcrossTheBands) {
    for (const auto codes : {Ramp, Level}) {
        plot_.Show(Columns(12, codes), 1000, 0.012);
        const QImage image = Drawn();
        for (int x = Pixel(0, 0).x() + 6; x <= Pixel(0.011, 0).x(); ++x)
            ASSERT_TRUE(Ink(image, {x, 0, 1, image.height()}, Qt::red))
                << "column " << x << (codes == Ramp ? " of the ramp" : " of the level");
    }
}

// A sweep's time axis and values count from where it is told it starts;
// a value at a time is drawn at its column's, offset included, and the
// pointer reads it without.
TEST_F(PlotViewTest, ASweepStartsWhereItIsTold) {
    const TraceColumns columns = Columns(100, Ramp);
    plot_.SetOffset(0, 0.5);
    // Seconds from the sweep's start, and volts.
    const std::pair<double, double> values[] = {
        {0, 0.5}, {0.0005, 0.5}, {0.0105, 0.6}, {0.05, 1.0}, {0.099, 1.49}};
    for (const auto& [first, window] : {std::pair{-0.05, 0.1}, std::pair{0.0, 0.1}, std::pair{-0.02, 0.5}}) {
        SCOPED_TRACE(first);
        plot_.ShowSweep(columns, 1000, first, window);
        EXPECT_THAT(TimeRange(), Pair(DoubleEq(first), DoubleEq(first + window)));
        for (const auto& [seconds, volts] : values)
            EXPECT_NEAR(DrawnAt(0, first + seconds), volts, 1e-6) << seconds;
        for (double outside : {-0.0001, 0.1, 1.05})
            EXPECT_TRUE(std::isnan(DrawnAt(0, first + outside))) << outside;
    }
    EXPECT_TRUE(std::isnan(DrawnAt(1, 0.0))) << "no second trace";
    QSignalSpy said(&plot_, &PlotView::CursorText);
    Drawn();
    QTest::mouseMove(&plot_, Pixel(-0.02 + 0.0105, 0.6));
    ASSERT_FALSE(said.isEmpty());
    EXPECT_THAT(said.last().at(0).toString().toStdString(), EndsWith("A: 0.1000 V"));
    plot_.ShowSweep(columns, 1000, -0.0499, 0.1); // the crossing a tenth of a kadr after one
    EXPECT_DOUBLE_EQ(plot_.xAxis->range().lower, -0.05);
    // Show: the latest window, from the recording's start.
    plot_.Show(columns, 1000, 0.05);
    EXPECT_THAT(TimeRange(), Pair(DoubleEq(0.05), DoubleEq(0.1)));
}

// Each tick's label is its own time, however far from the start and however
// short the window.
TEST_F(PlotViewTest, TickLabelsTellEveryTickApart) {
    for (const auto& [first, window] : {std::pair{2001.36, 0.02}, {10000.0, 0.1}, {0.0, 1.0}, {-0.3, 60.0}}) {
        plot_.xAxis->setRange(first, first + window);
        Drawn();
        const QVector<double> ticks = plot_.xAxis->tickVector();
        const QVector<QString> labels = plot_.xAxis->tickVectorLabels();
        ASSERT_GE(ticks.size(), 3) << first;
        for (qsizetype i = 0; i < ticks.size(); ++i)
            EXPECT_NEAR(plot_.locale().toDouble(labels[i]), ticks[i],
                        1e-9 * std::max(1.0, std::fabs(ticks[i])))
                << first << " + " << window << ": " << labels[i].toStdString();
    }
}

// A press within a few pixels of a line takes it along; one further off
// moves nothing.
TEST_F(PlotViewTest, DraggingTheLevelAndTheCursorsMovesThem) {
    plot_.SetAutoscale(false); // -32..32 V
    plot_.ShowSweep(Columns(100, Ramp), 1000, -0.05, 0.1);
    Drawn();
    plot_.SetTriggerLevel(true, 9, 1, Qt::blue, 3); // drawn at 10
    EXPECT_EQ(plot_.TriggerLabel(), "T 9.000 V") << "the level, not where its trace is moved to";
    plot_.SetCursorsShown(true);
    const auto [t1, t2] = plot_.CursorTimes();
    EXPECT_NEAR(t1, -0.05 + 0.1 / 3, 1e-9);
    EXPECT_NEAR(t2, -0.05 + 0.2 / 3, 1e-9);
    QSignalSpy level(&plot_, &PlotView::TriggerLevelDragged), cursors(&plot_, &PlotView::CursorsMoved);
    Drag(Pixel(-0.04, 10) + QPoint(0, 3), Pixel(-0.04, -5));
    ASSERT_EQ(level.count(), 1);
    EXPECT_NEAR(level.at(0).at(0).toDouble(), -5, 0.2);
    EXPECT_NEAR(plot_.TriggerLevel(), -5, 0.2);
    Drag(Pixel(t2, 20) + QPoint(-4, 0), Pixel(0.04, 20));
    ASSERT_EQ(cursors.count(), 1);
    EXPECT_NEAR(cursors.at(0).at(0).toDouble(), t1, 1e-9);
    EXPECT_NEAR(cursors.at(0).at(1).toDouble(), 0.04, 0.001);
    Drag(Pixel(-0.04, 20) + QPoint(0, 0), Pixel(-0.03, 25)); // near neither
    EXPECT_EQ(std::tuple(level.count(), cursors.count()), std::tuple(1, 1));
    EXPECT_NEAR(plot_.CursorTimes().first, t1, 1e-9);
    // Shown again after the axis rolled past them, they come back over it;
    // one still over it keeps both where they were.
    plot_.SetCursorsShown(false);
    plot_.ShowSweep(Columns(100, Ramp), 1000, 5, 0.1);
    plot_.SetCursorsShown(true);
    EXPECT_NEAR(plot_.CursorTimes().first, 5 + 0.1 / 3, 1e-9);
    plot_.SetCursorTimes(5.01, 9);
    plot_.SetCursorsShown(false);
    plot_.SetCursorsShown(true);
    EXPECT_EQ(plot_.CursorTimes(), std::pair(5.01, 9.0));
}

// Cursors keep their place on the plot while it rolls, and when a sweep, a
// paused view or the rolling axis takes over; from one sweep to the next
// they keep their times.
TEST_F(PlotViewTest, CursorsKeepTheirPlaceAsTheAxisMoves) {
    TraceColumns rolling = Columns(100, Ramp);
    plot_.Show(rolling, 1000, 0.1); // 0..0.1 s
    plot_.SetCursorTimes(0.03, 0.06);
    plot_.SetCursorsShown(true);
    // The first cursor at `t1` after `shown`, the second as far after it as ever.
    const auto expect = [this](const char* shown, double t1) {
        EXPECT_NEAR(plot_.CursorTimes().first, t1, 1e-9) << shown;
        EXPECT_NEAR(plot_.CursorTimes().second - plot_.CursorTimes().first, 0.03, 1e-9) << shown;
    };
    rolling.Add(std::vector<int16_t>(50).data(), 50);
    plot_.Show(rolling, 1000, 0.1);
    expect("rolled on", 0.08);
    plot_.ShowSweep(Columns(100, Ramp), 1000, -0.05, 0.1);
    expect("a sweep", -0.02);
    plot_.ShowSweep(Columns(100, Ramp), 1000, -0.0487, 0.1);
    expect("the next sweep, a kadr on", -0.02);
    plot_.Show(rolling, 1000, 0.1);
    expect("rolling again", 0.079);
}

// A level above or below the autoscaled traces shows at the plot's nearer
// edge and is dragged back from there.
TEST_F(PlotViewTest, ALevelOffThePlotStaysAtItsEdgeToDragBack) {
    plot_.ShowSweep(Columns(100, Ramp), 1000, -0.05, 0.1); // 0 to 0.99 V
    for (const double volts : {10.0, -10.0}) {
        SCOPED_TRACE(volts);
        plot_.SetTriggerLevel(true, volts, 0, Qt::blue, 3);
        const QImage image = Drawn();
        const QCPRange range = plot_.yAxis->range();
        const QPoint edge = Pixel(-0.04, volts > 0 ? range.upper : range.lower);
        EXPECT_TRUE(Ink(image, {edge.x() - 1, edge.y() - 3, 3, 7}, Qt::blue)) << "no level at the edge";
        QSignalSpy level(&plot_, &PlotView::TriggerLevelDragged);
        Drag(edge, Pixel(-0.04, 0.5));
        ASSERT_EQ(level.count(), 1);
        EXPECT_NEAR(level.at(0).at(0).toDouble(), 0.5, 0.02);
    }
}

// 32 channels as the window shows them, saved as the user would save them.
TEST_F(PlotViewTest, SavesThirtyTwoChannelsAsAPicture) {
    std::vector<TraceStyle> styles;
    for (int c = 0; c < 32; ++c)
        styles.push_back({QString::number(c), QColor::fromHsv(c * 11, 255, 200), kCodesPerVolt, c * 0.25});
    plot_.SetTraces(styles);
    plot_.resize(1600, 900);
    const auto wave = [](std::size_t k) {
        return static_cast<int16_t>(100 * std::sin(static_cast<double>(k) * 0.002) +
                                    (k % 997 == 0 ? 300 : 0));
    };
    plot_.Show(Columns(6000, wave, 32, 4), 1000, 6);
    plot_.replot();
    const QImage saved = plot_.toPixmap().toImage();
    EXPECT_EQ(saved.size(), plot_.size());
    const QPoint at = Pixel(3.002, DrawnAt(0, 3.002));
    EXPECT_TRUE(InkNear(saved, at, QColor(QColor::fromHsv(0, 255, 200).rgb())))
        << "channel 0 at " << at.x() << ", " << at.y();
}

} // namespace
} // namespace e16scope
