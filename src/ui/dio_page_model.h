// ucDIOModel: the Digital I/O page of the setup dialog without a toolkit. It
// owns a copy of the digital record, the 16 input and 16 output boxes, the
// frame and "On Start:"/"On Stop:" captions, the "In" and "Out" switches with
// the input-polling timer, the enabled states of the buttons and the
// `updating` guard of the output boxes. Reading and writing the lines goes to
// the module at once and stays when the dialog is cancelled; the start and
// stop words reach the driver state only in Page_SaveSetting. The page's
// view sees it as a DioPage; the frame calls Shown()/Hidden() as the tab is
// selected and left. Not thread-safe; one UI thread, modal.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dio/digital_io.h"
#include "ui/dio_page.h"
#include "ui/setup_page.h"

namespace velmora::engine {
class ModuleLink;
}

namespace velmora::ui {

class ucDIOModel final : public SetupPage, public DioPage {
public:
    ucDIOModel(dio::DigitalIo& dio, const engine::ModuleLink& module);

    bool InputBoxVisible(int box) const override { return box >= kBoxes - copy_.diBits; }
    bool OutputBoxVisible(int box) const override { return box >= kBoxes - copy_.doBits; }
    bool InputBox(int box) const override { return inputBoxes_.at(static_cast<std::size_t>(box)); }
    bool OutputBox(int box) const override { return outputBoxes_.at(static_cast<std::size_t>(box)); }
    const std::string& InputCaption() const override { return inputCaption_; }
    const std::string& OutputCaption() const override { return outputCaption_; }

    bool InputTicked() const override { return inputTicked_; }
    bool TimerEnabled() const override { return timerEnabled_; }
    bool OutputTicked() const override { return outputTicked_; }
    bool OutputButtonEnabled(int button) const override { return button != kReset || resetEnabled_; }

    bool StartTicked(int i) const override { return startTicked_.at(static_cast<std::size_t>(i)); }
    bool StartButtonsEnabled(int i) const override { return StartTicked(i); }
    const std::string& StartCaption(int i) const override {
        return startCaption_.at(static_cast<std::size_t>(i));
    }

    // The page's copy of the digital record; its doValue is the working word.
    const dio::DigitalIo& Copy() const { return copy_; }

    bool Updating() const override { return updating_; }

    void Shown() override;
    void Hidden() override { timerEnabled_ = false; }
    void TimerTick() override;
    void InputSwitch(bool ticked) override;
    void OutputSwitch(bool ticked) override;
    void OutputBoxClick(int box, bool ticked) override;
    void OutputButton(int button) override;
    void StartSwitch(int i, bool ticked) override;
    void SetWord(int i) override;
    void ShowWord(int i) override;

    void Page_SaveSetting() override;

private:
    void SetUpdating(bool on) override { updating_ = on; }
    static int Bit(int box) { return kBoxes - 1 - box; }
    int32_t BoxesWord() const;
    void SetBoxes(int32_t word);
    // The output boxes changed as if the user had clicked one.
    void OutputBoxesChanged();
    void ShowInput();
    void ShowOutput();
    void ReadOutputBoxes();
    void WriteOutput();
    void ShowStartStop(int i);

    dio::DigitalIo& dio_;
    const engine::ModuleLink& module_;
    dio::DigitalIo copy_;
    std::array<bool, kBoxes> inputBoxes_{};
    std::array<bool, kBoxes> outputBoxes_{};
    std::string inputCaption_ = kInputFrameCaption;
    std::string outputCaption_ = kOutputFrameCaption;
    bool inputTicked_ = false;
    bool timerEnabled_ = false;
    bool outputTicked_ = false;
    bool resetEnabled_ = true;
    std::array<bool, 2> startTicked_{};
    std::array<std::string, 2> startCaption_{};
    bool updating_ = false;
};

} // namespace velmora::ui
