// ucADC: the ADC page's widgets. It draws an AdcPage (what each logical
// input channel measures) and forwards the user's choices to it. GUI thread
// only.
#pragma once

#include <array>

#include "ui/qt/page_views.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QListWidget;

namespace velmora::ui {

class ucADC : public PageView {
public:
    ucADC(AdcPage& model, QWidget* parent = nullptr);

    void Shown() override { Show(); }

private:
    QGroupBox* MakeInput();
    QWidget* MakePresets();
    // The model's state into the controls, without their reactions.
    void Show();
    void ShowLines();
    void ShowSources();

    AdcPage& model_;
    QListWidget* lines_ = nullptr;
    QGroupBox* input_ = nullptr;
    std::array<QAbstractButton*, 4> options_{};
    QButtonGroup* group_ = nullptr;
    QComboBox* source_ = nullptr;
};

} // namespace velmora::ui
