// SetupFrame: what the setup dialog's window asks of the dialog: the title,
// Help, the tabs of the present module with their pages, and OK, Cancel and
// the close box. The driver makes it over its state (dlgSetupModel) and
// hands it to the dialog service; the Qt plug-in sees only this.
//
// For the view: build the tab strip from TabCount()/TabCaption(); call
// Activate() once when the dialog is first shown; tab strip click ->
// SelectTab(i), then show the page of SelectedTab() (General()/Adc()/Dac()/
// Dio() by Tab(i)); "OK" -> CommitEntries(), then Ok() when it passed (when
// not, the dialog stays open on the tab of the refused entry and shows the
// message); "Cancel" -> Cancel(), the close box -> CloseBox(), and neither
// checks an entry; after Ok(), Cancel() or CloseBox() the dialog closes.
// "Help" (enabled per HelpEnabled()) opens HelpFile(). A failure while the
// dialog is shown ends it with the message ErrorMessage(what).
#pragma once

#include <array>
#include <string>

#include "ui/adc_page.h"
#include "ui/dac_page.h"
#include "ui/dio_page.h"
#include "ui/general_page.h"
#include "ui/page_interface.h"

namespace velmora::ui {

// The tabs in their order.
enum class SetupTab { General, ADC, DAC, DIO };

inline std::string ErrorMessage(const std::string& description) {
    return "Error: " + description;
}

class SetupFrame {
public:
    static constexpr std::array<const char*, 3> kButtonCaptions = {"OK", "Cancel", "Help"};

    virtual const std::string& Title() const = 0;
    virtual bool HelpEnabled() const = 0;
    virtual const std::string& HelpFile() const = 0;

    virtual int TabCount() const = 0;
    virtual SetupTab Tab(int index) const = 0;
    virtual std::string TabCaption(int index) const = 0;
    // -1 until Activate().
    virtual int SelectedTab() const = 0;
    virtual bool PageExists(int index) const = 0;
    virtual bool PageVisible(int index) const = 0;

    // The pages, null until their tab is first selected and after closing.
    virtual GeneralPage* General() const = 0;
    virtual AdcPage* Adc() const = 0;
    virtual DacPage* Dac() const = 0;
    virtual DioPage* Dio() const = 0;

    // Selects the tab selected when the dialog last closed; the first tab when
    // this module has fewer tabs.
    virtual void Activate() = 0;
    virtual void SelectTab(int index) = 0;
    // The entries typed into the made pages and not yet committed, checked
    // as when they are left, the shown page's first; the first refusal
    // selects its page's tab.
    virtual EntryCheck CommitEntries() = 0;
    virtual void Ok() = 0;
    virtual void Cancel() = 0;
    virtual void CloseBox() = 0;
    virtual bool IsOpen() const = 0;

protected:
    ~SetupFrame() = default;
};

} // namespace velmora::ui
