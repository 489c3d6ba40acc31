#include "channel_panel.h"

#include "panel_inputs.h"
#include "volts_text.h"

#include <QComboBox>
#include <QHeaderView>

#include <array>

namespace e16scope {
namespace {

enum Column { kName, kRange, kOffset, kColour, kColumns };

} // namespace

ChannelPanel::ChannelPanel(QWidget* parent) : QTableWidget(kChannels, kColumns, parent) {
    setObjectName(QStringLiteral("channels"));
    setHorizontalHeaderLabels({tr("Channel"), tr("Range"), tr("Offset, V"), QString()});
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(kColour, QHeaderView::Fixed);
    setColumnWidth(kColour, 16);
    setSelectionMode(QAbstractItemView::NoSelection);
    setTabKeyNavigation(false); // Tab goes through the boxes and on, not round the cells
    for (int c = 0; c < kChannels; ++c) {
        auto* name = new QTableWidgetItem(QString::number(c));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        name->setCheckState(c == 0 ? Qt::Checked : Qt::Unchecked);
        setItem(c, kName, name);
        setCellWidget(c, kRange, new QComboBox);
        auto* offset = new NumberBox(OffsetName(QString::number(c)), tr("V"));
        offset->setRange(-20, 20);
        offset->setDecimals(3);
        offset->setSingleStep(0.5);
        connect(offset, &NumberBox::valueChanged, this, [this, c](double v) { emit OffsetChanged(c, v); });
        setCellWidget(c, kOffset, offset);
        auto* colour = new QTableWidgetItem;
        colour->setFlags(Qt::ItemIsEnabled);
        colour->setBackground(Colour(c));
        setItem(c, kColour, colour);
    }
}

void ChannelPanel::SetNames(const QStringList& names) {
    for (int c = 0; c < kChannels && c < names.size(); ++c) {
        item(c, kName)->setText(names[c]);
        OffsetBox(c)->SetWhat(OffsetName(names[c]));
    }
}

void ChannelPanel::ShowRows(int rows) {
    for (int c = 0; c < kChannels; ++c) setRowHidden(c, c >= rows);
}

void ChannelPanel::SetRangeNames(const QStringList& names) {
    for (int c = 0; c < kChannels; ++c) {
        auto* box = static_cast<QComboBox*>(cellWidget(c, kRange));
        const int current = std::max(box->currentIndex(), 0);
        box->clear();
        box->addItems(names);
        box->setCurrentIndex(std::min(current, static_cast<int>(names.size()) - 1));
    }
}

void ChannelPanel::SetRange(int channel, int range) {
    auto* box = static_cast<QComboBox*>(cellWidget(channel, kRange));
    box->setCurrentIndex(range >= 0 && range < box->count() ? range : -1); // none: not one of these
}

int ChannelPanel::Range(int channel) const {
    return std::max(static_cast<QComboBox*>(cellWidget(channel, kRange))->currentIndex(), 0);
}

std::vector<ChannelChoice> ChannelPanel::Choices() const {
    std::vector<ChannelChoice> choices;
    for (int c : Checked()) choices.push_back({static_cast<int16_t>(c), static_cast<int16_t>(Range(c))});
    return choices;
}

QList<int> ChannelPanel::Checked() const {
    QList<int> checked;
    for (int c = 0; c < kChannels; ++c)
        if (item(c, kName)->checkState() == Qt::Checked) checked.append(c);
    return checked;
}

void ChannelPanel::SetChecked(const QList<int>& channels) {
    for (int c = 0; c < kChannels; ++c)
        item(c, kName)->setCheckState(channels.contains(c) ? Qt::Checked : Qt::Unchecked);
}

double ChannelPanel::Offset(int channel) const {
    return OffsetBox(channel)->value();
}

void ChannelPanel::SetOffsetScale(int channel, double codesPerVolt) {
    OffsetBox(channel)->setDecimals(velmora::hosts::CodeDecimals(codesPerVolt));
}

NumberBox* ChannelPanel::OffsetBox(int channel) const {
    return static_cast<NumberBox*>(cellWidget(channel, kOffset));
}

QString ChannelPanel::OffsetName(const QString& channel) {
    return tr("%1 offset").arg(channel);
}

QColor ChannelPanel::Colour(int channel) {
    // Sixteen colours told apart at a glance; the Y inputs in darker shades.
    static constexpr std::array<QRgb, 16> kColours = {
        0xd62728, 0x1f77b4, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x8c564b, 0xe377c2, 0x17becf,
        0xbcbd22, 0x7f7f7f, 0x393b79, 0xad494a, 0x637939, 0x8c6d31, 0x00a0a0, 0x7b4173};
    const QColor colour(kColours[static_cast<std::size_t>(channel % 16)]);
    return channel < 16 ? colour : colour.darker(150);
}

void ChannelPanel::SetRecording(bool recording) {
    for (int c = 0; c < kChannels; ++c) {
        QTableWidgetItem* name = item(c, kName);
        // Greyed as the range beside it: a check looks as fixed as it is.
        name->setFlags(recording ? Qt::NoItemFlags : Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        cellWidget(c, kRange)->setEnabled(!recording);
    }
}

} // namespace e16scope
