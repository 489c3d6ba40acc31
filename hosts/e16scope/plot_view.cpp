#include "plot_view.h"

#include "user_number.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace e16scope {
namespace {

constexpr double kGrabPixels = 5; // how near a line a press takes it

QCPItemText* Label(QCustomPlot* plot, const QString& text, QColor colour) {
    auto* label = new QCPItemText(plot);
    label->setText(text);
    label->setColor(colour);
    label->setPen(QPen(colour));
    label->setBrush(QColor(255, 255, 255, 220));
    label->setPadding(QMargins(3, 1, 3, 1));
    return label;
}

// Tick labels with the decimals of the step between ticks: ticks 10 ms apart
// still differ at 2000 s from the start, where six significant digits would
// repeat them.
class TimeTicker : public QCPAxisTicker {
protected:
    double getTickStep(const QCPRange& range) override {
        step_ = QCPAxisTicker::getTickStep(range);
        return step_;
    }
    QString getTickLabel(double tick, const QLocale& locale, QChar, int) override {
        int decimals = 0;
        for (double scaled = step_; decimals < 9 && std::fabs(scaled - std::round(scaled)) > 1e-6 * scaled;
             scaled *= 10)
            ++decimals;
        return locale.toString(tick, 'f', decimals);
    }

private:
    double step_ = 1;
};

} // namespace

PlotView::PlotView(QWidget* parent) : QCustomPlot(parent) {
    setObjectName(QStringLiteral("plot"));
    setNotAntialiasedElements(QCP::aeAll);
    xAxis->setLabel(tr("Time, s"));
    xAxis->setTicker(QSharedPointer<TimeTicker>::create());
    yAxis->setLabel(tr("Volts"));
    setMouseTracking(true);
    traces_ = new ColumnTraces(xAxis, yAxis);
    traces_->setLayer(QStringLiteral("main"));
    MakeMarks();
}

