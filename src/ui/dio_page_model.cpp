#include "ui/dio_page_model.h"

#include <cmath>
#include <cstdio>

#include "engine/module_link.h"

namespace velmora::ui {
namespace {

// "0x" with four upper-case hexadecimal digits, then the decimal: 0x0009 (9).
std::string WordText(const char* title, int32_t word) {
    char text[64];
    std::snprintf(text, sizeof text, "%s: 0x%04X (%d)", title, static_cast<unsigned>(word), word);
    return text;
}

} // namespace

ucDIOModel::ucDIOModel(dio::DigitalIo& dio, const engine::ModuleLink& module)
    : dio_(dio), module_(module), copy_(dio) {
    StartSwitch(0, copy_.doStartEnabled);
    StartSwitch(1, copy_.doStopEnabled);
    ShowStartStop(0);
    ShowStartStop(1);
}

int32_t ucDIOModel::BoxesWord() const {
    int32_t word = 0;
    for (int box = 0; box < kBoxes; ++box)
        if (OutputBoxVisible(box) && outputBoxes_[static_cast<std::size_t>(box)])
            word |= int32_t{1} << Bit(box);
    return word;
}

void ucDIOModel::SetBoxes(int32_t word) {
    for (int box = 0; box < kBoxes; ++box)
        if (OutputBoxVisible(box))
            outputBoxes_[static_cast<std::size_t>(box)] = ((word >> Bit(box)) & 1) != 0;
}

void ucDIOModel::ShowInput() {
    copy_.diValue = dio_.ReadInputs(module_.Device());
    for (int box = 0; box < kBoxes; ++box)
        inputBoxes_[static_cast<std::size_t>(box)] =
            InputBoxVisible(box) && ((copy_.diValue >> Bit(box)) & 1) != 0;
    inputCaption_ = WordText("Input", copy_.diValue);
}

void ucDIOModel::ShowOutput() {
    copy_.doValue = dio_.doValue;
    SetBoxes(copy_.doValue);
    ReadOutputBoxes();
}

void ucDIOModel::ReadOutputBoxes() {
    copy_.doValue = BoxesWord();
    outputCaption_ = WordText("Output", copy_.doValue);
}

void ucDIOModel::WriteOutput() {
    ReadOutputBoxes();
    dio_.WriteOutputs(module_.Device(), copy_.doValue);
    ShowInput();
}

// Only the digits the outputs have: the low 16 bits for 16 lines, read back
// as a positive number.
void ucDIOModel::ShowStartStop(int i) {
    copy_.doValue = i == 1 ? copy_.doStopValue : copy_.doStartValue;
    const auto digits = static_cast<int>(std::nearbyint(copy_.doBits / 4.0));
    char hex[16];
    std::snprintf(hex, sizeof hex, "000000%X", static_cast<unsigned>(copy_.doValue));
    const std::string all(hex);
    const std::string shown = all.substr(all.size() - static_cast<std::size_t>(digits));
    const unsigned long value = shown.empty() ? 0 : std::stoul(shown, nullptr, 16);
    startCaption_[static_cast<std::size_t>(i)] =
        std::string(i == 1 ? "On Stop: 0x" : "On Start: 0x") + shown + " (" + std::to_string(value) + ")";
}

void ucDIOModel::OutputBoxesChanged() {
    if (outputTicked_) {
        WriteOutput();
        ShowOutput();
    } else {
        ReadOutputBoxes();
    }
}

void ucDIOModel::Shown() {
    ShowInput();
    ShowOutput();
    timerEnabled_ = inputTicked_;
}

void ucDIOModel::TimerTick() {
    if (timerEnabled_) ShowInput();
}

void ucDIOModel::InputSwitch(bool ticked) {
    inputTicked_ = ticked;
    if (ticked) ShowInput();
    timerEnabled_ = ticked;
}

void ucDIOModel::OutputSwitch(bool ticked) {
    outputTicked_ = ticked;
    if (ticked) {
        WriteOutput();
        ShowOutput();
    }
    resetEnabled_ = !ticked;
}

void ucDIOModel::OutputBoxClick(int box, bool ticked) {
    if (box < 0 || box >= kBoxes || !OutputBoxVisible(box)) return;
    outputBoxes_[static_cast<std::size_t>(box)] = ticked;
    if (!updating_) OutputBoxesChanged();
}

void ucDIOModel::OutputButton(int button) {
    if (button < kClear || button > kReset || !OutputButtonEnabled(button)) return;
    if (button == kReset) {
        ShowOutput(); // back to the word last written
    } else {
        for (int box = 0; box < kBoxes; ++box) {
            if (!OutputBoxVisible(box)) continue;
            bool& out = outputBoxes_[static_cast<std::size_t>(box)];
            if (button == kClear) out = false;
            if (button == kSetAll) out = true;
            if (button == kInvert) out = !out;
            if (button == kAsInput) out = inputBoxes_[static_cast<std::size_t>(box)]; // as last shown
        }
    }
    OutputBoxesChanged();
}

void ucDIOModel::StartSwitch(int i, bool ticked) {
    if (i < 0 || i > 1) return;
    startTicked_[static_cast<std::size_t>(i)] = ticked;
    (i == 0 ? copy_.doStartEnabled : copy_.doStopEnabled) = ticked;
}

void ucDIOModel::SetWord(int i) {
    if (i < 0 || i > 1 || !StartButtonsEnabled(i)) return;
    copy_.doValue = BoxesWord();
    (i == 0 ? copy_.doStartValue : copy_.doStopValue) = copy_.doValue;
    ShowStartStop(i);
}

void ucDIOModel::ShowWord(int i) {
    if (i < 0 || i > 1 || !StartButtonsEnabled(i)) return;
    copy_.doValue = i == 0 ? copy_.doStartValue : copy_.doStopValue;
    SetBoxes(copy_.doValue);
    OutputBoxesChanged(); // with "Out" ticked the word goes to the module at once
}

void ucDIOModel::Page_SaveSetting() {
    copy_.diValue = dio_.diValue;
    copy_.doValue = dio_.doValue;
    dio_ = copy_;
}

} // namespace velmora::ui
