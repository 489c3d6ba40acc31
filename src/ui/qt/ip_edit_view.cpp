#include "ui/qt/ip_edit_view.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <optional>

#include "ui/ip_edit_model.h"

namespace velmora::ui {
namespace {

std::optional<IpKey> MoveKey(int key) {
    switch (key) {
    case Qt::Key_Left:
        return IpKey::Left;
    case Qt::Key_Up:
        return IpKey::Up;
    case Qt::Key_Right:
        return IpKey::Right;
    case Qt::Key_Down:
        return IpKey::Down;
    case Qt::Key_Home:
        return IpKey::Home;
    case Qt::Key_End:
        return IpKey::End;
    case Qt::Key_Delete:
        return IpKey::Delete;
    default:
        return std::nullopt;
    }
}

QLineEdit* MakeBox(int box, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("txtIP%1").arg(box));
    edit->setAlignment(Qt::AlignCenter);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    return edit;
}

} // namespace

ucIP::ucIP(ucIPModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("ucIP"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    // Box 3 holds the first number, so the row runs 3, 2, 1, 0 and so does
    // the tab order.
    for (int box = ucIPModel::kLeftmost; box >= 0; --box) {
        QLineEdit* edit = MakeBox(box, this);
        boxes_.at(static_cast<std::size_t>(box)) = edit;
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, [this, box](const QString& text) { Edited(box, text); });
        row->addWidget(edit);
        if (box > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setObjectName(QStringLiteral("lblDot"));
            row->addWidget(dot);
        }
    }
    row->addStretch();
    setFocusProxy(Box(ucIPModel::kLeftmost));
    ShowTexts();
}

void ucIP::ShowTexts() {
    for (int box = 0; box < ucIPModel::kBoxes; ++box) {
        const QString text = QString::fromStdString(model_.Text(box));
        if (Box(box)->text() != text) Box(box)->setText(text);
    }
}

bool ucIP::eventFilter(QObject* watched, QEvent* event) {
    const int box = BoxOf(watched);
    if (box < 0) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return KeyPressed(box, static_cast<const QKeyEvent&>(*event));
    case QEvent::MouseButtonDblClick:
        model_.DoubleClick(box);
        Show();
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

int ucIP::BoxOf(const QObject* widget) const {
    for (int box = 0; box < ucIPModel::kBoxes; ++box)
        if (Box(box) == widget) return box;
    return -1;
}

void ucIP::TakeCaret(int box) {
    const QLineEdit* edit = Box(box);
    if (edit->hasSelectedText())
        model_.Focus(box, edit->selectionStart(), edit->selectionLength());
    else
        model_.Focus(box, edit->cursorPosition(), 0);
}

// Printable characters, backspace and the moving keys go to the model; the
// rest (Tab, Enter, Esc, shortcuts such as paste, Shift with a moving key to
// select) to the box and the dialog.
bool ucIP::KeyPressed(int box, const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const auto move = MoveKey(key.key());
    const bool backspace = key.key() == Qt::Key_Backspace;
    const QString typed = key.text();
    const bool printable = !move && !backspace && typed.size() == 1 && typed.at(0).unicode() >= 32;
    if (!printable && (modifiers & Qt::ShiftModifier)) return false;
    if (!printable && !move && !backspace) return false;
    TakeCaret(box);
    if (move) {
        model_.KeyDown(*move);
    } else if (backspace) {
        model_.KeyPress('\b');
    } else {
        const char16_t c = typed.at(0).unicode();
        model_.KeyPress(c < 128 ? static_cast<char>(c) : '?'); // no digit outside ASCII
    }
    Show();
    return true;
}

// Pastes, cuts and undos that the box made itself.
void ucIP::Edited(int box, const QString& text) {
    model_.Edit(box, text.toStdString(), Box(box)->cursorPosition());
    Show();
}

void ucIP::Show() {
    ShowTexts();
    QLineEdit* edit = Box(model_.FocusBox());
    if (!edit->hasFocus()) edit->setFocus(Qt::OtherFocusReason);
    if (model_.SelLength() > 0)
        edit->setSelection(model_.SelStart(), model_.SelLength());
    else
        edit->setCursorPosition(model_.SelStart());
}

} // namespace velmora::ui