// The marks live on the top layer, buffered apart from the traces.
void PlotView::MakeMarks() {
    marks_ = layer(QStringLiteral("overlay"));
    marks_->setMode(QCPLayer::lmBuffered);
    levelLine_ = new QCPItemStraightLine(this);
    levelHandle_ = Label(this, QString(), Qt::black);
    levelHandle_->setPositionAlignment(Qt::AlignRight | Qt::AlignBottom);
    triggerMark_ = new QCPItemLine(this);
    triggerMark_->setHead(QCPLineEnding(QCPLineEnding::esSpikeArrow, 10, 12));
    for (QCPItemPosition* end : {triggerMark_->start, triggerMark_->end}) {
        end->setTypeX(QCPItemPosition::ptPlotCoords);
        end->setTypeY(QCPItemPosition::ptAxisRectRatio);
    }
    triggerMark_->start->setCoords(0, 0);
    triggerMark_->end->setCoords(0, 0.04);
    const QColor cursorColour(60, 60, 60);
    for (int i = 0; i < 2; ++i) {
        cursorLines_[i] = new QCPItemStraightLine(this);
        cursorLines_[i]->setPen(QPen(cursorColour, 1, Qt::DashDotLine));
        cursorLabels_[i] = Label(this, QString::number(i + 1), cursorColour);
        cursorLabels_[i]->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        cursorLabels_[i]->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    for (QCPAbstractItem* item :
         {static_cast<QCPAbstractItem*>(levelLine_), static_cast<QCPAbstractItem*>(levelHandle_),
          static_cast<QCPAbstractItem*>(triggerMark_), static_cast<QCPAbstractItem*>(cursorLines_[0]),
          static_cast<QCPAbstractItem*>(cursorLines_[1]), static_cast<QCPAbstractItem*>(cursorLabels_[0]),
          static_cast<QCPAbstractItem*>(cursorLabels_[1])}) {
        item->setLayer(marks_);
        item->setSelectable(false);
        item->setVisible(false);
    }
}

void PlotView::SetTraces(std::vector<TraceStyle> traces) {
    traces_->SetStyles(std::move(traces));
}

void PlotView::SetOffset(std::size_t trace, double volts) {
    traces_->SetOffset(trace, volts);
}

void PlotView::SetAutoscale(bool on) {
    autoscale_ = on;
}

std::size_t PlotView::PixelColumns() const {
    return static_cast<std::size_t>(std::max(axisRect()->width(), 100));
}

void PlotView::Show(const TraceColumns& columns, double rate, double windowSeconds) {
    const double secondsPerColumn = static_cast<double>(columns.KadrsPerColumn()) / rate;
    const double first = static_cast<double>(columns.Completed() - columns.Count()) * secondsPerColumn;
    traces_->Take(columns, first, secondsPerColumn);
    const double end = std::max(windowSeconds, static_cast<double>(columns.Completed()) * secondsPerColumn);
    SetRanges(end - windowSeconds, windowSeconds);
}

void PlotView::ShowSweep(const TraceColumns& columns, double rate, double firstSeconds,
                         double windowSeconds) {
    traces_->Take(columns, firstSeconds, static_cast<double>(columns.KadrsPerColumn()) / rate);
    // A sweep's first kadr lies up to a kadr after its window's start, whose
    // tick (-0.1 s) would fall off the axis.
    SetRanges(std::floor(firstSeconds * rate + 1e-6) / rate, windowSeconds, true);
}

void PlotView::ShowSpan(double windowSeconds) {
    SetRanges(0, windowSeconds);
    replot();
}

void PlotView::SetRanges(double firstX, double windowSeconds, bool sweep) {
    // Each sweep's first kadr lies elsewhere about the same axis: moved with
    // it, the cursors would walk away sweep after sweep.
    if (!(sweep && sweepShown_)) {
        const double shift = firstX - xAxis->range().lower;
        for (double& t : cursorTimes_) t += shift;
        PlaceCursors();
    }
    sweepShown_ = sweep;
    xAxis->setRange(firstX, firstX + windowSeconds);
    double low = 0, high = 0;
    if (autoscale_ && traces_->Limits(low, high)) {
        const double margin = std::max((high - low) * 0.05, 1e-3);
        yAxis->setRange(low - margin, high + margin);
    } else if (!autoscale_ && traces_->FullScale() > 0) {
        yAxis->setRange(-traces_->FullScale(), traces_->FullScale());
    }
    PlaceLevel();
}

void PlotView::SetTriggerLevel(bool shown, double level, double offset, QColor colour, int decimals) {
    levelLine_->setPen(QPen(colour, 1, Qt::DashLine));
    levelHandle_->setColor(colour);
    levelHandle_->setPen(QPen(colour));
    levelLine_->setVisible(shown);
    levelHandle_->setVisible(shown);
    levelOffset_ = offset;
    levelDecimals_ = decimals;
    MoveLevel(level + offset);
}

void PlotView::MoveLevel(double volts) {
    level_ = volts;
    PlaceLevel();
    marks_->replot();
}

// Two pixels inside the plot, clear of the axis drawn along its edge.
double PlotView::ShownLevel() const {
    const QCPRange range = yAxis->range();
    const double margin = 2 * range.size() / std::max(axisRect()->height(), 1);
    return std::clamp(level_, range.lower + margin, range.upper - margin);
}

// A level off the plot stays at its nearer edge, its label inside the plot
// with an arrow towards it, so that it can be seen and dragged back.
void PlotView::PlaceLevel() {
    const double shown = ShownLevel();
    levelLine_->point1->setCoords(0, shown);
    levelLine_->point2->setCoords(1, shown);
    levelHandle_->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
    levelHandle_->position->setTypeY(QCPItemPosition::ptPlotCoords);
    levelHandle_->position->setCoords(1, shown);
    const bool above = level_ > yAxis->range().upper, below = level_ < yAxis->range().lower;
    levelHandle_->setPositionAlignment(Qt::AlignRight | (above ? Qt::AlignTop : Qt::AlignBottom));
    const QString arrow = above ? QStringLiteral(" \u25b2") : below ? QStringLiteral(" \u25bc") : QString();
    levelHandle_->setText(tr("T %1 V").arg(UserNumber(level_ - levelOffset_, 'f', levelDecimals_)) + arrow);
}

void PlotView::SetTriggerTime(bool shown) {
    triggerMark_->setVisible(shown);
    marks_->replot();
}

// Shown again, cursors left off the plot (dragged past its edge, or on a
// sweep that now starts elsewhere) come back over it.
void PlotView::SetCursorsShown(bool shown) {
    const QCPRange x = xAxis->range();
    if (shown && (!cursorsPlaced_ || !(x.contains(cursorTimes_[0]) || x.contains(cursorTimes_[1])))) {
        cursorTimes_[0] = x.lower + x.size() / 3;
        cursorTimes_[1] = x.lower + x.size() * 2 / 3;
        cursorsPlaced_ = true;
    }
    for (int i = 0; i < 2; ++i) {
        cursorLines_[i]->setVisible(shown);
        cursorLabels_[i]->setVisible(shown);
    }
    MoveCursors();
}

void PlotView::SetCursorTimes(double t1, double t2) {
    cursorTimes_[0] = t1;
    cursorTimes_[1] = t2;
    cursorsPlaced_ = true;
    MoveCursors();
}

void PlotView::MoveCursors() {
    PlaceCursors();
    marks_->replot();
}

void PlotView::PlaceCursors() {
    for (int i = 0; i < 2; ++i) {
        cursorLines_[i]->point1->setCoords(cursorTimes_[i], 0);
        cursorLines_[i]->point2->setCoords(cursorTimes_[i], 1);
        cursorLabels_[i]->position->setCoords(cursorTimes_[i], 0);
    }
}

PlotView::Drag PlotView::Grab(QPointF pos) const {
    if (levelLine_->visible() && std::fabs(pos.y() - yAxis->coordToPixel(ShownLevel())) <= kGrabPixels)
        return Drag::Level;
    if (!cursorLines_[0]->visible()) return Drag::None;
    const double d1 = std::fabs(pos.x() - xAxis->coordToPixel(cursorTimes_[0]));
    const double d2 = std::fabs(pos.x() - xAxis->coordToPixel(cursorTimes_[1]));
    if (std::min(d1, d2) > kGrabPixels) return Drag::None;
    return d1 <= d2 ? Drag::Cursor1 : Drag::Cursor2;
}

void PlotView::mousePressEvent(QMouseEvent* event) {
    drag_ = event->button() == Qt::LeftButton ? Grab(event->position()) : Drag::None;
    if (drag_ == Drag::None) QCustomPlot::mousePressEvent(event);
}

void PlotView::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_ == Drag::None) QCustomPlot::mouseReleaseEvent(event);
    drag_ = Drag::None;
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    switch (drag_) {
    case Drag::Level:
        MoveLevel(yAxis->pixelToCoord(pos.y()));
        emit TriggerLevelDragged(level_);
        break;
    case Drag::Cursor1:
    case Drag::Cursor2:
        cursorTimes_[drag_ == Drag::Cursor1 ? 0 : 1] = xAxis->pixelToCoord(pos.x());
        MoveCursors();
        emit CursorsMoved(cursorTimes_[0], cursorTimes_[1]);
        break;
    case Drag::None: {
        QCustomPlot::mouseMoveEvent(event);
        const Drag under = Grab(pos);
        setCursor(under == Drag::Level  ? Qt::SizeVerCursor
                  : under != Drag::None ? Qt::SizeHorCursor
                                        : Qt::ArrowCursor);
        break;
    }
    }
    Readout(pos);
}

