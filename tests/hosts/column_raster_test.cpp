// The plot's trace raster: drawn band by band and copied out, a trace lands on
// its pixels in every band, including the narrow last one and a join across a
// band's edge, columns pixels apart are joined but never across an empty
// one, and what a flush leaves behind never shows in the next one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "column_raster.h"

namespace e16scope {
namespace {

using namespace testing;

constexpr QRgb kRed = 0xffff0000, kBlue = 0xff0000ff;

// `columns` drawn over every band of an image `width` wide, rows [top,
// bottom] copied out: what the plot does with one trace. The image starts
// grey, so that rows left alone show.
QImage Draw(ColumnRaster& raster, const std::vector<PixelColumn>& columns, QRgb colour, int width, int top,
            int bottom) {
    QImage image(width, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::gray);
    for (int left = 0; left < width; left += ColumnRaster::kColumns) {
        raster.Start(left, std::min(ColumnRaster::kColumns, width - left), image.height());
        raster.Trace(columns, colour);
        raster.Flush(image, top, bottom);
    }
    return image;
}

// The rows of column `x` in `colour`.
std::vector<int> Rows(const QImage& image, int x, QRgb colour) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixel(x, y) == colour) rows.push_back(y);
    return rows;
}

// `colour` on the rows of `columns` that are not empty, and nothing anywhere else.
void ExpectOnly(const QImage& image, QRgb colour, const std::vector<PixelColumn>& columns) {
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y) {
            const bool on = std::ranges::any_of(columns, [&](const PixelColumn& c) {
                return !c.Empty() && x == c.x && y >= c.upper && y <= c.lower;
            });
            ASSERT_EQ(image.pixel(x, y), on ? colour : 0u) << x << ", " << y;
        }
}

// Each column lands on its rows, clipped to the image, in every band; an
// empty column (a gap in the kadrs) is not drawn, nor joined across, on
// whichever side of a band's edge, while the columns either side are.
TEST(ColumnRaster, ColumnsLandOnTheirRowsAndNoJoinCrossesAnEmptyOne) {
    // A trace, and the columns expected drawn.
    const std::pair<std::vector<PixelColumn>, std::vector<PixelColumn>> cases[] = {
        {{{0, 3, 7}}, {{0, 3, 7}}},
        {{{63, 0, 19}}, {{63, 0, 19}}},
        {{{64, 5, 5}}, {{64, 5, 5}}},
        {{{130, -2, 2}}, {{130, 0, 2}}},
        {{{129, 17, 21}}, {{129, 17, 19}}},
        {{{10, 5, 5}, {20, 1, 0}, {30, 15, 15}}, {{10, 5, 5}, {30, 15, 15}}},
        {{{60, 5, 5}, {63, 1, 0}, {64, 1, 0}, {70, 5, 5}}, {{60, 5, 5}, {70, 5, 5}}},
    };
    ColumnRaster raster;
    for (const auto& [trace, drawn] : cases) {
        SCOPED_TRACE(trace.front().x);
        ExpectOnly(Draw(raster, trace, kRed, 131, 0, 19), kRed, drawn);
    }
}

// Columns pixels apart (fewer kadrs than pixel columns): every pixel column
// from the first to the last has some of the trace, level, slow, overlapping
// or stepping, within the rows of the two columns on either side. A shallow
// join is one pixel a column all the way, on both sides of the band edge at
// 64, rising or falling.
TEST(ColumnRaster, ColumnsPixelsApartAreJoinedAcrossTheGap) {
    // A trace, and whether its joins are a pixel a column.
    const std::pair<std::vector<PixelColumn>, bool> cases[] = {
        {{{10, 8, 8}, {13, 8, 8}, {16, 8, 8}}, true},
        {{{10, 8, 8}, {13, 8, 8}, {16, 9, 9}, {19, 9, 9}}, false},
        {{{60, 4, 9}, {70, 6, 12}}, false},
        {{{30, 5, 9}, {31, 3, 3}, {35, 4, 11}}, false},
        {{{10, 2, 2}, {20, 12, 12}}, false},
        {{{55, 2, 2}, {75, 12, 12}}, true},
        {{{55, 12, 12}, {75, 2, 2}}, true},
    };
    ColumnRaster raster;
    for (const auto& [trace, thin] : cases) {
        SCOPED_TRACE(trace.front().x);
        const QImage image = Draw(raster, trace, kRed, 100, 0, 19);
        for (std::size_t i = 1; i < trace.size(); ++i) {
            const PixelColumn &from = trace[i - 1], &to = trace[i];
            const int top = std::min(from.upper, to.upper), bottom = std::max(from.lower, to.lower);
            for (int x = from.x; x <= to.x; ++x)
                EXPECT_THAT(Rows(image, x, kRed), AllOf(SizeIs(thin ? Matcher<std::size_t>(1u) : Ge(1u)),
                                                        Each(AllOf(Ge(top), Le(bottom)))))
                    << "column " << x;
        }
    }
}

// Rows outside those copied out keep the image's pixels; pixels drawn there
// are cleared all the same and do not come back with the next picture.
TEST(ColumnRaster, AFlushLeavesNothingBehind) {
    ColumnRaster raster;
    const QImage first = Draw(raster, {{10, 0, 19}, {70, 0, 19}}, kRed, 100, 5, 9);
    EXPECT_EQ(std::pair(first.pixel(10, 4), first.pixel(70, 7)), std::pair(QColor(Qt::gray).rgb(), kRed));
    ExpectOnly(Draw(raster, {{20, 8, 8}}, kBlue, 100, 0, 19), kBlue, {{20, 8, 8}});
}

} // namespace
} // namespace e16scope
