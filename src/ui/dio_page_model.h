// ucDIOModel: the Digital I/O page of the setup dialog without a toolkit. It
// owns a copy of the digital record, the 16 input and 16 output boxes, the
// frame and "On Start:"/"On Stop:" captions, the "In" and "Out" switches with
// the input-polling timer, the enabled states of the buttons and the
// `updating` guard of the output boxes. Reading and writing the lines goes to
// the module at once and stays when the dialog is cancelled; the start and
// stop words reach the driver state only in Page_SaveSetting.
// Not thread-safe; one UI thread, modal.
//
// Boxes are numbered as they stand, 0 leftmost: box k shows bit 15 - k.
// For the view: fill the controls from the getters once created and after
// every call below. chkInput click -> InputSwitch(ticked); run TimerTick()
// every kTimerInterval ms while TimerEnabled(); chkOutput click ->
// OutputSwitch(ticked); chkOut(k) click -> OutputBoxClick(k, ticked);
// cmdOutput(b) -> OutputButton(b); chkStart(i) click -> StartSwitch(i,
// ticked); cmdStart(i) "Set" -> SetWord(i); cmdShow(i) "Show" -> ShowWord(i).
// Hold Refreshing() while ticking the output boxes to the model's state, so
// that their echo is ignored. The frame calls Shown()/Hidden() as the tab is
// selected and left.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dio/digital_io.h"
#include "ui/setup_page.h"

namespace velmora::engine {
class ModuleLink;
}

namespace velmora::ui {

class ucDIOModel : public SetupPage {
public:
    static constexpr int kBoxes = 16;
    static constexpr int kTimerInterval = 1000; // ms
    // cmdOutput indexes.
    enum Button : int { kClear = 0, kSetAll = 1, kInvert = 2, kAsInput = 3, kReset = 4 };
    static constexpr const char* kInputFrameCaption = "&Input";
    static constexpr const char* kOutputFrameCaption = "&Output";
    static constexpr const char* kInputSwitchCaption = "In";
    static constexpr const char* kOutputSwitchCaption = "Out";
    static constexpr std::array<const char*, 5> kButtonCaptions = {"Clear", "Set All", "Invert", "As Input",
                                                                   "Reset"};
    static constexpr const char* kSetCaption = "Set";
    static constexpr const char* kShowCaption = "Show";

    ucDIOModel(dio::DigitalIo& dio, const engine::ModuleLink& module);

    // lblInBin / lblOutBin under box k: "16" .. "1".
    static std::string BoxLabel(int box) { return std::to_string(kBoxes - box); }
    // Boxes beyond the module's bits are hidden and their labels disabled.
    bool InputBoxVisible(int box) const { return box >= kBoxes - copy_.diBits; }
    bool OutputBoxVisible(int box) const { return box >= kBoxes - copy_.doBits; }
    bool InputBox(int box) const { return inputBoxes_.at(static_cast<std::size_t>(box)); }
    bool OutputBox(int box) const { return outputBoxes_.at(static_cast<std::size_t>(box)); }
    // frDI / frDO captions: the design captions until the page is first shown.
    const std::string& InputCaption() const { return inputCaption_; }
    const std::string& OutputCaption() const { return outputCaption_; }

    bool InputTicked() const { return inputTicked_; }
    bool TimerEnabled() const { return timerEnabled_; }
    bool OutputTicked() const { return outputTicked_; }
    bool OutputButtonEnabled(int button) const { return button != kReset || resetEnabled_; }

    // chkStart(i), i = 0 start, 1 stop, with its "Set" and "Show".
    bool StartTicked(int i) const { return startTicked_.at(static_cast<std::size_t>(i)); }
    bool StartButtonsEnabled(int i) const { return StartTicked(i); }
    const std::string& StartCaption(int i) const { return startCaption_.at(static_cast<std::size_t>(i)); }

    // The page's copy of the digital record; its doValue is the working word.
    const dio::DigitalIo& Copy() const { return copy_; }

    bool Updating() const { return updating_.On(); }
    [[nodiscard]] UpdatingFlag::Scope Refreshing() { return UpdatingFlag::Scope(updating_); }

    void Shown() override;
    void Hidden() override { timerEnabled_ = false; }
    void TimerTick();
    void InputSwitch(bool ticked);
    void OutputSwitch(bool ticked);
    void OutputBoxClick(int box, bool ticked);
    void OutputButton(int button);
    void StartSwitch(int i, bool ticked);
    void SetWord(int i);
    void ShowWord(int i);

    void Page_SaveSetting() override;

private:
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
    UpdatingFlag updating_;
};

} // namespace velmora::ui