void PlotView::Readout(QPointF pos) {
    const double t = xAxis->pixelToCoord(pos.x()), v = yAxis->pixelToCoord(pos.y());
    QString text = tr("t = %1 s, %2 V").arg(UserNumber(t, 'f', 6), UserNumber(v, 'f', 4));
    const std::size_t column = traces_->ColumnAt(t);
    double nearest = std::numeric_limits<double>::max();
    for (std::size_t c = 0; c < traces_->Traces() && column < traces_->Columns(); ++c) {
        if (!traces_->Has(c, column)) continue;
        const auto [low, high] = traces_->Extent(c, column);
        const double distance = v < low ? low - v : v > high ? v - high : 0;
        if (distance >= nearest) continue;
        nearest = distance;
        // The channel's volts, as the level's and the cursors' are: without the offset.
        const double offset = traces_->Style(c).offset;
        const QString value =
            low == high
                ? UserNumber(low - offset, 'f', 4)
                : tr("%1 .. %2").arg(UserNumber(low - offset, 'f', 4), UserNumber(high - offset, 'f', 4));
        text = tr("t = %1 s, %2: %3 V")
                   .arg(UserNumber(traces_->Time(column), 'f', 6), traces_->Style(c).name, value);
    }
    emit CursorText(text);
}

} // namespace e16scope
