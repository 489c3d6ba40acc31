#include "ui/dac_page_model.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "engine/module_link.h"
#include "output/analog_output.h"
#include "ui/locale_numbers.h"

namespace velmora::ui {
namespace {

using core::Waveform;

constexpr int kLevelItems = 41;
constexpr double kLevelItemStep = 0.25;
constexpr int kPhaseItems = 20;
constexpr double kPhaseItemStep = 0.05;
constexpr double kPhaseMax = 1.0; // a whole period, the same as none
// Sine and the kinds after it repeat with the signal frequency.
constexpr int16_t kFirstPeriodic = static_cast<int16_t>(Waveform::Sine);

int16_t Code(Waveform w) {
    return static_cast<int16_t>(w);
}

std::string RangeMessage(double low, double high, const char* unit) {
    return "Please, set the number in range from " + NumberText(low) + " to " + NumberText(high) + unit + "!";
}

} // namespace

ucDACModel::ucDACModel(output::AnalogOutput& output, const engine::ModuleLink& module)
    : output_(output), module_(module), present_(module.dacPresent) {
    if (!present_) return;
    for (int k = 0; k < kLevelItems; ++k)
        levelItems_.push_back(NumberText(output_.voltMax - k * kLevelItemStep));
    sliderMin_ = output_.codeMin;
    sliderMax_ = output_.codeMax;
    sliderStep_ =
        output_.voltMax != 0.0 ? static_cast<int32_t>(std::lround(output_.codeMax / output_.voltMax)) : 0;
    const int types = output_.signalFreqMax > 0 ? core::kWaveformCount : Code(Waveform::Dc) + 1;
    typeItems_.assign(kWaveformNames.begin(), kWaveformNames.begin() + types);
    rateItems_[0] = {"1"};
    for (double decade = 1; decade <= 10000; decade *= 10)
        for (double step : {2.0, 5.0, 10.0}) rateItems_[0].push_back(NumberText(step * decade));
    rateItems_[1] = {"0"};
    for (int k = 1; k < kPhaseItems; ++k) rateItems_[1].push_back(FixedText(k * kPhaseItemStep, 2, 2));

    pageFrequency_ = output_.generator.signalFreq;
    if (pageFrequency_ < output_.signalFreqMin || pageFrequency_ > output_.signalFreqMax)
        pageFrequency_ = core::kDefaultSignalFreq;
    rateText_[0] = NumberText(pageFrequency_);
    pageWaves_ = output_.generator.waves;
    rateText_[1] = NumberText(pageWaves_[0].phase);
    lines_.assign(static_cast<std::size_t>(Count()), {});
    for (int c = 0; c < Count(); ++c) RewriteLine(c);
    SelectChannel(output_.IndexInRange(output_.pageChannel) ? output_.pageChannel : 0);
    UpdateEnabled();
}

int ucDACModel::Count() const {
    return std::clamp<int>(output_.channelsCount, 0, static_cast<int>(pageWaves_.size()));
}

// Volts of a code to the millivolt, halves away from zero, as the user
// writes numbers.
std::string ucDACModel::VoltsText(int32_t code) const {
    const auto volts = static_cast<float>(output_.CodeToVolts(code));
    return FixedText(AsWritten(volts), 0, 3);
}

const std::string& ucDACModel::BoxText(int box) const {
    const std::optional<std::string>& typed = pending_.at(static_cast<std::size_t>(box));
    if (typed) return *typed;
    return box < kFrequency ? levelText_.at(static_cast<std::size_t>(box))
                            : rateText_.at(static_cast<std::size_t>(box - kFrequency));
}

std::string& ucDACModel::ValueText(int box) {
    return box < kFrequency ? levelText_.at(static_cast<std::size_t>(box))
                            : rateText_.at(static_cast<std::size_t>(box - kFrequency));
}

bool ucDACModel::BoxEnabled(int box) const {
    return box < kFrequency ? levelEnabled_.at(static_cast<std::size_t>(box))
                            : rateEnabled_.at(static_cast<std::size_t>(box - kFrequency));
}

void ucDACModel::RewriteLine(int channel) {
    const core::WaveSettings& wave = pageWaves_[static_cast<std::size_t>(channel)];
    const int16_t kind = Code(wave.waveform);
    std::string line = "AO" + std::to_string(channel + 1) + ": ";
    if (kind >= 0 && kind < static_cast<int>(typeItems_.size()))
        line += typeItems_[static_cast<std::size_t>(kind)];
    if (kind > Code(Waveform::Off)) line += "\tA=" + VoltsText(wave.amplitude) + " V";
    if (kind > Code(Waveform::Dc)) line += "\tB=" + VoltsText(wave.baseline) + " V";
    lines_[static_cast<std::size_t>(channel)] = line;
}

void ucDACModel::SelectChannel(int channel) {
    if (channel < 0 || channel >= Count()) return;
    current_ = channel;
    typeCaption_ = "AO" + std::to_string(channel + 1) + " &Type:";
    const core::WaveSettings& wave = pageWaves_[static_cast<std::size_t>(channel)];
    {
        const Scope guard = Refreshing();
        ChooseWaveform(Code(wave.waveform));
        ChangeSlider(0, wave.amplitude);
        levelText_[0] = VoltsText(wave.amplitude);
        ChangeSlider(1, wave.baseline);
        levelText_[1] = VoltsText(wave.baseline);
    }
    pending_[kAmplitude].reset(); // typed for the output left
    pending_[kBaseline].reset();
    RewriteLine(channel);
}

void ucDACModel::ChooseWaveform(int position) {
    if (current_ < 0 || position < 0 || position >= static_cast<int>(typeItems_.size())) return;
    typeIndex_ = position;
    picture_ = static_cast<Waveform>(position);
    pageWaves_[static_cast<std::size_t>(current_)].waveform = static_cast<Waveform>(position);
    RewriteLine(current_);
    UpdateEnabled();
}

void ucDACModel::UpdateEnabled() {
    if (current_ < 0) return;
    const int16_t kind = Code(pageWaves_[static_cast<std::size_t>(current_)].waveform);
    levelEnabled_ = {kind >= Code(Waveform::Dc), kind >= Code(Waveform::Noise)};
    if (output_.signalFreqMax > 0) {
        const auto periodic = [](const core::WaveSettings& w) { return Code(w.waveform) >= kFirstPeriodic; };
        const auto first = pageWaves_.begin();
        const auto last = pageWaves_.begin() + Count();
        rateEnabled_ = {std::any_of(first, last, periodic), std::all_of(first, last, periodic)};
    }
    // A box the user cannot reach any more cannot hold an entry to fix.
    for (int box = 0; box < kBoxes; ++box)
        if (!BoxEnabled(box)) pending_[static_cast<std::size_t>(box)].reset();
}

void ucDACModel::ScrollSlider(int i, int32_t position) {
    if (!present_ || i < 0 || i > 1) return;
    slider_[static_cast<std::size_t>(i)] = std::clamp(position, sliderMin_, sliderMax_);
    levelText_[static_cast<std::size_t>(i)] = VoltsText(slider_[static_cast<std::size_t>(i)]);
    pending_[static_cast<std::size_t>(i)].reset();
}

void ucDACModel::ChangeSlider(int i, int32_t position) {
    if (!present_ || i < 0 || i > 1) return;
    const auto index = static_cast<std::size_t>(i);
    slider_[index] = std::clamp(position, sliderMin_, sliderMax_);
    if (updating_ || current_ < 0) return;
    core::WaveSettings& wave = pageWaves_[static_cast<std::size_t>(current_)];
    (i == 0 ? wave.amplitude : wave.baseline) = slider_[index];
    levelText_[index] = VoltsText(slider_[index]);
    pending_[index].reset();
    RewriteLine(current_);
}

EntryCheck ucDACModel::CheckLevel(int i, const std::string& text) {
    if (!present_ || current_ < 0 || i < 0 || i > 1) return {};
    const auto index = static_cast<std::size_t>(i);
    const std::optional<double> read = ReadNumber(text);
    // Read as a Single, so a value past its range is not a number either.
    if (read && std::fabs(*read) <= FLT_MAX) {
        const auto v = static_cast<float>(*read);
        if (output_.voltMin <= v && v <= output_.voltMax) {
            const int32_t code = output_.VoltsToCode(v);
            levelText_[index] = text;
            pending_[index].reset();
            core::WaveSettings& wave = pageWaves_[static_cast<std::size_t>(current_)];
            (i == 0 ? wave.amplitude : wave.baseline) = code;
            {
                const Scope guard = Refreshing();
                ChangeSlider(i, code);
            }
            RewriteLine(current_);
            return {};
        }
    }
    pending_[index] = text;
    return {false, RangeMessage(output_.voltMin, output_.voltMax, " V")};
}

EntryCheck ucDACModel::CheckRate(int i, const std::string& text) {
    if (!present_ || i < 0 || i > 1) return {};
    const double low = i == 0 ? output_.signalFreqMin : 0.0;
    const double high = i == 0 ? output_.signalFreqMax : kPhaseMax;
    std::optional<std::string>& typed = pending_[static_cast<std::size_t>(kFrequency + i)];
    const std::optional<double> v = ReadNumber(text);
    if (!v || *v < low || *v > high) {
        typed = text;
        return {false, RangeMessage(low, high, "")};
    }
    typed.reset();
    rateText_[static_cast<std::size_t>(i)] = text;
    if (i == 1) {
        // The offset is the first output's, whichever is selected.
        pageWaves_[0].phase = *v < kPhaseMax ? *v : 0.0;
        if (pageWaves_[0].phase != *v) rateText_[1] = NumberText(pageWaves_[0].phase);
    } else {
        pageFrequency_ = *v;
    }
    return {};
}

void ucDACModel::Edit(int box, const std::string& text) {
    if (!present_ || box < 0 || box >= kBoxes || !BoxEnabled(box)) return;
    std::optional<std::string>& typed = pending_[static_cast<std::size_t>(box)];
    if (text == ValueText(box))
        typed.reset();
    else
        typed = text;
}

bool ucDACModel::Pending(int box) const {
    return box >= 0 && box < kBoxes && pending_[static_cast<std::size_t>(box)].has_value();
}

int ucDACModel::PendingBox() const {
    for (int box = 0; box < kBoxes; ++box)
        if (Pending(box)) return box;
    return -1;
}

EntryCheck ucDACModel::Commit(int box) {
    if (!Pending(box)) return {};
    const std::string text = *pending_[static_cast<std::size_t>(box)];
    return box < kFrequency ? CheckLevel(box, text) : CheckRate(box - kFrequency, text);
}

EntryCheck ucDACModel::CommitEntries() {
    for (int box = 0; box < kBoxes; ++box) {
        EntryCheck check = Commit(box);
        if (!check.passed) return check;
    }
    return {};
}

bool ucDACModel::StopBold() const {
    return output_.streamEnabled;
}

void ucDACModel::Start() {
    if (!present_) return;
    Page_SaveSetting();
    output_.ApplySettings(module_.Device());
}

void ucDACModel::Stop() {
    if (!present_) return;
    output_.Stop(module_.Device());
}

void ucDACModel::Page_SaveSetting() {
    if (!present_) return;
    for (int c = 0; c < Count(); ++c)
        output_.generator.waves[static_cast<std::size_t>(c)] = pageWaves_[static_cast<std::size_t>(c)];
    if (output_.signalFreqMax > 0) output_.generator.signalFreq = pageFrequency_;
}

void ucDACModel::Closing() {
    if (current_ >= 0) output_.pageChannel = static_cast<int16_t>(current_);
}

} // namespace velmora::ui
