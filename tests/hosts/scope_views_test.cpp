// e16scope's spectrum view, XY view and tables, offscreen: the spectrum's
// reduction keeps each pixel column's peak and a log axis leaves 0 Hz out;
// an XY circle is drawn all the way round and to its full extent; the tables'
// formats; the cursor readouts.
#include <QImageReader>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "offscreen_app.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "measurement_table.h"
#include "spectrum_view.h"
#include "view_area.h"
#include "xy_view.h"

namespace e16scope {
namespace {

using namespace testing;

class ScopeViewsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { velmora::test::OffscreenApp(); }

    // What the view says with the pointer at plot coordinates (x, y).
    template <class View> static QString CursorAt(View& view, double x, double y) {
        QSignalSpy said(&view, &View::CursorText);
        const QPointF at(view.xAxis->coordToPixel(x), view.yAxis->coordToPixel(y));
        QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &move);
        return said.isEmpty() ? QStringLiteral("<nothing said>") : said.last().at(0).toString();
    }
};

std::vector<double> Frequencies(std::size_t bins, double step) {
    std::vector<double> frequencies(bins);
    for (std::size_t i = 0; i < bins; ++i) frequencies[i] = static_cast<double>(i) * step;
    return frequencies;
}

std::vector<TraceStyle> Styles(int count) {
    std::vector<TraceStyle> styles;
    for (int i = 0; i < count; ++i)
        styles.push_back({QStringLiteral("X%1").arg(i + 1), QColor::fromHsv(i * 11, 200, 200)});
    return styles;
}

TEST_F(ScopeViewsTest, TheSpectrumKeepsEachColumnsPeakAtItsFrequency) {
    const std::size_t bins = 32768;
    const std::vector<double> frequencies = Frequencies(bins, 0.5);
    const std::pair<std::size_t, bool> cases[] = {{1, false},    {1, true},         {12345, false},
                                                  {12345, true}, {bins - 1, false}, {bins - 2, true}};
    for (const auto& [peak, log] : cases) {
        SCOPED_TRACE(testing::Message() << peak << (log ? " log" : ""));
        std::vector<double> dbv(bins, -120);
        dbv[peak] = -3.5;
        const auto points = PeakPerColumn(frequencies, dbv, BinColumns(frequencies, 500, log));
        EXPECT_LE(points.size(), 500);
        const auto top = std::ranges::max_element(points, {}, &QCPGraphData::value);
        ASSERT_NE(top, points.end());
        EXPECT_EQ(std::pair(top->key, top->value), std::pair(frequencies[peak], -3.5));
    }
}

TEST_F(ScopeViewsTest, ThirtyTwoSpectraOfAWholeFftDrawTheirPeaksAboveAFloorFollowingTheHighest) {
    const std::size_t bins = 32768;
    SpectrumView view;
    view.resize(900, 500);
    view.SetTraces(Styles(32));
    std::vector<std::vector<double>> dbv(32, std::vector<double>(bins, -200));
    for (std::size_t t = 0; t < 32; ++t) dbv[t][100 + t * 997] = -1.0 - static_cast<double>(t);
    view.Show(Frequencies(bins, 0.25), dbv);
    for (int g = 0; g < 32; ++g) {
        const auto data = view.graph(g)->data();
        EXPECT_LE(data->size(), 2 * view.width()) << g;
        EXPECT_EQ(std::ranges::max_element(*data, {}, &QCPGraphData::value)->value, -1.0 - g) << g;
    }
    EXPECT_GE(view.yAxis->range().upper, -1.0);
    EXPECT_THAT(view.yAxis->range().lower, AllOf(Lt(-1.0 - SpectrumView::kDepthDb), Gt(-200.0)))
        << "the floor follows the highest peak";
}

TEST_F(ScopeViewsTest, ALogFrequencyAxisLeavesOut0HzAndLinearTakesItBack) {
    SpectrumView view;
    view.resize(800, 400);
    view.SetTraces(Styles(1));
    view.Show(Frequencies(1000, 1), {std::vector<double>(1000, -20)});
    view.SetLogFrequency(true);
    EXPECT_EQ(std::pair(view.xAxis->scaleType(), view.xAxis->range().lower),
              std::pair(QCPAxis::stLogarithmic, 1.0));
    EXPECT_GT(view.graph(0)->data()->begin()->key, 0.0);
    view.SetLogFrequency(false);
    EXPECT_EQ(std::pair(view.xAxis->range().lower, view.graph(0)->data()->begin()->key), std::pair(0.0, 0.0));
}

