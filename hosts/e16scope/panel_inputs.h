// The side panel's value inputs: a wheel turned over one reaches it only once
// it has the focus (a click or Tab), else the panel scrolls, so that scrolling
// never drives an output or changes the recording. GUI thread.
#pragma once

#include <QWidget>

namespace e16scope {

// The spin boxes and lists under `panel`, as it is now.
void WheelOnlyWhenFocused(QWidget* panel);

} // namespace e16scope
