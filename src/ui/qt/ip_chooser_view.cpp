#include "ui/qt/ip_chooser_view.h"

#include <QGridLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include <utility>

#include "ui/ip_chooser_model.h"
#include "ui/qt/ip_edit_view.h"

namespace velmora::ui {
namespace {

QPushButton* MakeButton(const char* name, const std::string& text, QWidget* parent) {
    auto* button = new QPushButton(QString::fromStdString(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

dlgIP::dlgIP(dlgIPModel& model, Message message, QWidget* parent)
    : QDialog(parent), model_(model), message_(std::move(message)) {
    setObjectName(QStringLiteral("dlgIP"));
    setWindowTitle(QString::fromStdString(model_.Caption()));
    edit_ = new ucIP(model_.Edit(), this);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lstIP"));
    auto* ok = MakeButton("cmdOK", "OK", this);
    ok->setDefault(true);
    auto* cancel = MakeButton("cmdCancel", ResourceText(kTextCancel), this);
    remove_ = MakeButton("cmdRemove", ResourceText(kTextRemove), this);
    auto* clear = MakeButton("cmdClear", ResourceText(kTextClear), this);

    // The address and the list on the left, the buttons in a column beside.
    auto* grid = new QGridLayout(this);
    grid->addWidget(edit_, 0, 0);
    grid->addWidget(list_, 1, 0, 4, 1);
    grid->addWidget(ok, 0, 1);
    grid->addWidget(cancel, 1, 1);
    grid->addWidget(remove_, 2, 1);
    grid->addWidget(clear, 3, 1);
    grid->setRowStretch(4, 1);

    connect(ok, &QPushButton::clicked, this, [this] { Ok(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(remove_, &QPushButton::clicked, this, [this] {
        model_.Remove();
        ShowList();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        model_.Clear();
        ShowList();
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { ListClicked(row); });
    connect(list_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ListClicked(list_->row(item)); });
    ShowList();
    edit_->setFocus();
}

void dlgIP::reject() {
    model_.Cancel();
    QDialog::reject();
}

void dlgIP::Ok() {
    if (model_.Ok()) {
        accept();
        return;
    }
    edit_->ShowTexts(); // the model cleared the box that held no number
    message_(this, ResourceText(kTextSelectAddress));
}

void dlgIP::ShowList() {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (const dlgIPModel::Item& item : model_.List()) {
        auto* row = new QListWidgetItem(QString::fromStdString(item.text), list_);
        row->setData(Qt::UserRole, item.address);
    }
    list_->setCurrentRow(model_.ListIndex());
    remove_->setEnabled(model_.RemoveEnabled());
    edit_->ShowTexts();
}

void dlgIP::ListClicked(int row) {
    model_.SelectItem(row);
    remove_->setEnabled(model_.RemoveEnabled());
    edit_->ShowTexts();
}

} // namespace velmora::ui
