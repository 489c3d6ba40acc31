#include "lines_panel.h"

#include "scope_options.h"

#include <QGridLayout>
#include <QLabel>

namespace e16scope {

LinesPanel::LinesPanel(ScopeSession& session, QWidget* parent)
    : QGroupBox(tr("Outputs and digital lines"), parent), session_(session) {
    setObjectName(QStringLiteral("lines"));
    auto* grid = new QGridLayout(this);
    for (int d = 0; d < 2; ++d) {
        grid->addWidget(new QLabel(tr("DAC%1, V").arg(d + 1)), d, 0, 1, 4);
        auto* level = dac_[d] = new NumberBox(tr("DAC%1").arg(d + 1), tr("V"));
        level->setObjectName(QStringLiteral("dac%1").arg(d + 1));
        level->setRange(-10, 10);
        level->setDecimals(kDacDecimals);
        connect(level, &QDoubleSpinBox::valueChanged, this, [this, d](double volts) {
            if (!polling_) session_.SetDac(d, volts);
        });
        grid->addWidget(level, d, 4, 1, 4);
    }
    grid->addWidget(new QLabel(tr("Out")), 2, 0, 1, 8);
    grid->addWidget(new QLabel(tr("In")), 5, 0, 1, 8);
    // Lines are numbered 1..16, as on the setup dialog's DIO page: line n is
    // bit n-1 of the word.
    for (int line = 0; line < 16; ++line) {
        auto* out = outputs_[line] = new QCheckBox(QString::number(line + 1));
        out->setObjectName(QStringLiteral("do%1").arg(line + 1));
        connect(out, &QCheckBox::toggled, this, [this, line](bool on) {
            if (!polling_) WriteLine(line, on);
        });
        grid->addWidget(out, 3 + line / 8, line % 8);
        auto* in = inputs_[line] = new QCheckBox(QString::number(line + 1));
        in->setObjectName(QStringLiteral("di%1").arg(line + 1));
        in->setAttribute(Qt::WA_TransparentForMouseEvents);
        in->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(in, 6 + line / 8, line % 8);
    }
}

// One line of the word the module holds: the other boxes may still show
// what the setup dialog or a start changed since the last poll.
void LinesPanel::WriteLine(int line, bool on) {
    const auto bit = static_cast<uint16_t>(1u << line);
    const uint16_t word = session_.DigitalOutputs();
    session_.SetDigitalOutputs(on ? word | bit : word & ~bit);
    Poll();
}

// The driver says that the generator plays, not on which output: both
// levels are the generator's then, an output it leaves alone included.
void LinesPanel::Poll() {
    polling_ = true;
    const bool dacs = session_.DacCount() > 0, playing = session_.GeneratorPlaying();
    for (int d = 0; d < 2; ++d) {
        dac_[d]->setEnabled(dacs && d < session_.DacCount() && !playing); // greyed: not the user's
        dac_[d]->Hold(playing ? tr("generator") : QString(),
                      playing ? tr("The waveform generator (Setup, DAC page) plays on the outputs while "
                                   "this recording runs; a level can be set again once it stops.")
                              : QString());
        if (!dac_[d]->hasFocus()) dac_[d]->setValue(session_.Dac(d));
    }
    const uint16_t in = session_.DigitalInputs(), out = session_.DigitalOutputs();
    for (int line = 0; line < 16; ++line) {
        inputs_[line]->setChecked((in >> line & 1) != 0);
        outputs_[line]->setChecked((out >> line & 1) != 0);
    }
    polling_ = false;
}

} // namespace e16scope
