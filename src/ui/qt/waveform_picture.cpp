#include "ui/qt/waveform_picture.h"

#include <QPainter>
#include <QPolygon>

#include <array>
#include <cmath>
#include <numbers>
#include <random>

namespace velmora::ui {
namespace {

using core::Waveform;

// Rows of the levels: the wave swings between kTop and kBottom around
// kBase; kZero is 0 V. The marks stand left of kLeft.
constexpr int kTop = 6;
constexpr int kBase = 17;
constexpr int kBottom = 28;
constexpr int kZero = 30;
constexpr int kLeft = 24;
constexpr int kSpanA = 14; // the columns of the marks' arrows
constexpr int kSpanB = 4;
constexpr int kRight = 199;
constexpr int kPeriod = 88; // two periods across
constexpr int kGridStep = 22;
constexpr int kNoiseStep = 3;
constexpr unsigned kNoiseSeed = 16;

const QColor kTrace(220, 0, 0);
const QColor kMark(0, 0, 128);
const QColor kGrid(220, 220, 220);
const QColor kAxis(128, 128, 128);

// 5 x 7 letters, one row a string, so that no font can change the picture.
using Glyph = std::array<const char*, 7>;
constexpr Glyph kLetterA = {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"};
constexpr Glyph kLetterB = {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."};

void DrawGlyph(QPainter& p, const Glyph& glyph, int left, int top) {
    for (int row = 0; row < static_cast<int>(glyph.size()); ++row)
        for (int col = 0; glyph[static_cast<std::size_t>(row)][col] != '\0'; ++col)
            if (glyph[static_cast<std::size_t>(row)][col] == '#') p.drawPoint(left + col, top + row);
}

// A vertical arrow with a head at both ends, from row y1 down to row y2.
void DrawSpan(QPainter& p, int x, int y1, int y2) {
    p.drawLine(x, y1, x, y2);
    p.drawLine(x - 2, y1 + 2, x + 2, y1 + 2);
    p.drawLine(x - 1, y1 + 1, x + 1, y1 + 1);
    p.drawLine(x - 2, y2 - 2, x + 2, y2 - 2);
    p.drawLine(x - 1, y2 - 1, x + 1, y2 - 1);
}

void DrawGrid(QPainter& p) {
    p.setPen(kGrid);
    for (int x = kLeft; x <= kRight; x += kGridStep) p.drawLine(x, kTop - 3, x, kZero);
    for (int y : {kTop, kBase, kBottom}) p.drawLine(kLeft, y, kRight, y);
    p.setPen(kAxis);
    p.drawLine(kLeft, kZero, kRight, kZero);
}

// Amplitude from the baseline, baseline from 0 V; DC has its level as the
// amplitude, measured from 0 V.
void DrawMarks(QPainter& p, Waveform kind) {
    p.setPen(kMark);
    if (kind == Waveform::Dc) {
        DrawSpan(p, kSpanA, kTop, kZero);
        DrawGlyph(p, kLetterA, kSpanA + 3, kBase - 3);
        return;
    }
    DrawSpan(p, kSpanA, kTop, kBase);
    DrawGlyph(p, kLetterA, kSpanA + 3, kTop + 2);
    DrawSpan(p, kSpanB, kBase, kZero);
    DrawGlyph(p, kLetterB, kSpanB + 3, kBase + 3);
}

// One period's shape, -1 .. 1, at the fraction t of the period.
double Shape(Waveform kind, double t) {
    switch (kind) {
    case Waveform::Sine:
        return std::sin(2 * std::numbers::pi * t);
    case Waveform::Pulse:
        return t < 0.5 ? 1.0 : -1.0;
    case Waveform::Ramp:
        return 2 * t - 1;
    case Waveform::Triangle:
        return t < 0.25 ? 4 * t : t < 0.75 ? 2 - 4 * t : 4 * t - 4;
    default:
        return 0.0;
    }
}

int Row(double v) {
    return kBase - static_cast<int>(std::lround(v * (kBase - kTop)));
}

QPolygon Trace(Waveform kind) {
    QPolygon trace;
    switch (kind) {
    case Waveform::Dc:
        trace << QPoint(kLeft, kTop) << QPoint(kRight, kTop);
        break;
    case Waveform::Noise: {
        std::minstd_rand draw(kNoiseSeed); // its sequence is fixed by the standard
        for (int x = kLeft; x <= kRight; x += kNoiseStep)
            trace << QPoint(x, kTop + static_cast<int>(draw() % (kBottom - kTop + 1)));
        break;
    }
    case Waveform::Sine:
    case Waveform::Pulse:
    case Waveform::Ramp:
    case Waveform::Triangle:
        for (int x = kLeft; x <= kRight; ++x) {
            const double t = static_cast<double>((x - kLeft) % kPeriod) / kPeriod;
            trace << QPoint(x, Row(Shape(kind, t)));
        }
        break;
    default:
        trace << QPoint(kLeft, kZero) << QPoint(kRight, kZero);
        break;
    }
    return trace;
}

bool Known(Waveform kind) {
    const auto code = static_cast<int16_t>(kind);
    return code >= 0 && code < core::kWaveformCount;
}

} // namespace

QImage WaveformPicture(Waveform kind) {
    if (!Known(kind)) kind = Waveform::Off;
    QImage image(kWaveformPictureSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(kAxis);
    p.drawRect(0, 0, image.width() - 1, image.height() - 1);
    DrawGrid(p);
    if (kind != Waveform::Off) DrawMarks(p, kind);
    p.setPen(kTrace);
    p.drawPolyline(Trace(kind));
    return image;
}

} // namespace velmora::ui
