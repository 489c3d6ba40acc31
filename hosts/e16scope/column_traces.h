// The plot's traces as QCustomPlot draws them: each channel's min/max column
// pairs, kept as codes, rasterised as one vertical segment per column plus the
// joins between neighbours by ColumnRaster into an image the painter blits.
#pragma once

#include "column_raster.h"
#include "trace_columns.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <qcustomplot.h>

#include <utility>
#include <vector>

namespace e16scope {

struct TraceStyle {
    QString name;
    QColor colour;
    float codesPerVolt = 1;
    double offset = 0; // volts added to the trace
};

class ColumnTraces : public QCPLayerable {
    Q_OBJECT
public:
    ColumnTraces(QCPAxis* keyAxis, QCPAxis* valueAxis);

    void SetStyles(std::vector<TraceStyle> styles);
    void SetOffset(std::size_t trace, double volts);
    std::size_t Traces() const { return styles_.size(); }
    const TraceStyle& Style(std::size_t trace) const { return styles_.at(trace); }

    // Copies the columns of the styled channels; column 0 starts at
    // `firstSeconds`, each `secondsPerColumn` wide.
    void Take(const TraceColumns& columns, double firstSeconds, double secondsPerColumn);
    std::size_t Columns() const { return count_; }
    double Time(std::size_t column) const { return first_ + static_cast<double>(column) * step_; }
    // The column holding `seconds`, or Columns() when none does.
    std::size_t ColumnAt(double seconds) const;
    // Whether a column holds samples: those in a gap of the kadrs do not.
    bool Has(std::size_t trace, std::size_t column) const { return !columns_.at(trace).at(column).Empty(); }
    // A column's min and max in volts, the offset included.
    std::pair<double, double> Extent(std::size_t trace, std::size_t column) const;
    // The lowest and highest volts drawn; false with no column.
    bool Limits(double& low, double& high) const;
    // The largest full scale (32000 codes) of the traces, offsets included.
    double FullScale() const;

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    QRect clipRect() const override;
    void draw(QCPPainter* painter) override;

private:
    // One trace's columns in the area's pixels for the axes' current ranges,
    // left to right; returns the rectangle they span.
    QRect Pixels(std::size_t trace, const QRect& area, std::vector<PixelColumn>& pixels) const;
    // The trace's lines over the band of columns ending at `right`.
    void DrawBand(std::size_t trace, int right);

    QCPAxis *key_, *value_;
    std::vector<TraceStyle> styles_;
    std::vector<std::vector<MinMax>> columns_; // per trace
    std::size_t count_ = 0;
    double first_ = 0, step_ = 1;
    std::vector<std::vector<PixelColumn>> pixels_; // per trace, reused between draws
    std::vector<std::size_t> next_;                // per trace, its last column left of the current band
    ColumnRaster raster_;
    QImage image_; // the plot area's pixels; only the rectangle last drawn is valid
};

} // namespace e16scope
