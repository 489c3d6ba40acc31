// ucIP: the address edit control's widgets, four boxes txtIP(3..0) from left
// to right with "." labels between. It draws a ucIPModel and forwards the
// user's keys, double clicks and edits to it. GUI thread only.
#pragma once

#include <QWidget>

#include <array>

class QKeyEvent;
class QLineEdit;

namespace velmora::ui {

class ucIPModel;

class ucIP : public QWidget {
public:
    ucIP(ucIPModel& model, QWidget* parent = nullptr);

    QLineEdit* Box(int box) const { return boxes_.at(static_cast<std::size_t>(box)); }
    // Shows the model's texts (after the program changed them).
    void ShowTexts();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int BoxOf(const QObject* widget) const;
    // The model learns where the caret and selection of the box are.
    void TakeCaret(int box);
    bool KeyPressed(int box, const QKeyEvent& key);
    void Edited(int box, const QString& text);
    // Texts, then the focus, caret and selection as the model has them.
    void Show();

    ucIPModel& model_;
    std::array<QLineEdit*, 4> boxes_{};
};

} // namespace velmora::ui
