// The QApplication the Qt views run on: the host's, or one made on the
// host's thread and kept for the life of the process. Host thread only.
#pragma once

#include <string>

class QApplication;

namespace velmora::ui {

// The application to show widgets on; null with `why` set when the host's
// Qt application has no widgets or runs on another thread, or when none
// exists and no display can be opened.
QApplication* EnsureApplication(std::string& why);

} // namespace velmora::ui
