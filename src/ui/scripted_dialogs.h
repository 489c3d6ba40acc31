// ScriptedDialogs: the dialog service for tests. Answers are queued by the
// test beforehand; every request is recorded for the test to inspect. It
// answers detection's address prompt too, so a test can hand it to the
// engine directly. Not thread-safe; used from the test's (host) thread.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/address_prompt.h"
#include "ui/dialogs.h"

namespace velmora::ui {

class ScriptedDialogs : public Dialogs, public engine::AddressPrompt {
public:
    struct Message {
        std::string text;
        std::string title;
    };
    // What the user does in an open setup dialog.
    using SetupUser = std::function<void(SetupFrame& frame)>;

    // SelectIP answers in order; with none left it answers 0 (cancelled).
    void QueueAddress(int32_t address) { addresses_.push_back(address); }
    void QueueCancel() { addresses_.push_back(0); }
    // ShowSetup activates the frame, as the dialog's first showing does,
    // hands it to these in order, and cancels it when they left it open;
    // with none left the dialog is cancelled at once. A null user stands
    // for a dialog that cannot be shown (no display).
    void QueueSetup(SetupUser user) { setups_.push_back(std::move(user)); }

    int32_t SelectIP(const std::string& title) override;
    bool ShowSetup(SetupFrame& frame) override;
    void MessageBox(const std::string& text, const std::string& title) override;
    void WaitCursor(bool on) override { waitCursor.push_back(on); }

    // What was asked, in order.
    std::vector<std::string> selectIpTitles;
    std::vector<std::vector<std::string>> setupTabs; // the tab captions of each setup dialog shown
    std::vector<Message> messages;
    std::vector<bool> waitCursor;

private:
    std::deque<int32_t> addresses_;
    std::deque<SetupUser> setups_;
};

} // namespace velmora::ui
