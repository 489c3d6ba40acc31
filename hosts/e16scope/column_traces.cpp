#include "column_traces.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace e16scope {

ColumnTraces::ColumnTraces(QCPAxis* keyAxis, QCPAxis* valueAxis)
    : QCPLayerable(keyAxis->parentPlot()), key_(keyAxis), value_(valueAxis) {}

void ColumnTraces::SetStyles(std::vector<TraceStyle> styles) {
    styles_ = std::move(styles);
    columns_.assign(styles_.size(), {});
    count_ = 0;
}

void ColumnTraces::SetOffset(std::size_t trace, double volts) {
    if (trace < styles_.size()) styles_[trace].offset = volts;
}

void ColumnTraces::Take(const TraceColumns& columns, double firstSeconds, double secondsPerColumn) {
    const std::size_t traces = std::min(styles_.size(), columns.Channels());
    count_ = traces > 0 ? columns.Count() : 0;
    first_ = firstSeconds;
    step_ = secondsPerColumn;
    for (std::size_t c = 0; c < styles_.size(); ++c) {
        std::vector<MinMax>& pairs = columns_[c];
        pairs.resize(c < traces ? count_ : 0);
        for (std::size_t i = 0; i < pairs.size(); ++i) pairs[i] = columns.At(c, i);
    }
}

std::size_t ColumnTraces::ColumnAt(double seconds) const {
    const double at = std::floor((seconds - first_) / step_);
    return at >= 0 && at < static_cast<double>(count_) ? static_cast<std::size_t>(at) : count_;
}

std::pair<double, double> ColumnTraces::Extent(std::size_t trace, std::size_t column) const {
    const TraceStyle& style = styles_.at(trace);
    const MinMax pair = columns_.at(trace).at(column);
    return {pair.min / style.codesPerVolt + style.offset, pair.max / style.codesPerVolt + style.offset};
}

bool ColumnTraces::Limits(double& low, double& high) const {
    low = std::numeric_limits<double>::max();
    high = -low;
    for (std::size_t c = 0; c < styles_.size(); ++c) {
        if (columns_[c].empty()) continue;
        int16_t least = INT16_MAX, most = INT16_MIN;
        for (const MinMax& pair : columns_[c]) {
            least = std::min(least, pair.min);
            most = std::max(most, pair.max);
        }
        const double scale = 1.0 / styles_[c].codesPerVolt;
        low = std::min(low, least * scale + styles_[c].offset);
        high = std::max(high, most * scale + styles_[c].offset);
    }
    return high >= low;
}

double ColumnTraces::FullScale() const {
    double full = 0;
    for (const TraceStyle& style : styles_)
        full = std::max(full, 32000.0 / style.codesPerVolt + std::fabs(style.offset));
    return full;
}

void ColumnTraces::applyDefaultAntialiasingHint(QCPPainter* painter) const {
    painter->setRenderHint(QPainter::Antialiasing, false); // one-pixel columns stay crisp and cheap
}

QRect ColumnTraces::clipRect() const {
    return key_->axisRect()->rect();
}

// The traces are drawn a band of columns at a time into a raster kept column
// by column, and only the rectangle they cover is copied out and blended: the
// painter's own line drawing costs about ten times as much a pixel, and 32
// busy traces written down the rows of the whole image miss the cache at
// nearly every pixel.
void ColumnTraces::draw(QCPPainter* painter) {
    const QRect area = clipRect();
    if (area.isEmpty()) return;
    if (image_.size() != area.size()) image_ = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
    pixels_.resize(styles_.size());
    QRect covered;
    for (std::size_t c = 0; c < styles_.size(); ++c) covered |= Pixels(c, area, pixels_[c]);
    covered &= image_.rect();
    if (covered.isEmpty()) return;
    next_.assign(styles_.size(), 0);
    for (int left = covered.left(); left <= covered.right(); left += ColumnRaster::kColumns) {
        raster_.Start(left, std::min(ColumnRaster::kColumns, covered.right() + 1 - left), area.height());
        for (std::size_t c = 0; c < styles_.size(); ++c) DrawBand(c, left + ColumnRaster::kColumns - 1);
        raster_.Flush(image_, covered.top(), covered.bottom());
    }
    painter->drawImage(area.topLeft() + covered.topLeft(), image_, covered);
}

// A trace's columns run left to right: those from the last one left of the
// band, for its join into it, to the first one right of it, for its join.
void ColumnTraces::DrawBand(std::size_t trace, int right) {
    const std::vector<PixelColumn>& pixels = pixels_[trace];
    std::size_t& next = next_[trace];
    const int left = right - ColumnRaster::kColumns + 1;
    while (next + 1 < pixels.size() && pixels[next + 1].x < left) ++next;
    std::size_t end = next;
    while (end < pixels.size() && pixels[end].x <= right) ++end;
    end = std::min(end + 1, pixels.size());
    raster_.Trace(std::span(pixels).subspan(next, end - next), qPremultiply(styles_[trace].colour.rgba()));
}

namespace {

// std::lround is a library call; from a half up, adding a half and truncating
// rounds the same way.
int Round(double value) {
    return value >= 0.5 ? static_cast<int>(value + 0.5) : static_cast<int>(std::lround(value));
}

} // namespace

// Pixels are rounded in the plot's coordinates, then moved to the area's.
QRect ColumnTraces::Pixels(std::size_t trace, const QRect& area, std::vector<PixelColumn>& pixels) const {
    pixels.clear();
    const std::vector<MinMax>& pairs = columns_[trace];
    if (pairs.empty()) return {};
    const TraceStyle& style = styles_[trace];
    const double x0 = key_->coordToPixel(first_), dx = key_->coordToPixel(first_ + step_) - x0;
    const double y0 = value_->coordToPixel(style.offset);
    const double dy = (value_->coordToPixel(style.offset + 1.0) - y0) / style.codesPerVolt;
    const double top = area.top() - 2.0, bottom = area.bottom() + 2.0;
    const int left = area.left(), up = area.top();
    const auto y = [&](int16_t code) { return Round(std::clamp(y0 + code * dy, top, bottom)) - up; };
    // Only the columns over the area, and one either side for the joins.
    const double from = std::floor((area.left() - x0) / dx) - 1, to = std::ceil((area.right() - x0) / dx) + 1;
    const std::size_t begin = static_cast<std::size_t>(std::clamp(from, 0.0, double(pairs.size())));
    const std::size_t end = static_cast<std::size_t>(std::clamp(to + 1, 0.0, double(pairs.size())));
    if (begin >= end) return {};
    pixels.resize(end - begin);
    // Pixel rows grow downwards: a column's upper end is its max.
    int highest = INT_MAX, lowest = INT_MIN;
    for (std::size_t i = begin; i < end; ++i) {
        const int x = Round(x0 + static_cast<double>(i) * dx) - left;
        if (pairs[i].Empty()) {
            pixels[i - begin] = {x, 1, 0};
            continue;
        }
        const PixelColumn column{x, y(pairs[i].max), y(pairs[i].min)};
        pixels[i - begin] = column;
        highest = std::min(highest, column.upper);
        lowest = std::max(lowest, column.lower);
    }
    if (highest > lowest) return {}; // every column in a gap
    return QRect(QPoint(pixels.front().x, highest), QPoint(pixels.back().x, lowest));
}

} // namespace e16scope
