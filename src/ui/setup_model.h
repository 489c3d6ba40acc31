// dlgSetupModel: the setup dialog's frame without a toolkit, the SetupFrame
// that the driver makes over its state and hands to its dialog service. It
// owns the title, the Help button's state with the help file and context,
// the tab set of the present module (General always; ADC once detected; DAC
// with analog outputs; DIO with digital I/O), the selected tab, and the
// pages, each created when its tab is first selected. OK has every created
// page store itself; Cancel and the close box store nothing (what a page
// applied at once stays applied). The tab selected at closing is remembered
// in the driver state for the next opening. Not thread-safe; one UI thread,
// modal.
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
#include "ui/setup_frame.h"

namespace velmora::engine {
struct DriverState;
}

namespace velmora::ui {

// Each tab's key is also its caption.
std::string TabKey(SetupTab tab);

// "Lintara Setup (v3.2.1)".
std::string SetupTitle(const std::string& driverTypeName, int major, int minor, int revision);
// The decimal digits from the second character on: 16 for "E16"; 0 without any.
int32_t HelpContextFromName(const std::string& name);

class dlgSetupModel final : public SetupFrame {
public:
    // The dialog's load: title, help, tabs. No page exists yet. `folder` is
    // the driver's, where the General page's logo finds the documentation.
    explicit dlgSetupModel(engine::DriverState& s, std::filesystem::path folder = platform::ModuleFolder());
    ~dlgSetupModel();
    dlgSetupModel(const dlgSetupModel&) = delete;
    dlgSetupModel& operator=(const dlgSetupModel&) = delete;

    const std::string& Title() const override { return title_; }
    bool HelpEnabled() const override { return helpEnabled_; }
    const std::string& HelpFile() const override;
    int32_t HelpContext() const { return helpContext_; }

    int TabCount() const override { return static_cast<int>(tabs_.size()); }
    SetupTab Tab(int index) const override { return tabs_.at(static_cast<std::size_t>(index)); }
    std::string TabCaption(int index) const override { return TabKey(Tab(index)); }
    int SelectedTab() const override { return selected_; }
    bool PageExists(int index) const override;
    bool PageVisible(int index) const override;

    ucGeneralModel* General() const override;
    ucADCModel* Adc() const override;
    ucDACModel* Dac() const override;
    ucDIOModel* Dio() const override;

    void Activate() override;
    void SelectTab(int index) override;
    EntryCheck CommitEntries() override;
    void Ok() override;
    void Cancel() override { Close(); }
    void CloseBox() override { Close(); }
    bool IsOpen() const override { return open_; }
    // OK closed it: the pages stored their values.
    bool Stored() const { return stored_; }

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
    bool stored_ = false;
};

// What a setup dialog came to.
enum class SetupOutcome : int32_t {
    NotShown = -1, // a recording runs, no display, or the dialog failed
    Closed = 0,    // Cancel, Esc or the close box: nothing stored
    Stored = 1,    // OK: the pages stored their values
};

// Opens the setup dialog over a settled state through the dialog service,
// unless a recording runs.
SetupOutcome ShowSetupDialog(engine::DriverState& s);

} // namespace velmora::ui
