// A side-panel section that folds: a header button with an arrow and its
// content below, shown or hidden by a click, so that the plot gets the room.
#pragma once

#include <QToolButton>
#include <QWidget>

namespace e16scope {

class Section : public QWidget {
    Q_OBJECT
public:
    Section(const QString& title, QWidget* content, QWidget* parent = nullptr);
    void SetOpen(bool open);
    bool Open() const { return header_->isChecked(); }

private:
    QToolButton* header_ = nullptr;
    QWidget* content_ = nullptr;
};

} // namespace e16scope
