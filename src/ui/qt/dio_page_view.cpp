#include "ui/qt/dio_page_view.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace velmora::ui {
namespace {

constexpr int kBoxes = DioPage::kBoxes;
constexpr int kLabelPadding = 4; // keeps two-digit numbers apart
// The widest "On Start:" caption, so that Set and Show stay where they are.
constexpr const char* kWidestWord = "On Start: 0xFFFF (65535)";

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename T> T* Named(T* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

// A box of a row keeps its place when the module has fewer lines.
QCheckBox* MakeBox(const QString& name, QWidget* parent) {
    auto* box = Named(new QCheckBox(parent), name);
    QSizePolicy policy = box->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    box->setSizePolicy(policy);
    return box;
}

// "In" and "Out": a check box drawn as a bold push button. Space toggles it;
// Enter stays the dialog's OK, as a check box leaves it.
QPushButton* MakeSwitch(const char* name, const char* caption, QWidget* parent) {
    auto* button = Named(new QPushButton(QString::fromLatin1(caption), parent), QString::fromLatin1(name));
    button->setCheckable(true);
    button->setAutoDefault(false);
    button->setDefault(false);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

QPushButton* MakeButton(const QString& name, const char* caption, QWidget* parent) {
    auto* button = Named(new QPushButton(QString::fromLatin1(caption), parent), name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

ucDIO::ucDIO(DioPage& model, QWidget* parent) : PageView(parent), model_(model) {
    setObjectName(QStringLiteral("ucDIO"));
    MakeControls();
    Arrange();
    Connect();
    ShowModel();
}

void ucDIO::MakeControls() {
    inputFrame_ = Named(new QGroupBox(QString::fromLatin1(DioPage::kInputFrameCaption), this), "frDI");
    outputFrame_ = Named(new QGroupBox(QString::fromLatin1(DioPage::kOutputFrameCaption), this), "frDO");
    // Made in reading order, which Tab follows: In before the outputs' boxes.
    inputSwitch_ = MakeSwitch("chkInput", DioPage::kInputSwitchCaption, inputFrame_);
    for (int k = 0; k < kBoxes; ++k) {
        const auto at = static_cast<std::size_t>(k);
        const QString label = Text(DioPage::BoxLabel(k));
        inputs_[at] = MakeBox(QStringLiteral("chkIn%1").arg(k), inputFrame_);
        inputs_[at]->setEnabled(false); // shows the line, the user cannot set it
        inputLabels_[at] = Named(new QLabel(label, inputFrame_), QStringLiteral("lblInBin%1").arg(k));
        outputs_[at] = MakeBox(QStringLiteral("chkOut%1").arg(k), outputFrame_);
        outputLabels_[at] = Named(new QLabel(label, outputFrame_), QStringLiteral("lblOutBin%1").arg(k));
    }
    outputSwitch_ = MakeSwitch("chkOutput", DioPage::kOutputSwitchCaption, outputFrame_);
    for (std::size_t b = 0; b < buttons_.size(); ++b)
        buttons_[b] =
            MakeButton(QStringLiteral("cmdOutput%1").arg(b), DioPage::kButtonCaptions[b], outputFrame_);
    for (int i = 0; i < 2; ++i) {
        const auto at = static_cast<std::size_t>(i);
        words_[at] = Named(new QCheckBox(QString::fromLatin1(kWidestWord), outputFrame_),
                           QStringLiteral("chkStart%1").arg(i));
        words_[at]->setMinimumWidth(words_[at]->sizeHint().width());
        sets_[at] = MakeButton(QStringLiteral("cmdStart%1").arg(i), DioPage::kSetCaption, outputFrame_);
        shows_[at] = MakeButton(QStringLiteral("cmdShow%1").arg(i), DioPage::kShowCaption, outputFrame_);
    }
    timer_ = Named(new QTimer(this), "tmrDI");
    timer_->setInterval(DioPage::kTimerInterval);
}

// Sixteen boxes, bit 15 leftmost, a fifth of a box apart, each over its
// number; the switch half a box further on.
QGridLayout* ucDIO::BoxRow(const Boxes& boxes, const Labels& labels, QPushButton* onOff) {
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, boxes[0]);
    const int width =
        std::max(indicator, labels[0]->fontMetrics().horizontalAdvance(labels[0]->text()) + kLabelPadding);
    auto* row = new QGridLayout;
    row->setHorizontalSpacing(width / 5);
    row->setVerticalSpacing(0);
    for (int k = 0; k < kBoxes; ++k) {
        const auto at = static_cast<std::size_t>(k);
        row->setColumnMinimumWidth(k, width);
        row->addWidget(boxes[at], 0, k, Qt::AlignHCenter);
        row->addWidget(labels[at], 1, k, Qt::AlignHCenter);
    }
    row->setColumnMinimumWidth(kBoxes, width / 2);
    row->addWidget(onOff, 0, kBoxes + 1, 2, 1, Qt::AlignVCenter);
    row->setColumnStretch(kBoxes + 2, 1);
    return row;
}

// Inputs above; below them the outputs with their buttons and the start and
// stop words.
void ucDIO::Arrange() {
    auto* inputs = new QVBoxLayout(inputFrame_);
    inputs->addLayout(BoxRow(inputs_, inputLabels_, inputSwitch_));

    auto* outputs = new QVBoxLayout(outputFrame_);
    outputs->addLayout(BoxRow(outputs_, outputLabels_, outputSwitch_));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : buttons_) buttons->addWidget(button);
    buttons->addStretch(1);
    outputs->addLayout(buttons);
    auto* words = new QGridLayout;
    for (int i = 0; i < 2; ++i) {
        const auto at = static_cast<std::size_t>(i);
        words->addWidget(words_[at], i, 0);
        words->addWidget(sets_[at], i, 1);
        words->addWidget(shows_[at], i, 2);
    }
    words->setColumnStretch(3, 1);
    outputs->addSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing));
    outputs->addLayout(words);

    auto* page = new QVBoxLayout(this);
    page->addWidget(inputFrame_);
    page->addWidget(outputFrame_);
    page->addStretch(1);
}

void ucDIO::Connect() {
    connect(timer_, &QTimer::timeout, this, [this] {
        model_.TimerTick();
        ShowModel();
    });
    connect(inputSwitch_, &QPushButton::clicked, this, [this](bool ticked) {
        model_.InputSwitch(ticked);
        ShowModel();
    });
    connect(outputSwitch_, &QPushButton::clicked, this, [this](bool ticked) {
        model_.OutputSwitch(ticked);
        ShowModel();
    });
    for (int k = 0; k < kBoxes; ++k) {
        connect(outputs_[static_cast<std::size_t>(k)], &QCheckBox::toggled, this, [this, k](bool ticked) {
            model_.OutputBoxClick(k, ticked);
            if (!model_.Updating()) ShowModel();
        });
    }
    for (std::size_t b = 0; b < buttons_.size(); ++b) {
        connect(buttons_[b], &QPushButton::clicked, this, [this, b] {
            model_.OutputButton(static_cast<int>(b));
            ShowModel();
        });
    }
    for (int i = 0; i < 2; ++i) {
        const auto at = static_cast<std::size_t>(i);
        connect(words_[at], &QCheckBox::clicked, this, [this, i](bool ticked) {
            model_.StartSwitch(i, ticked);
            ShowModel();
        });
        connect(sets_[at], &QPushButton::clicked, this, [this, i] {
            model_.SetWord(i);
            ShowModel();
        });
        connect(shows_[at], &QPushButton::clicked, this, [this, i] {
            model_.ShowWord(i);
            ShowModel();
        });
    }
}

void ucDIO::Hidden() {
    timer_->stop();
}

void ucDIO::ShowModel() {
    inputFrame_->setTitle(Text(model_.InputCaption()));
    outputFrame_->setTitle(Text(model_.OutputCaption()));
    auto refreshing = model_.Refreshing();
    for (int k = 0; k < kBoxes; ++k) {
        const auto at = static_cast<std::size_t>(k);
        inputs_[at]->setVisible(model_.InputBoxVisible(k));
        inputs_[at]->setChecked(model_.InputBox(k));
        inputLabels_[at]->setEnabled(model_.InputBoxVisible(k));
        outputs_[at]->setVisible(model_.OutputBoxVisible(k));
        outputs_[at]->setChecked(model_.OutputBox(k));
        outputLabels_[at]->setEnabled(model_.OutputBoxVisible(k));
    }
    inputSwitch_->setChecked(model_.InputTicked());
    outputSwitch_->setChecked(model_.OutputTicked());
    for (std::size_t b = 0; b < buttons_.size(); ++b)
        buttons_[b]->setEnabled(model_.OutputButtonEnabled(static_cast<int>(b)));
    for (int i = 0; i < 2; ++i) {
        const auto at = static_cast<std::size_t>(i);
        words_[at]->setChecked(model_.StartTicked(i));
        words_[at]->setText(Text(model_.StartCaption(i)));
        sets_[at]->setEnabled(model_.StartButtonsEnabled(i));
        shows_[at]->setEnabled(model_.StartButtonsEnabled(i));
    }
    FollowTimer();
}

// Started only when off, so that a click does not push the next poll back.
void ucDIO::FollowTimer() {
    if (!model_.TimerEnabled())
        timer_->stop();
    else if (!timer_->isActive())
        timer_->start();
}

PageView* MakeDioView(DioPage& model, const PageServices& /*services*/, QWidget* parent) {
    return new ucDIO(model, parent);
}

} // namespace velmora::ui
