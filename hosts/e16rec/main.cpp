// e16rec: records the E16 module through the Lintara driver into a CSV file in
// volts and prints a summary; or opens the driver's address chooser or its
// setup dialog alone.
#include "driver_session.h"
#include "options.h"
#include "recorder.h"

#include <cstdio>

#include "ui/dialogs.h"
#include "ui/ip_edit_model.h"

namespace {

void PrintSummary(const e16rec::RecordingResult& r) {
    const auto& stats = *r.stats;
    std::printf("recorded %lld kadrs in %.2f s at %.3f kadrs/s\n", static_cast<long long>(stats.kadrs()),
                r.seconds, r.rate);
    std::printf("%-14s %12s %12s %12s\n", "channel", "min, V", "mean, V", "max, V");
    for (const auto& c : stats.channels()) {
        const double mean = stats.kadrs() > 0 ? c.sum / static_cast<double>(stats.kadrs()) : 0.0;
        if (stats.kadrs() > 0)
            std::printf("%-14s %12.4f %12.4f %12.4f\n", c.name.c_str(), c.min, mean, c.max);
    }
    if (stats.hasRamp())
        std::printf("Y16 ramp: %lld lost kadrs, %lld repeated kadrs\n",
                    static_cast<long long>(stats.ramp().lost()),
                    static_cast<long long>(stats.ramp().repeated()));
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "e16rec: %s\n", message.c_str());
    return 1;
}

// The chooser the driver shows at detection, over the same address list (the
// driver's folder is this program's), its messages titled with the driver's
// adcName.
int ChooseAddress() {
    const int32_t address = velmora::ui::CurrentDialogs().SelectIP("E16");
    if (address == 0) return Fail("no address chosen");
    std::puts(velmora::ui::DottedText(address).c_str());
    return 0;
}

// The driver's setup dialog, as a host opens it: the module detected first,
// so that every page is there. The driver saves what OK stored when this
// program releases it.
int Setup(IADC3* adc) {
    std::string error;
    if (!e16rec::DetectModule(adc, error)) return Fail(error);
    VARIANT_BOOL ignored = VARIANT_FALSE; // false whatever the user did
    adc->ShowSetting(&ignored);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = e16rec::ParseOptions(argc, argv, error);
    if (!options) {
        std::fputs(e16rec::Usage().c_str(), error.empty() ? stdout : stderr);
        return error.empty() ? 0 : (std::fprintf(stderr, "e16rec: %s\n", error.c_str()), 2);
    }
    if (options->chooseAddress) return ChooseAddress();
    if (options->inputs != e16rec::InputMode::Keep &&
        !e16rec::StoreChannelTable(options->inputs == e16rec::InputMode::SingleEnded, error))
        return Fail(error);

    e16rec::DriverSession session;
    if (!session.Create(error)) return Fail(error);
    if (options->setup) return Setup(session.adc());
    e16rec::Recorder recorder(session.adc(), *options);
    if (!recorder.Prepare(error)) return Fail(error);

    std::FILE* csv = nullptr;
    if (!options->output.empty() && options->output != "-") {
        csv = std::fopen(options->output.c_str(), "w");
        if (csv == nullptr) return Fail("cannot write " + options->output);
    }
    e16rec::RecordingResult result;
    const bool recorded = recorder.Record(csv, result, error);
    if (csv != nullptr) std::fclose(csv);
    if (!recorded) return Fail(error);
    PrintSummary(result);
    if (csv != nullptr) std::printf("CSV written to %s\n", options->output.c_str());
    return 0;
}
