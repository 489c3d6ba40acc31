// ucDACModel: the DAC page of the setup dialog without a toolkit. It owns a
// working copy of both outputs' waveform settings and of the signal
// frequency, the selected output, the texts of its lines, lists, level boxes
// and sliders, the entries typed and not yet committed, the entry checks with
// their messages, the enabled states, the picture of the chosen waveform and
// the emphasis of "Start"/"Stop". The copy reaches the driver state in
// Page_SaveSetting, which "Start" runs at once before arming the generator;
// "Stop" stops the outputs at once. Cancel undoes neither. A page for a module
// without outputs stays empty and does nothing. The page's view sees it as a
// DacPage. Not thread-safe; one UI thread, modal.
//
// The phase offset is a fraction of a period, 0 <= phase < 1, as the settings
// keep it: the entry 1, a whole period, is taken as 0 and shown so.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/generator_setup.h"
#include "ui/dac_page.h"
#include "ui/setup_page.h"

namespace velmora::engine {
class ModuleLink;
}
namespace velmora::output {
class AnalogOutput;
}

namespace velmora::ui {

class ucDACModel final : public SetupPage, public DacPage {
public:
    ucDACModel(output::AnalogOutput& output, const engine::ModuleLink& module);

    const std::vector<std::string>& Lines() const override { return lines_; }
    int SelectedChannel() const override { return current_; }
    const std::string& TypeCaption() const override { return typeCaption_; }
    const std::vector<std::string>& TypeItems() const override { return typeItems_; }
    int TypeIndex() const override { return typeIndex_; }
    std::optional<core::Waveform> Picture() const override { return picture_; }

    const std::vector<std::string>& LevelItems() const override { return levelItems_; }
    const std::string& LevelText(int i) const override { return BoxText(i); }
    int32_t SliderMin() const override { return sliderMin_; }
    int32_t SliderMax() const override { return sliderMax_; }
    int32_t SliderStep() const override { return sliderStep_; }
    int32_t SliderPosition(int i) const override { return slider_.at(static_cast<std::size_t>(i)); }

    const std::vector<std::string>& RateItems(int i) const override {
        return rateItems_.at(static_cast<std::size_t>(i));
    }
    const std::string& RateText(int i) const override { return BoxText(kFrequency + i); }

    bool LevelEnabled(int i) const override { return levelEnabled_.at(static_cast<std::size_t>(i)); }
    bool RateEnabled(int i) const override { return rateEnabled_.at(static_cast<std::size_t>(i)); }
    // The generator armed (Start) shows as a bold Stop.
    bool StartBold() const override { return !StopBold(); }
    bool StopBold() const override;

    // The working copy.
    const core::WaveSettings& PageWave(int c) const { return pageWaves_.at(static_cast<std::size_t>(c)); }
    double PageFrequency() const { return pageFrequency_; }

    bool Updating() const override { return updating_; }

    void SelectChannel(int channel) override;
    void ChooseWaveform(int position) override;
    void ScrollSlider(int i, int32_t position) override;
    void ChangeSlider(int i, int32_t position) override;
    EntryCheck CheckLevel(int i, const std::string& text) override;
    EntryCheck CheckRate(int i, const std::string& text) override;
    void Edit(int box, const std::string& text) override;
    bool Pending(int box) const override;
    int PendingBox() const override;
    EntryCheck Commit(int box) override;
    EntryCheck CommitEntries() override;
    void Start() override;
    void Stop() override;

    void Page_SaveSetting() override;
    // The selected output is shown again at the next opening.
    void Closing() override;

private:
    void SetUpdating(bool on) override { updating_ = on; }
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
    bool updating_ = false;
};

} // namespace velmora::ui
