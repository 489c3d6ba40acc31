// The channel panel: a row per logical channel with the driver's name, a
// check box, its input range, an offset in volts and the colour of its trace.
// Ranges and selection count from the next start; offsets at once.
#pragma once

#include "scope_session.h"

#include <QColor>
#include <QStringList>
#include <QTableWidget>

#include <vector>

namespace e16scope {

class NumberBox;

class ChannelPanel : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kChannels = 32;
    explicit ChannelPanel(QWidget* parent = nullptr);

    void SetNames(const QStringList& names);
    // The first `rows` rows only: a stream's channels, with no driver's
    // names past them to read as a second Y16.
    void ShowRows(int rows);
    void SetRangeNames(const QStringList& names);
    // A range by its number in the names; any other shows none.
    void SetRange(int channel, int range);
    int Range(int channel) const;
    std::vector<ChannelChoice> Choices() const;
    QList<int> Checked() const;
    void SetChecked(const QList<int>& channels);
    double Offset(int channel) const;
    // The offset in decimals of a code of the channel's range, once a
    // recording says how many codes a volt it has.
    void SetOffsetScale(int channel, double codesPerVolt);
    static QColor Colour(int channel);
    // Selection and ranges are fixed while recording.
    void SetRecording(bool recording);

signals:
    void OffsetChanged(int channel, double volts);

private:
    NumberBox* OffsetBox(int channel) const;
    // The offset box's name in a refusal.
    static QString OffsetName(const QString& channel);
};

} // namespace e16scope
