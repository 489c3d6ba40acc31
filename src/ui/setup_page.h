// SetupPage: what the setup dialog's frame asks of each of its pages, and the
// `updating` guard the pages share. Not thread-safe; one UI thread, modal.
#pragma once

#include <string>

namespace velmora::ui {

// What an entry check says: passed, or the message to show.
struct EntryCheck {
    bool passed = true;
    std::string message;
};

// Set while the page itself, or the view copying the page's state into its
// widgets, changes a control, so that the control's own reaction does nothing.
class UpdatingFlag {
public:
    class Scope {
    public:
        explicit Scope(UpdatingFlag& flag) : flag_(flag), was_(flag.on_) { flag_.on_ = true; }
        ~Scope() { flag_.on_ = was_; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        UpdatingFlag& flag_;
        bool was_;
    };

    bool On() const { return on_; }

private:
    bool on_ = false;
};

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
