// DioPage: what the Digital I/O page's view asks of its page, the input and
// output boxes, the "In" and "Out" switches with the input polling, the
// output buttons and the start and stop words, with the page's captions.
// The driver's ucDIOModel implements it; the Qt plug-in sees only this.
//
// Boxes are numbered as they stand, 0 leftmost: box k shows bit 15 - k.
// For the view: fill the controls from the getters once created and after
// every call below. chkInput click -> InputSwitch(ticked); run TimerTick()
// every kTimerInterval ms while TimerEnabled(); chkOutput click ->
// OutputSwitch(ticked); chkOut(k) click -> OutputBoxClick(k, ticked);
// cmdOutput(b) -> OutputButton(b); chkStart(i) click -> StartSwitch(i,
// ticked); cmdStart(i) "Set" -> SetWord(i); cmdShow(i) "Show" -> ShowWord(i).
// Hold Refreshing() while ticking the output boxes to the page's state, so
// that their echo is ignored.
#pragma once

#include <array>
#include <string>

#include "ui/page_interface.h"

namespace velmora::ui {

class DioPage : public UpdatingGuard {
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

    // lblInBin / lblOutBin under box k: "16" .. "1".
    static std::string BoxLabel(int box) { return std::to_string(kBoxes - box); }
    // Boxes beyond the module's bits are hidden and their labels disabled.
    virtual bool InputBoxVisible(int box) const = 0;
    virtual bool OutputBoxVisible(int box) const = 0;
    virtual bool InputBox(int box) const = 0;
    virtual bool OutputBox(int box) const = 0;
    // frDI / frDO captions: the design captions until the page is first shown.
    virtual const std::string& InputCaption() const = 0;
    virtual const std::string& OutputCaption() const = 0;

    virtual bool InputTicked() const = 0;
    virtual bool TimerEnabled() const = 0;
    virtual bool OutputTicked() const = 0;
    virtual bool OutputButtonEnabled(int button) const = 0;

    // chkStart(i), i = 0 start, 1 stop, with its "Set" and "Show".
    virtual bool StartTicked(int i) const = 0;
    virtual bool StartButtonsEnabled(int i) const = 0;
    virtual const std::string& StartCaption(int i) const = 0;

    virtual void TimerTick() = 0;
    virtual void InputSwitch(bool ticked) = 0;
    virtual void OutputSwitch(bool ticked) = 0;
    virtual void OutputBoxClick(int box, bool ticked) = 0;
    virtual void OutputButton(int button) = 0;
    virtual void StartSwitch(int i, bool ticked) = 0;
    virtual void SetWord(int i) = 0;
    virtual void ShowWord(int i) = 0;

protected:
    ~DioPage() = default;
};

} // namespace velmora::ui
