// ucADCModel: the ADC page of the setup dialog without a toolkit. It owns a
// working copy of the logical channel table (what each of the 32 channels
// measures) with the page's lines, the selected line, the measuring option
// and the physical-input list of that line, and the `updating` guard of the
// input list. The copy reaches the driver state, and the module's logical
// channel table, only in Page_SaveSetting. The page's view sees it as an
// AdcPage. Not thread-safe; one UI thread, modal.
#pragma once

#include <string>
#include <vector>

#include "core/channel_table.h"
#include "ui/adc_page.h"
#include "ui/setup_page.h"

namespace velmora::engine {
class AnalogInput;
class ModuleLink;
} // namespace velmora::engine

namespace velmora::ui {

class ucADCModel final : public SetupPage, public AdcPage {
public:
    ucADCModel(engine::AnalogInput& input, const engine::ModuleLink& module);

    const std::vector<std::string>& Lines() const override { return lines_; }
    int SelectedLine() const override { return selected_; }
    const std::string& InputCaption() const override { return inputCaption_; }
    int ChosenOption() const override { return option_; }
    const std::vector<std::string>& SourceItems() const override { return sourceItems_; }
    int SourceIndex() const override { return sourceIndex_; }
    bool SourceEnabled() const override { return sourceEnabled_; }
    const core::ChannelTable& PageTable() const { return pageTable_; }
    bool Updating() const override { return updating_; }

    void SelectLine(int line) override;
    void ChooseOption(int option) override;
    void ChooseSource(int item) override;
    void ChSet(int button) override;

    void Page_SaveSetting() override;

private:
    // What cboADChSrc lists.
    enum class SourceList { None, X, Y, XY };

    void SetUpdating(bool on) override { updating_ = on; }
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
    bool updating_ = false;
};

} // namespace velmora::ui
