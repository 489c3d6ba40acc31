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

double ColumnTraces::ValueAt(std::size_t trace, double seconds) const {
    const std::size_t column = ColumnAt(seconds);
    if (trace >= styles_.size() || column >= columns_[trace].size())
        return std::numeric_limits<double>::quiet_NaN();
    const auto [low, high] = Extent(trace, column);
    return (low + high) / 2;
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
    lines_.resize(styles_.size());
    QRect covered;
    for (std::size_t c = 0; c < styles_.size(); ++c) covered |= Segments(c, area, lines_[c]);
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

// A trace's lines run left to right, each starting no further left than the
// one before: those reaching the band from its left edge to `right`, and a
// join across the edge in both bands.
void ColumnTraces::DrawBand(std::size_t trace, int right) {
    const std::vector<QLine>& lines = lines_[trace];
    std::size_t& next = next_[trace];
    const int left = right - ColumnRaster::kColumns + 1;
    while (next < lines.size() && std::max(lines[next].x1(), lines[next].x2()) < left) ++next;
    const QRgb colour = qPremultiply(styles_[trace].colour.rgba());
    for (std::size_t i = next; i < lines.size() && std::min(lines[i].x1(), lines[i].x2()) <= right; ++i)
        raster_.Line(lines[i], colour);
}

namespace {

// std::lround is a library call; from a half up, adding a half and truncating
// rounds the same way.
int Round(double value) {
    return value >= 0.5 ? static_cast<int>(value + 0.5) : static_cast<int>(std::lround(value));
}

} // namespace

// Column i is the vertical segment min..max at its pixel x; where it does not
// meet the previous column's extent a join links their nearest ends. Pixels
// are rounded in the plot's coordinates, then moved to the area's.
QRect ColumnTraces::Segments(std::size_t trace, const QRect& area, std::vector<QLine>& lines) const {
    lines.clear();
    const std::vector<MinMax>& pairs = columns_[trace];
    if (pairs.empty()) return {};
    const TraceStyle& style = styles_[trace];
    const double x0 = key_->coordToPixel(first_), dx = key_->coordToPixel(first_ + step_) - x0;
    const double y0 = value_->coordToPixel(style.offset);
    const double dy = (value_->coordToPixel(style.offset + 1.0) - y0) / style.codesPerVolt;
    const double top = area.top() - 2.0, bottom = area.bottom() + 2.0;
    const auto y = [&](int16_t code) { return Round(std::clamp(y0 + code * dy, top, bottom)) - area.top(); };
    // Only the columns over the area, and one either side for the joins.
    const double from = std::floor((area.left() - x0) / dx) - 1, to = std::ceil((area.right() - x0) / dx) + 1;
    const std::size_t begin = static_cast<std::size_t>(std::clamp(from, 0.0, double(pairs.size())));
    const std::size_t end = static_cast<std::size_t>(std::clamp(to + 1, 0.0, double(pairs.size())));
    lines.reserve(2 * (end - begin));
    // Pixel rows grow downwards: a column's upper end is its max.
    int lastX = 0, lastUpper = 0, lastLower = 0, highest = INT_MAX, lowest = INT_MIN;
    for (std::size_t i = begin; i < end; ++i) {
        const int x = Round(x0 + static_cast<double>(i) * dx) - area.left();
        const int upper = y(pairs[i].max), lower = y(pairs[i].min);
        if (i > begin) {
            if (lower < lastUpper)
                lines.emplace_back(lastX, lastUpper, x, lower); // rose past it
            else if (upper > lastLower)
                lines.emplace_back(lastX, lastLower, x, upper); // fell past it
        }
        lines.emplace_back(x, upper, x, lower);
        lastX = x;
        lastUpper = upper;
        lastLower = lower;
        highest = std::min(highest, upper);
        lowest = std::max(lowest, lower);
    }
    if (lines.empty()) return {};
    return QRect(QPoint(lines.front().x1(), highest), QPoint(lastX, lowest));
}

} // namespace e16scope
