#include "commands.h"

#include "driver_session.h"
#include "recorder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <memory>

#include "velmora/dotted_address.h"

namespace e16rec {
namespace {

namespace hosts = velmora::hosts;

// Each stops a recording cleanly; the exit status is 128 + the signal.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> stopSignal{0};
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

void OnSignal(int signal) {
    stopSignal.store(signal);
    stopRequested.store(true);
}

int Fail(Console io, const std::string& message) {
    std::fprintf(io.err, "e16rec: %s\n", message.c_str());
    return 1;
}

// "SIM0001 (E16 rev. A), simulated module (PATH), version V, address A":
// what the driver reports, in the order a user looks for it.
std::string ModuleLine(const hosts::ModuleIdentity& id) {
    std::string line;
    const auto add = [&](const std::string& part, const char* separator) {
        if (!part.empty()) line += (line.empty() ? "" : separator) + part;
    };
    add(id.serial, "");
    add(id.name.empty() ? "" : "(" + id.name + ")", " ");
    add(id.backend, ", ");
    add(id.address.empty() ? "" : "address " + id.address, ", ");
    return line;
}

// The address given replaces the driver's chooser for this run only.
bool TakeAddress(IModule* module, const Options& o, std::string& error) {
    return !o.address || hosts::SetModuleAddress(module, velmora::DottedText(*o.address), error);
}

// `recorded`: the kadrs in the file, or received without one.
void PrintSummary(Console io, const Recorder& recorder, const RecordingResult& r, int64_t recorded,
                  bool file) {
    const auto& stats = *r.stats;
    const double rate = recorder.Info().rate;
    std::fprintf(io.out, "recorded %lld of %lld kadrs (%.6g s of data at %.6g kadrs/s)\n",
                 static_cast<long long>(recorded), static_cast<long long>(r.requested),
                 static_cast<double>(recorded) / rate, rate);
    std::fprintf(io.out, "%-14s %12s %12s %12s\n", "channel", "min, V", "mean, V", "max, V");
    for (const auto& c : stats.channels()) {
        const double mean = stats.kadrs() > 0 ? c.sum / static_cast<double>(stats.kadrs()) : 0.0;
        if (stats.kadrs() > 0)
            std::fprintf(io.out, "%-14s %12.4f %12.4f %12.4f\n", c.name.c_str(), c.min, mean, c.max);
    }
    if (stats.hasRamp())
        std::fprintf(io.out, "Y16 ramp of the simulated module: %lld lost kadrs, %lld repeated kadrs\n",
                     static_cast<long long>(stats.ramp().lost()),
                     static_cast<long long>(stats.ramp().repeated()));
    for (const std::string& note : r.notes) std::fprintf(io.out, "%s\n", note.c_str());
    if (file)
        std::fprintf(io.out, "writer queue: deepest %.2f s of %.6g s\n",
                     static_cast<double>(r.deepestKadrs) / rate, static_cast<double>(r.queueKadrs) / rate);
    if (recorded < r.received)
        std::fprintf(io.out, "not written: %lld kadrs received\n",
                     static_cast<long long>(r.received - recorded));
    if (!r.endedEarly.empty())
        std::fprintf(io.out, "lost: %lld kadrs never came\n",
                     static_cast<long long>(r.requested - r.received));
    if (r.interrupted) std::fprintf(io.out, "stopped by a signal before the end\n");
}

// Channel-table options must have reached the driver's table.
bool CheckInputs(IADC3* adc, const Options& o, std::string& error) {
    if (o.inputs == InputMode::Keep) return true;
    for (int16_t channel : o.channels) {
        const std::string want = hosts::TableChannelName(channel, o.inputs == InputMode::SingleEnded);
        int16_t index = channel;
        BSTR name = nullptr;
        adc->get_ChannelName(&index, &name);
        const std::string got = hosts::TakeUtf8(name);
        if (got != want) {
            error = "the driver's channel " + std::to_string(channel) + " measures " + got + ", not " + want +
                    "; its channel table did not take --inputs";
            return false;
        }
    }
    return true;
}

int RecordWith(const DriverSession& session, const Options& o, Console io, const OpenFile& open) {
    std::string error;
    if (!TakeAddress(session.module(), o, error)) return Fail(io, error);
    Recorder recorder(session.adc(), session.module(), o);
    if (!recorder.Prepare(error)) {
        if (!o.address)
            error += " (the address came from the driver's chooser; --address gives it, --choose-address "
                     "edits the remembered list)";
        return Fail(io, error);
    }
    if (!CheckInputs(session.adc(), o, error)) return Fail(io, error);
    const hosts::ModuleIdentity id = hosts::IdentifyModule(session.module());
    recorder.SetModule(id);
    std::fprintf(io.out, "module: %s\n", ModuleLine(id).c_str());
    for (const std::string& line : recorder.Adjustments())
        std::fprintf(io.out, "adjusted %s\n", line.c_str());

    std::unique_ptr<FileSeries> files;
    if (o.output != "-") {
        const int64_t split =
            o.split > 0 ? std::max<int64_t>(std::llround(o.split * recorder.Info().rate), 1) : 0;
        files = std::make_unique<FileSeries>(open, o.output, o.FileFormat(), recorder.Info(), o.force, split);
        if (!files->Open(error)) return Fail(io, error);
    }
    for (int signal : kStopSignals) std::signal(signal, OnSignal);
    RecordingResult result;
    bool ok = recorder.Record(files.get(), stopRequested, result, error);
    // The file is complete only once closed; a failed close is a failed recording.
    if (files && !files->Close() && ok) {
        ok = false;
        error = files->Error();
    }
    if (result.stats) {
        const int64_t recorded = files ? static_cast<int64_t>(files->Kadrs()) : result.stats->kadrs();
        PrintSummary(io, recorder, result, recorded, files != nullptr);
    }
    if (!ok) return Fail(io, error);
    if (files && files->Files() > 1)
        std::fprintf(io.out, "written to %s ... %s (%lld files)\n", files->FirstFile().c_str(),
                     files->LastFile().c_str(), static_cast<long long>(files->Files()));
    else if (files)
        std::fprintf(io.out, "written to %s\n", files->FirstFile().c_str());
    if (!result.endedEarly.empty()) return Fail(io, "the recording ended early: " + result.endedEarly);
    return result.interrupted ? 128 + stopSignal.load() : 0;
}

} // namespace

int RecordCommand(const Options& o, Console io) {
    return RecordCommand(o, io, hosts::OpenWriter);
}

int RecordCommand(const Options& o, Console io, const OpenFile& open) {
    std::string error;
    std::error_code ignored;
    const std::filesystem::path first =
        o.split > 0 ? SeriesName(o.output, 1) : std::filesystem::path(o.output);
    if (o.output != "-" && !o.force && std::filesystem::exists(first, ignored))
        return Fail(io, first.string() + " exists; --force replaces it");
    if (o.inputs != InputMode::Keep && !hosts::StoreChannelTable(o.inputs == InputMode::SingleEnded, error))
        return Fail(io, error);
    DriverSession session;
    if (!session.Create(error, io.err)) return Fail(io, error);
    const int status = RecordWith(session, o, io, open);
    // Said, though the recording's own status stands.
    if (!hosts::SaveSettings(session.module(), session.adc(), error))
        std::fprintf(io.err, "e16rec: warning: the settings were not saved: %s\n", error.c_str());
    return status;
}

// As a host opens the setup dialog: the module detected first, so that every
// page is there.
int SetupCommand(const Options& o, Console io) {
    std::string error;
    DriverSession session;
    if (!session.Create(error, io.err)) return Fail(io, error);
    if (!TakeAddress(session.module(), o, error) || !DetectModule(session.adc(), error))
        return Fail(io, error);
    std::fprintf(io.out, "module: %s\n", ModuleLine(hosts::IdentifyModule(session.module())).c_str());
    VARIANT_BOOL ignored = VARIANT_FALSE; // false whatever the user did
    session.adc()->ShowSetting(&ignored);
    if (!hosts::SaveSettings(session.module(), session.adc(), error))
        return Fail(io, "the settings were not saved: " + error);
    std::fprintf(io.out, "settings saved\n");
    return 0;
}

// The driver's own chooser, over the remembered list the driver keeps.
int ChooseCommand(Console io) {
    std::string error;
    DriverSession session;
    if (!session.Create(error, io.err)) return Fail(io, error);
    BSTR chosen = nullptr;
    session.module()->ChooseAddress(&chosen);
    const std::string address = hosts::TakeUtf8(chosen);
    if (address.empty()) return Fail(io, "no address chosen");
    std::fprintf(io.out, "%s\n", address.c_str());
    return 0;
}

} // namespace e16rec
