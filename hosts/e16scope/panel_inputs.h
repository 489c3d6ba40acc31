// The side panel's value inputs: a wheel turned over one reaches it only once
// it has the focus (a click or Tab), else the panel scrolls, so that scrolling
// never drives an output or changes the recording; and a number box that
// refuses a number typed out of its range, or finer than its decimals, and
// says why, where a spin box would drop the keystroke. GUI thread.
#pragma once

#include <QDoubleSpinBox>

#include <optional>

namespace e16scope {

// The spin boxes and lists under `panel`, as it is now.
void WheelOnlyWhenFocused(QWidget* panel);

class NumberBox : public QDoubleSpinBox {
    Q_OBJECT
public:
    // `what` names the box in a refusal ("DAC1", "Trigger level"); `unit`
    // follows its numbers there ("V"; none for a plain count).
    explicit NumberBox(const QString& what, const QString& unit = {}, QWidget* parent = nullptr);
    void SetWhat(const QString& what) { what_ = what; }
    // While `holder` (not empty) sets what the box stands for, the box shows
    // its name in place of the number, read-only, with `why` as its tooltip;
    // the value stays for when it is the box's again.
    void Hold(const QString& holder, const QString& why);
    // Any number may be typed; one out of range or with a decimal too many
    // is not acceptable yet.
    QValidator::State validate(QString& text, int& pos) const override;
    // What is typed, taken or refused as when the box is left: for a key
    // that acts while the box keeps the focus.
    void Commit();

signals:
    // A number out of range ended with Enter or by leaving the box: the
    // value stays as it was, and `why` says so with the range.
    void Refused(const QString& why);
    // The box took a number after refusing one: `why`, that refusal, is over.
    void Withdrawn(const QString& why);

protected:
    QString textFromValue(double value) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString Decimals(QString text) const;
    std::optional<double> Typed(const QString& text) const;
    bool OutOfRange(double value) const { return value < minimum() || value > maximum(); }
    bool TooFine(double value) const;
    bool Refusable(double value) const { return OutOfRange(value) || TooFine(value); }
    // A number typed and entered: refused out of range, else taken.
    void Enter();
    void Withdraw();

    QString what_, unit_, holder_;
    QString refusal_; // the last refusal, until a number is taken
};

} // namespace e16scope
