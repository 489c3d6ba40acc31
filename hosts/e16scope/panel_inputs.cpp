#include "panel_inputs.h"

#include <QAbstractSpinBox>
#include <QComboBox>

namespace e16scope {
namespace {

class FocusedWheel : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus()) return false;
        event->ignore(); // on to the parents: the panel scrolls
        return true;
    }
};

} // namespace

// A wheel would otherwise give them the focus first (Qt::WheelFocus).
void WheelOnlyWhenFocused(QWidget* panel) {
    auto* filter = new FocusedWheel(panel);
    const auto guard = [filter](QWidget* input) {
        input->setFocusPolicy(Qt::StrongFocus);
        input->installEventFilter(filter);
    };
    for (QWidget* box : panel->findChildren<QAbstractSpinBox*>()) guard(box);
    for (QWidget* list : panel->findChildren<QComboBox*>()) guard(list);
}

} // namespace e16scope
