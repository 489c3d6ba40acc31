// What the setup pages' interfaces share across the dialog plug-in's
// boundary: an entry check's result, and the updating guard a view holds
// while it copies a page into its widgets. Header-only.
#pragma once

#include <string>

namespace velmora::ui {

// What an entry check says: passed, or the message to show.
struct EntryCheck {
    bool passed = true;
    std::string message;
};

// A page whose controls echo what is set in them: while Updating(), the
// page ignores the echo. Set while the page itself, or the view copying the
// page into its widgets, changes a control.
class UpdatingGuard {
public:
    class Scope {
    public:
        explicit Scope(UpdatingGuard& page) : page_(page), was_(page.Updating()) { page_.SetUpdating(true); }
        ~Scope() { page_.SetUpdating(was_); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        UpdatingGuard& page_;
        bool was_;
    };

    virtual bool Updating() const = 0;
    // Held while the page's state is copied into the controls.
    [[nodiscard]] Scope Refreshing() { return Scope(*this); }

protected:
    ~UpdatingGuard() = default;
    virtual void SetUpdating(bool on) = 0;
};

} // namespace velmora::ui
