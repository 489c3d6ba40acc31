#include "panel_inputs.h"

#include "scope_options.h"
#include "user_number.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include <cmath>
#include <utility>

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

NumberBox::NumberBox(const QString& what, const QString& unit, QWidget* parent)
    : QDoubleSpinBox(parent), what_(what), unit_(unit.isEmpty() ? unit : u' ' + unit) {
    // A number counts once entered: the 1 on the way to 15 is set nowhere,
    // and a refusal keeps the value the box had before the typing.
    setKeyboardTracking(false);
    QLocale numbers = locale();
    numbers.setNumberOptions(numbers.numberOptions() | QLocale::RejectGroupSeparator);
    setLocale(numbers);
    connect(this, &QDoubleSpinBox::valueChanged, this, &NumberBox::Withdraw);
}

// A comma and a point both separate the decimals, whichever the locale
// writes: read as a group separator, "0,5" would be 5, put on an output.
QString NumberBox::Decimals(QString text) const {
    const QString point = locale().decimalPoint();
    return text.replace(point == u"." ? QStringLiteral(",") : QStringLiteral("."), point);
}

// A number out of range, or finer than the box's decimals, waits for Enter
// to be refused with the reason: the spin box would drop the keystroke
// unsaid (12.5 typed as 12, or 125).
QValidator::State NumberBox::validate(QString& text, int& pos) const {
    text = Decimals(text);
    const QValidator::State state = QDoubleSpinBox::validate(text, pos);
    const std::optional<double> typed = Typed(text);
    return state == QValidator::Invalid && typed && Refusable(*typed) ? QValidator::Intermediate : state;
}

bool NumberBox::TooFine(double value) const {
    return FinerThan(value, decimals());
}

std::optional<double> NumberBox::Typed(const QString& text) const {
    QString number = text;
    if (number.startsWith(prefix())) number.remove(0, prefix().size());
    if (number.endsWith(suffix())) number.chop(suffix().size());
    bool ok = false;
    const double value = locale().toDouble(Decimals(number).trimmed(), &ok);
    return ok ? std::optional(value) : std::nullopt;
}

void NumberBox::Hold(const QString& holder, const QString& why) {
    if (holder == holder_) return;
    holder_ = holder;
    setReadOnly(!holder.isEmpty());
    setButtonSymbols(holder.isEmpty() ? UpDownArrows : NoButtons);
    setToolTip(why);
    setValue(value()); // shows the text anew, through textFromValue
}

QString NumberBox::textFromValue(double value) const {
    return holder_.isEmpty() ? QDoubleSpinBox::textFromValue(value) : holder_;
}

// Refused, not clamped: a level the user did not ask for is not put on an
// output, nor a setting on the recording. The spin box then puts the value
// back (CorrectToPreviousValue), which leaves the text unmodified. A number
// in range is taken even when it is the value already.
void NumberBox::Enter() {
    const std::optional<double> typed = Typed(lineEdit()->text());
    if (!typed || !lineEdit()->isModified()) return;
    if (!Refusable(*typed)) {
        Withdraw();
        return;
    }
    // As written, not in exponents: 1000000, not 1e+06.
    const auto shown = [](double number) { return UserNumber(number, 'g', 12); };
    const QString asked = OutOfRange(*typed) ? tr("the number")
                          : decimals() == 0  ? tr("a whole number")
                          : decimals() == 1  ? tr("a number of one decimal at most")
                                             : tr("a number of %1 decimals at most").arg(decimals());
    refusal_ =
        tr("%1: %2%3 refused. Please, set %7 in range from %4 to %5%3! It stays at %6%3.")
            .arg(what_, shown(*typed), unit_, shown(minimum()), shown(maximum()), shown(value()), asked);
    emit Refused(refusal_);
}

void NumberBox::Withdraw() {
    if (!refusal_.isEmpty()) emit Withdrawn(std::exchange(refusal_, {}));
}

void NumberBox::Commit() {
    if (isReadOnly()) return; // held: it shows its holder, not a number
    Enter();
    interpretText();
}

void NumberBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) Enter();
    QDoubleSpinBox::keyPressEvent(event);
}

void NumberBox::focusOutEvent(QFocusEvent* event) {
    Enter();
    QDoubleSpinBox::focusOutEvent(event);
}

} // namespace e16scope
