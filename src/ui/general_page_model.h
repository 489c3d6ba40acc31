// ucGeneralModel: the General page of the setup dialog without a toolkit. It
// owns what the page's controls show: the module's information text, the
// start-synchronization list, the direction options, the range list, the
// level slider with its text in volts, and the enabled state of the analog
// controls. It reads the start settings when created (putting a level,
// direction or mode that is out of bounds back within them, in the driver
// state itself) and writes them back only in Page_SaveSetting.
// Not thread-safe; one UI thread, modal.
//
// For the view: fill the controls from the getters once created and after
// every call below. cboSynchro click -> SelectSynchro(index); optSType(i)
// click -> SelectDirection(i); cboSRange click -> SelectRange(index); slSLevel
// change and scroll -> MoveLevel(position); "Set 0" -> SetZero(); imgLogo
// click -> open DocumentationPath() as a local file, ignoring errors. The
// analog controls (txtSLevel, cmdCZero, cboSRange, slSLevel, optSType) follow
// AnalogEnabled(); an enabled txtSLevel/cboSRange has the window background,
// a disabled one the button face. The two pictures (the synchronization
// types, the logo) are static.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "core/start_sync.h"
#include "platform/module_folder.h"
#include "ui/setup_page.h"

namespace velmora::engine {
class AnalogInput;
class ModuleLink;
} // namespace velmora::engine

namespace velmora::ui {

// The project's documentation, relative to the driver's folder: what the
// logo opens.
inline constexpr const char* kDocumentationFile = "docs/index.html";

class ucGeneralModel : public SetupPage {
public:
    static constexpr const char* kSynchroCaption = "&Synchronization";
    static constexpr const char* kLevelCaption = "&Level (V):";
    static constexpr const char* kZeroCaption = "Set 0";
    static constexpr std::array<const char*, 4> kDirectionCaptions = {"Above level", "Transition Up",
                                                                      "Transition Down", "Below level"};
    // cboSynchro items before the analog inputs.
    static constexpr int kAnalogFirst = 5;

    ucGeneralModel(core::StartSync& sync, const engine::AnalogInput& input, const engine::ModuleLink& module,
                   std::filesystem::path folder = platform::ModuleFolder());

    const std::string& InfoText() const { return infoText_; }
    const std::vector<std::string>& SynchroItems() const { return synchroItems_; }
    int SynchroIndex() const { return synchroIndex_; }
    // optSType: the option chosen, 0..3.
    int Direction() const { return direction_; }
    const std::vector<std::string>& RangeItems() const { return rangeItems_; }
    // -1 while no range is chosen.
    int RangeIndex() const { return rangeIndex_; }
    // slSLevel: from -LevelLimit() to LevelLimit(), page step and ticks LevelStep().
    int LevelLimit() const { return levelLimit_; }
    int LevelStep() const { return levelLimit_ / 10; }
    // The slider shows the level negated.
    int LevelPosition() const { return levelPosition_; }
    const std::string& LevelText() const { return levelText_; }
    bool AnalogEnabled() const { return analogEnabled_; }
    std::filesystem::path DocumentationPath() const { return folder_ / kDocumentationFile; }

    void SelectSynchro(int index);
    void SelectDirection(int option);
    void SelectRange(int index);
    // Past the slider's ends it stops at them.
    void MoveLevel(int position);
    void SetZero() { MoveLevel(0); }

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
