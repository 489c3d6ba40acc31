#include "measurement_table.h"

#include "user_number.h"

#include <QHeaderView>

#include <cmath>

namespace e16scope {

namespace {

const QString kNone = QStringLiteral("\u2014");

QString Fixed(double value, int decimals) {
    if (!std::isfinite(value)) return kNone;
    // A difference of nearly nothing reads 0, not -0.
    const double scale = std::pow(10.0, decimals);
    return UserNumber(std::round(value * scale) == 0 ? 0.0 : value, 'f', decimals);
}

// Read-only rows a line of text high, columns as wide as their contents.
void MakeCompact(QTableWidget& table, const QStringList& headers) {
    table.setColumnCount(static_cast<int>(headers.size()));
    table.setHorizontalHeaderLabels(headers);
    table.verticalHeader()->hide();
    table.verticalHeader()->setMinimumSectionSize(table.fontMetrics().height() + 4);
    table.verticalHeader()->setDefaultSectionSize(table.fontMetrics().height() + 4);
    table.horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.setSelectionMode(QAbstractItemView::NoSelection);
    table.setSortingEnabled(false);
    table.setWordWrap(false);
    table.setTabKeyNavigation(false); // nothing to edit: Tab goes on
}

// The channel's swatch and decimals, or a transparent swatch (keeping the
// room, its name in line with the rest) and 4 decimals for a row of none.
TableChannel Channel(const std::vector<TableChannel>& channels, std::size_t channel) {
    return channel < channels.size() ? channels[channel] : TableChannel{Qt::transparent};
}

void SetName(QTableWidget& table, int row, const QString& name, const QColor& colour) {
    auto* item = new QTableWidgetItem(name);
    item->setFlags(Qt::ItemIsEnabled);
    item->setData(Qt::DecorationRole, colour);
    table.setItem(row, 0, item);
}

QTableWidgetItem* SetNumber(QTableWidget& table, int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table.setItem(row, column, item);
    return item;
}

// An extreme at the range's end bounds the input rather than measures it.
void SetExtreme(QTableWidget& table, int row, int column, const QString& volts, bool clipped,
                const QString& bound) {
    if (!clipped) {
        SetNumber(table, row, column, volts);
        return;
    }
    QTableWidgetItem* item = SetNumber(table, row, column, bound + volts);
    item->setForeground(QColor(0xd0, 0x20, 0x20));
    item->setToolTip(
        QObject::tr("Clipped: the input reached the end of its range, and beyond it reads the same"));
}

} // namespace

QString VoltsText(double volts, int decimals) {
    return Fixed(volts, decimals);
}

QString SecondsText(double seconds) {
    return Fixed(seconds, 6);
}

QString HertzText(double hertz, double step) {
    return Fixed(hertz, FrequencyDecimals(hertz, step));
}

QString RateText(double kadrsPerSecond) {
    return QStringLiteral("%1 kadrs/s").arg(UserNumber(kadrsPerSecond, 'g', 7));
}

MeasurementTable::MeasurementTable(QWidget* parent) : QTableWidget(parent) {
    setObjectName(QStringLiteral("measurements"));
    MakeCompact(*this, {tr("Channel"), tr("Min, V"), tr("Max, V"), tr("Mean, V"), tr("RMS, V"),
                        tr("Peak-to-peak, V"), tr("Frequency, Hz")});
}

void MeasurementTable::SetChannels(std::vector<TableChannel> channels) {
    channels_ = std::move(channels);
}

void MeasurementTable::Show(const QStringList& names, const std::vector<Measurement>& rows) {
    const std::size_t count = std::min(static_cast<std::size_t>(names.size()), rows.size());
    setRowCount(static_cast<int>(count));
    for (std::size_t r = 0; r < count; ++r) {
        const int row = static_cast<int>(r);
        const Measurement& m = rows[r];
        const TableChannel channel = Channel(channels_, r);
        const auto volts = [&channel](double v) { return VoltsText(v, channel.decimals); };
        SetName(*this, row, names[row], channel.colour);
        // A view wholly at one end bounds both extremes, from that side.
        const bool atTop = m.clippedHigh && m.min == m.max, atBottom = m.clippedLow && m.min == m.max;
        const QString below = QStringLiteral("\u2264 "), above = QStringLiteral("\u2265 ");
        SetExtreme(*this, row, 1, volts(m.min), m.clippedLow || atTop, atTop ? above : below);
        SetExtreme(*this, row, 2, volts(m.max), m.clippedHigh || atBottom, atBottom ? below : above);
        int column = 3;
        for (double v : {m.mean, m.rms, m.vpp}) SetNumber(*this, row, column++, volts(v));
        SetNumber(*this, row, column, HertzText(m.freq, m.freqStep));
    }
}

CursorTable::CursorTable(QWidget* parent) : QTableWidget(parent) {
    setObjectName(QStringLiteral("cursors"));
    MakeCompact(*this, {QString(), tr("t1"), tr("t2"), tr("t2 \u2212 t1")});
}

void CursorTable::SetChannels(std::vector<TableChannel> channels) {
    channels_ = std::move(channels);
}

void CursorTable::Show(double t1, double t2, const QStringList& names,
                       const std::vector<std::array<double, 2>>& atCursors) {
    const std::size_t count = std::min(static_cast<std::size_t>(names.size()), atCursors.size());
    setRowCount(static_cast<int>(2 + count));
    const double dt = t2 - t1;
    SetName(*this, 0, tr("Time, s"), Qt::transparent);
    SetNumber(*this, 0, 1, SecondsText(t1));
    SetNumber(*this, 0, 2, SecondsText(t2));
    SetNumber(*this, 0, 3, SecondsText(dt));
    SetName(*this, 1, tr("1/\u0394t, Hz"), Qt::transparent);
    SetNumber(*this, 1, 1, QString());
    SetNumber(*this, 1, 2, QString());
    SetNumber(*this, 1, 3, HertzText(dt != 0 ? 1 / std::fabs(dt) : NAN));
    for (std::size_t c = 0; c < count; ++c) {
        const int row = static_cast<int>(2 + c);
        const auto& [at1, at2] = atCursors[c];
        const TableChannel channel = Channel(channels_, c);
        SetName(*this, row, tr("%1, V").arg(names[static_cast<qsizetype>(c)]), channel.colour);
        SetNumber(*this, row, 1, VoltsText(at1, channel.decimals));
        SetNumber(*this, row, 2, VoltsText(at2, channel.decimals));
        SetNumber(*this, row, 3, VoltsText(at2 - at1, channel.decimals));
    }
}

} // namespace e16scope
