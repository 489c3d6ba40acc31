// The side panel's value inputs: a wheel turned over one reaches it only once
// it has the focus (a click or Tab), else the panel scrolls, so that scrolling
// never drives an output or changes the recording; and a box for an output's
// level that refuses a number typed out of its range, where a spin box would
// drop the keystroke that took it out. GUI thread.
#pragma once

#include <QDoubleSpinBox>

#include <optional>

namespace e16scope {

// The spin boxes and lists under `panel`, as it is now.
void WheelOnlyWhenFocused(QWidget* panel);

class LevelBox : public QDoubleSpinBox {
    Q_OBJECT
public:
    using QDoubleSpinBox::QDoubleSpinBox;
    // Any number may be typed; one out of range is not acceptable yet.
    QValidator::State validate(QString& text, int& pos) const override;

signals:
    // A number out of range ended with Enter or by leaving the box: the
    // value stays as it was.
    void Refused(double typed);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::optional<double> Typed(const QString& text) const;
    void RefuseOutOfRange();
};

} // namespace e16scope
