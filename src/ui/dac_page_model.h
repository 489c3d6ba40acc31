// ucDACModel: the DAC page of the setup dialog without a toolkit. It owns a
// working copy of both outputs' waveform settings and of the signal
// frequency, the selected output, the texts of its lines, lists, level boxes
// and sliders, the entries typed and not yet committed, the entry checks with
// their messages, the enabled states, the picture of the chosen waveform and
// the emphasis of "Start"/"Stop". The copy reaches the driver state in
// Page_SaveSetting, which "Start" runs at once before arming the generator;
// "Stop" stops the outputs at once. Cancel undoes neither. A page for a module
// without outputs stays empty and does nothing. Not thread-safe; one UI
// thread, modal.
//
// The phase offset is a fraction of a period, 0 <= phase < 1, as the settings
// keep it: the entry 1, a whole period, is taken as 0 and shown so.
//
// For the view: fill the controls from the getters once created and after
// every call below. lstChannels selection -> SelectChannel(c); cboDACType
// click -> ChooseWaveform(position); slDAC(i) scroll -> ScrollSlider(i, pos)
// and change -> ChangeSlider(i, pos). The checked boxes are numbered by Box:
// the user's typing in one -> Edit(box, text); an item picked from cboDAC(i)
// -> CheckLevel(i, item), from cboRate(i) -> CheckRate(i, item); Enter in a
// box, or the focus leaving it, while Pending(box) -> Commit(box): a check
// that does not pass gives a message for a box with an OK button, and the
// focus goes back into the box. Enter in a box with nothing pending, and any
// other key, is the dialog's. "Start" -> Start(); "Stop" -> Stop(). Hold
// Refreshing() while moving the sliders to the model's positions, so that
// their change is not stored again. The list's tab stops are kTabStops dialog
// units; an enabled combo box has the window background, a disabled one the
// button face; Picture() names the waveform picture to draw.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/generator_setup.h"
#include "ui/setup_page.h"

namespace velmora::engine {
class ModuleLink;
}
namespace velmora::output {
class AnalogOutput;
}

namespace velmora::ui {

class ucDACModel : public SetupPage {
public:
    static constexpr std::array<int, 2> kTabStops = {78, 140};
    static constexpr std::array<const char*, 2> kLevelCaptions = {"&Amplitude (V):", "&Baseline  (V):"};
    static constexpr std::array<const char*, 2> kRateCaptions = {"&Frequency (Hz):", "&Phases Offset:"};
    static constexpr std::array<const char*, 2> kButtonCaptions = {"Start", "Stop"};
    // cboDACType items in waveform order; the periodic ones only with a frequency.
    static constexpr std::array<const char*, core::kWaveformCount> kWaveformNames = {
        "Off", "DC", "Noise", "Sine", "Pulse", "Ramp", "Triangle"};
    // The boxes with an entry check: cboDAC(0..1), then cboRate(0..1).
    enum Box { kAmplitude, kBaseline, kFrequency, kPhase, kBoxes };

    ucDACModel(output::AnalogOutput& output, const engine::ModuleLink& module);

    // lstChannels: one line per output; -1 while none is selected.
    const std::vector<std::string>& Lines() const { return lines_; }
    int SelectedChannel() const { return current_; }
    // lblDACType.
    const std::string& TypeCaption() const { return typeCaption_; }
    const std::vector<std::string>& TypeItems() const { return typeItems_; }
    int TypeIndex() const { return typeIndex_; }
    // imgType: none until a waveform is chosen.
    std::optional<core::Waveform> Picture() const { return picture_; }

    // cboDAC(i), i = 0 amplitude, 1 baseline: the same items for both. A
    // box's text is the entry typed in it and not committed, else the text of
    // the page's value.
    const std::vector<std::string>& LevelItems() const { return levelItems_; }
    const std::string& LevelText(int i) const { return BoxText(i); }
    // slDAC(i): from SliderMin() to SliderMax(), ticks and large step SliderStep().
    int32_t SliderMin() const { return sliderMin_; }
    int32_t SliderMax() const { return sliderMax_; }
    int32_t SliderStep() const { return sliderStep_; }
    int32_t SliderPosition(int i) const { return slider_.at(static_cast<std::size_t>(i)); }

    // cboRate(i), i = 0 frequency, 1 phase of the first output.
    const std::vector<std::string>& RateItems(int i) const {
        return rateItems_.at(static_cast<std::size_t>(i));
    }
    const std::string& RateText(int i) const { return BoxText(kFrequency + i); }

    bool LevelEnabled(int i) const { return levelEnabled_.at(static_cast<std::size_t>(i)); }
    bool RateEnabled(int i) const { return rateEnabled_.at(static_cast<std::size_t>(i)); }
    // "Start" bold while the generator is off, "Stop" while it is on.
    bool StartBold() const { return !generatorOn_; }
    bool StopBold() const { return generatorOn_; }

    // The working copy.
    const core::WaveSettings& PageWave(int c) const { return pageWaves_.at(static_cast<std::size_t>(c)); }
    double PageFrequency() const { return pageFrequency_; }

    bool Updating() const { return updating_.On(); }
    [[nodiscard]] UpdatingFlag::Scope Refreshing() { return UpdatingFlag::Scope(updating_); }

    void SelectChannel(int channel);
    void ChooseWaveform(int position);
    void ScrollSlider(int i, int32_t position);
    // Ignored while updating, apart from the position itself.
    void ChangeSlider(int i, int32_t position);
    // A text that passes becomes the page's value; one refused stays pending.
    EntryCheck CheckLevel(int i, const std::string& text);
    EntryCheck CheckRate(int i, const std::string& text);
    // The user typed `text` into `box`; typing the value's own text back
    // leaves nothing pending. A disabled box takes nothing.
    void Edit(int box, const std::string& text);
    bool Pending(int box) const;
    // The first box with an entry pending, or -1.
    int PendingBox() const;
    // The pending entry of `box` checked; passed when there is none.
    EntryCheck Commit(int box);
    EntryCheck CommitEntries() override;
    void Start();
    void Stop();

    void Page_SaveSetting() override;
    // The selected output is shown again at the next opening.
    void Closing() override;

private:
    int Count() const;
    std::string VoltsText(int32_t code) const;
    const std::string& BoxText(int box) const;
    std::string& ValueText(int box);
    bool BoxEnabled(int box) const;
    void RewriteLine(int channel);
    void UpdateEnabled();

    output::AnalogOutput& output_;
    const engine::ModuleLink& module_;
    bool present_ = false;
    std::array<core::WaveSettings, 2> pageWaves_{};
    double pageFrequency_ = 0.0;
    int current_ = -1;
    std::vector<std::string> lines_;
    std::string typeCaption_ = "AO1 &Type:";
    std::vector<std::string> typeItems_;
    int typeIndex_ = -1;
    std::optional<core::Waveform> picture_;
    std::vector<std::string> levelItems_;
    std::array<std::string, 2> levelText_{};
    int32_t sliderMin_ = 0, sliderMax_ = 0, sliderStep_ = 0;
    std::array<int32_t, 2> slider_{};
    std::array<std::vector<std::string>, 2> rateItems_{};
    std::array<std::string, 2> rateText_{};
    std::array<std::optional<std::string>, kBoxes> pending_{};
    std::array<bool, 2> levelEnabled_{};
    std::array<bool, 2> rateEnabled_{};
    bool generatorOn_ = false;
    UpdatingFlag updating_;
};

} // namespace velmora::ui
