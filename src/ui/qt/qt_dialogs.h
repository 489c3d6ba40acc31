// QtDialogs: the dialog service on Qt widgets: the address chooser dlgIP,
// the setup dialog dlgSetup, modal message boxes, the wait cursor, URLs and help through the desktop.
// Made by the plug-in's entry point once a QApplication is there; GUI
// (host) thread only.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "ui/dialogs.h"

class QWidget;

namespace velmora::ui {

// The service's message box: modal, the text and title given, an OK button.
void ShowMessageBox(QWidget* parent, const std::string& text, const std::string& title);

class QtDialogs : public Dialogs {
public:
    // The service for the address list in `folder`, on the host's
    // QApplication or one made for the process; null with `why` set when
    // there can be none (see EnsureApplication).
    static std::unique_ptr<QtDialogs> Create(std::filesystem::path folder, std::string& why);

    int32_t SelectIP(const std::string& title) override;
    // dlgSetup over the frame the driver made, modal; false when it failed
    // (the user was told why in a message box).
    bool ShowSetup(SetupFrame& frame) override;
    void MessageBox(const std::string& text, const std::string& title) override;
    void WaitCursor(bool on) override;

private:
    explicit QtDialogs(std::filesystem::path folder) : folder_(std::move(folder)) {}

    std::filesystem::path folder_;
    bool waiting_ = false; // our wait cursor is on the application's stack
};

} // namespace velmora::ui
