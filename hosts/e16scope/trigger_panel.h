// The display trigger's controls: mode (Off, Auto, Normal, Single), source
// channel among those recorded, edge, level in volts, pre-trigger share of
// the window, the Single mode's re-arm, and the trigger's state.
#pragma once

#include "panel_inputs.h"
#include "scope_options.h"
#include "sweep.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <optional>
#include <vector>

namespace e16scope {

class TriggerPanel : public QWidget {
    Q_OBJECT
public:
    explicit TriggerPanel(QWidget* parent = nullptr);

    // The recorded channels' names, in recording order, and the volts each
    // one's codes reach (LevelReach), which bound the level while it is the
    // source; keeps the source chosen when its name is still there, else
    // takes the first and returns false.
    bool SetSources(const QStringList& names, std::vector<Reach> reaches);
    QString Source() const;
    // The level as its box writes it, to a code of the source's range or finer.
    QString LevelText() const { return level_->cleanText(); }
    TriggerSettings Settings() const;
    // The level as dragged on the plot.
    void SetLevel(double volts);
    // The command line's trigger: false when no recorded channel has that
    // name or number (`numbers` are the recorded channels' logical numbers).
    bool Apply(const TriggerChoice& choice, const std::vector<int16_t>& numbers);
    void ShowState(const QString& text);

signals:
    void Changed();
    void Rearm();

private:
    void FitLevel();
    // The mode chosen; none when Off.
    std::optional<TriggerMode> Mode() const;
    // Re-arm is for Single alone.
    void ShowRearm();

    std::vector<Reach> reaches_;
    QComboBox *mode_ = nullptr, *source_ = nullptr, *edge_ = nullptr;
    NumberBox *level_ = nullptr, *pretrigger_ = nullptr;
    QPushButton* rearm_ = nullptr;
    QLabel* state_ = nullptr;
};

} // namespace e16scope
