// The one QApplication of a Qt test program, offscreen, kept to the end as a
// host's; its settings are those of "velmora/e16scope_test".
#pragma once

#include <QApplication>

namespace velmora::test {

inline void OffscreenApp() {
    if (qApp != nullptr) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "e16scope_test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("velmora"));
    QApplication::setApplicationName(QStringLiteral("e16scope_test"));
}

} // namespace velmora::test
