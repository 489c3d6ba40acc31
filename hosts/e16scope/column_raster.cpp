#include "column_raster.h"

#include <algorithm>
#include <cstdlib>

namespace e16scope {
namespace {

// Eight pixels a step so that the compiler writes them as one vector store,
// which it does not for a loop of unknown length at -O2.
void Fill(QRgb* at, int count, QRgb colour) {
    for (; count >= 8; count -= 8, at += 8)
        for (int i = 0; i < 8; ++i) at[i] = colour;
    for (; count > 0; --count) *at++ = colour;
}

} // namespace

void ColumnRaster::Start(int left, int width, int height) {
    if (height != height_) {
        height_ = std::max(height, 0);
        pixels_.assign(static_cast<std::size_t>(kColumns) * static_cast<std::size_t>(height_), 0);
        drawnBottom_ = -1;
    }
    left_ = left;
    width_ = std::clamp(width, 0, kColumns);
}

// Most lines are vertical (a column's extent): in this layout a plain fill,
// where down the rows of an image each pixel is a cache line of its own.
void ColumnRaster::Line(QLine line, QRgb colour) {
    int x0 = line.x1(), y0 = line.y1(), x1 = line.x2(), y1 = line.y2();
    const int right = left_ + width_ - 1;
    if (std::max(x0, x1) < left_ || std::min(x0, x1) > right) return;
    const int top = std::max(std::min(y0, y1), 0), bottom = std::min(std::max(y0, y1), height_ - 1);
    if (top > bottom) return;
    drawnTop_ = drawnBottom_ < drawnTop_ ? top : std::min(drawnTop_, top);
    drawnBottom_ = std::max(drawnBottom_, bottom);
    if (x0 == x1) {
        Fill(Column(x0) + top, bottom - top + 1, colour);
        return;
    }
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
    drawnBottom_ = -1;
}

} // namespace e16scope
