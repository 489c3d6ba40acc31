// ucDAC: the DAC page's widgets. It draws a DacPage (the outputs' list,
// the waveform kind with its picture, the level and rate boxes with their
// sliders, "Start" and "Stop") and forwards the user's actions to it. What is
// typed into a box is committed by Enter or by leaving the box, unless for a
// button that ends the dialog; a box whose entry check fails shows the
// model's message and takes the focus back. GUI thread only.
#pragma once

#include <array>
#include <string>

#include "ui/dac_page.h"
#include "ui/qt/page_views.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;

namespace velmora::ui {

class ucDAC : public PageView {
public:
    ucDAC(DacPage& model, PageServices services, QWidget* parent);

    void Shown() override { ShowModel(); }
    void EntryRefused() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int kCheckedBoxes = DacPage::kBoxes;

    void MakeControls();
    void MakeLevelRows();
    void MakeRateRows();
    void Arrange();
    void Connect();
    // Runs the entry check of box `box` on an item picked, or on its pending
    // entry; a failure is told and the focus goes back into the box.
    void Check(int box, const QString& item);
    void Commit(int box);
    void Tell(int box, const EntryCheck& check);
    // Whether the focus leaving `box` for the application's focus widget,
    // for `reason`, checks its entry.
    bool ChecksOnLeaving(QComboBox* box, Qt::FocusReason reason) const;
    QComboBox* CheckedBox(int box) const;
    int CheckedIndexOf(const QObject* widget) const;
    void ShowModel();
    void ShowList();
    void ShowText(int box, const std::string& text);

    DacPage& model_;
    PageServices services_;
    bool checking_ = false;
    QListWidget* list_ = nullptr;
    QLabel* typeLabel_ = nullptr;
    QComboBox* type_ = nullptr;
    QLabel* picture_ = nullptr;
    std::array<QLabel*, 2> levelLabels_{};
    std::array<QComboBox*, 2> levels_{};
    std::array<QSlider*, 2> sliders_{};
    std::array<QLabel*, 2> rateLabels_{};
    std::array<QComboBox*, 2> rates_{};
    std::array<QPushButton*, 2> buttons_{};
};

} // namespace velmora::ui
