// dlgSetupModel: the setup dialog's frame without a toolkit. It owns the
// title, the Help button's state with the help file and context, the tab set
// of the present module (General always; ADC once detected; DAC with
// analog outputs; DIO with digital I/O), the selected tab, and the pages,
// each created when its tab is first selected. OK has every created page
// store itself; Cancel and the close box store nothing (what a page applied
// at once stays applied). The tab selected at closing is remembered in the
// driver state for the next opening. Not thread-safe; one UI thread, modal.
//
// For the view: build the tab strip from TabCount()/TabCaption(); call
// Activate() once when the dialog is first shown; tab strip click ->
// SelectTab(i), then show the page of SelectedTab() (General()/Adc()/Dac()/
// Dio() by Tab(i)); "OK" -> CommitEntries(), then Ok() when it passed (when
// not, the dialog stays open on the tab of the refused entry and shows the
// message); "Cancel" -> Cancel(), the close box -> CloseBox(), and neither
// checks an entry; after Ok(), Cancel() or CloseBox() the dialog closes. "Help" (enabled per
// HelpEnabled()) opens HelpFile() at HelpContext(). A failure while the
// dialog is created or shown ends it with the message ErrorMessage(what).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/module_folder.h"
#include "ui/adc_page_model.h"
#include "ui/dac_page_model.h"
#include "ui/dio_page_model.h"
#include "ui/general_page_model.h"

namespace velmora::engine {
struct DriverState;
}

namespace velmora::ui {

// The tabs in their order; each tab's key is also its caption.
enum class SetupTab { General, ADC, DAC, DIO };
std::string TabKey(SetupTab tab);

// "Lintara Setup (v3.2.1)".
std::string SetupTitle(const std::string& driverTypeName, int major, int minor, int revision);
// The decimal digits from the second character on: 16 for "E16"; 0 without any.
int32_t HelpContextFromName(const std::string& name);
std::string ErrorMessage(const std::string& description);

class dlgSetupModel {
public:
    static constexpr std::array<const char*, 3> kButtonCaptions = {"OK", "Cancel", "Help"};

    // The dialog's load: title, help, tabs. No page exists yet. `folder` is
    // the driver's, where the General page's logo finds the documentation.
    explicit dlgSetupModel(engine::DriverState& s, std::filesystem::path folder = platform::ModuleFolder());
    ~dlgSetupModel();
    dlgSetupModel(const dlgSetupModel&) = delete;
    dlgSetupModel& operator=(const dlgSetupModel&) = delete;

    const std::string& Title() const { return title_; }
    bool HelpEnabled() const { return helpEnabled_; }
    const std::string& HelpFile() const;
    int32_t HelpContext() const { return helpContext_; }

    int TabCount() const { return static_cast<int>(tabs_.size()); }
    SetupTab Tab(int index) const { return tabs_.at(static_cast<std::size_t>(index)); }
    std::string TabCaption(int index) const { return TabKey(Tab(index)); }
    // -1 until Activate().
    int SelectedTab() const { return selected_; }
    bool PageExists(int index) const;
    bool PageVisible(int index) const;

    // The pages, null until their tab is first selected and after closing.
    ucGeneralModel* General() const;
    ucADCModel* Adc() const;
    ucDACModel* Dac() const;
    ucDIOModel* Dio() const;

    // Selects the tab selected when the dialog last closed; the first tab when
    // this module has fewer tabs.
    void Activate();
    void SelectTab(int index);
    // The entries typed into the made pages and not yet committed, checked
    // as when they are left, the shown page's first; the first refusal
    // selects its page's tab.
    EntryCheck CommitEntries();
    void Ok();
    void Cancel() { Close(); }
    void CloseBox() { Close(); }
    bool IsOpen() const { return open_; }

private:
    struct Page {
        std::unique_ptr<SetupPage> model;
        bool visible = false;
    };

    void CreatePage(int index);
    void Close();
    template <typename T> T* PageOf(SetupTab tab) const;

    engine::DriverState& s_;
    std::filesystem::path folder_;
    std::string title_;
    bool helpEnabled_ = false;
    int32_t helpContext_ = 0;
    std::vector<SetupTab> tabs_;
    std::vector<Page> pages_;
    int selected_ = -1;
    bool open_ = true;
};

} // namespace velmora::ui
