#include "ui/qt/adc_page_view.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/adc_page.h"
#include "ui/qt/page_widgets.h"

namespace velmora::ui {

ucADC::ucADC(AdcPage& model, QWidget* parent) : PageView(parent), model_(model) {
    auto* title =
        Named(new QLabel(QString::fromLatin1(AdcPage::kChannelsCaption), this), QStringLiteral("lblChTitle"));
    lines_ = Named(new QListWidget(this), QStringLiteral("lstADCh"));
    // Room for the longest line, "AI32<tab>Calibration 0", beside the scroll bar.
    lines_->setMinimumWidth(lines_->fontMetrics().horizontalAdvance(QStringLiteral("AI32")) +
                            lines_->fontMetrics().horizontalAdvance(QStringLiteral("Calibration 0")) + 80);
    title->setBuddy(lines_);

    auto* grid = new QGridLayout(this);
    grid->addWidget(title, 0, 0);
    grid->addWidget(lines_, 1, 0, 2, 1);
    grid->addWidget(MakeInput(), 1, 1);
    grid->addWidget(MakePresets(), 2, 1);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(0, 1);

    connect(lines_, &QListWidget::currentRowChanged, this, [this](int line) {
        model_.SelectLine(line);
        Show();
    });
    Show();
}

QGroupBox* ucADC::MakeInput() {
    input_ =
        Named(new QGroupBox(QString::fromLatin1(AdcPage::kInputCaption), this), QStringLiteral("frChInput"));
    auto* column = new QVBoxLayout(input_);
    // One chosen at a time, as the model has it.
    group_ = new QButtonGroup(input_);
    for (int m = 0; m < 4; ++m) {
        auto* option = Named(new QRadioButton(QString::fromLatin1(AdcPage::kOptionCaptions.at(m)), input_),
                             QStringLiteral("optACh%1").arg(m));
        options_.at(static_cast<std::size_t>(m)) = option;
        group_->addButton(option, m);
        column->addWidget(option);
        connect(option, &QRadioButton::clicked, this, [this, m] {
            model_.ChooseOption(m);
            Show();
        });
    }
    auto* row = new QHBoxLayout;
    row->addWidget(
        Named(new QLabel(QString::fromLatin1(AdcPage::kSourceCaption), input_), QStringLiteral("Label1")));
    source_ = Named(new QComboBox(input_), QStringLiteral("cboADChSrc"));
    source_->setMaxVisibleItems(16);
    source_->setMinimumContentsLength(4);
    row->addWidget(source_, 1);
    column->addLayout(row);
    connect(source_, &QComboBox::activated, this, [this](int item) {
        model_.ChooseSource(item);
        Show();
    });
    return input_;
}

QWidget* ucADC::MakePresets() {
    auto* presets = new QWidget(this);
    auto* column = new QVBoxLayout(presets);
    column->setContentsMargins(0, 0, 0, 0);
    for (int b = 0; b < 3; ++b) {
        auto* button = Named(new QPushButton(QString::fromLatin1(AdcPage::kButtonCaptions.at(b)), presets),
                             QStringLiteral("cmdChSet%1").arg(b));
        button->setAutoDefault(false); // Enter stays the dialog's OK
        column->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, b] {
            model_.ChSet(b);
            Show();
        });
    }
    column->addStretch();
    return presets;
}

void ucADC::Show() {
    const UpdatingGuard::Scope refreshing = model_.Refreshing();
    ShowLines();
    input_->setTitle(Text(model_.InputCaption()));
    const int chosen = model_.ChosenOption();
    if (chosen >= 0) {
        options_.at(static_cast<std::size_t>(chosen))->setChecked(true);
    } else if (QAbstractButton* checked = group_->checkedButton()) {
        group_->setExclusive(false); // an exclusive group keeps one checked
        checked->setChecked(false);
        group_->setExclusive(true);
    }
    ShowSources();
}

void ucADC::ShowLines() {
    const QSignalBlocker quiet(lines_);
    const std::vector<std::string>& lines = model_.Lines();
    while (lines_->count() > static_cast<int>(lines.size())) delete lines_->takeItem(lines_->count() - 1);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const QString text = Text(lines[i]);
        if (static_cast<int>(i) >= lines_->count())
            lines_->addItem(text);
        else if (lines_->item(static_cast<int>(i))->text() != text)
            lines_->item(static_cast<int>(i))->setText(text);
    }
    lines_->setCurrentRow(model_.SelectedLine());
}

// The list is filled again only when its kind changed.
void ucADC::ShowSources() {
    const QSignalBlocker quiet(source_);
    QStringList items;
    for (const std::string& item : model_.SourceItems()) items << Text(item);
    QStringList shown;
    for (int i = 0; i < source_->count(); ++i) shown << source_->itemText(i);
    if (shown != items) {
        source_->clear();
        source_->addItems(items);
    }
    source_->setCurrentIndex(model_.SourceIndex());
    ShowFieldEnabled(source_, model_.SourceEnabled());
}

PageView* MakeAdcView(AdcPage& model, const PageServices&, QWidget* parent) {
    return new ucADC(model, parent);
}

} // namespace velmora::ui
