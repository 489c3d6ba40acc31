// Scripted hands for the driver's modal windows, for the tests and the
// benchmark: a function that runs on the next modal window once it is
// open, and clicks on its buttons and tabs by object name.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

namespace e16scope {

// Runs `hands` on the next modal window from its own event loop, then closes
// the window if it is still open. `opened` counts the windows found.
void OnNextModal(int& opened, std::function<void(QWidget&)> hands);
// Clicks the push button named `name`; false when there is none.
bool ClickButton(QWidget& window, const QString& name);
// Brings the tab captioned `caption` of the tab widget named `tabs` forward.
bool ShowTab(QWidget& window, const QString& tabs, const QString& caption);

} // namespace e16scope
