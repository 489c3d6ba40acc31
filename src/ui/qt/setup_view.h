// dlgSetup: the setup dialog's window. It draws a SetupFrame: the title,
// a tab per page of the present module, each page's view made when its tab
// is first selected, and OK, Cancel and Help. The model decides what is
// stored; the window only forwards the user's clicks and keys to it. A page
// that fails while the window is open ends it, with Failure() saying why.
// GUI thread only.
#pragma once

#include <QDialog>

#include <array>
#include <string>
#include <vector>

#include "ui/qt/page_views.h"
#include "ui/setup_frame.h"

class QPushButton;
class QTabWidget;

namespace velmora::ui {

class dlgSetup : public QDialog {
public:
    // The frame is loaded; no page exists until the window is first shown.
    dlgSetup(SetupFrame& model, PageServices services, QWidget* parent = nullptr);
    ~dlgSetup() override;

    // Why a page ended the dialog; empty when none did.
    const std::string& Failure() const { return failure_; }

    // Esc and "Cancel".
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The window's close box.
    void closeEvent(QCloseEvent* event) override;

private:
    struct Page {
        QWidget* holder = nullptr; // the tab's area, where the view goes
        PageView* view = nullptr;
        bool shown = false;
    };

    // OK: the entries typed and not committed first; a refusal keeps the
    // dialog open on its page.
    void Ok();
    void TabClicked(int index);
    // Views for the pages the model made, told whether they are shown.
    void FollowModel();
    void ShowSelectedTab();
    PageView* MakeView(int index);
    void KeepButtonsLast(QWidget* view);
    // Ends the dialog with the model's OK, Cancel or close box. The views go
    // first, as their models go with the model's closing.
    void Finish(void (SetupFrame::*close)(), int result);
    void DropViews();
    void Fail(const std::string& what);
    void Help();

    SetupFrame& model_;
    PageServices services_;
    QTabWidget* tabs_ = nullptr;
    std::array<QPushButton*, 3> buttons_{}; // cmdDialog: OK, Cancel, Help
    std::vector<Page> pages_;
    bool activated_ = false;
    std::string failure_;
};

} // namespace velmora::ui
