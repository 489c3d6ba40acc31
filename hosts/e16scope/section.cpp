#include "section.h"

#include <QVBoxLayout>

namespace e16scope {

Section::Section(const QString& title, QWidget* content, QWidget* parent)
    : QWidget(parent), header_(new QToolButton), content_(content) {
    header_->setText(title);
    header_->setCheckable(true);
    header_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    header_->setAutoRaise(true);
    header_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    header_->setStyleSheet(QStringLiteral("QToolButton { font-weight: bold; text-align: left; }"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(header_);
    column->addWidget(content_, 1);
    connect(header_, &QToolButton::toggled, this, &Section::SetOpen);
    SetOpen(true);
}

void Section::SetOpen(bool open) {
    header_->setChecked(open);
    header_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    content_->setVisible(open);
}

} // namespace e16scope
