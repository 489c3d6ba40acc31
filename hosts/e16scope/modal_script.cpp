#include "modal_script.h"

#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace e16scope {

void OnNextModal(int& opened, std::function<void(QWidget&)> hands) {
    QTimer::singleShot(0, qApp, [&opened, hands = std::move(hands)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        ++opened;
        hands(*modal);
        if (modal->isVisible()) modal->close();
    });
}

bool ClickButton(QWidget& window, const QString& name) {
    auto* button = window.findChild<QPushButton*>(name);
    if (button == nullptr) return false;
    button->click();
    return true;
}

bool ShowTab(QWidget& window, const QString& tabs, const QString& caption) {
    auto* widget = window.findChild<QTabWidget*>(tabs);
    for (int i = 0; widget != nullptr && i < widget->count(); ++i)
        if (widget->tabText(i).remove(QLatin1Char('&')) == caption) {
            widget->setCurrentIndex(i);
            return true;
        }
    return false;
}

} // namespace e16scope
