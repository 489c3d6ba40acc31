// Analog outputs and digital lines at a glance: the static level of each DAC
// channel (a level out of its range is refused, NumberBox says why; while the
// waveform generator plays, the box says so and takes no level), the 16
// output lines (toggled by a click) and the 16 input lines, refreshed from
// the module by Poll().
#pragma once

#include "panel_inputs.h"
#include "scope_session.h"

#include <QCheckBox>
#include <QGroupBox>

#include <array>

namespace e16scope {

class LinesPanel : public QGroupBox {
    Q_OBJECT
public:
    LinesPanel(ScopeSession& session, QWidget* parent = nullptr);
    // Reads the inputs and the outputs' word, and whether the DACs exist.
    void Poll();

private:
    void WriteLine(int line, bool on);

    ScopeSession& session_;
    std::array<NumberBox*, 2> dac_{};
    std::array<QCheckBox*, 16> outputs_{};
    std::array<QCheckBox*, 16> inputs_{};
    bool polling_ = false; // the boxes are being set from the module
};

} // namespace e16scope
