#include "ui/qt/page_widgets.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace velmora::ui {

void ShowFieldEnabled(QWidget* field, bool enabled, bool typed) {
    field->setEnabled(enabled);
    const QPalette standard = QApplication::palette(field);
    const QColor background =
        standard.color(QPalette::Active, enabled && typed ? QPalette::Base : QPalette::Button);
    QPalette palette = field->palette();
    // A drop-down list draws its field with the button role, a text box with
    // the base role; in every colour group, so disabled boxes show it too.
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Button})
        palette.setColor(role, background);
    field->setPalette(palette);
}

} // namespace velmora::ui
