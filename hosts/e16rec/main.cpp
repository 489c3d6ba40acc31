// e16rec: records the E16 module through the Lintara driver into a CSV file
// of volts or an HDF5 file of codes and prints a summary; or opens the
// driver's address chooser or setup dialog alone.
//
// Exit status: 0 when every requested kadr was recorded and written; 1 on an
// error (the reason on standard error, the driver's own text included); 2 for
// a bad command line; 128 + the signal when SIGINT or SIGTERM stopped it (the
// file then holds every kadr received until then, and the summary says so).
#include "driver_session.h"
#include "options.h"
#include "recorder.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include <iostream>

#include "platform/module_folder.h"
#include "ui/ip_edit_model.h"
#include "ui/qt_loader.h"

namespace {

std::atomic<int> stopSignal{0};
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

void OnSignal(int signal) {
    stopSignal.store(signal);
    stopRequested.store(true);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "e16rec: %s\n", message.c_str());
    return 1;
}

void PrintSummary(const e16rec::Recorder& recorder, const e16rec::RecordingResult& r) {
    const auto& stats = *r.stats;
    const double rate = recorder.Info().rate;
    std::printf("recorded %lld of %lld kadrs (%.6g s of data at %.6g kadrs/s)\n",
                static_cast<long long>(stats.kadrs()), static_cast<long long>(r.requested),
                static_cast<double>(stats.kadrs()) / rate, rate);
    std::printf("%-14s %12s %12s %12s\n", "channel", "min, V", "mean, V", "max, V");
    for (const auto& c : stats.channels()) {
        const double mean = stats.kadrs() > 0 ? c.sum / static_cast<double>(stats.kadrs()) : 0.0;
        if (stats.kadrs() > 0)
            std::printf("%-14s %12.4f %12.4f %12.4f\n", c.name.c_str(), c.min, mean, c.max);
    }
    if (stats.hasRamp())
        std::printf("Y16 ramp of the simulated module: %lld lost kadrs, %lld repeated kadrs\n",
                    static_cast<long long>(stats.ramp().lost()),
                    static_cast<long long>(stats.ramp().repeated()));
    for (const std::string& note : r.notes) std::printf("%s\n", note.c_str());
    if (!r.endedEarly.empty())
        std::printf("lost: %lld kadrs never came\n", static_cast<long long>(r.requested - stats.kadrs()));
    if (r.interrupted) std::printf("stopped by a signal before the end\n");
}

// The chooser the driver shows at detection, over the same address list (the
// driver's), its messages titled with the driver's adcName.
int ChooseAddress() {
    const std::filesystem::path driver = e16rec::DriverBeside();
    const auto dialogs = velmora::ui::ChooseDialogs(
        driver.empty() ? velmora::platform::ModuleFolder() : driver.parent_path(), std::cerr);
    const int32_t address = dialogs->SelectIP("E16");
    if (address == 0) return Fail("no address chosen");
    std::puts(velmora::ui::DottedText(address).c_str());
    return 0;
}

// Channel-table options must have reached the driver's table.
bool CheckInputs(IADC3* adc, const e16rec::Options& o, std::string& error) {
    if (o.inputs == e16rec::InputMode::Keep) return true;
    for (int16_t channel : o.channels) {
        const std::string want =
            e16rec::TableChannelName(channel, o.inputs == e16rec::InputMode::SingleEnded);
        int16_t index = channel;
        BSTR name = nullptr;
        adc->get_ChannelName(&index, &name);
        const std::string got = e16rec::Utf8(name);
        SysFreeString(name);
        if (got != want) {
            error = "the driver's channel " + std::to_string(channel) + " measures " + got + ", not " + want +
                    "; its channel table did not take --inputs";
            return false;
        }
    }
    return true;
}

bool Prepare(e16rec::Recorder& recorder, IADC3* adc, const e16rec::Options& o, std::string& error) {
    std::optional<e16rec::AddressAnswer> answer;
    if (o.address) answer.emplace(e16rec::DriverFolder(), *o.address);
    if (!recorder.Prepare(error)) {
        if (!o.address)
            error += " (the address came from the driver's chooser; --address gives it, --choose-address "
                     "edits the remembered list)";
        return false;
    }
    return CheckInputs(adc, o, error);
}

int Record(const e16rec::Options& o) {
    std::string error;
    std::error_code ignored;
    if (o.output != "-" && !o.force && std::filesystem::exists(o.output, ignored))
        return Fail(o.output + " exists; --force replaces it");
    if (o.inputs != e16rec::InputMode::Keep &&
        !e16rec::StoreChannelTable(o.inputs == e16rec::InputMode::SingleEnded, error))
        return Fail(error);
    e16rec::DriverSession session;
    if (!session.Create(error)) return Fail(error);
    e16rec::Recorder recorder(session.adc(), o);
    if (!Prepare(recorder, session.adc(), o, error)) return Fail(error);
    const std::string address =
        o.address ? velmora::ui::DottedText(*o.address) : velmora::hosts::ModuleAddress(session.adc());
    recorder.SetSource(e16rec::LoadedBackend(), address);
    std::printf("module: %s%s\n", recorder.Info().backend.c_str(),
                address.empty() ? "" : (", address " + address).c_str());
    for (const std::string& line : recorder.Adjustments()) std::printf("adjusted %s\n", line.c_str());

    std::unique_ptr<velmora::hosts::RecordingWriter> writer;
    if (o.output != "-") {
        writer = velmora::hosts::OpenWriter(o.output, o.FileFormat(), recorder.Info(), o.force, error);
        if (!writer) return Fail(error);
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    e16rec::RecordingResult result;
    bool ok = recorder.Record(writer.get(), stopRequested, result, error);
    // The file is complete only once closed; a failed close is a failed recording.
    if (writer && !writer->Close() && ok) {
        ok = false;
        error = writer->Error();
    }
    if (result.stats) PrintSummary(recorder, result);
    if (!ok) return Fail(error);
    if (writer) std::printf("written to %s\n", o.output.c_str());
    if (!result.endedEarly.empty()) return Fail("the recording ended early: " + result.endedEarly);
    return result.interrupted ? 128 + stopSignal.load() : 0;
}

// The driver's setup dialog, as a host opens it: the module detected first,
// through the driver's chooser, so that every page is there. The driver saves
// what OK stored when this program lets it go.
int Setup() {
    std::string error;
    e16rec::DriverSession session;
    if (!session.Create(error)) return Fail(error);
    if (!e16rec::DetectModule(session.adc(), error)) return Fail(error);
    VARIANT_BOOL ignored = VARIANT_FALSE; // false whatever the user did
    session.adc()->ShowSetting(&ignored);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = e16rec::ParseOptions(argc, argv, error);
    if (!options) {
        if (error.empty()) return std::fputs(e16rec::Usage().c_str(), stdout) < 0;
        std::fprintf(stderr, "e16rec: %s\n", error.c_str());
        return 2;
    }
    if (options->chooseAddress) return ChooseAddress();
    if (options->setup) return Setup();
    return Record(*options);
}
