// Pieces the setup dialog's views share: texts from the models, widgets
// named after the controls they stand for, and a field whose background
// follows its enabled state. GUI thread only.
#pragma once

#include <QString>

#include <string>

class QWidget;

namespace velmora::ui {

inline QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// `widget` with the control's name, for the tests and the tab order.
template <typename W> W* Named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

// Enabled: the window background; disabled, or a box that takes no typing
// (`typed` false): the button face, so it reads as part of the page.
void ShowFieldEnabled(QWidget* field, bool enabled, bool typed = true);

} // namespace velmora::ui