// A tone in the lowest pixel column is drawn on the y axis's line, not under it.
TEST_F(ScopeViewsTest, ALowTonesPeakShowsOverTheAxis) {
    SpectrumView view;
    view.resize(800, 400);
    view.SetTraces(Styles(1));
    std::vector<double> dbv(8193, -110);
    dbv[2] = 3; // 15 Hz of a 62.5 kHz span, as 125000 kadrs/s show the module's sines
    view.Show(Frequencies(dbv.size(), 7.62939453125), {dbv});
    const QImage image = view.toPixmap().toImage(); // laying the axes out
    const QPointF peak(view.xAxis->coordToPixel(15.2587890625), view.yAxis->coordToPixel(3));
    EXPECT_EQ(std::lround(peak.x()), std::lround(view.xAxis->coordToPixel(0))) << "the axis's column";
    EXPECT_EQ(image.pixelColor(peak.toPoint()).rgb(), Styles(1)[0].colour.rgb());
}

TEST_F(ScopeViewsTest, TheSpectrumsReadoutNamesTheTraceNearestThePointer) {
    SpectrumView view;
    view.resize(800, 500);
    view.SetTraces(Styles(2));
    std::vector<std::vector<double>> dbv(2, std::vector<double>(201, -100));
    dbv[0][20] = -9.03; // 10 Hz
    dbv[1][40] = -3.01; // 20 Hz
    // A log axis or not, where the pointer is (Hz, dBV), what it reads.
    const std::tuple<bool, double, double, const char*> cases[] = {
        {false, 20.2, -3.0, "f = 20.0 Hz, X2: -3.01 dBV"},
        {false, 19.8, -99.0, "f = 20.0 Hz, X1: -100.00 dBV"},
        {false, 10.0, -9.0, "f = 10.0 Hz, X1: -9.03 dBV"},
        {true, 10.1, -9.0, "f = 10.0 Hz, X1: -9.03 dBV"},
        {true, 20.0, -5.0, "f = 20.0 Hz, X2: -3.01 dBV"}};
    for (const auto& [log, f, level, expected] : cases) {
        view.SetLogFrequency(log);
        view.Show(Frequencies(201, 0.5), dbv);
        view.replot();
        EXPECT_EQ(CursorAt(view, f, level), QString::fromLatin1(expected));
    }
}

// A table's texts, row by row.
using Texts = std::vector<std::vector<std::string>>;
Texts TextsOf(const QTableWidget& table) {
    Texts rows(table.rowCount());
    for (int row = 0; row < table.rowCount(); ++row)
        for (int column = 0; column < table.columnCount(); ++column)
            rows[row].push_back(table.item(row, column)->text().toStdString());
    return rows;
}

bool InkNear(const QImage& image, QPointF at, QColor ink) {
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (image.pixelColor(at.toPoint() + QPoint(dx, dy)) == ink) return true;
    return false;
}

