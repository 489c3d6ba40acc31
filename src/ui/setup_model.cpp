#include "ui/setup_model.h"

#include <exception>
#include <utility>

#include "engine/driver_state.h"
#include "ui/dialogs.h"

namespace velmora::ui {
namespace {

// A help file name shorter than this is no file.
constexpr std::size_t kHelpNameMin = 5;

// Runs a page's step; a failing page leaves the others to go on.
template <typename Step> void IgnoringFaults(Step step) {
    try {
        step();
    } catch (const std::exception&) {}
}

} // namespace

std::string TabKey(SetupTab tab) {
    switch (tab) {
    case SetupTab::General:
        return "General";
    case SetupTab::ADC:
        return "ADC";
    case SetupTab::DAC:
        return "DAC";
    case SetupTab::DIO:
        return "DIO";
    }
    return {};
}

std::string SetupTitle(const std::string& driverTypeName, int major, int minor, int revision) {
    return driverTypeName + " Setup (v" + std::to_string(major) + "." + std::to_string(minor) + "." +
           std::to_string(revision) + ")";
}

int32_t HelpContextFromName(const std::string& name) {
    int32_t context = 0;
    for (std::size_t i = 1; i < name.size(); ++i)
        if (name[i] >= '0' && name[i] <= '9' && context < 100000000) context = context * 10 + (name[i] - '0');
    return context;
}

dlgSetupModel::dlgSetupModel(engine::DriverState& s, std::filesystem::path folder)
    : s_(s), folder_(std::move(folder)), title_(SetupTitle(s.input.driverTypeName, VELMORA_VERSION_MAJOR,
                                                           VELMORA_VERSION_MINOR, VELMORA_VERSION_PATCH)) {
    helpEnabled_ = s.settings.helpFile.size() >= kHelpNameMin;
    if (helpEnabled_) helpContext_ = HelpContextFromName(s.input.adcName);
    tabs_.push_back(SetupTab::General);
    if (s.module.detected) tabs_.push_back(SetupTab::ADC);
    if (s.module.dacPresent) tabs_.push_back(SetupTab::DAC);
    if (s.dio.present) tabs_.push_back(SetupTab::DIO);
    pages_.resize(tabs_.size());
}

dlgSetupModel::~dlgSetupModel() {
    Close();
}

const std::string& dlgSetupModel::HelpFile() const {
    return s_.settings.helpFile;
}

bool dlgSetupModel::PageExists(int index) const {
    return index >= 0 && index < TabCount() && pages_[static_cast<std::size_t>(index)].model != nullptr;
}

bool dlgSetupModel::PageVisible(int index) const {
    return PageExists(index) && pages_[static_cast<std::size_t>(index)].visible;
}

template <typename T> T* dlgSetupModel::PageOf(SetupTab tab) const {
    for (std::size_t i = 0; i < tabs_.size(); ++i)
        if (tabs_[i] == tab) return static_cast<T*>(pages_[i].model.get());
    return nullptr;
}

ucGeneralModel* dlgSetupModel::General() const {
    return PageOf<ucGeneralModel>(SetupTab::General);
}
ucADCModel* dlgSetupModel::Adc() const {
    return PageOf<ucADCModel>(SetupTab::ADC);
}
ucDACModel* dlgSetupModel::Dac() const {
    return PageOf<ucDACModel>(SetupTab::DAC);
}
ucDIOModel* dlgSetupModel::Dio() const {
    return PageOf<ucDIOModel>(SetupTab::DIO);
}

// A page that fails to build is left missing, without a message.
void dlgSetupModel::CreatePage(int index) {
    if (index < 0 || index >= TabCount() || PageExists(index)) return;
    IgnoringFaults([&] {
        std::unique_ptr<SetupPage>& page = pages_[static_cast<std::size_t>(index)].model;
        switch (Tab(index)) {
        case SetupTab::General:
            page = std::make_unique<ucGeneralModel>(s_.sync, s_.input, s_.module, folder_);
            break;
        case SetupTab::ADC:
            page = std::make_unique<ucADCModel>(s_.input, s_.module);
            break;
        case SetupTab::DAC:
            page = std::make_unique<ucDACModel>(s_.output, s_.module);
            break;
        case SetupTab::DIO:
            page = std::make_unique<ucDIOModel>(s_.dio, s_.module);
            break;
        }
    });
}

void dlgSetupModel::Activate() {
    const int last = s_.setupLastTab;
    SelectTab(last >= 0 && last < TabCount() ? last : 0);
}

void dlgSetupModel::SelectTab(int index) {
    if (!open_ || index < 0 || index >= TabCount()) return;
    selected_ = index;
    for (int i = 0; i < TabCount(); ++i) {
        Page& page = pages_[static_cast<std::size_t>(i)];
        if (i == index) {
            CreatePage(i);
            if (page.model && !page.visible) {
                page.visible = true;
                page.model->Shown();
            }
        } else if (page.model && page.visible) {
            page.visible = false;
            page.model->Hidden();
        }
    }
}

EntryCheck dlgSetupModel::CommitEntries() {
    if (!open_) return {};
    std::vector<int> order;
    if (selected_ >= 0) order.push_back(selected_);
    for (int i = 0; i < TabCount(); ++i)
        if (i != selected_) order.push_back(i);
    for (int i : order) {
        SetupPage* page = pages_[static_cast<std::size_t>(i)].model.get();
        if (page == nullptr) continue;
        EntryCheck check = page->CommitEntries();
        if (check.passed) continue;
        SelectTab(i);
        return check;
    }
    return {};
}

void dlgSetupModel::Ok() {
    if (!open_) return;
    for (Page& page : pages_)
        if (page.model) IgnoringFaults([&] { page.model->Page_SaveSetting(); });
    stored_ = true;
    Close();
}

void dlgSetupModel::Close() {
    if (!open_) return;
    open_ = false;
    s_.setupLastTab = static_cast<int16_t>(selected_ > 0 ? selected_ : 0);
    for (Page& page : pages_) {
        if (page.model)
            IgnoringFaults([&] {
                if (page.visible) page.model->Hidden();
                page.model->Closing();
            });
        page = {};
    }
}

SetupOutcome ShowSetupDialog(engine::DriverState& s) {
    if (s.acquisition.Busy()) return SetupOutcome::NotShown;
    dlgSetupModel frame(s);
    if (!CurrentDialogs().ShowSetup(frame)) return SetupOutcome::NotShown;
    return frame.Stored() ? SetupOutcome::Stored : SetupOutcome::Closed;
}

} // namespace velmora::ui
