#include "spectrum_view.h"

#include "user_number.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace e16scope {

namespace {

// The point of `graph` nearest to pixel column `x`, or null when it has none.
const QCPGraphData* NearestInX(QCPGraph& graph, double x) {
    const auto data = graph.data();
    if (data->isEmpty()) return nullptr;
    QCPAxis& axis = *graph.keyAxis();
    auto after = data->findBegin(axis.pixelToCoord(x), false);
    if (after == data->constEnd()) return &*(after - 1);
    if (after == data->constBegin()) return &*after;
    const auto before = after - 1;
    const bool beforeIsNearer =
        std::fabs(axis.coordToPixel(before->key) - x) < std::fabs(axis.coordToPixel(after->key) - x);
    return beforeIsNearer ? &*before : &*after;
}

} // namespace

std::vector<int> BinColumns(const std::vector<double>& frequencies, std::size_t columns, bool logFrequency) {
    std::vector<int> binColumns(frequencies.size(), -1);
    const auto placed = std::find_if(frequencies.begin(), frequencies.end(),
                                     [logFrequency](double f) { return !logFrequency || f > 0; });
    if (placed == frequencies.end() || columns == 0) return binColumns;
    const auto place = [logFrequency](double f) { return logFrequency ? std::log10(f) : f; };
    const double low = place(*placed), span = place(frequencies.back()) - low;
    const double perUnit = span > 0 ? static_cast<double>(columns) / span : 0;
    for (auto f = placed; f != frequencies.end(); ++f) {
        // The top bin falls in the last column rather than one of its own.
        const double column = std::clamp((place(*f) - low) * perUnit, 0.0, static_cast<double>(columns - 1));
        binColumns[static_cast<std::size_t>(f - frequencies.begin())] = static_cast<int>(column);
    }
    return binColumns;
}

QVector<QCPGraphData> PeakPerColumn(const std::vector<double>& frequencies, const std::vector<double>& dbv,
                                    const std::vector<int>& binColumns) {
    QVector<QCPGraphData> points;
    const std::size_t bins = std::min({frequencies.size(), dbv.size(), binColumns.size()});
    int column = -1;
    for (std::size_t i = 0; i < bins; ++i) {
        // A bin of no magnitude at all (-inf) has no place on the plot either.
        if (binColumns[i] < 0 || !std::isfinite(dbv[i])) continue;
        if (binColumns[i] != column) {
            points.push_back({frequencies[i], dbv[i]});
            column = binColumns[i];
        } else if (dbv[i] > points.back().value) {
            points.back() = {frequencies[i], dbv[i]};
        }
    }
    return points;
}

SpectrumView::SpectrumView(QWidget* parent) : QCustomPlot(parent) {
    setObjectName(QStringLiteral("spectrum"));
    setNotAntialiasedElements(QCP::aeAll);
    setPlottingHint(QCP::phFastPolylines, true);
    xAxis->setLabel(tr("Frequency, Hz"));
    yAxis->setLabel(tr("Magnitude, dBV"));
    // The lowest bins fall in the first pixel column, the y axis's own: a
    // tone of a few hertz in a wide span would hide under its line, so the
    // traces are drawn over the axes.
    for (QCPAxis* axis : {xAxis, yAxis}) axis->setLayer(QStringLiteral("grid"));
    setMouseTracking(true);
}

void SpectrumView::SetTraces(std::vector<TraceStyle> traces) {
    traces_ = std::move(traces);
    clearGraphs();
    for (const TraceStyle& trace : traces_) {
        QCPGraph* graph = addGraph();
        graph->setName(trace.name);
        graph->setPen(QPen(trace.colour));
        graph->setAdaptiveSampling(false); // already a point or so per pixel column
    }
    Reduce();
}

void SpectrumView::SetLogFrequency(bool on) {
    log_ = on;
    if (on) {
        xAxis->setScaleType(QCPAxis::stLogarithmic);
        xAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    } else {
        xAxis->setScaleType(QCPAxis::stLinear);
        xAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    }
    Reduce();
    SetRanges();
}

void SpectrumView::Show(const std::vector<double>& frequencies, const std::vector<std::vector<double>>& dbv) {
    frequencies_ = frequencies;
    dbv_ = dbv;
    Reduce();
    SetRanges();
}

void SpectrumView::Reduce() {
    // The widget's width bounds the plot area's, and is known before the
    // first layout.
    reducedColumns_ = static_cast<std::size_t>(std::max(width(), 100));
    const std::vector<int> binColumns = BinColumns(frequencies_, reducedColumns_, log_);
    for (int g = 0; g < graphCount(); ++g) {
        const auto trace = static_cast<std::size_t>(g);
        graph(g)->data()->set(trace < dbv_.size() ? PeakPerColumn(frequencies_, dbv_[trace], binColumns)
                                                  : QVector<QCPGraphData>{},
                              true);
    }
}

void SpectrumView::SetRanges() {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (int g = 0; g < graphCount(); ++g) {
        for (const QCPGraphData& point : *graph(g)->data()) {
            low = std::min(low, point.value);
            high = std::max(high, point.value);
        }
    }
    if (high >= low) {
        low = std::max(low, high - kDepthDb);
        const double margin = std::max((high - low) * 0.05, 1.0);
        yAxis->setRange(low - margin, high + margin);
    }
    const auto placed =
        std::find_if(frequencies_.begin(), frequencies_.end(), [this](double f) { return !log_ || f > 0; });
    if (placed != frequencies_.end() && frequencies_.back() > *placed)
        xAxis->setRange(*placed, frequencies_.back());
}

QString SpectrumView::FrequencyText(double hertz) const {
    // As many decimals as tell one bin from the next.
    int decimals = 3;
    if (frequencies_.size() > 1) {
        const double step =
            (frequencies_.back() - frequencies_.front()) / static_cast<double>(frequencies_.size() - 1);
        if (step > 0) decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
    }
    return UserNumber(hertz, 'f', decimals);
}

void SpectrumView::mouseMoveEvent(QMouseEvent* event) {
    QCustomPlot::mouseMoveEvent(event);
    Readout(event->position());
}

void SpectrumView::Readout(QPointF at) {
    QString text = tr("f = %1 Hz, %2 dBV")
                       .arg(FrequencyText(xAxis->pixelToCoord(at.x())))
                       .arg(UserNumber(yAxis->pixelToCoord(at.y()), 'f', 2));
    double nearest = std::numeric_limits<double>::infinity();
    for (int g = 0; g < graphCount(); ++g) {
        const QCPGraphData* point = NearestInX(*graph(g), at.x());
        if (point == nullptr) continue;
        const double distance = std::fabs(yAxis->coordToPixel(point->value) - at.y());
        if (distance >= nearest) continue;
        nearest = distance;
        text = tr("f = %1 Hz, %2: %3 dBV")
                   .arg(FrequencyText(point->key))
                   .arg(graph(g)->name())
                   .arg(UserNumber(point->value, 'f', 2));
    }
    emit CursorText(text);
}

void SpectrumView::resizeEvent(QResizeEvent* event) {
    if (static_cast<std::size_t>(std::max(width(), 100)) != reducedColumns_) Reduce();
    QCustomPlot::resizeEvent(event);
}

} // namespace e16scope
