// e16scope-screenshot OUT.png: the window during a recording of the module,
// as a user sees it, for the documentation. Detects the module through the
// address chooser (OK on 127.0.0.1), sets the channel table to 32
// single-ended inputs and DAC1's generator to a sine in the setup dialog,
// then records X1..X4 and X15 (DAC1 looped back) and saves the window.
#include "modal_script.h"
#include "scope_session.h"
#include "scope_window.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QSlider>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kRecordMs = 1500;

// In the setup dialog: 32 single-ended inputs, DAC1 plays a sine, OK.
void SetUpInputsAndGenerator(QWidget& dialog) {
    using namespace e16scope;
    ShowTab(dialog, QStringLiteral("tabSetup"), QStringLiteral("ADC"));
    ClickButton(dialog, QStringLiteral("cmdChSet1"));
    ShowTab(dialog, QStringLiteral("tabSetup"), QStringLiteral("DAC"));
    if (auto* list = dialog.findChild<QListWidget*>(QStringLiteral("lstChannels"))) list->setCurrentRow(0);
    if (auto* type = dialog.findChild<QComboBox*>(QStringLiteral("cboDACType"))) {
        const int sine = type->findText(QStringLiteral("Sine"));
        type->setCurrentIndex(sine);
        emit type->activated(sine); // as the user's choice
    }
    if (auto* amplitude = dialog.findChild<QSlider*>(QStringLiteral("slDAC0")))
        amplitude->setValue(amplitude->maximum() / 4);
    ClickButton(dialog, QStringLiteral("cmdDACSet0"));
    ClickButton(dialog, QStringLiteral("cmdDialog0"));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: e16scope-screenshot OUT.png\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("velmora"));
    QApplication::setApplicationName(QStringLiteral("e16scope"));
    e16scope::ScopeSession session;
    std::string error;
    if (!session.Create(error)) {
        std::fprintf(stderr, "e16scope-screenshot: %s\n", error.c_str());
        return 1;
    }
    e16scope::ScopeWindow window(session); // the first window's own size: no saved geometry here
    window.show();
    int modals = 0;
    e16scope::OnNextModal(modals,
                          [](QWidget& chooser) { e16scope::ClickButton(chooser, QStringLiteral("cmdOK")); });
    window.Detect();
    e16scope::OnNextModal(modals, SetUpInputsAndGenerator);
    window.Setup();
    window.Channels()->SetChecked({0, 1, 2, 3, 14});
    window.SetRate(5000);
    window.SetWindowSeconds(0.2);
    window.StartStop();
    const QString out = QString::fromLocal8Bit(argv[1]);
    int status = 1;
    QTimer::singleShot(kRecordMs, &window, [&] {
        status = window.grab().save(out) ? 0 : 1;
        window.StartStop();
        QApplication::quit();
    });
    QApplication::exec();
    if (modals != 2) std::fprintf(stderr, "e16scope-screenshot: %d of 2 dialogs answered\n", modals);
    return status;
}
