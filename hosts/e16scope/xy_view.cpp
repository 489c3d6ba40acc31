#include "xy_view.h"

#include "user_number.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>

namespace e16scope {

namespace {

// The finite extent of `values`, or no range when none is finite.
std::pair<QCPRange, bool> Extent(const std::vector<double>& values, std::size_t count) {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) continue;
        low = std::min(low, values[i]);
        high = std::max(high, values[i]);
    }
    return {QCPRange(low, high), high >= low};
}

QCPRange WithMargin(QCPRange range) {
    const double margin = std::max(range.size() * 0.05, 1e-3);
    return QCPRange(range.lower - margin, range.upper + margin);
}

} // namespace

// The samples drawn as a picture of the plot area, made again only when the
// area, the ranges or the samples change.
class Dots : public QCPAbstractPlottable {
public:
    Dots(QCPAxis* keyAxis, QCPAxis* valueAxis, const std::vector<double>& x, const std::vector<double>& y)
        : QCPAbstractPlottable(keyAxis, valueAxis), x_(x), y_(y) {}

    void SetSamples(QColor colour, QCPRange xExtent, QCPRange yExtent, bool found) {
        colour_ = colour;
        xExtent_ = xExtent;
        yExtent_ = yExtent;
        found_ = found;
        drawn_ = {};
    }

    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }
    QCPRange getKeyRange(bool& foundRange, QCP::SignDomain) const override {
        foundRange = found_;
        return xExtent_;
    }
    QCPRange getValueRange(bool& foundRange, QCP::SignDomain, const QCPRange&) const override {
        foundRange = found_;
        return yExtent_;
    }

protected:
    void draw(QCPPainter* painter) override {
        const QRect area = mKeyAxis->axisRect()->rect();
        const auto view = std::make_tuple(area, mKeyAxis->range(), mValueAxis->range());
        if (!drawn_ || *drawn_ != view) {
            picture_ = RasterizeXy(x_, y_, mKeyAxis->range(), mValueAxis->range(), area.size(), colour_);
            drawn_ = view;
        }
        painter->drawImage(area.topLeft(), picture_);
    }
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override {
        painter->fillRect(rect, colour_);
    }

private:
    const std::vector<double>& x_;
    const std::vector<double>& y_;
    QColor colour_;
    QCPRange xExtent_, yExtent_;
    bool found_ = false;
    QImage picture_;
    std::optional<std::tuple<QRect, QCPRange, QCPRange>> drawn_;
};

QImage RasterizeXy(const std::vector<double>& x, const std::vector<double>& y, const QCPRange& xRange,
                   const QCPRange& yRange, QSize size, QColor colour) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (image.isNull() || xRange.size() <= 0 || yRange.size() <= 0) return image;
    const int width = size.width(), height = size.height();
    const double perX = width / xRange.size(), perY = height / yRange.size();
    const QRgb ink = qPremultiply(colour.rgba());
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    const std::size_t count = std::min(x.size(), y.size());
    // Consecutive samples are joined, so that a slowly sampled figure stays
    // a line; a sample off the area (or NaN) breaks it.
    bool joined = false;
    int lastX = 0, lastY = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double column = (x[i] - xRange.lower) * perX, row = (yRange.upper - y[i]) * perY;
        // NaN fails these too; a sample on the far edge stays in the last pixel.
        if (!(column >= 0 && column <= width && row >= 0 && row <= height)) {
            joined = false;
            continue;
        }
        const int px = std::min(static_cast<int>(column), width - 1),
                  py = std::min(static_cast<int>(row), height - 1);
        const int steps = joined ? std::max(std::abs(px - lastX), std::abs(py - lastY)) : 0;
        for (int step = 1; step < steps; ++step)
            pixels[(lastY + (py - lastY) * step / steps) * stride + lastX + (px - lastX) * step / steps] =
                ink;
        pixels[py * stride + px] = ink;
        joined = true;
        lastX = px;
        lastY = py;
    }
    return image;
}

XyView::XyView(QWidget* parent) : QCustomPlot(parent) {
    setObjectName(QStringLiteral("xy"));
    setMouseTracking(true);
    dots_ = new Dots(xAxis, yAxis, x_, y_); // the plot owns it
}

void XyView::Show(const std::vector<double>& x, const std::vector<double>& y, const QString& xName,
                  const QString& yName, QColor colour) {
    const std::size_t count = std::min(x.size(), y.size());
    x_.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(count));
    y_.assign(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(count));
    xName_ = xName;
    yName_ = yName;
    xAxis->setLabel(tr("%1, V").arg(xName));
    yAxis->setLabel(tr("%1, V").arg(yName));
    const auto [xExtent, xFound] = Extent(x_, count);
    const auto [yExtent, yFound] = Extent(y_, count);
    dots_->SetSamples(colour, xExtent, yExtent, xFound && yFound);
    if (xFound && yFound) {
        xAxis->setRange(WithMargin(xExtent));
        yAxis->setRange(WithMargin(yExtent));
    }
}

void XyView::mouseMoveEvent(QMouseEvent* event) {
    QCustomPlot::mouseMoveEvent(event);
    Readout(event->position());
}

void XyView::Readout(QPointF pos) {
    const double x = xAxis->pixelToCoord(pos.x()), y = yAxis->pixelToCoord(pos.y());
    emit CursorText(
        tr("%1 = %2 V, %3 = %4 V").arg(xName_, UserNumber(x, 'f', 4), yName_, UserNumber(y, 'f', 4)));
}

} // namespace e16scope
