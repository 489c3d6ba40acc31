// SetupPage: what the setup dialog's frame asks of each of its pages inside
// the driver; the views see the pages through their own interfaces instead.
// Not thread-safe; one UI thread, modal.
#pragma once

#include "ui/page_interface.h"

namespace velmora::ui {

class SetupPage {
public:
    virtual ~SetupPage() = default;
    // OK: the page's values into the driver state (and the module where the
    // page says so).
    virtual void Page_SaveSetting() = 0;
    // OK, before any page stores: the entries typed and not yet committed are
    // checked as when they are left; the first refusal stops there.
    virtual EntryCheck CommitEntries() { return {}; }
    // The page becomes visible or hidden as its tab is selected or left.
    virtual void Shown() {}
    virtual void Hidden() {}
    // The dialog closes, by any button; the page is released afterwards.
    virtual void Closing() {}
};

} // namespace velmora::ui
