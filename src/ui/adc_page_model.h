// ucADCModel: the ADC page of the setup dialog without a toolkit. It owns a
// working copy of the logical channel table (what each of the 32 channels
// measures) with the page's lines, the selected line, the measuring option
// and the physical-input list of that line, and the `updating` guard of the
// input list. The copy reaches the driver state, and the module's logical
// channel table, only in Page_SaveSetting.
// Not thread-safe; one UI thread, modal.
//
// For the view: fill the controls from the getters once created and after
// every call below. lstADCh selection -> SelectLine(i); optACh(m) click ->
// ChooseOption(m); cboADChSrc click -> ChooseSource(k); cmdChSet(b) ->
// ChSet(b). Hold Refreshing() while copying the model into the widgets, so
// that the input list's echo of the selection is ignored. The input list is
// enabled per SourceEnabled() (window background when enabled, button face
// when not). Line texts hold a tab between the channel and its input.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/channel_table.h"
#include "ui/setup_page.h"

namespace velmora::engine {
class AnalogInput;
class ModuleLink;
} // namespace velmora::engine

namespace velmora::ui {

class ucADCModel : public SetupPage {
public:
    // optACh indexes.
    enum Option : int { kDifferential = 0, kCalibration = 1, kSingleX = 2, kSingleY = 3 };
    // cmdChSet indexes.
    enum Button : int { kPresetDifferential = 0, kPresetSingle = 1, kReset = 2 };
    // What cboADChSrc lists.
    enum class SourceList { None, X, Y, XY };

    static constexpr const char* kChannelsCaption = "Channels:";
    static constexpr const char* kInputCaption = "&Input";
    static constexpr const char* kSourceCaption = "AD Input:";
    static constexpr std::array<const char*, 4> kOptionCaptions = {
        "&Differential XY", "Calibration &0", "Single &X (Not Inverted)", "Single &Y (Inverted)"};
    static constexpr std::array<const char*, 3> kButtonCaptions = {"16 &Differential (XY)",
                                                                   "32 &Single (16X + 16Y)", "&Reset"};

    ucADCModel(engine::AnalogInput& input, const engine::ModuleLink& module);

    const std::vector<std::string>& Lines() const { return lines_; }
    // -1 while no line is selected.
    int SelectedLine() const { return selected_; }
    // frChInput: "&Input", then "&AI" n ":" of the selected line.
    const std::string& InputCaption() const { return inputCaption_; }
    // The chosen optACh, -1 before any.
    int ChosenOption() const { return option_; }
    const std::vector<std::string>& SourceItems() const { return sourceItems_; }
    SourceList SourceKind() const { return sourceKind_; }
    // -1: nothing selected.
    int SourceIndex() const { return sourceIndex_; }
    bool SourceEnabled() const { return sourceEnabled_; }
    const core::ChannelTable& PageTable() const { return pageTable_; }

    bool Updating() const { return updating_.On(); }
    [[nodiscard]] UpdatingFlag::Scope Refreshing() { return UpdatingFlag::Scope(updating_); }

    void SelectLine(int line);
    void ChooseOption(int option);
    // Ignored while updating.
    void ChooseSource(int item);
    void ChSet(int button);

    void Page_SaveSetting() override;

private:
    void Initialise();
    void FillSources(SourceList kind);
    void RewriteLine(int line);
    int Count() const;

    engine::AnalogInput& input_;
    const engine::ModuleLink& module_;
    core::ChannelTable pageTable_{};
    std::vector<std::string> lines_;
    int selected_ = -1;
    std::string inputCaption_ = kInputCaption;
    int option_ = -1;
    std::vector<std::string> sourceItems_;
    SourceList sourceKind_ = SourceList::None;
    int sourceIndex_ = -1;
    bool sourceEnabled_ = false;
    UpdatingFlag updating_;
};

} // namespace velmora::ui
