#include "ui/qt/general_page_view.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include <utility>

#include "ui/general_page.h"
#include "ui/qt/page_widgets.h"
#include "ui/qt/setup_pictures.h"

namespace velmora::ui {
namespace {

QComboBox* MakeList(const char* name, const std::vector<std::string>& items, QWidget* parent) {
    auto* list = Named(new QComboBox(parent), QString::fromLatin1(name));
    for (const std::string& item : items) list->addItem(Text(item));
    return list;
}

// The module's lines "Board:<tab>E16, rev.A" with their values in a column.
QPlainTextEdit* MakeInfo(const std::string& text, QWidget* parent) {
    auto* info = Named(new QPlainTextEdit(parent), QStringLiteral("txtInfo"));
    info->setReadOnly(true);
    info->setFocusPolicy(
        Qt::ClickFocus); // no Tab stop: nothing to type, and no caret to show it has the focus
    info->setPlainText(Text(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    info->setTabStopDistance(info->fontMetrics().horizontalAdvance(QStringLiteral("Serial N:  ")));
    info->setLineWrapMode(QPlainTextEdit::NoWrap);
    info->setFixedHeight(info->fontMetrics().lineSpacing() * 4 + 2 * info->frameWidth() + 10);
    return info;
}

} // namespace

ucGeneral::ucGeneral(GeneralPage& model, PageServices services, QWidget* parent)
    : PageView(parent), model_(model), services_(std::move(services)) {
    info_ = MakeInfo(model_.InfoText(), this);
    auto* logo = Named(new LogoPicture(
                           [this] {
                               if (services_.openFile) services_.openFile(this, model_.DocumentationPath());
                           },
                           this),
                       QStringLiteral("imgLogo"));
    logo->setToolTip(QStringLiteral("Open the documentation"));

    auto* page = new QGridLayout(this);
    page->addWidget(info_, 0, 0);
    page->addWidget(logo, 0, 1, Qt::AlignTop | Qt::AlignRight);
    page->addWidget(MakeSynchronization(), 1, 0, 1, 2);
    page->setRowStretch(2, 1);
    Connect();
    Show();
}

// The mode list and direction options on the left, the range, level and
// "Set 0" in the middle, the level slider on the right. Made in the order
// the Tab key goes through them.
QWidget* ucGeneral::MakeSynchronization() {
    auto* frame = Named(new QGroupBox(QString::fromLatin1(GeneralPage::kSynchroCaption), this),
                        QStringLiteral("frSynch"));
    auto* grid = new QGridLayout(frame);
    synchro_ = MakeList("cboSynchro", model_.SynchroItems(), frame);
    synchro_->setMaxVisibleItems(16);
    grid->addWidget(synchro_, 0, 0, 1, 2);
    for (int i = 0; i < 4; ++i) {
        auto* option =
            Named(new QRadioButton(QString::fromLatin1(GeneralPage::kDirectionCaptions.at(i)), frame),
                  QStringLiteral("optSType%1").arg(i));
        directions_.at(static_cast<std::size_t>(i)) = option;
        grid->addWidget(option, i + 1, 0);
    }
    grid->addWidget(Named(new SyncTypesPicture(frame), QStringLiteral("imgSType")), 1, 1, 4, 1);
    range_ = MakeList("cboSRange", model_.RangeItems(), frame);
    grid->addWidget(range_, 0, 2);
    auto* levelCaption = Named(new QLabel(QString::fromLatin1(GeneralPage::kLevelCaption), frame),
                               QStringLiteral("lblSLevel"));
    grid->addWidget(levelCaption, 1, 2);
    level_ = MakeLevelSlider(frame);
    levelCaption->setBuddy(level_);
    grid->addWidget(level_, 0, 3, 5, 1, Qt::AlignHCenter);
    levelText_ = Named(new QLineEdit(frame), QStringLiteral("txtSLevel"));
    levelText_->setReadOnly(true);
    levelText_->setFocusPolicy(Qt::ClickFocus); // the slider beside it takes the keys
    levelText_->setAlignment(Qt::AlignRight);
    grid->addWidget(levelText_, 2, 2);
    zero_ = Named(new QPushButton(QString::fromLatin1(GeneralPage::kZeroCaption), frame),
                  QStringLiteral("cmdCZero"));
    zero_->setAutoDefault(false); // Enter stays the dialog's OK
    grid->addWidget(zero_, 3, 2, Qt::AlignLeft);
    grid->setColumnStretch(0, 1);
    grid->setHorizontalSpacing(grid->horizontalSpacing() * 2);
    return frame;
}

// The slider holds the level negated: its minimum at the top is the highest
// level, and the up key raises the level.
QSlider* ucGeneral::MakeLevelSlider(QWidget* parent) const {
    auto* slider = Named(new QSlider(Qt::Vertical, parent), QStringLiteral("slSLevel"));
    slider->setInvertedAppearance(true);
    slider->setInvertedControls(true);
    slider->setRange(-model_.LevelLimit(), model_.LevelLimit());
    slider->setPageStep(model_.LevelStep());
    slider->setSingleStep(model_.LevelStep() / 32);
    slider->setTickInterval(model_.LevelStep());
    slider->setTickPosition(QSlider::TicksRight);
    return slider;
}

// Each control's reaction goes to the model; the page then shows the model.
void ucGeneral::Connect() {
    for (std::size_t i = 0; i < directions_.size(); ++i)
        connect(directions_[i], &QAbstractButton::clicked, this, [this, i] {
            model_.SelectDirection(static_cast<int>(i));
            Show();
        });
    connect(synchro_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_.SelectSynchro(index);
        Show();
    });
    connect(range_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_.SelectRange(index);
        Show();
    });
    connect(level_, &QSlider::valueChanged, this, [this](int position) {
        model_.MoveLevel(position);
        Show();
    });
    connect(zero_, &QPushButton::clicked, this, [this] {
        model_.SetZero();
        Show();
    });
}

void ucGeneral::Show() {
    const QSignalBlocker quietSynchro(synchro_), quietRange(range_), quietLevel(level_);
    synchro_->setCurrentIndex(model_.SynchroIndex());
    range_->setCurrentIndex(model_.RangeIndex());
    level_->setValue(model_.LevelPosition());
    levelText_->setText(Text(model_.LevelText()));
    const bool analog = model_.AnalogEnabled();
    for (std::size_t i = 0; i < directions_.size(); ++i) {
        directions_[i]->setEnabled(analog);
        if (static_cast<int>(i) == model_.Direction()) directions_[i]->setChecked(true);
    }
    level_->setEnabled(analog);
    zero_->setEnabled(analog);
    ShowFieldEnabled(levelText_, analog, false); // shows the slider's level, takes no typing
    ShowFieldEnabled(range_, analog);
}

PageView* MakeGeneralView(GeneralPage& model, const PageServices& services, QWidget* parent) {
    return new ucGeneral(model, services, parent);
}

} // namespace velmora::ui
