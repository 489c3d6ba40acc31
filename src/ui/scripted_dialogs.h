// ScriptedDialogs: the dialog service for tests. Answers are queued by the
// test beforehand; every request is recorded for the test to inspect.
// Not thread-safe; used from the test's (host) thread.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace velmora::ui {

class ScriptedDialogs : public Dialogs {
public:
    struct Message {
        std::string text;
        std::string title;
    };

    // SelectIP answers in order; with none left it answers 0 (cancelled).
    void QueueAddress(int32_t address) { addresses_.push_back(address); }
    void QueueCancel() { addresses_.push_back(0); }
    // ShowSetup results in order; with none left the dialog counts as shown.
    void QueueSetup(bool shown) { setups_.push_back(shown); }

    int32_t SelectIP(const std::string& title) override;
    bool ShowSetup(engine::DriverState& state) override;
    void MessageBox(const std::string& text, const std::string& title) override;
    void WaitCursor(bool on) override { waitCursor.push_back(on); }
    void OpenUrl(const std::string& url) override { urls.push_back(url); }
    void ShowHelp(const std::string& helpFile) override { helpFiles.push_back(helpFile); }

    // What was asked, in order.
    std::vector<std::string> selectIpTitles;
    std::vector<const engine::DriverState*> setupStates; // the state each ShowSetup was given
    std::vector<Message> messages;
    std::vector<bool> waitCursor;
    std::vector<std::string> urls;
    std::vector<std::string> helpFiles;

private:
    std::deque<int32_t> addresses_;
    std::deque<bool> setups_;
};

} // namespace velmora::ui
