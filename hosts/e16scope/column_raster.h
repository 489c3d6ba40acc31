// A narrow band of the traces' pixels kept column by column before it is
// copied into an image: a column's extent is one run of consecutive words,
// and the band stays in cache while every trace is drawn into it.
#pragma once

#include <QImage>
#include <QLine>

#include <vector>

namespace e16scope {

class ColumnRaster {
public:
    static constexpr int kColumns = 64; // 64 columns of 1000 rows: a quarter of a 1 MB cache

    // Starts the band of columns [left, left + width), width at most
    // kColumns, of an image `height` rows tall. Every pixel is transparent.
    void Start(int left, int width, int height);
    // A one-pixel line in image coordinates, clipped to the band; the last
    // one drawn wins.
    void Line(QLine line, QRgb colour);
    // Copies rows [top, bottom] of the band into the same place of `image`
    // (ARGB32 premultiplied, at least the band's size) and makes the band
    // transparent again, pixels drawn outside those rows included.
    void Flush(QImage& image, int top, int bottom);

private:
    QRgb* Column(int x) { return pixels_.data() + std::ptrdiff_t{x - left_} * height_; }

    int left_ = 0, width_ = 0, height_ = 0;
    std::vector<QRgb> pixels_;            // (x - left_) * height_ + y
    int drawnTop_ = 0, drawnBottom_ = -1; // rows drawn since the last flush
};

} // namespace e16scope
