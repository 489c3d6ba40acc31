// The setup dialog's page views: one widget per page, drawing its page
// through the page's interface and forwarding the user's actions to it. The frame (dlgSetup) makes each view
// when the page's tab is first selected and refreshes it when shown again.
// GUI thread only.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

namespace velmora::ui {

class AdcPage;
class DacPage;
class DioPage;
class GeneralPage;

// What a page needs from the frame: its modal message box (text, OK button,
// the dialog's title) and the desktop's opener for a local file, which says
// so in a message box when nothing opens it.
struct PageServices {
    std::function<void(QWidget* parent, const std::string& text)> message;
    std::function<void(QWidget* parent, const std::string& path)> openFile;
};

// Set false on a button that ends the dialog: the entry the focus leaves for
// it is not checked, as Cancel drops it and OK commits every entry itself.
inline constexpr char kChecksEntryLeft[] = "checksEntryLeft";

// A page view: the widget, told when its tab is selected or left, so that it
// can copy the model into its controls again and start or stop its timers.
// When the dialog closes, the shown page is told Hidden() and every view is
// deleted before the models store (OK) and go.
class PageView : public QWidget {
public:
    using QWidget::QWidget;
    virtual void Shown() {}
    virtual void Hidden() {}
    // OK found an entry of this page refused and told why: the view shows the
    // page again with the focus in the entry's box.
    virtual void EntryRefused() {}
};

PageView* MakeGeneralView(GeneralPage& model, const PageServices& services, QWidget* parent);
PageView* MakeAdcView(AdcPage& model, const PageServices& services, QWidget* parent);
PageView* MakeDacView(DacPage& model, const PageServices& services, QWidget* parent);
PageView* MakeDioView(DioPage& model, const PageServices& services, QWidget* parent);

} // namespace velmora::ui
