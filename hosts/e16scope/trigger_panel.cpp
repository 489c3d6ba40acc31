#include "trigger_panel.h"

#include <QFormLayout>
#include <QHBoxLayout>

#include <algorithm>
#include <cmath>

namespace e16scope {

TriggerPanel::TriggerPanel(QWidget* parent) : QWidget(parent) {
    mode_ = new QComboBox;
    mode_->setObjectName(QStringLiteral("triggerMode"));
    // Each row holds its mode; Off none.
    mode_->addItem(tr("Off"));
    mode_->addItem(tr("Auto"), static_cast<int>(TriggerMode::Auto));
    mode_->addItem(tr("Normal"), static_cast<int>(TriggerMode::Normal));
    mode_->addItem(tr("Single"), static_cast<int>(TriggerMode::Single));
    source_ = new QComboBox;
    source_->setObjectName(QStringLiteral("triggerSource"));
    edge_ = new QComboBox;
    edge_->setObjectName(QStringLiteral("triggerEdge"));
    edge_->addItems({tr("Rising"), tr("Falling")});
    level_ = new NumberBox(tr("Trigger level"), tr("V"));
    level_->setObjectName(QStringLiteral("triggerLevel"));
    level_->setRange(-12, 12);
    level_->setDecimals(3);
    level_->setSingleStep(0.01);
    level_->setSuffix(tr(" V"));
    pretrigger_ = new NumberBox(tr("Pre-trigger"), tr("%"));
    pretrigger_->setObjectName(QStringLiteral("pretrigger"));
    pretrigger_->setRange(0, 100);
    pretrigger_->setDecimals(0);
    pretrigger_->setValue(50);
    pretrigger_->setSuffix(tr(" %"));
    rearm_ = new QPushButton(tr("Re-&arm"));
    rearm_->setObjectName(QStringLiteral("rearm"));
    state_ = new QLabel;
    state_->setObjectName(QStringLiteral("triggerState"));

    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(tr("&Mode"), mode_);
    form->addRow(tr("S&ource"), source_);
    form->addRow(tr("&Edge"), edge_);
    form->addRow(tr("&Level"), level_);
    form->addRow(tr("&Pre-trigger"), pretrigger_);
    auto* row = new QHBoxLayout;
    row->addWidget(rearm_);
    row->addWidget(state_, 1);
    form->addRow(row);

    const auto changed = [this] {
        ShowRearm();
        emit Changed();
    };
    connect(mode_, &QComboBox::currentIndexChanged, this, changed);
    connect(source_, &QComboBox::currentIndexChanged, this, [this, changed] {
        FitLevel();
        changed();
    });
    connect(edge_, &QComboBox::currentIndexChanged, this, changed);
    connect(level_, &QDoubleSpinBox::valueChanged, this, changed);
    connect(pretrigger_, &QDoubleSpinBox::valueChanged, this, changed);
    connect(rearm_, &QPushButton::clicked, this, &TriggerPanel::Rearm);
    rearm_->setEnabled(false);
}

bool TriggerPanel::SetSources(const QStringList& names, std::vector<Reach> reaches) {
    const QString chosen = source_->currentText();
    reaches_ = std::move(reaches);
    {
        const QSignalBlocker quiet(source_);
        source_->clear();
        source_->addItems(names);
        source_->setCurrentIndex(std::max(0, static_cast<int>(names.indexOf(chosen))));
    }
    FitLevel();
    return chosen.isEmpty() || names.contains(chosen);
}

QString TriggerPanel::Source() const {
    return source_->currentText();
}

// A level the source never reaches would never trigger; with no source yet
// the bound stays as it was. The box takes a level to a code of the source's
// range or finer, so that its bounds, rounded to its decimals, stay within
// half a code of the ends: 10.2397 V.
void TriggerPanel::FitLevel() {
    const auto at = static_cast<std::size_t>(source_->currentIndex());
    if (at >= reaches_.size()) return;
    const Reach& reach = reaches_[at];
    level_->setDecimals(LevelDecimals(reach));
    const double step = std::pow(10.0, -level_->decimals());
    level_->setRange(std::round(reach.low / step) * step, std::round(reach.high / step) * step);
}

TriggerSettings TriggerPanel::Settings() const {
    TriggerSettings settings;
    settings.on = Mode().has_value() && source_->count() > 0;
    settings.mode = Mode().value_or(TriggerMode::Auto);
    settings.source = static_cast<std::size_t>(std::max(0, source_->currentIndex()));
    settings.edge = edge_->currentIndex() == 0 ? Edge::Rising : Edge::Falling;
    settings.level = level_->value();
    settings.pretrigger = pretrigger_->value() / 100;
    return settings;
}

void TriggerPanel::SetLevel(double volts) {
    level_->setValue(volts);
}

bool TriggerPanel::Apply(const TriggerChoice& choice, const std::vector<int16_t>& numbers) {
    int at = source_->findText(QString::fromStdString(choice.channel));
    bool number = false;
    const int channel = QString::fromStdString(choice.channel).toInt(&number);
    for (std::size_t i = 0; at < 0 && number && i < numbers.size(); ++i)
        if (numbers[i] == channel) at = static_cast<int>(i);
    if (at < 0) return false;
    {
        const QSignalBlocker quiet(this); // one Changed for the whole choice
        source_->setCurrentIndex(at);
        edge_->setCurrentIndex(choice.rising ? 0 : 1);
        level_->setValue(choice.level);
        mode_->setCurrentIndex(mode_->findData(static_cast<int>(choice.mode)));
        if (choice.pretrigger) pretrigger_->setValue(*choice.pretrigger);
    }
    ShowRearm();
    emit Changed();
    return true;
}

std::optional<TriggerMode> TriggerPanel::Mode() const {
    const QVariant mode = mode_->currentData();
    if (!mode.isValid()) return std::nullopt;
    return static_cast<TriggerMode>(mode.toInt());
}

void TriggerPanel::ShowRearm() {
    rearm_->setEnabled(Mode() == TriggerMode::Single);
}

void TriggerPanel::ShowState(const QString& text) {
    state_->setText(text);
}

} // namespace e16scope
