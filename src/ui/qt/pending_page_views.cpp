// Stand-ins for the DAC and digital I/O page views until theirs are built:
// a page that says so. Removed when the real views come in.
#include <QLabel>
#include <QVBoxLayout>

#include "ui/qt/page_views.h"

namespace velmora::ui {
namespace {

PageView* NotBuiltYet(const char* page, QWidget* parent) {
    auto* view = new PageView(parent);
    auto* column = new QVBoxLayout(view);
    column->addWidget(
        new QLabel(QStringLiteral("The %1 page is not built yet.").arg(QLatin1String(page)), view), 0,
        Qt::AlignCenter);
    return view;
}

} // namespace

PageView* MakeDacView(ucDACModel&, const PageServices&, QWidget* parent) {
    return NotBuiltYet("DAC", parent);
}

PageView* MakeDioView(ucDIOModel&, const PageServices&, QWidget* parent) {
    return NotBuiltYet("DIO", parent);
}

} // namespace velmora::ui
