// DacPage: what the DAC page's view asks of its page, the outputs' lines,
// the waveform kind, the level and rate boxes with their entry checks, and
// "Start"/"Stop", with the page's captions. The driver's ucDACModel
// implements it; the Qt plug-in sees only this.
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
// Refreshing() while moving the sliders to the page's positions, so that
// their change is not stored again. The list's tab stops are kTabStops dialog
// units; an enabled combo box has the window background, a disabled one the
// button face; Picture() names the waveform picture to draw.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/generator_setup.h"
#include "ui/page_interface.h"

namespace velmora::ui {

class DacPage : public UpdatingGuard {
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

    // lstChannels: one line per output; -1 while none is selected.
    virtual const std::vector<std::string>& Lines() const = 0;
    virtual int SelectedChannel() const = 0;
    // lblDACType.
    virtual const std::string& TypeCaption() const = 0;
    virtual const std::vector<std::string>& TypeItems() const = 0;
    virtual int TypeIndex() const = 0;
    // imgType: none until a waveform is chosen.
    virtual std::optional<core::Waveform> Picture() const = 0;

    // cboDAC(i), i = 0 amplitude, 1 baseline: the same items for both. A
    // box's text is the entry typed in it and not committed, else the text of
    // the page's value.
    virtual const std::vector<std::string>& LevelItems() const = 0;
    virtual const std::string& LevelText(int i) const = 0;
    // slDAC(i): from SliderMin() to SliderMax(), ticks and large step SliderStep().
    virtual int32_t SliderMin() const = 0;
    virtual int32_t SliderMax() const = 0;
    virtual int32_t SliderStep() const = 0;
    virtual int32_t SliderPosition(int i) const = 0;

    // cboRate(i), i = 0 frequency, 1 phase of the first output.
    virtual const std::vector<std::string>& RateItems(int i) const = 0;
    virtual const std::string& RateText(int i) const = 0;

    virtual bool LevelEnabled(int i) const = 0;
    virtual bool RateEnabled(int i) const = 0;
    // "Start" bold while the generator is off, "Stop" while it is on.
    virtual bool StartBold() const = 0;
    virtual bool StopBold() const = 0;

    virtual void SelectChannel(int channel) = 0;
    virtual void ChooseWaveform(int position) = 0;
    virtual void ScrollSlider(int i, int32_t position) = 0;
    // Ignored while updating, apart from the position itself.
    virtual void ChangeSlider(int i, int32_t position) = 0;
    // A text that passes becomes the page's value; one refused stays pending.
    virtual EntryCheck CheckLevel(int i, const std::string& text) = 0;
    virtual EntryCheck CheckRate(int i, const std::string& text) = 0;
    // The user typed `text` into `box`; typing the value's own text back
    // leaves nothing pending. A disabled box takes nothing.
    virtual void Edit(int box, const std::string& text) = 0;
    virtual bool Pending(int box) const = 0;
    // The first box with an entry pending, or -1.
    virtual int PendingBox() const = 0;
    // The pending entry of `box` checked; passed when there is none.
    virtual EntryCheck Commit(int box) = 0;
    virtual void Start() = 0;
    virtual void Stop() = 0;

protected:
    ~DacPage() = default;
};

} // namespace velmora::ui
