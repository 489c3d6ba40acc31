#include "ui/qt/dac_page_view.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyledItemDelegate>

#include <utility>

#include "ui/dac_page.h"
#include "ui/qt/waveform_picture.h"

namespace velmora::ui {
namespace {

constexpr int kBoxChars = 8;    // the widest level, rate or phase text, with room
constexpr int kListLines = 2;   // one line per output
constexpr int kLastColumn = 48; // dialog units after the last tab stop
constexpr int kSeparatorGap = 8;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// A dialog unit across is a quarter of the font's mean letter width.
double DialogUnit(const QFontMetrics& metrics) {
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return metrics.horizontalAdvance(letters) / (4.0 * letters.size());
}

// Draws the list's lines with their tabs at fixed stops: a part that reaches
// past a stop moves on to the next one.
class TabStopDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QStringList parts = item.text.split(QLatin1Char('\t'));
        item.text.clear();
        const QWidget* view = option.widget;
        QStyle* style = view != nullptr ? view->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);

        const QRect area =
            style->subElementRect(QStyle::SE_ItemViewItemText, &item, view).adjusted(2, 0, -2, 0);
        const bool selected = (item.state & QStyle::State_Selected) != 0;
        painter->save();
        painter->setFont(item.font);
        painter->setPen(
            item.palette.color(item.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                               selected ? QPalette::HighlightedText : QPalette::Text));
        const double unit = DialogUnit(item.fontMetrics);
        int x = 0;
        for (int part = 0; part < parts.size(); ++part) {
            if (part > 0) x = NextStop(x, unit);
            painter->drawText(QRect(area.left() + x, area.top(), area.width() - x, area.height()),
                              Qt::AlignLeft | Qt::AlignVCenter, parts[part]);
            x += item.fontMetrics.horizontalAdvance(parts[part]);
        }
        painter->restore();
    }

private:
    static int NextStop(int x, double unit) {
        for (int stop : DacPage::kTabStops) {
            const int at = static_cast<int>(stop * unit);
            if (at > x) return at;
        }
        return x + static_cast<int>(8 * unit);
    }
};

QLabel* MakeLabel(const char* name, const std::string& caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(Text(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(buddy);
    return label;
}

// An editable box with its list; it completes nothing, so that what the user
// typed is what the check reads.
QComboBox* MakeBox(const QString& name, const std::vector<std::string>& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(kBoxChars);
    for (const std::string& item : items) box->addItem(Text(item));
    return box;
}

// A box the user may not change shows the button face behind its text.
void ShowEnabled(QComboBox* box, bool enabled) {
    box->setEnabled(enabled);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base,
                     QApplication::palette(box).color(enabled ? QPalette::Base : QPalette::Button));
    box->setPalette(palette);
}

void ShowBold(QPushButton* button, bool bold) {
    QFont font = button->font();
    font.setBold(bold);
    button->setFont(font);
}

} // namespace

ucDAC::ucDAC(DacPage& model, PageServices services, QWidget* parent)
    : PageView(parent), model_(model), services_(std::move(services)) {
    setObjectName(QStringLiteral("ucDAC"));
    MakeControls();
    Arrange();
    Connect();
    ShowModel();
}

void ucDAC::MakeControls() {
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lstChannels"));
    list_->setItemDelegate(new TabStopDelegate(list_));
    type_ = new QComboBox(this);
    type_->setObjectName(QStringLiteral("cboDACType"));
    for (const std::string& item : model_.TypeItems()) type_->addItem(Text(item));
    typeLabel_ = MakeLabel("lblDACType", model_.TypeCaption(), type_, this);
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("imgType"));
    picture_->setFixedSize(kWaveformPictureSize);
    // Made in reading order, which Tab follows.
    MakeLevelRows();
    MakeRateRows();
    for (int box = 0; box < kCheckedBoxes; ++box) CheckedBox(box)->installEventFilter(this);
    for (QWidget* clicked : std::initializer_list<QWidget*>{list_->viewport(), type_, sliders_[0],
                                                            sliders_[1], buttons_[0], buttons_[1]})
        clicked->installEventFilter(this);
}

void ucDAC::MakeLevelRows() {
    for (int i = 0; i < 2; ++i) {
        const auto at = static_cast<std::size_t>(i);
        levels_[at] = MakeBox(QStringLiteral("cboDAC%1").arg(i), model_.LevelItems(), this);
        levelLabels_[at] =
            MakeLabel(i == 0 ? "lblDAC0" : "lblDAC1", DacPage::kLevelCaptions[at], levels_[at], this);
        sliders_[at] = new QSlider(Qt::Horizontal, this);
        sliders_[at]->setObjectName(QStringLiteral("slDAC%1").arg(i));
        sliders_[at]->setRange(model_.SliderMin(), model_.SliderMax());
        sliders_[at]->setPageStep(model_.SliderStep());
        sliders_[at]->setTickInterval(model_.SliderStep());
        sliders_[at]->setTickPosition(QSlider::TicksBelow);
    }
}

