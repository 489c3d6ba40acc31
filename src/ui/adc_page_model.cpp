#include "ui/adc_page_model.h"

#include "core/module_limits.h"
#include "engine/analog_input.h"
#include "engine/module_link.h"

namespace velmora::ui {
namespace {

constexpr int16_t kHalf = core::kChannels / 2;

// The input of an entry as the module takes it, 0..31.
int16_t Source(const core::ChannelEntry& e) {
    return core::FoldChannel(e.source);
}

std::string InputName(const core::ChannelEntry& e) {
    const int16_t s = Source(e);
    const std::string number = std::to_string(s % kHalf + 1);
    if (e.singleEnded != 0) return (s < kHalf ? "X" : "Y") + number;
    return s < kHalf ? "XY" + number : std::string("Calibration 0");
}

int OptionOf(const core::ChannelEntry& e) {
    const bool upper = Source(e) >= kHalf;
    if (e.singleEnded != 0) return upper ? ucADCModel::kSingleY : ucADCModel::kSingleX;
    return upper ? ucADCModel::kCalibration : ucADCModel::kDifferential;
}

} // namespace

ucADCModel::ucADCModel(engine::AnalogInput& input, const engine::ModuleLink& module)
    : input_(input), module_(module) {
    Initialise();
}

int ucADCModel::Count() const {
    return input_.channelsCount < core::kChannels ? input_.channelsCount : core::kChannels;
}

void ucADCModel::Initialise() {
    lines_.clear();
    pageTable_ = input_.channelTable;
    for (int i = 0; i < Count(); ++i) {
        lines_.emplace_back();
        RewriteLine(i);
    }
    SelectLine(0);
}

void ucADCModel::RewriteLine(int line) {
    lines_[static_cast<std::size_t>(line)] =
        "AI" + std::to_string(line + 1) + "\t" + InputName(pageTable_[static_cast<std::size_t>(line)]);
}

void ucADCModel::SelectLine(int line) {
    if (line < 0 || line >= Count()) return;
    selected_ = line;
    inputCaption_ = "&AI" + std::to_string(line + 1) + ":";
    ChooseOption(OptionOf(pageTable_[static_cast<std::size_t>(line)]));
}

void ucADCModel::FillSources(SourceList kind) {
    if (sourceKind_ == kind) return; // same kind: the items stay, only the selection moves
    sourceItems_.clear();
    const char* prefix = kind == SourceList::X ? "X" : (kind == SourceList::Y ? "Y" : "XY");
    for (int k = 0; k < Count() / 2; ++k) sourceItems_.push_back(prefix + std::to_string(k + 1));
    sourceKind_ = kind;
}

void ucADCModel::ChooseOption(int option) {
    if (selected_ < 0 || option < kDifferential || option > kSingleY) return;
    option_ = option;
    core::ChannelEntry& e = pageTable_[static_cast<std::size_t>(selected_)];
    const auto number = static_cast<int16_t>(Source(e) % kHalf);
    const bool upper = option == kCalibration || option == kSingleY;
    e.source = static_cast<int16_t>(number + (upper ? kHalf : 0));
    e.singleEnded = option == kSingleX || option == kSingleY ? 1 : 0;
    switch (option) {
    case kCalibration:
        sourceItems_.clear();
        sourceKind_ = SourceList::None;
        break;
    case kSingleX:
        FillSources(SourceList::X);
        break;
    case kSingleY:
        FillSources(SourceList::Y);
        break;
    default:
        FillSources(SourceList::XY);
        break;
    }
    sourceEnabled_ = option != kCalibration;
    sourceIndex_ = sourceEnabled_ ? number : -1;
    RewriteLine(selected_);
}

void ucADCModel::ChooseSource(int item) {
    if (updating_ || selected_ < 0 || item < 0 || item >= static_cast<int>(sourceItems_.size())) return;
    core::ChannelEntry& e = pageTable_[static_cast<std::size_t>(selected_)];
    e.source = static_cast<int16_t>(item % kHalf + (sourceKind_ == SourceList::Y ? kHalf : 0));
    sourceIndex_ = item;
    RewriteLine(selected_);
}

void ucADCModel::ChSet(int button) {
    if (button < kPresetDifferential || button > kReset) return;
    int remembered = selected_;
    selected_ = -1;
    if (button == kReset) {
        Initialise();
    } else {
        for (int i = 0; i < Count(); ++i) {
            pageTable_[static_cast<std::size_t>(i)] = {static_cast<int16_t>(i),
                                                       static_cast<int16_t>(button == kPresetSingle ? 1 : 0)};
            RewriteLine(i);
        }
    }
    if (remembered < 0 || remembered >= Count()) remembered = 0;
    SelectLine(remembered);
}

void ucADCModel::Page_SaveSetting() {
    input_.channelTable = pageTable_;
    input_.ProgramChannels(module_.Device());
}

} // namespace velmora::ui
