// The spectrum plot: each trace's magnitude in dBV against frequency in Hz,
// on a linear or logarithmic frequency axis, reduced to the peak of each pixel
// column before drawing, with a cursor readout. Owns a copy of the spectra.
#pragma once

#include "plot_view.h"

#include <QString>

#include <qcustomplot.h>

#include <cstddef>
#include <vector>

namespace e16scope {

// The pixel column of each bin across `columns` columns, -1 for a bin a
// log axis has no place for (0 Hz and below). Shared by all traces.
std::vector<int> BinColumns(const std::vector<double>& frequencies, std::size_t columns, bool logFrequency);
// The points drawn for one trace: per column, the highest bin at its own
// frequency, so a single-bin peak keeps its level and place.
QVector<QCPGraphData> PeakPerColumn(const std::vector<double>& frequencies, const std::vector<double>& dbv,
                                    const std::vector<int>& binColumns);

class SpectrumView : public QCustomPlot {
    Q_OBJECT
public:
    // The lowest level shown, in dB below the highest peak: a 16-bit
    // input's range and a long transform's gain, so a quiet noise floor shows.
    static constexpr double kDepthDb = 140;

    explicit SpectrumView(QWidget* parent = nullptr);

    void SetTraces(std::vector<TraceStyle> traces);
    void SetLogFrequency(bool on);
    // dbv holds a row per trace, each as long as `frequencies`; replot()
    // draws them.
    void Show(const std::vector<double>& frequencies, const std::vector<std::vector<double>>& dbv);
    // Says, through CursorText, the frequency and level at `pos` and the trace nearest it there.
    void Readout(QPointF pos);

signals:
    void CursorText(const QString& text);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Reduce();
    void SetRanges();
    QString FrequencyText(double hertz) const;

    std::vector<TraceStyle> traces_;
    std::vector<double> frequencies_;
    std::vector<std::vector<double>> dbv_;
    std::size_t reducedColumns_ = 0;
    bool log_ = false;
};

} // namespace e16scope
