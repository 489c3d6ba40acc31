// ucGeneral: the General page's widgets. It draws a GeneralPage (the
// module's information and the start synchronization) and forwards the
// user's choices to it; the logo opens the documentation. GUI thread only.
#pragma once

#include <array>

#include "ui/qt/page_views.h"

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;

namespace velmora::ui {

class ucGeneral : public PageView {
public:
    ucGeneral(GeneralPage& model, PageServices services, QWidget* parent = nullptr);

    void Shown() override { Show(); }

private:
    QWidget* MakeSynchronization();
    QSlider* MakeLevelSlider(QWidget* parent) const;
    void Connect();
    // The model's state into the controls, without their reactions.
    void Show();

    GeneralPage& model_;
    PageServices services_;
    QPlainTextEdit* info_ = nullptr;
    QComboBox* synchro_ = nullptr;
    std::array<QAbstractButton*, 4> directions_{};
    QComboBox* range_ = nullptr;
    QSlider* level_ = nullptr;
    QLineEdit* levelText_ = nullptr;
    QPushButton* zero_ = nullptr;
};

} // namespace velmora::ui
