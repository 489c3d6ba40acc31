#include "ui/general_page_model.h"

#include <cmath>
#include <cstdint>
#include <iterator>
#include <utility>

#include "core/module_limits.h"
#include "engine/analog_input.h"
#include "engine/module_link.h"
#include "ui/locale_numbers.h"

namespace velmora::ui {
namespace {

using core::StartMode;

constexpr int kLevelBound = 32000;
constexpr int kLastDirection = 3;
// The list: each kind that watches no input, then each input for the kind
// that does (the table holds one such kind, last).
constexpr int kAnalogFirst = [] {
    int items = 0;
    for (const core::StartKind& kind : core::kStartKinds) items += kind.level ? 0 : 1;
    return items;
}();
static_assert(core::kStartKinds[std::size(core::kStartKinds) - 1].level, "the level kind comes last");

int16_t Clamped(int value, int bound) {
    return static_cast<int16_t>(value > bound ? bound : (value < -bound ? -bound : value));
}

// The smallest of 125, 250, 500, ... that reaches half the converter's codes:
// 32000 for 16 bits.
int SliderLimit(int resolution) {
    const double half = std::ldexp(1.0, resolution - 1);
    int m = 125;
    while (half > 2.0 * m) m *= 2;
    return m;
}

// Volts in the fewest decimals that still show the level: fewer for large
// values, none below a millivolt; the last digit rounded with halves away
// from zero. Compared and rounded in single precision, so that 0.1 V on the
// 10 V range counts as 0.1 exactly.
std::string LevelVolts(float volts) {
    const float size = std::fabs(volts);
    const double written = AsWritten(volts);
    if (size > 1.0f) return FixedText(written, 1, 3);
    if (size > 0.1f) return FixedText(written, 2, 4);
    if (size > 0.01f) return FixedText(written, 3, 5);
    if (size > 0.001f) return FixedText(written, 4, 6);
    return "0";
}

} // namespace

ucGeneralModel::ucGeneralModel(core::StartSync& sync, const engine::AnalogInput& input,
                               const engine::ModuleLink& module, std::filesystem::path folder)
    : sync_(sync), folder_(std::move(folder)), infoText_(module.infoText) {
    for (const core::StartKind& kind : core::kStartKinds) {
        if (!kind.level) synchroItems_.push_back(kind.caption);
        for (int k = 1; kind.level && k <= input.channelsCount; ++k)
            synchroItems_.push_back(kind.caption + std::to_string(k));
    }
    rangeItems_ = input.rangeNames;

    // Settings out of bounds are put back within them where they are stored.
    sync_.level = Clamped(sync_.level, kLevelBound);
    const auto direction = static_cast<int16_t>(sync_.direction);
    if (direction < 0) sync_.direction = core::SyncDirection::Above;
    if (direction > kLastDirection) sync_.direction = static_cast<core::SyncDirection>(kLastDirection);
    if (static_cast<int16_t>(sync_.mode) < 0) sync_.mode = StartMode::Internal;

    // A watched channel outside the list is shown as the one the module
    // watches; a stored number past the kinds without an input, as an input.
    const int channels = input.channelsCount > 0 ? input.channelsCount : 1;
    const int channel = ((sync_.channel % channels) + channels) % channels;
    synchroIndex_ = channel + kAnalogFirst;
    for (int i = 0; i < kAnalogFirst; ++i)
        if (core::kStartKinds[i].mode == sync_.mode) synchroIndex_ = i;

    levelLimit_ = SliderLimit(input.resolution);
    sync_.level = Clamped(sync_.level, levelLimit_);
    levelPosition_ = -sync_.level;

    if (sync_.range >= 0 && sync_.range < static_cast<int>(rangeItems_.size())) rangeIndex_ = sync_.range;
    direction_ = static_cast<int16_t>(sync_.direction);
    SelectSynchro(synchroIndex_);
    RefreshLevelText();
}

void ucGeneralModel::SelectSynchro(int index) {
    if (index < 0 || index >= static_cast<int>(synchroItems_.size())) return;
    synchroIndex_ = index;
    analogEnabled_ = index >= kAnalogFirst;
    if (analogEnabled_) RefreshLevelText();
}

void ucGeneralModel::SelectDirection(int option) {
    if (option >= 0 && option <= kLastDirection) direction_ = option;
}

void ucGeneralModel::SelectRange(int index) {
    if (index < 0 || index >= static_cast<int>(rangeItems_.size())) return;
    rangeIndex_ = index;
    RefreshLevelText();
}

void ucGeneralModel::MoveLevel(int position) {
    levelPosition_ =
        position > levelLimit_ ? levelLimit_ : (position < -levelLimit_ ? -levelLimit_ : position);
    RefreshLevelText();
}

void ucGeneralModel::RefreshLevelText() {
    const int level = -levelPosition_;
    float volts = 0.0f;
    if (rangeIndex_ >= 0)
        volts = static_cast<float>(level) / static_cast<float>(core::RangeCodesPerVolt(rangeIndex_));
    levelText_ = LevelVolts(volts);
}

void ucGeneralModel::Page_SaveSetting() {
    if (synchroIndex_ < kAnalogFirst) {
        sync_.mode = core::kStartKinds[synchroIndex_].mode;
        return;
    }
    sync_.mode = core::kStartKinds[kAnalogFirst].mode;
    sync_.channel = static_cast<int16_t>(synchroIndex_ - kAnalogFirst);
    sync_.level = static_cast<int16_t>(-levelPosition_);
    if (rangeIndex_ >= 0) sync_.range = static_cast<int16_t>(rangeIndex_);
    if (direction_ >= 0) sync_.direction = static_cast<core::SyncDirection>(direction_);
}

} // namespace velmora::ui
