// The XY plot: one channel's volts against another's, every sample a dot.
// The samples are rasterized into the plot area's pixels at each redraw, so a
// million of them draw in milliseconds and none is lost. Owns a copy of them.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include <qcustomplot.h>

#include <vector>

namespace e16scope {

// The samples as pixels: the dots of (x[i], y[i]) over `size` pixels spanning
// the two ranges, in `colour` on a transparent ground; y grows upwards.
QImage RasterizeXy(const std::vector<double>& x, const std::vector<double>& y, const QCPRange& xRange,
                   const QCPRange& yRange, QSize size, QColor colour);

class Dots;

class XyView : public QCustomPlot {
    Q_OBJECT
public:
    explicit XyView(QWidget* parent = nullptr);

    // Pairs past the shorter of x and y are left out; replot() draws them.
    void Show(const std::vector<double>& x, const std::vector<double>& y, const QString& xName,
              const QString& yName, QColor colour);
    // Says, through CursorText, both channels' volts at `pos`.
    void Readout(QPointF pos);

signals:
    void CursorText(const QString& text);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    std::vector<double> x_, y_;
    QString xName_, yName_;
    Dots* dots_;
};

} // namespace e16scope
