// dlgIP: the IP address chooser's window. It draws a dlgIPModel (the list
// lstIP, the address control ucIP, the buttons) and forwards the user's
// clicks to it; the model keeps the list file. GUI thread only.
#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QListWidget;
class QPushButton;

namespace velmora::ui {

class dlgIPModel;
class ucIP;

class dlgIP : public QDialog {
public:
    // Shows text 151 when OK finds no address, with the dialog as parent.
    using Message = std::function<void(QWidget* parent, const std::string& text)>;

    // The model is loaded already; the window shows it as it is.
    dlgIP(dlgIPModel& model, Message message, QWidget* parent = nullptr);

    // Esc and the close box come here as well as cmdCancel.
    void reject() override;

private:
    void Ok();
    void ShowList();
    void ListClicked(int row);

    dlgIPModel& model_;
    Message message_;
    ucIP* edit_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* remove_ = nullptr;
};

} // namespace velmora::ui
