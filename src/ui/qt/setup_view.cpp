#include "ui/qt/setup_view.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <exception>
#include <utility>

#include "ui/qt/page_widgets.h"

namespace velmora::ui {
namespace {

// The tab area before any page is made, in the font's own units, so that
// every page fits (the digital I/O page is the widest) and the window keeps
// its size as tabs are selected. A larger page still grows it when made.
constexpr int kPageColumns = 81;
constexpr int kPageLines = 21;

// cmdDialog(index): OK, Cancel, Help from left to right at the bottom right.
QPushButton* MakeButton(int index, QBoxLayout* row, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(SetupFrame::kButtonCaptions.at(index)), parent);
    button->setObjectName(QStringLiteral("cmdDialog%1").arg(index));
    row->addWidget(button);
    return button;
}

} // namespace

dlgSetup::dlgSetup(SetupFrame& model, PageServices services, QWidget* parent)
    : QDialog(parent), model_(model), services_(std::move(services)) {
    setObjectName(QStringLiteral("dlgSetup"));
    setWindowTitle(Text(model_.Title()));
    tabs_ = Named(new QTabWidget(this), QStringLiteral("tabSetup"));
    const QFontMetrics metrics = fontMetrics();
    for (int i = 0; i < model_.TabCount(); ++i) {
        auto* holder = new QWidget(tabs_);
        // At least the usual area, and more when the page needs it.
        auto* area = new QGridLayout(holder);
        area->setContentsMargins(0, 0, 0, 0);
        area->setColumnMinimumWidth(0, metrics.averageCharWidth() * kPageColumns);
        area->setRowMinimumHeight(0, metrics.lineSpacing() * kPageLines);
        tabs_->addTab(holder, Text(model_.TabCaption(i)));
        pages_.push_back({holder});
    }

    auto* column = new QVBoxLayout(this);
    column->addWidget(tabs_, 1);
    auto* buttons = new QHBoxLayout;
    column->addLayout(buttons);
    buttons->addStretch();
    for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) buttons_.at(i) = MakeButton(i, buttons, this);
    buttons_[0]->setDefault(true);
    for (QPushButton* closing : {buttons_[0], buttons_[1]}) closing->setProperty(kChecksEntryLeft, false);
    buttons_[2]->setEnabled(model_.HelpEnabled());

    connect(buttons_[0], &QPushButton::clicked, this, [this] { Ok(); });
    connect(buttons_[1], &QPushButton::clicked, this, [this] { reject(); });
    connect(buttons_[2], &QPushButton::clicked, this, [this] { Help(); });
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { TabClicked(index); });
    // The tab strip's own keys, from wherever the focus is: the tab widget
    // sees them only from its pages' boxes, never from a drop-down list or
    // the buttons below.
    const std::pair<QKeySequence, int> steps[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1},
    };
    for (const auto& [keys, step] : steps)
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this, step = step] {
            const int count = tabs_->count();
            tabs_->setCurrentIndex((tabs_->currentIndex() + step + count) % count);
        });
}

dlgSetup::~dlgSetup() {
    DropViews();
}

void dlgSetup::reject() {
    Finish(&SetupFrame::Cancel, Rejected);
}

// The first showing selects the tab selected when the dialog last closed,
// then brings the window to the front.
// The model's tab, chosen without the tab strip telling the model again.
void dlgSetup::ShowSelectedTab() {
    {
        const QSignalBlocker quiet(tabs_);
        tabs_->setCurrentIndex(model_.SelectedTab());
    }
    FollowModel();
}

void dlgSetup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (activated_) return;
    activated_ = true;
    try {
        model_.Activate();
        ShowSelectedTab();
    } catch (const std::exception& e) {
        Fail(e.what());
        return;
    }
    raise();
    activateWindow();
}

// F1 anywhere in the dialog, as Help.
void dlgSetup::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        Help();
        return;
    }
    QDialog::keyPressEvent(event);
}

void dlgSetup::closeEvent(QCloseEvent* event) {
    Finish(&SetupFrame::CloseBox, Rejected);
    event->accept();
}

void dlgSetup::Ok() {
    EntryCheck check;
    try {
        check = model_.CommitEntries();
        if (!check.passed) {
            ShowSelectedTab();
        }
    } catch (const std::exception& e) {
        Fail(e.what());
        return;
    }
    if (check.passed) {
        Finish(&SetupFrame::Ok, Accepted);
        return;
    }
    if (services_.message) services_.message(this, check.message);
    PageView* view = pages_.at(static_cast<std::size_t>(model_.SelectedTab())).view;
    if (view != nullptr) view->EntryRefused();
}

void dlgSetup::TabClicked(int index) {
    try {
        model_.SelectTab(index);
        FollowModel();
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}

void dlgSetup::FollowModel() {
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i) {
        Page& page = pages_[static_cast<std::size_t>(i)];
        if (page.view == nullptr && model_.PageExists(i)) page.view = MakeView(i);
        if (page.view == nullptr) continue;
        const bool visible = model_.PageVisible(i);
        if (visible == page.shown) continue;
        page.shown = visible;
        if (visible)
            page.view->Shown();
        else
            page.view->Hidden();
    }
}

PageView* dlgSetup::MakeView(int index) {
    QWidget* holder = pages_[static_cast<std::size_t>(index)].holder;
    PageView* view = nullptr;
    switch (model_.Tab(index)) {
    case SetupTab::General:
        view = MakeGeneralView(*model_.General(), services_, holder);
        break;
    case SetupTab::ADC:
        view = MakeAdcView(*model_.Adc(), services_, holder);
        break;
    case SetupTab::DAC:
        view = MakeDacView(*model_.Dac(), services_, holder);
        break;
    case SetupTab::DIO:
        view = MakeDioView(*model_.Dio(), services_, holder);
        break;
    }
    view->setObjectName(QStringLiteral("tab") + Text(model_.TabCaption(index)));
    static_cast<QGridLayout*>(holder->layout())->addWidget(view, 0, 0);
    view->show(); // within its tab, which shows or hides it
    KeepButtonsLast(view);
    return view;
}

// A page made after the buttons would follow them in the Tab order; the
// buttons go after its last control that Tab reaches, as they stand below it
// (Qt orders only widgets that take the focus).
void dlgSetup::KeepButtonsLast(QWidget* view) {
    QWidget* previous = nullptr;
    for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain())
        if (view->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus)) previous = w;
    if (previous == nullptr) return;
    for (QPushButton* button : buttons_) {
        setTabOrder(previous, button);
        previous = button;
    }
}

void dlgSetup::Finish(void (SetupFrame::*close)(), int result) {
    DropViews();
    if (model_.IsOpen()) (model_.*close)();
    QDialog::done(result);
}

void dlgSetup::DropViews() {
    for (Page& page : pages_) {
        if (page.view != nullptr && page.shown) page.view->Hidden();
        delete page.view;
        page.view = nullptr;
        page.shown = false;
    }
}

// The dialog closes as Cancel would, once back in its event loop (a failure
// while it is being shown comes before the loop runs); the caller shows why.
void dlgSetup::Fail(const std::string& what) {
    if (!failure_.empty()) return;
    failure_ = what.empty() ? std::string("unknown error") : what;
    QMetaObject::invokeMethod(
        this, [this] { Finish(&SetupFrame::Cancel, Rejected); }, Qt::QueuedConnection);
}

// The help file opens at its start: a desktop's viewer takes no topic, so
// the model's context number goes unused here.
void dlgSetup::Help() {
    if (model_.HelpEnabled() && services_.openFile) services_.openFile(this, model_.HelpFile());
}

} // namespace velmora::ui
