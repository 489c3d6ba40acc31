#include "column_raster.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace e16scope {
namespace {

// Runs of 8, 4 or 2 pixels so that the compiler writes each as one vector
// store, the last run overlapping the one before: a loop of unknown length
// is not vectorised at -O2, and its tail costs a mispredicted branch.
template <int N> void Run(QRgb* at, QRgb colour) {
    for (int i = 0; i < N; ++i) at[i] = colour;
}

void Fill(QRgb* at, int count, QRgb colour) {
    QRgb* const end = at + count;
    if (count >= 8) {
        for (; at + 8 < end; at += 8) Run<8>(at, colour);
        Run<8>(end - 8, colour);
    } else if (count >= 4) {
        Run<4>(at, colour);
        Run<4>(end - 4, colour);
    } else if (count >= 2) {
        Run<2>(at, colour);
        Run<2>(end - 2, colour);
    } else if (count == 1) {
        *at = colour;
    }
}

} // namespace

void ColumnRaster::Start(int left, int width, int height) {
    if (height != height_) {
        height_ = std::max(height, 0);
        pixels_.assign(static_cast<std::size_t>(kColumns) * static_cast<std::size_t>(height_), 0);
        drawnTop_ = INT_MAX, drawnBottom_ = -1;
    }
    left_ = left;
    width_ = std::clamp(width, 0, kColumns);
}

void ColumnRaster::Trace(std::span<const PixelColumn> columns, QRgb colour) {
    const PixelColumn* last = nullptr;
    for (const PixelColumn& at : columns) {
        if (at.Empty()) {
            last = nullptr;
            continue;
        }
        if (last != nullptr) Link(*last, at, colour);
        Extent(at.x, at.upper, at.lower, colour);
        last = &at;
    }
}

void ColumnRaster::Link(const PixelColumn& last, const PixelColumn& at, QRgb colour) {
    if (at.lower < last.upper)
        Join(last.x, last.upper, at.x, at.lower, colour); // rose past it
    else if (at.upper > last.lower)
        Join(last.x, last.lower, at.x, at.upper, colour); // fell past it
    else if (at.x > last.x + 1)
        Level(last, at, colour);
}

// Overlapping extents pixels apart (columns wider than a pixel): a line
// through the middle of their common rows, so that a flat or slow trace does
// not break into dots.
void ColumnRaster::Level(const PixelColumn& from, const PixelColumn& to, QRgb colour) {
    const int y = (std::max(from.upper, to.upper) + std::min(from.lower, to.lower)) / 2;
    Join(from.x, y, to.x, y, colour);
}

// In this layout a column's extent is a plain fill, where down the rows of an
// image each pixel is a cache line of its own.
inline void ColumnRaster::Extent(int x, int y0, int y1, QRgb colour) {
    if (x < left_ || x >= left_ + width_) return;
    const int top = std::max(std::min(y0, y1), 0), bottom = std::min(std::max(y0, y1), height_ - 1);
    if (top > bottom) return;
    drawnTop_ = std::min(drawnTop_, top), drawnBottom_ = std::max(drawnBottom_, bottom);
    Fill(Column(x) + top, bottom - top + 1, colour);
}

void ColumnRaster::Join(int x0, int y0, int x1, int y1, QRgb colour) {
    const int right = left_ + width_ - 1;
    if (std::max(x0, x1) < left_ || std::min(x0, x1) > right) return;
    const int top = std::max(std::min(y0, y1), 0), bottom = std::min(std::max(y0, y1), height_ - 1);
    if (top > bottom) return;
    drawnTop_ = std::min(drawnTop_, top), drawnBottom_ = std::max(drawnBottom_, bottom);
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0), sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    for (int error = dx + dy;;) { // Bresenham
        if (x0 >= left_ && x0 <= right && y0 >= 0 && y0 < height_) Column(x0)[y0] = colour;
        if (x0 == x1 && y0 == y1) return;
        const int twice = 2 * error;
        if (twice >= dy) error += dy, x0 += sx;
        if (twice <= dx) error += dx, y0 += sy;
    }
}

// Eight columns at a time: each row's eight pixels are one run of the image,
// read from eight runs of the band, where a column at a time would write a
// cache line a pixel.
void ColumnRaster::Flush(QImage& image, int top, int bottom) {
    const auto stride = static_cast<std::ptrdiff_t>(image.bytesPerLine() / sizeof(QRgb));
    QRgb* const bits = reinterpret_cast<QRgb*>(image.bits());
    top = std::max(top, 0), bottom = std::min(bottom, height_ - 1);
    const int right = left_ + width_;
    int x = left_;
    for (; x + 8 <= right; x += 8) {
        const QRgb* from[8];
        for (int i = 0; i < 8; ++i) from[i] = Column(x + i);
        for (int y = top; y <= bottom; ++y) {
            QRgb* const to = bits + y * stride + x;
            for (int i = 0; i < 8; ++i) to[i] = from[i][y];
        }
    }
    for (; x < right; ++x)
        for (int y = top; y <= bottom; ++y) bits[y * stride + x] = Column(x)[y];
    if (drawnBottom_ >= drawnTop_)
        for (x = left_; x < right; ++x) std::fill(Column(x) + drawnTop_, Column(x) + drawnBottom_ + 1, 0);
    drawnTop_ = INT_MAX, drawnBottom_ = -1;
}

} // namespace e16scope
