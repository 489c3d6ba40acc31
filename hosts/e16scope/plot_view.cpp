#include "plot_view.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace e16scope {

PlotView::PlotView(QWidget* parent) : QCustomPlot(parent) {
    setObjectName(QStringLiteral("plot"));
    setNotAntialiasedElements(QCP::aeAll);
    setPlottingHint(QCP::phFastPolylines, true);
    xAxis->setLabel(tr("Time, s"));
    yAxis->setLabel(tr("Volts"));
    setMouseTracking(true);
}

void PlotView::SetTraces(std::vector<TraceStyle> traces) {
    traces_ = std::move(traces);
    clearGraphs();
    for (const TraceStyle& trace : traces_) {
        QCPGraph* graph = addGraph();
        graph->setName(trace.name);
        graph->setPen(QPen(trace.colour));
        graph->setAdaptiveSampling(false); // the columns are already one per pixel
    }
}

void PlotView::SetOffset(std::size_t trace, double volts) {
    if (trace < traces_.size()) traces_[trace].offset = volts;
}

void PlotView::SetAutoscale(bool on) {
    autoscale_ = on;
}

std::size_t PlotView::PixelColumns() const {
    return static_cast<std::size_t>(std::max(axisRect()->width(), 100));
}

void PlotView::Show(const TraceColumns& columns, double rate, double windowSeconds) {
    const std::size_t count = columns.Count(), perColumn = columns.KadrsPerColumn();
    const uint64_t first = columns.Completed() - count;
    const double secondsPerColumn = static_cast<double>(perColumn) / rate;
    double low = std::numeric_limits<double>::max(), high = -low, fullScale = 0;
    for (std::size_t c = 0; c < traces_.size() && c < columns.Channels(); ++c) {
        const TraceStyle& trace = traces_[c];
        const double scale = 1.0 / trace.codesPerVolt;
        QVector<QCPGraphData> points(static_cast<qsizetype>(2 * count));
        for (std::size_t i = 0; i < count; ++i) {
            const MinMax pair = columns.At(c, i);
            const double t = static_cast<double>(first + i) * secondsPerColumn;
            points[static_cast<qsizetype>(2 * i)] = {t, pair.min * scale + trace.offset};
            points[static_cast<qsizetype>(2 * i + 1)] = {t, pair.max * scale + trace.offset};
            low = std::min(low, pair.min * scale + trace.offset);
            high = std::max(high, pair.max * scale + trace.offset);
        }
        graph(static_cast<int>(c))->data()->set(points, true);
        fullScale = std::max(fullScale, 32000.0 * scale + std::fabs(trace.offset));
    }
    const double end = std::max(windowSeconds, static_cast<double>(columns.Completed()) * secondsPerColumn);
    xAxis->setRange(end - windowSeconds, end);
    if (autoscale_ && high >= low) {
        const double margin = std::max((high - low) * 0.05, 1e-3);
        yAxis->setRange(low - margin, high + margin);
    } else if (!autoscale_ && fullScale > 0) {
        yAxis->setRange(-fullScale, fullScale);
    }
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
    QCustomPlot::mouseMoveEvent(event);
    const double t = xAxis->pixelToCoord(event->position().x());
    const double v = yAxis->pixelToCoord(event->position().y());
    QString text = tr("t = %1 s, %2 V").arg(t, 0, 'f', 6).arg(v, 0, 'f', 4);
    // The trace nearest the pointer, and its value under it.
    double nearest = std::numeric_limits<double>::max();
    for (int g = 0; g < graphCount(); ++g) {
        const auto data = graph(g)->data();
        auto at = data->findBegin(t, false);
        if (at == data->constEnd()) continue;
        if (std::fabs(at->value - v) < nearest) {
            nearest = std::fabs(at->value - v);
            text = tr("t = %1 s, %2: %3 V")
                       .arg(at->key, 0, 'f', 6)
                       .arg(graph(g)->name())
                       .arg(at->value, 0, 'f', 4);
        }
    }
    emit CursorText(text);
}

} // namespace e16scope
