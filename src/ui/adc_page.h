// AdcPage: what the ADC page's view asks of its page, the logical channels'
// lines and the input of the selected one, with the page's captions. The
// driver's ucADCModel implements it; the Qt plug-in sees only this.
//
// For the view: fill the controls from the getters once created and after
// every call below. lstADCh selection -> SelectLine(i); optACh(m) click ->
// ChooseOption(m); cboADChSrc click -> ChooseSource(k); cmdChSet(b) ->
// ChSet(b). Hold Refreshing() while copying the page into the widgets, so
// that the input list's echo of the selection is ignored. The input list is
// enabled per SourceEnabled() (window background when enabled, button face
// when not). Line texts hold a tab between the channel and its input.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "ui/page_interface.h"

namespace velmora::ui {

class AdcPage : public UpdatingGuard {
public:
    // optACh indexes.
    enum Option : int { kDifferential = 0, kCalibration = 1, kSingleX = 2, kSingleY = 3 };
    // cmdChSet indexes.
    enum Button : int { kPresetDifferential = 0, kPresetSingle = 1, kReset = 2 };

    static constexpr const char* kChannelsCaption = "Channels:";
    static constexpr const char* kInputCaption = "&Input";
    static constexpr const char* kSourceCaption = "AD Input:";
    static constexpr std::array<const char*, 4> kOptionCaptions = {
        "&Differential XY", "Calibration &0", "Single &X (Not Inverted)", "Single &Y (Inverted)"};
    static constexpr std::array<const char*, 3> kButtonCaptions = {"16 &Differential (XY)",
                                                                   "32 &Single (16X + 16Y)", "&Reset"};

    virtual const std::vector<std::string>& Lines() const = 0;
    // -1 while no line is selected.
    virtual int SelectedLine() const = 0;
    // frChInput: "&Input", then "&AI" n ":" of the selected line.
    virtual const std::string& InputCaption() const = 0;
    // The chosen optACh, -1 before any.
    virtual int ChosenOption() const = 0;
    virtual const std::vector<std::string>& SourceItems() const = 0;
    // -1: nothing selected.
    virtual int SourceIndex() const = 0;
    virtual bool SourceEnabled() const = 0;

    virtual void SelectLine(int line) = 0;
    virtual void ChooseOption(int option) = 0;
    // Ignored while updating.
    virtual void ChooseSource(int item) = 0;
    virtual void ChSet(int button) = 0;

protected:
    ~AdcPage() = default;
};

} // namespace velmora::ui