TEST_F(ScopeViewsTest, AnXyCircleIsDrawnAllRoundToItsFullExtent) {
    const QColor ink(0xd62728);
    for (const std::size_t samples : {std::size_t{360}, std::size_t{1000000}}) {
        // A circle of radius 1, and one sample among them all far out, at 1.5.
        std::vector<double> x, y;
        for (std::size_t i = 0; i < samples; ++i) {
            const double a = 2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(samples);
            x.push_back(std::cos(a));
            y.push_back(std::sin(a));
        }
        x.push_back(1.5);
        y.push_back(0);
        XyView view;
        view.resize(600, 600);
        view.Show(x, y, QStringLiteral("X1"), QStringLiteral("X2"), ink);
        EXPECT_EQ(view.xAxis->label(), QStringLiteral("X1, V"));
        EXPECT_EQ(view.yAxis->label(), QStringLiteral("X2, V"));
        for (QCPAxis* axis : {view.xAxis, view.yAxis}) EXPECT_LT(axis->range().lower, -1.0);
        EXPECT_THAT(view.xAxis->range().upper, AllOf(Gt(1.5), Lt(1.7)));
        EXPECT_THAT(view.yAxis->range().upper, AllOf(Gt(1.0), Lt(1.2)));
        const QImage image = view.toPixmap().toImage();
        ASSERT_EQ(image.size(), view.size());
        auto at = [&view](double x, double y) {
            return QPointF(view.xAxis->coordToPixel(x), view.yAxis->coordToPixel(y));
        };
        for (int degrees = 0; degrees < 360; degrees += 5) {
            const double a = degrees * std::numbers::pi / 180;
            EXPECT_TRUE(InkNear(image, at(std::cos(a), std::sin(a)), ink)) << samples << " at " << degrees;
        }
        EXPECT_TRUE(InkNear(image, at(1.5, 0), ink)) << samples;
        EXPECT_FALSE(InkNear(image, at(0, 0), ink)) << samples;
        EXPECT_EQ(CursorAt(view, 0.5, -0.25), QStringLiteral("X1 = 0.5000 V, X2 = -0.2500 V"));
    }
}

// Save image writes the view shown in the format its name says, or says why it cannot.
TEST_F(ScopeViewsTest, TheViewShownIsSavedInTheFormatOfItsNameOrSaysWhyNot) {
    ViewArea area;
    area.resize(900, 600);
    area.SetKind(ViewKind::Xy);
    QTemporaryDir folder;
    // The path, the format as QImageReader names what was written or why
    // nothing was, and whether it was.
    const std::tuple<QString, const char*, bool> cases[] = {
        {folder.filePath(QStringLiteral("xy.png")), "png", true},
        {folder.filePath(QStringLiteral("xy.JPG")), "jpeg", true},
        {folder.filePath(QStringLiteral("xy.bmp")), "bmp", true},
        {folder.filePath(QStringLiteral("xy")), "png", true},
        {folder.filePath(QStringLiteral("xy.pdf")), "no image format is named .pdf; .png, .jpg and .bmp are",
         false},
        {QStringLiteral("/nonexistent-dir/xy.png"), "No such file or directory", false},
        {QStringLiteral("/dev/full"), "No space left on device", false}};
    for (const auto& [path, formatOrReason, saved] : cases) {
        SCOPED_TRACE(path.toStdString());
        std::string error;
        ASSERT_EQ(area.SaveImage(path, error), saved) << error;
        QImageReader written(path);
        written.setDecideFormatFromContent(true);
        if (saved) {
            EXPECT_EQ(std::tuple(written.format().toStdString(), written.size()),
                      std::tuple(formatOrReason, area.findChild<XyView*>()->size()));
        } else {
            EXPECT_EQ(error, "cannot write " + path.toStdString() + ": " + formatOrReason);
        }
    }
}

TEST_F(ScopeViewsTest, RasterizingPutsEachSampleInItsPixelAndNoneOutside) {
    const QCPRange range(0, 10);
    // A sample and its pixel; (-1, -1): nowhere.
    const std::tuple<double, double, QPoint> cases[] = {
        {0, 10, {0, 0}},      {10, 0, {9, 9}},    {4.5, 4.5, {4, 5}},
        {10.01, 5, {-1, -1}}, {NAN, 5, {-1, -1}}, {5, -0.5, {-1, -1}},
    };
    for (const auto& [x, y, pixel] : cases) {
        QImage expected(10, 10, QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        if (pixel.x() >= 0) expected.setPixelColor(pixel, Qt::blue);
        EXPECT_EQ(RasterizeXy({x}, {y}, range, range, {10, 10}, Qt::blue), expected) << x << ", " << y;
    }
}

TEST_F(ScopeViewsTest, TableTextsAndNoValueAsADash) {
    // A format, and values with their texts.
    const std::pair<QString (*)(double), std::vector<std::pair<double, const char*>>> cases[] = {
        {[](double volts) { return VoltsText(volts); }, {{-0.00004, "0.0000"}}},
        // No bound on a frequency's decimals.
        {[](double hertz) { return HertzText(hertz); },
         {{123.456, "123.46"}, {4567.89, "4567.9"}, {25000.4, "25000"}, {INFINITY, "\u2014"}}},
        {SecondsText, {{0.0125, "0.012500"}}},
        {RateText, {{166666.671875, "166666.7 kadrs/s"}, {2999.625, "2999.625 kadrs/s"}}},
    };
    for (const auto& [format, texts] : cases)
        for (const auto& [value, text] : texts) EXPECT_EQ(format(value), QString::fromUtf8(text)) << value;
    // In the user's number format, as the boxes beside them show theirs.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(std::pair(VoltsText(-1234.5), RateText(166666.671875)),
              std::pair(QString("-1234,5000"), QString("166666,7 kadrs/s")));
    QLocale::setDefault(before);
}

