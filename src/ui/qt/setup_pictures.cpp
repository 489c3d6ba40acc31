#include "ui/qt/setup_pictures.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace velmora::ui {
namespace {

constexpr int kTypes = 4;           // Above level, Transition Up, Transition Down, Below level
constexpr double kLevel = 0.3;      // the watched level, in the curve's own units (-1..1)
constexpr double kCrossUp = 0.2986; // where -cos(2 pi u) rises through kLevel
constexpr double kCrossDown = 1.0 - kCrossUp;
const QColor kTrigger(0xc0, 0x20, 0x20);

// One period of the watched signal across `r`: low, rising, high, falling.
QPainterPath Signal(const QRectF& r, double amplitude) {
    QPainterPath path;
    constexpr int kSteps = 48;
    for (int k = 0; k <= kSteps; ++k) {
        const double u = static_cast<double>(k) / kSteps;
        const QPointF p(r.left() + u * r.width(),
                        r.center().y() + amplitude * std::cos(2 * std::numbers::pi * u));
        if (k == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    return path;
}

// A small triangle at the crossing, pointing the way the signal goes.
void CrossingMark(QPainter& painter, QPointF at, bool up, double size) {
    const double tip = up ? -size : size;
    const QPointF corners[] = {at + QPointF(0, tip), at + QPointF(-size * 0.7, -tip * 0.4),
                               at + QPointF(size * 0.7, -tip * 0.4)};
    painter.setPen(Qt::NoPen);
    painter.setBrush(kTrigger);
    painter.drawPolygon(corners, 3);
}

void DrawType(QPainter& painter, const QRectF& band, int type, const QPalette& palette) {
    const QRectF chart = band.adjusted(1.5, 2.5, -1.5, -2.5);
    painter.setPen(QPen(palette.color(QPalette::Mid), 1));
    painter.setBrush(palette.color(QPalette::Base));
    painter.drawRect(chart);
    const QRectF inner = chart.adjusted(4, 3, -4, -3);
    const double amplitude = inner.height() / 2;
    const double levelY = inner.center().y() - kLevel * amplitude;
    painter.setPen(QPen(palette.color(QPalette::Dark), 1, Qt::DashLine));
    painter.drawLine(QPointF(chart.left() + 1, levelY), QPointF(chart.right() - 1, levelY));

    const QPainterPath signal = Signal(inner, amplitude);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette.color(QPalette::Text), 1));
    painter.drawPath(signal);
    if (type == 0 || type == 3) { // the part of the signal that counts, thick
        painter.save();
        const QRectF above(chart.left(), chart.top(), chart.width(), levelY - chart.top());
        const QRectF below(chart.left(), levelY, chart.width(), chart.bottom() - levelY);
        painter.setClipRect(type == 0 ? above : below);
        painter.setPen(QPen(kTrigger, 2.2));
        painter.drawPath(signal);
        painter.restore();
        return;
    }
    const bool up = type == 1;
    const double x = inner.left() + (up ? kCrossUp : kCrossDown) * inner.width();
    CrossingMark(painter, QPointF(x, levelY), up, std::max(3.0, inner.height() / 3));
}

} // namespace

SyncTypesPicture::SyncTypesPicture(QWidget* parent) : QWidget(parent) {}

QSize SyncTypesPicture::sizeHint() const {
    const int line = fontMetrics().height();
    return {line * 4, line * kTypes};
}

// Four bands of equal height, so that each chart stands beside its option.
void SyncTypesPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double band = static_cast<double>(height()) / kTypes;
    for (int type = 0; type < kTypes; ++type)
        DrawType(painter, QRectF(0, type * band, width(), band), type, palette());
}

LogoPicture::LogoPicture(std::function<void()> clicked, QWidget* parent)
    : QWidget(parent), clicked_(std::move(clicked)) {
    setCursor(Qt::PointingHandCursor);
}

QSize LogoPicture::sizeHint() const {
    const int side = fontMetrics().height() * 7 / 2;
    return {side, side};
}

// A tile with one period of a sine wave: the first half drawn as it is, the
// second as the steps its samples make.
void LogoPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    const QRectF tile((width() - side) / 2 + 0.5, 0.5, side - 1, side - 1);
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0, QColor(0x1f, 0x6f, 0x8f));
    fill.setColorAt(1, QColor(0x0d, 0x3b, 0x55));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(tile, side * 0.18, side * 0.18);

    const QRectF wave = tile.adjusted(side * 0.16, side * 0.24, -side * 0.16, -side * 0.24);
    const double mid = wave.center().y(), amplitude = wave.height() / 2;
    auto x = [&](double u) { return wave.left() + u * wave.width(); };
    auto y = [&](double u) { return mid - amplitude * std::sin(2 * std::numbers::pi * u); };
    QPainterPath analog;
    analog.moveTo(x(0), y(0));
    for (int k = 1; k <= 24; ++k) analog.lineTo(x(0.5 * k / 24), y(0.5 * k / 24));
    constexpr int kSteps = 5;
    QPainterPath samples;
    samples.moveTo(x(0.5), y(0.5));
    for (int k = 0; k < kSteps; ++k) {
        const double from = 0.5 + 0.5 * k / kSteps, to = from + 0.5 / kSteps;
        const double held = y((from + to) / 2); // each step holds the sample taken in its middle
        samples.lineTo(x(from), held);
        samples.lineTo(x(to), held);
    }
    painter.setBrush(Qt::NoBrush);
    const double pen = std::max(1.5, side * 0.055);
    painter.setPen(QPen(Qt::white, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(analog);
    painter.setPen(QPen(QColor(0xff, 0xc8, 0x57), pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(samples);
}

void LogoPicture::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && clicked_)
        clicked_();
}

} // namespace velmora::ui
