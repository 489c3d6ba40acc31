// The measurement table, a row per channel of its min, max, mean, RMS,
// peak-to-peak and frequency, and the cursor table of two time cursors.
// Both show them read-only, "—" where there is none.
#pragma once

#include "measure.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <QTableWidget>

#include <array>
#include <vector>

namespace e16scope {

// Table text: volts to `decimals` (4: a code of ±10 V), microseconds, and
// fewer decimals of a frequency the higher it is, none finer than its `step`
// (FrequencyDecimals); "—" for NaN or infinity.
QString VoltsText(double volts, int decimals = 4);
QString SecondsText(double seconds);
QString HertzText(double hertz, double step = 0);
// A rate to seven significant digits: "166666.7 kadrs/s".
QString RateText(double kadrsPerSecond);

// A channel's swatch and the decimals of its volts: a code of its range or
// finer (CodeDecimals), as the trigger level's.
struct TableChannel {
    QColor colour;
    int decimals = 4;
};

class MeasurementTable : public QTableWidget {
    Q_OBJECT
public:
    explicit MeasurementTable(QWidget* parent = nullptr);

    // Row by row: the swatch of the channel's trace and its decimals.
    void SetChannels(std::vector<TableChannel> channels);
    // A clipped end reads as a bound ("≥ 10.2397"), in red.
    void Show(const QStringList& names, const std::vector<Measurement>& rows);

private:
    std::vector<TableChannel> channels_;
};

// Two time cursors: t1, t2, their distance and its inverse, then each
// channel's volts at both and the change between them.
class CursorTable : public QTableWidget {
    Q_OBJECT
public:
    explicit CursorTable(QWidget* parent = nullptr);

    void SetChannels(std::vector<TableChannel> channels);
    // atCursors holds a channel's volts at t1 and at t2, a pair per name.
    void Show(double t1, double t2, const QStringList& names,
              const std::vector<std::array<double, 2>>& atCursors);

private:
    std::vector<TableChannel> channels_;
};

} // namespace e16scope
