// The live plot: the trace columns of the selected channels in volts against
// seconds, over the chosen time window, with autoscale or the channels' full
// scale, per-channel offsets and a cursor readout; a draggable trigger level
// and two draggable time cursors. Axes by QCustomPlot, traces by ColumnTraces.
#pragma once

#include "column_traces.h"
#include "trace_columns.h"

#include <QColor>
#include <QString>

#include <qcustomplot.h>

#include <vector>

namespace e16scope {

class PlotView : public QCustomPlot {
    Q_OBJECT
public:
    explicit PlotView(QWidget* parent = nullptr);

    void SetTraces(std::vector<TraceStyle> traces);
    void SetOffset(std::size_t trace, double volts);
    void SetAutoscale(bool on);
    // Takes the columns and sets the axes: x is seconds from the recording's
    // start, from `rate` kadrs per second, over the latest window. replot()
    // draws them.
    void Show(const TraceColumns& columns, double rate, double windowSeconds);
    // The same with column 0 at `firstSeconds` (time from a trigger point)
    // and x over `windowSeconds` from the kadr at or before it.
    void ShowSweep(const TraceColumns& columns, double rate, double firstSeconds, double windowSeconds);
    // Nothing recorded yet: x from 0 over `windowSeconds`.
    void ShowSpan(double windowSeconds);
    // Pixel columns of the plot area: the width the traces are reduced to.
    std::size_t PixelColumns() const;
    const ColumnTraces& Traces() const { return *traces_; }

    // A dashed line the user drags vertically, at `level` of a trace drawn
    // `offset` volts up, labelled with the level to `decimals`; one off the
    // plot at its nearer edge.
    void SetTriggerLevel(bool shown, double level, double offset, QColor colour, int decimals);
    // Where the line stands: the level plus its trace's offset.
    double TriggerLevel() const { return level_; }
    QString TriggerLabel() const { return levelHandle_->text(); }
    // A mark at time 0 of a triggered sweep.
    void SetTriggerTime(bool shown);
    // Two vertical time cursors the user drags; shown the first time at a
    // third and two thirds of the visible time. They keep their place on the
    // plot as the axis rolls or changes; from one sweep to the next, whose
    // axis stays, they keep their times.
    void SetCursorsShown(bool shown);
    bool CursorsShown() const { return cursorLines_[0]->visible(); }
    void SetCursorTimes(double t1, double t2);
    std::pair<double, double> CursorTimes() const { return {cursorTimes_[0], cursorTimes_[1]}; }
    // Says, through CursorText, time and volts at `pos` and the trace nearest it there.
    void Readout(QPointF pos);

signals:
    void CursorText(const QString& text);
    void TriggerLevelDragged(double volts);
    void CursorsMoved(double t1, double t2);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Drag { None, Level, Cursor1, Cursor2 };
    void MakeMarks();
    // The axis from `firstX`; cursors keep their place on it unless it shows
    // another sweep of the same axis.
    void SetRanges(double firstX, double windowSeconds, bool sweep = false);
    // What a press at `pos` would drag.
    Drag Grab(QPointF pos) const;
    void MoveLevel(double volts);
    // The level within the value axis's range, and its line and label there.
    double ShownLevel() const;
    void PlaceLevel();
    void MoveCursors();
    void PlaceCursors();

    ColumnTraces* traces_ = nullptr;
    bool autoscale_ = true;
    double level_ = 0;
    double levelOffset_ = 0; // of the trace the level belongs to
    int levelDecimals_ = 3;  // its label's, as the level box has them
    double cursorTimes_[2] = {0, 0};
    bool cursorsPlaced_ = false;
    bool sweepShown_ = false; // the axis is a triggered sweep's or a frozen view's
    Drag drag_ = Drag::None;
    QCPLayer* marks_ = nullptr; // buffered: moving a mark redraws it alone
    QCPItemStraightLine* levelLine_ = nullptr;
    QCPItemText* levelHandle_ = nullptr;
    QCPItemLine* triggerMark_ = nullptr;
    QCPItemStraightLine* cursorLines_[2] = {nullptr, nullptr};
    QCPItemText* cursorLabels_[2] = {nullptr, nullptr};
};

} // namespace e16scope
