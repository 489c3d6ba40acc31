// The live plot: the trace columns of the selected channels in volts against
// seconds from the start of the recording, over the chosen time window, with
// autoscale or the channels' full scale, per-channel offsets and a cursor
// readout. Draws with QCustomPlot; owns no samples.
#pragma once

#include "trace_columns.h"

#include <QColor>
#include <QString>

#include <qcustomplot.h>

#include <vector>

namespace e16scope {

struct TraceStyle {
    QString name;
    QColor colour;
    float codesPerVolt = 1;
    double offset = 0; // volts added to the trace
};

class PlotView : public QCustomPlot {
    Q_OBJECT
public:
    explicit PlotView(QWidget* parent = nullptr);

    void SetTraces(std::vector<TraceStyle> traces);
    void SetOffset(std::size_t trace, double volts);
    void SetAutoscale(bool on);
    // Copies the columns into the graphs (two points a column: its min and
    // max) and sets the axes; x is seconds, from `rate` kadrs per second.
    // replot() draws them.
    void Show(const TraceColumns& columns, double rate, double windowSeconds);
    // Pixel columns of the plot area: the width the traces are reduced to.
    std::size_t PixelColumns() const;

signals:
    void CursorText(const QString& text);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    std::vector<TraceStyle> traces_;
    bool autoscale_ = true;
};

} // namespace e16scope
