// ucDIO: the Digital I/O page's widgets. It draws a ucDIOModel (the input
// and output boxes with their frames, the "In" and "Out" switches, the output
// buttons, the start and stop word rows) and forwards the user's clicks to
// it; its timer polls the inputs while the model wants it and the page is
// shown. GUI thread only.
#pragma once

#include <array>

#include "ui/dio_page_model.h"
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
    ucDIO(ucDIOModel& model, QWidget* parent);

    // The frame has told the model already; the view follows it.
    void Shown() override { ShowModel(); }
    void Hidden() override;

private:
    using Boxes = std::array<QCheckBox*, ucDIOModel::kBoxes>;
    using Labels = std::array<QLabel*, ucDIOModel::kBoxes>;

    void MakeControls();
    void Arrange();
    void Connect();
    QGridLayout* BoxRow(const Boxes& boxes, const Labels& labels, QPushButton* onOff);
    void ShowModel();
    void FollowTimer();

    ucDIOModel& model_;
    QGroupBox* inputFrame_ = nullptr;
    QGroupBox* outputFrame_ = nullptr;
    Boxes inputs_{};
    Labels inputLabels_{};
    Boxes outputs_{};
    Labels outputLabels_{};
    QPushButton* inputSwitch_ = nullptr;
    QPushButton* outputSwitch_ = nullptr;
    std::array<QPushButton*, ucDIOModel::kButtonCaptions.size()> buttons_{};
    std::array<QCheckBox*, 2> words_{};
    std::array<QPushButton*, 2> sets_{};
    std::array<QPushButton*, 2> shows_{};
    QTimer* timer_ = nullptr;
};

} // namespace velmora::ui
