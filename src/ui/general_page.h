// GeneralPage: what the General page's view asks of its page, the module's
// information and the start synchronization, with the page's captions. The
// driver's ucGeneralModel implements it; the Qt plug-in sees only this.
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
#include <string>
#include <vector>

namespace velmora::ui {

// The project's documentation, relative to the driver's folder: what the
// logo opens.
inline constexpr const char* kDocumentationFile = "docs/index.html";

class GeneralPage {
public:
    static constexpr const char* kSynchroCaption = "&Synchronization";
    static constexpr const char* kLevelCaption = "&Level (V):";
    static constexpr const char* kZeroCaption = "Set 0";
    static constexpr std::array<const char*, 4> kDirectionCaptions = {"Above level", "Transition Up",
                                                                      "Transition Down", "Below level"};

    virtual const std::string& InfoText() const = 0;
    virtual const std::vector<std::string>& SynchroItems() const = 0;
    virtual int SynchroIndex() const = 0;
    // optSType: the option chosen, 0..3.
    virtual int Direction() const = 0;
    virtual const std::vector<std::string>& RangeItems() const = 0;
    // -1 while no range is chosen.
    virtual int RangeIndex() const = 0;
    // slSLevel: from -LevelLimit() to LevelLimit(), page step and ticks LevelStep().
    virtual int LevelLimit() const = 0;
    virtual int LevelStep() const = 0;
    // The slider shows the level negated.
    virtual int LevelPosition() const = 0;
    virtual const std::string& LevelText() const = 0;
    virtual bool AnalogEnabled() const = 0;
    // The documentation in the driver's folder, a local file's path.
    virtual std::string DocumentationPath() const = 0;

    virtual void SelectSynchro(int index) = 0;
    virtual void SelectDirection(int option) = 0;
    virtual void SelectRange(int index) = 0;
    // Past the slider's ends it stops at them.
    virtual void MoveLevel(int position) = 0;
    virtual void SetZero() = 0;

protected:
    ~GeneralPage() = default;
};

} // namespace velmora::ui
