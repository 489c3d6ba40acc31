// ucGeneralModel: the General page of the setup dialog without a toolkit. It
// owns what the page's controls show: the module's information text, the
// start-synchronization list, the direction options, the range list, the
// level slider with its text in volts, and the enabled state of the analog
// controls. It reads the start settings when created (putting a level,
// direction or mode that is out of bounds back within them, in the driver
// state itself) and writes them back only in Page_SaveSetting. The page's
// view sees it as a GeneralPage. Not thread-safe; one UI thread, modal.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/start_sync.h"
#include "platform/module_folder.h"
#include "ui/general_page.h"
#include "ui/setup_page.h"

namespace velmora::engine {
class AnalogInput;
class ModuleLink;
} // namespace velmora::engine

namespace velmora::ui {

class ucGeneralModel final : public SetupPage, public GeneralPage {
public:
    ucGeneralModel(core::StartSync& sync, const engine::AnalogInput& input, const engine::ModuleLink& module,
                   std::filesystem::path folder = platform::ModuleFolder());

    const std::string& InfoText() const override { return infoText_; }
    const std::vector<std::string>& SynchroItems() const override { return synchroItems_; }
    int SynchroIndex() const override { return synchroIndex_; }
    int Direction() const override { return direction_; }
    const std::vector<std::string>& RangeItems() const override { return rangeItems_; }
    int RangeIndex() const override { return rangeIndex_; }
    int LevelLimit() const override { return levelLimit_; }
    int LevelStep() const override { return levelLimit_ / 10; }
    int LevelPosition() const override { return levelPosition_; }
    const std::string& LevelText() const override { return levelText_; }
    bool AnalogEnabled() const override { return analogEnabled_; }
    std::string DocumentationPath() const override { return (folder_ / kDocumentationFile).string(); }

    void SelectSynchro(int index) override;
    void SelectDirection(int option) override;
    void SelectRange(int index) override;
    void MoveLevel(int position) override;
    void SetZero() override { MoveLevel(0); }

    void Page_SaveSetting() override;

private:
    void RefreshLevelText();

    core::StartSync& sync_;
    std::filesystem::path folder_;
    std::string infoText_;
    std::vector<std::string> synchroItems_;
    std::vector<std::string> rangeItems_;
    int synchroIndex_ = -1;
    int direction_ = -1;
    int rangeIndex_ = -1;
    int levelLimit_ = 0;
    int levelPosition_ = 0;
    std::string levelText_ = "0";
    bool analogEnabled_ = false;
};

} // namespace velmora::ui
