// Traces of pixel columns (extents and the joins between them) drawn into a
// narrow band of pixels kept column by column, then copied into an image: an
// extent is one run of consecutive words, and the band stays in cache while
// every trace is drawn into it.
#pragma once

#include <QImage>

#include <climits>
#include <span>
#include <vector>

namespace e16scope {

// A trace's column in pixels: its extent from row `upper` down to `lower` at
// x; upper below lower is a column without samples.
struct PixelColumn {
    int x, upper, lower;
    bool Empty() const { return upper > lower; }
};

class ColumnRaster {
public:
    static constexpr int kColumns = 64; // 64 columns of 1000 rows: a quarter of a 1 MB cache

    // Starts the band of columns [left, left + width), width at most
    // kColumns, of an image `height` rows tall. Every pixel is transparent.
    void Start(int left, int width, int height);
    // A trace's columns, left to right, in image coordinates, clipped to the
    // band: each a vertical line over its extent, joined to the one before
    // across any pixel columns between them: from that one's nearest end
    // where their extents do not overlap, else level through the rows they
    // share. An empty column is not drawn, nor joined across. The last pixel
    // drawn wins.
    void Trace(std::span<const PixelColumn> columns, QRgb colour);
    // Copies rows [top, bottom] of the band into the same place of `image`
    // (ARGB32 premultiplied, at least the band's size) and makes the band
    // transparent again, pixels drawn outside those rows included.
    void Flush(QImage& image, int top, int bottom);

private:
    // A vertical line from row y0 to y1 at x.
    void Extent(int x, int y0, int y1, QRgb colour);
    // The join from one column to the next.
    void Link(const PixelColumn& last, const PixelColumn& at, QRgb colour);
    // A level join between overlapping extents.
    void Level(const PixelColumn& from, const PixelColumn& to, QRgb colour);
    // A one-pixel line from (x0, y0) to (x1, y1).
    void Join(int x0, int y0, int x1, int y1, QRgb colour);
    QRgb* Column(int x) { return pixels_.data() + std::ptrdiff_t{x - left_} * height_; }

    int left_ = 0, width_ = 0, height_ = 0;
    std::vector<QRgb> pixels_;                  // (x - left_) * height_ + y
    int drawnTop_ = INT_MAX, drawnBottom_ = -1; // rows drawn since the last flush
};

} // namespace e16scope