void ucDAC::MakeRateRows() {
    for (int i = 0; i < 2; ++i) {
        const auto at = static_cast<std::size_t>(i);
        rates_[at] = MakeBox(QStringLiteral("cboRate%1").arg(i), model_.RateItems(i), this);
        rateLabels_[at] =
            MakeLabel(i == 0 ? "lblRate0" : "lblRate1", DacPage::kRateCaptions[at], rates_[at], this);
        buttons_[at] = new QPushButton(QString::fromLatin1(DacPage::kButtonCaptions[at]), this);
        buttons_[at]->setObjectName(QStringLiteral("cmdDACSet%1").arg(i));
        buttons_[at]->setAutoDefault(false); // Enter in a box belongs to the dialog's OK
    }
}

// The outputs' list on top; the kind with its picture, the level rows with
// their sliders; under a sunken line the rate rows with Start and Stop.
void ucDAC::Arrange() {
    auto* grid = new QGridLayout(this);
    grid->addWidget(list_, 0, 0, 1, 3);
    grid->addWidget(typeLabel_, 1, 0);
    grid->addWidget(type_, 1, 1);
    grid->addWidget(picture_, 1, 2, Qt::AlignLeft);
    for (int i = 0; i < 2; ++i) {
        const auto at = static_cast<std::size_t>(i);
        grid->addWidget(levelLabels_[at], 2 + i, 0);
        grid->addWidget(levels_[at], 2 + i, 1);
        grid->addWidget(sliders_[at], 2 + i, 2);
        grid->addWidget(rateLabels_[at], 5 + i, 0);
        grid->addWidget(rates_[at], 5 + i, 1);
        grid->addWidget(buttons_[at], 5 + i, 2, Qt::AlignRight);
    }
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, 4, 0, 1, 3);
    grid->setRowMinimumHeight(4, kSeparatorGap * 2);
    grid->setRowStretch(7, 1);
    grid->setColumnStretch(2, 1);

    const int row = list_->fontMetrics().height() + 4;
    list_->setFixedHeight(kListLines * row + 2 * list_->frameWidth() + 2);
    list_->setMinimumWidth(
        static_cast<int>((DacPage::kTabStops[1] + kLastColumn) * DialogUnit(list_->fontMetrics())));
}

void ucDAC::Connect() {
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        model_.SelectChannel(row);
        ShowModel();
    });
    connect(type_, &QComboBox::activated, this, [this](int position) {
        model_.ChooseWaveform(position);
        ShowModel();
    });
    for (int i = 0; i < 2; ++i) {
        const auto at = static_cast<std::size_t>(i);
        connect(sliders_[at], &QSlider::sliderMoved, this, [this, i](int position) {
            model_.ScrollSlider(i, position);
            ShowModel();
        });
        connect(sliders_[at], &QSlider::valueChanged, this, [this, i](int position) {
            model_.ChangeSlider(i, position);
            if (!model_.Updating()) ShowModel();
        });
        connect(levels_[at], &QComboBox::textActivated, this,
                [this, i](const QString& text) { Check(i, text); });
        connect(rates_[at], &QComboBox::textActivated, this,
                [this, i](const QString& text) { Check(DacPage::kFrequency + i, text); });
    }
    for (int box = 0; box < kCheckedBoxes; ++box)
        connect(CheckedBox(box)->lineEdit(), &QLineEdit::textEdited, this,
                [this, box](const QString& text) { model_.Edit(box, text.toStdString()); });
    connect(buttons_[0], &QPushButton::clicked, this, [this] {
        model_.Start();
        ShowModel();
    });
    connect(buttons_[1], &QPushButton::clicked, this, [this] {
        model_.Stop();
        ShowModel();
    });
}

QComboBox* ucDAC::CheckedBox(int box) const {
    return box < 2 ? levels_.at(static_cast<std::size_t>(box)) : rates_.at(static_cast<std::size_t>(box - 2));
}

int ucDAC::CheckedIndexOf(const QObject* widget) const {
    for (int box = 0; box < kCheckedBoxes; ++box)
        if (CheckedBox(box) == widget) return box;
    return -1;
}

