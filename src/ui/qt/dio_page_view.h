// ucDIO: the Digital I/O page's widgets. It draws a DioPage (the input
// and output boxes with their frames, the "In" and "Out" switches, the output
// buttons, the start and stop word rows) and forwards the user's clicks to
// it; its timer polls the inputs while the model wants it and the page is
// shown. GUI thread only.
#pragma once

#include <array>

#include "ui/dio_page.h"
#include "ui/qt/page_views.h"

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace velmora::ui {

class ucDIO : public PageView {
public:
    ucDIO(DioPage& model, QWidget* parent);

    // The frame has told the model already; the view follows it.
    void Shown() override { ShowModel(); }
    void Hidden() override;

private:
    using Boxes = std::array<QCheckBox*, DioPage::kBoxes>;
    using Labels = std::array<QLabel*, DioPage::kBoxes>;

    void MakeControls();
    void Arrange();
    void Connect();
    QGridLayout* BoxRow(const Boxes& boxes, const Labels& labels, QPushButton* onOff);
    void ShowModel();
    void FollowTimer();

    DioPage& model_;
    QGroupBox* inputFrame_ = nullptr;
    QGroupBox* outputFrame_ = nullptr;
    Boxes inputs_{};
    Labels inputLabels_{};
    Boxes outputs_{};
    Labels outputLabels_{};
    QPushButton* inputSwitch_ = nullptr;
    QPushButton* outputSwitch_ = nullptr;
    std::array<QPushButton*, DioPage::kButtonCaptions.size()> buttons_{};
    std::array<QCheckBox*, 2> words_{};
    std::array<QPushButton*, 2> sets_{};
    std::array<QPushButton*, 2> shows_{};
    QTimer* timer_ = nullptr;
};

} // namespace velmora::ui