TEST_F(ScopeViewsTest, TheMeasurementTableShowsARowPerChannelReadOnly) {
    MeasurementTable table;
    // Y16 on ±2.5 V and Y9 on ±0.156 V: a code of their range is 5 and 6 decimals.
    table.SetChannels({{Qt::red}, {Qt::blue}, {Qt::green}, {Qt::black, 5}, {Qt::gray, 6}});
    table.Show({"X1", "X2", "X3", "Y16", "Y9"},
               {{-0.5, 0.5, 0.0, 0.353553, 1.0, 10.0, 0},
                {NAN, NAN, NAN, NAN, NAN, NAN, 0},
                {-1.5, 1.5, 0.0, 1.06066, 3.0, 30.21954, 20.0},
                {-2.56, 2.559921875, 0.0, 1.5, 5.119921875, 2.0, 0, true, true},
                {0.1599951, 0.1599951, 0.1599951, 0.1599951, 0, NAN, 0, false, true}});
    ASSERT_EQ(TextsOf(table),
              (Texts{
                  {"X1", "-0.5000", "0.5000", "0.0000", "0.3536", "1.0000", "10.000"},
                  {"X2", "\u2014", "\u2014", "\u2014", "\u2014", "\u2014", "\u2014"},
                  // A spectrum's peak, to its bin of 20 Hz.
                  {"X3", "-1.5000", "1.5000", "0.0000", "1.0607", "3.0000", "30"},
                  // A clipped end bounds the input; wholly at the top, the minimum is a bound too.
                  {"Y16", "\u2264 -2.56000", "\u2265 2.55992", "0.00000", "1.50000", "5.11992", "2.000"},
                  {"Y9", "\u2265 0.159995", "\u2265 0.159995", "0.159995", "0.159995", "0.000000", "\u2014"},
              }));
    const QBrush bound = table.item(3, 2)->foreground();
    EXPECT_NE(bound, table.item(3, 3)->foreground()) << "in red";
    EXPECT_EQ(table.item(0, 2)->foreground(), table.item(0, 3)->foreground())
        << "an extreme within the range";
    EXPECT_THAT((std::vector{table.item(3, 1)->foreground(), table.item(4, 1)->foreground(),
                             table.item(4, 2)->foreground()}),
                Each(bound));
    for (int column = 0; column < 7; ++column)
        EXPECT_FALSE(table.item(0, column)->flags() & Qt::ItemIsEditable);
    EXPECT_EQ(table.item(1, 0)->data(Qt::DecorationRole).value<QColor>(), QColor(Qt::blue));
    EXPECT_FALSE(table.isSortingEnabled());
}

TEST_F(ScopeViewsTest, TheCursorTableShowsBothTimesTheirDistanceAndEachChannelsChange) {
    CursorTable table;
    table.Show(0.010, 0.035, {QStringLiteral("X1"), QStringLiteral("X2")}, {{0.25, -0.5}, {1.0, NAN}});
    EXPECT_EQ(TextsOf(table), (Texts{{"Time, s", "0.010000", "0.035000", "0.025000"},
                                     {"1/\u0394t, Hz", "", "", "40.000"},
                                     {"X1, V", "0.2500", "-0.5000", "-0.7500"},
                                     {"X2, V", "1.0000", "\u2014", "\u2014"}}));
    table.Show(0.5, 0.5, {}, {});
    EXPECT_EQ(TextsOf(table)[1][3], "\u2014") << "no frequency of two cursors in one place";
}

} // namespace
} // namespace e16scope