// Enter in a box typed in commits the entry and goes no further, so that
// the dialog's OK does not take it, even when the text typed is the value
// the box holds (no entry pending then). A click elsewhere on the page has
// already checked the entry by taking the focus: one still pending was
// refused, and the click goes no further either, so the output, the text
// and the generator stay as they were.
bool ucDAC::eventFilter(QObject* watched, QEvent* event) {
    const int box = CheckedIndexOf(watched);
    if (box < 0 && event->type() == QEvent::MouseButtonPress && model_.PendingBox() >= 0) return true;
    if (box < 0 || checking_) return PageView::eventFilter(watched, event);
    QLineEdit* edit = CheckedBox(box)->lineEdit();
    if (event->type() == QEvent::KeyPress && (model_.Pending(box) || edit->isModified())) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            edit->setModified(false);
            Commit(box);
            return true;
        }
    } else if (model_.Pending(box) && event->type() == QEvent::FocusOut &&
               ChecksOnLeaving(CheckedBox(box), static_cast<QFocusEvent*>(event)->reason())) {
        Commit(box);
    }
    return PageView::eventFilter(watched, event);
}

// Leaving a box checks it, as tabbing or clicking elsewhere on the page does;
// its own list opening, another window taking over, the page going away or
// a button that ends the dialog taking the focus does not. The focus widget
// is already the one the focus goes to.
bool ucDAC::ChecksOnLeaving(QComboBox* box, Qt::FocusReason reason) const {
    if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason || !box->isVisible())
        return false;
    const QWidget* next = QApplication::focusWidget();
    return next == nullptr || next->property(kChecksEntryLeft) != QVariant(false);
}

void ucDAC::Check(int box, const QString& item) {
    const std::string text = item.toStdString();
    Tell(box, box < DacPage::kFrequency ? model_.CheckLevel(box, text)
                                        : model_.CheckRate(box - DacPage::kFrequency, text));
}

void ucDAC::Commit(int box) {
    Tell(box, model_.Commit(box));
}

void ucDAC::Tell(int box, const EntryCheck& check) {
    checking_ = true; // the message box takes the focus too
    if (!check.passed) {
        if (services_.message) services_.message(this, check.message);
        // Without a window manager nothing gives the dialog back its
        // activation, and an inactive window has no focus-out to check by.
        window()->activateWindow();
        CheckedBox(box)->setFocus(Qt::OtherFocusReason);
    }
    checking_ = false;
    ShowModel();
}

void ucDAC::EntryRefused() {
    ShowModel();
    const int box = model_.PendingBox();
    if (box < 0) return;
    window()->activateWindow(); // as after the page's own refusal
    CheckedBox(box)->setFocus(Qt::OtherFocusReason);
}

void ucDAC::ShowList() {
    const QSignalBlocker quiet(list_);
    const std::vector<std::string>& lines = model_.Lines();
    for (std::size_t c = 0; c < lines.size(); ++c) {
        if (static_cast<int>(c) < list_->count())
            list_->item(static_cast<int>(c))->setText(Text(lines[c]));
        else
            list_->addItem(Text(lines[c]));
    }
    while (list_->count() > static_cast<int>(lines.size())) delete list_->takeItem(list_->count() - 1);
    list_->setCurrentRow(model_.SelectedChannel());
}

// The model's text is what the user typed while it is pending; written only
// when it differs, so that the caret stays where the user left it.
void ucDAC::ShowText(int box, const std::string& text) {
    QComboBox* combo = CheckedBox(box);
    if (combo->currentText() != Text(text)) combo->setEditText(Text(text));
}

void ucDAC::ShowModel() {
    ShowList();
    typeLabel_->setText(Text(model_.TypeCaption()));
    type_->setCurrentIndex(model_.TypeIndex());
    const std::optional<core::Waveform> picture = model_.Picture();
    picture_->setPixmap(picture ? QPixmap::fromImage(WaveformPicture(*picture)) : QPixmap());
    for (int i = 0; i < 2; ++i) {
        const auto at = static_cast<std::size_t>(i);
        ShowText(i, model_.LevelText(i));
        {
            auto refreshing = model_.Refreshing();
            sliders_[at]->setValue(model_.SliderPosition(i));
        }
        levelLabels_[at]->setEnabled(model_.LevelEnabled(i));
        ShowEnabled(levels_[at], model_.LevelEnabled(i));
        sliders_[at]->setEnabled(model_.LevelEnabled(i));
        ShowText(2 + i, model_.RateText(i));
        rateLabels_[at]->setEnabled(model_.RateEnabled(i));
        ShowEnabled(rates_[at], model_.RateEnabled(i));
    }
    ShowBold(buttons_[0], model_.StartBold());
    ShowBold(buttons_[1], model_.StopBold());
}

PageView* MakeDacView(DacPage& model, const PageServices& services, QWidget* parent) {
    return new ucDAC(model, services, parent);
}

} // namespace velmora::ui
