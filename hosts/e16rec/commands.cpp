#include "commands.h"

#include "driver_session.h"
#include "publisher.h"
#include "recorder.h"
#include "stream_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "velmora/dotted_address.h"
#include "velmora/registry_store.h"
#include "volts_text.h"

namespace e16rec {
namespace {

namespace hosts = velmora::hosts;

// Each stops a recording cleanly, and one more leaves a stuck file writer
// behind; the exit status is 128 + the signal.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> stopSignal{0};
std::atomic<int> stopRequests{0};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<bool> writerLeftBehind{false};

void OnSignal(int signal) {
    stopSignal.store(signal);
    stopRequests.fetch_add(1);
}

// Before the first file opens, so that a file is never left half made; not
// before, so that Ctrl-C at the driver's chooser still quits at once. A
// pipe whose reader went fails its write with a reason, as a disk does.
void CatchStopSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    for (int signal : kStopSignals) {
        // One the parent ignores stays ignored: nohup's SIGHUP, for one.
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        std::signal(signal, OnSignal);
    }
}

// Standard output is buffered when it is a file, standard error is not: what
// is said first is flushed first, so that a log of both keeps their order.
void Warn(Console io, const std::string& message) {
    std::fflush(io.out);
    std::fprintf(io.err, "e16rec: %s\n", message.c_str());
}

int Fail(Console io, const std::string& message) {
    Warn(io, message);
    return 1;
}

// A first file that could not be made: 128 + the signal that stopped the wait for it.
int FailOpening(Console io, const std::string& message) {
    Fail(io, message);
    return stopRequests.load() > 0 ? 128 + stopSignal.load() : 1;
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

// The range asked for is one the driver offers: known before any module is
// opened, so a wrong one is refused as a bad command line is.
bool RangeOffered(IADC3* adc, const Options& o, std::string& error) {
    error = hosts::RangeRefusal(o.range, hosts::RangeNames(adc));
    return error.empty();
}

// The output can be written: not a folder, in a folder that takes files,
// and no file of it there unless --force (of a split recording, any of its
// numbered files), nor one another program holds open. Known before the
// module is opened, and the chooser asked.
bool OutputFree(const Options& o, std::string& error) {
    namespace fs = std::filesystem;
    if (o.output == "-") return true;
    std::error_code ec;
    if (fs::is_directory(o.output, ec)) {
        error = o.output + " is a folder; -o names a file";
        return false;
    }
    // A split names new files after it, which a pipe or a device cannot be.
    const bool output = hosts::IsStandardOutput(o.output);
    if (o.split > 0 && fs::exists(o.output, ec) && (output || !fs::is_regular_file(o.output, ec))) {
        error = o.output + (output ? " is standard output" : " is no regular file") +
                ": --split writes files named after it";
        return false;
    }
    // "." inside, so that a file where the folder should be is no folder.
    const fs::path folder = fs::path(o.output).parent_path() / ".";
    if (::access(folder.c_str(), W_OK) != 0) {
        error = "cannot create " + o.output + ": " + std::strerror(errno);
        return false;
    }
    if (error = hosts::KindRefusal(o.output, o.FileFormat()); !error.empty()) return false;
    std::vector<fs::path> existing;
    if (o.split > 0)
        existing = SeriesFiles(o.output);
    else if (hosts::WouldReplace(o.output))
        existing.push_back(o.output);
    if (!existing.empty() && !o.force) {
        error = existing.front().string() + " exists; --force replaces it";
        return false;
    }
    // An empty file needs no --force, and may still be another recording's.
    if (o.split == 0 && existing.empty() && fs::is_regular_file(o.output, ec)) existing.push_back(o.output);
    for (const fs::path& file : existing)
        if (error = hosts::HeldElsewhere(file); !error.empty()) return false;
    return true;
}

// `output` is the file `stream` writes to (/dev/stdout, or its file).
bool WritesInto(const std::string& output, std::FILE* stream) {
    struct stat file = {}, into = {};
    return output != "-" && ::stat(output.c_str(), &file) == 0 && ::fstat(::fileno(stream), &into) == 0 &&
           file.st_dev == into.st_dev && file.st_ino == into.st_ino;
}

// The address given replaces the driver's chooser for this run only.
bool TakeAddress(IModule* module, const Options& o, std::string& error) {
    return !o.address || hosts::SetModuleAddress(module, velmora::DottedText(*o.address), error);
}

// Volts as the summary shows them, to a code of the channel's range: a
// value that rounds to zero is 0, never "-0.0000".
double Shown(double volts, int decimals) {
    return std::abs(volts) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : volts;
}

// `name` padded to `width` columns, a UTF-8 character taking one (a stream's
// names may be "Дат1"; printf pads by bytes); a longer one stays whole.
std::string Padded(const std::string& name, std::size_t width) {
    const auto characters = static_cast<std::size_t>(
        std::count_if(name.begin(), name.end(), [](char b) { return (b & 0xC0) != 0x80; }));
    return name + std::string(width - std::min(width, characters), ' ');
}

// Each channel's minimum, mean and maximum, the channels that clipped, and
// the simulated module's ramp check; of no kadrs, nothing.
void PrintStatistics(Console io, const KadrStats& stats) {
    if (stats.kadrs() == 0) return;
    std::fprintf(io.out, "%-14s %12s %12s %12s\n", "channel", "min, V", "mean, V", "max, V");
    for (const auto& c : stats.channels()) {
        const int d = hosts::CodeDecimals(c.scale);
        std::fprintf(io.out, "%s %12.*f %12.*f %12.*f\n", Padded(c.name, 14).c_str(), d, Shown(c.Min(), d), d,
                     Shown(c.Mean(stats.kadrs()), d), d, Shown(c.Max(), d));
    }
    std::string clipped;
    for (const auto& c : stats.channels())
        if (c.Clipped()) clipped += (clipped.empty() ? "" : ", ") + c.name;
    if (!clipped.empty()) std::fprintf(io.out, "clipped at the range's end: %s\n", clipped.c_str());
    if (stats.hasRamp())
        std::fprintf(io.out, "Y16 ramp of the simulated module: %s, %s\n",
                     hosts::Counted(stats.ramp().lost(), "lost kadr").c_str(),
                     hosts::Counted(stats.ramp().repeated(), "repeated kadr").c_str());
}

} // namespace

std::string QueueSummary(double rate, int64_t deepestKadrs, int64_t queueKadrs) {
    char line[160];
    std::snprintf(line, sizeof line, "writer queue: deepest %.2f s of %.4g s%s",
                  static_cast<double>(deepestKadrs) / rate, static_cast<double>(queueKadrs) / rate,
                  deepestKadrs > queueKadrs ? " (one block, longer than the queue, taken whole)" : "");
    return line;
}

namespace {

// `recorded`: the kadrs in the file, or received without one.
// Without the statistics (a writer left behind owns them) it gives the
// counts, the least the file took.
void PrintSummary(Console io, double rate, const RecordingResult& r, int64_t recorded, bool file) {
    const char* least = r.leftBehind ? "at least " : "";
    if (r.open)
        std::fprintf(io.out, "recorded %s%s (%.6g s of data at %.7g kadrs/s)\n", least,
                     hosts::Counted(recorded, "kadr").c_str(), static_cast<double>(recorded) / rate, rate);
    else
        std::fprintf(io.out, "recorded %s%lld of %lld kadrs (%.6g s of data at %.7g kadrs/s)\n", least,
                     static_cast<long long>(recorded), static_cast<long long>(r.requested),
                     static_cast<double>(recorded) / rate, rate);
    // Figures of kadrs the file lost in a failed write would describe another file.
    if (r.stats && r.stats->kadrs() == recorded) PrintStatistics(io, *r.stats);
    for (const std::string& note : r.notes) std::fprintf(io.out, "%s\n", note.c_str());
    if (file) std::fprintf(io.out, "%s\n", QueueSummary(rate, r.deepestKadrs, r.queueKadrs).c_str());
    if (recorded < r.received)
        std::fprintf(io.out, "not written: %s%s received\n", r.leftBehind ? "up to " : "",
                     hosts::Counted(r.received - recorded, "kadr").c_str());
    if (!r.endedEarly.empty() && !r.open && !r.sourceEnded)
        std::fprintf(io.out, "never came: %lld of the kadrs asked for\n",
                     static_cast<long long>(r.requested - r.received));
    if (r.interrupted) std::fprintf(io.out, "stopped by a signal before the end\n");
    if (r.open && stopRequests.load() > 0) std::fprintf(io.out, "stopped by a signal\n");
}

// Channel-table options must have reached the driver's table.
bool CheckInputs(IADC3* adc, const Options& o, std::string& error) {
    if (o.inputs == InputsChoice::Keep) return true;
    for (int16_t channel : o.channels) {
        const std::string want = hosts::TableChannelName(channel, o.inputs == InputsChoice::SingleEnded);
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

// A pipe that no program reads yet is waited for, aloud after a second,
// until one does or a stop signal comes.
bool OpenWhenRead(FileSeries& files, const Options& o, Console io, std::string& error) {
    bool open = files.Open(error);
    for (int looks = 1; !open && errno == ENXIO; ++looks) {
        if (stopRequests.load() > 0) {
            error = "stopped by a signal while waiting for a program to read " + o.output;
            return false;
        }
        if (looks == 10) Warn(io, "waiting for a program to read " + o.output); // -q or not
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        open = files.Open(error);
    }
    return open;
}

// The files of a recording with the channels, rate and module of `info`;
// none for an output of "-". Null with `error` set when the first cannot be made.
std::unique_ptr<FileSeries> OpenFiles(const Options& o, const hosts::RecordingInfo& info,
                                      const OpenFile& open, Console io, std::string& error, bool& failed) {
    failed = false;
    if (o.output == "-") return nullptr;
    const int64_t split = o.split > 0 ? std::max<int64_t>(hosts::KadrsIn(o.split, info.rate), 1) : 0;
    auto files = std::make_unique<FileSeries>(open, o.output, o.FileFormat(), info, o.force, split);
    failed = !OpenWhenRead(*files, o, io, error);
    return failed ? nullptr : std::move(files);
}

// The end of a recording, a module's or a stream's: the files closed, the
// summary, and the exit status. Files and statistics that a stuck writer
// keeps stay as they are, for good.
int Conclude(Console io, double rate, std::unique_ptr<FileSeries>& series, RecordingResult& result, bool ok,
             std::string error) {
    if (result.leftBehind) {
        writerLeftBehind.store(true);
        (void)series.release();
        (void)result.stats.release(); // its figures are the writer's still
        PrintSummary(io, rate, result, result.onDiskWhenLeft, true);
        return Fail(io, error);
    }
    FileSeries* files = series.get();
    // The file is complete only once closed; a failed close is a failed recording.
    if (files && !files->Close() && ok) {
        ok = false;
        error = files->Error();
    }
    if (result.stats) {
        const int64_t recorded = files ? static_cast<int64_t>(files->Kadrs()) : result.stats->kadrs();
        PrintSummary(io, rate, result, recorded, files != nullptr);
    }
    // Where the kadrs counted are, a failed recording's too, unless its file
    // went (deleted while it was written).
    const char* where = ok ? "written to" : "kept in";
    std::error_code gone;
    if (files && files->Files() > 0 && !std::filesystem::exists(files->LastFile(), gone)) files = nullptr;
    if (files && files->Files() > 1)
        std::fprintf(io.out, "%s %s ... %s (%lld files)\n", where, files->FirstFile().c_str(),
                     files->LastFile().c_str(), static_cast<long long>(files->Files()));
    else if (files && files->Files() == 1)
        std::fprintf(io.out, "%s %s\n", where, files->FirstFile().c_str());
    if (!ok) return Fail(io, error);
    if (!result.endedEarly.empty()) return Fail(io, "the recording ended early: " + result.endedEarly);
    // Not every kadr came: said, and a failure unless a signal's status stands.
    if (!result.streamLost.empty()) Fail(io, result.streamLost);
    if (result.interrupted) return 128 + stopSignal.load();
    return result.streamLost.empty() ? 0 : 1;
}

// Far longer than a save takes when no other program holds the store,
// which keeps a save waiting up to 5 s.
constexpr auto kQuietSave = std::chrono::seconds(1);

// The driver's settings saved, and what keeps the save waiting said while it
// waits (-q too); false with the driver's reason. The driver's last release
// does not try the same save again.
bool SaveSettingsAloud(DriverSession& session, Console io, std::string& error) {
    const std::string waiting = "saving the driver's settings: waiting for the registry store " +
                                velmora::reg::StorePath() + ", which another program may hold (5 s at most)";
    std::mutex mutex;
    std::condition_variable saved;
    bool done = false;
    std::thread aloud([&] {
        std::unique_lock lock(mutex);
        if (!saved.wait_for(lock, kQuietSave, [&done] { return done; })) Warn(io, waiting);
    });
    const bool ok = hosts::SaveSettings(session.module(), session.adc(), error);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    saved.notify_one();
    aloud.join();
    return ok;
}

// The recording as every stream message describes it.
hosts::StreamHeader Description(const hosts::RecordingInfo& info) {
    hosts::StreamHeader h;
    h.serial = info.serial;
    h.address = info.address;
    h.backend = info.backend;
    h.rate = info.rate;
    for (const hosts::ChannelInfo& c : info.channels) {
        h.channels.push_back(c.name);
        h.codesPerVolt.push_back(c.codesPerVolt);
        h.ranges.push_back(c.range);
    }
    return h;
}

int RecordWith(const DriverSession& session, const Options& o, Console io, const OpenFile& open,
               Publisher* publisher) {
    std::string error;
    if (!TakeAddress(session.module(), o, error)) return Fail(io, error);
    Recorder recorder(session.adc(), session.module(), o, io.err);
    if (!recorder.Prepare(error)) {
        if (!o.address) // an address taken from the chooser, or none chosen there
            error += " (--address gives it, --choose-address edits the remembered list)";
        return Fail(io, error);
    }
    if (!CheckInputs(session.adc(), o, error)) return Fail(io, error);
    const hosts::ModuleIdentity id = hosts::IdentifyModule(session.module());
    recorder.SetModule(id);
    std::fprintf(io.out, "module: %s\n", ModuleLine(id).c_str());
    for (const std::string& line : recorder.Adjustments())
        std::fprintf(io.out, "adjusted %s\n", line.c_str());
    std::fflush(io.out); // before the recorder's notices, and at once in a log

    bool failed = false;
    CatchStopSignals();
    std::unique_ptr<FileSeries> files = OpenFiles(o, recorder.Info(), open, io, error, failed);
    if (failed) return FailOpening(io, error);
    if (publisher != nullptr) {
        // As long as the file's queue: the burst that follows a stalled
        // machine reaches the stream whole whenever it reaches the file.
        publisher->Start(Description(recorder.Info()), o.BufferKadrs(recorder.Info().rate));
        recorder.SetPublisher(publisher);
        publisher->AwaitSubscribers();
    }
    RecordingResult result;
    const bool ok = recorder.Record(files.get(), stopRequests, result, error);
    if (publisher != nullptr) {
        publisher->Finish(StreamEnd(result, ok, error, stopRequests.load() > 0));
        result.notes.push_back("published " + hosts::Counted(publisher->Messages(), "message") + "; " +
                               hosts::Counted(publisher->LostKadrs(), "kadr") + " not sent");
    }
    return Conclude(io, recorder.Info().rate, files, result, ok, error);
}

// A recording from a stream: no driver, the same files and summary.
int SourceCommand(const Options& o, Console io, const OpenFile& open) {
    std::string error;
    SourceRecorder source(o, io.err);
    if (!source.Open(error)) return Fail(io, error);
    CatchStopSignals();
    if (!source.Describe(stopRequests, error)) {
        Fail(io, error);
        return stopRequests.load() > 0 ? 128 + stopSignal.load() : 1;
    }
    const hosts::RecordingInfo& info = source.Info();
    if (const std::string tooShort = o.NoKadrIn(info.rate); !tooShort.empty()) return Fail(io, tooShort);
    std::fprintf(io.out, "module: %s (the stream at %s, from kadr %lld)\n",
                 ModuleLine({info.serial, "", info.backend, info.address}).c_str(), o.source.c_str(),
                 static_cast<long long>(info.firstKadr.value_or(0)));
    std::fflush(io.out);
    bool failed = false;
    std::unique_ptr<FileSeries> files = OpenFiles(o, info, open, io, error, failed);
    if (failed) return FailOpening(io, error);
    RecordingResult result;
    const bool ok = source.Record(files.get(), stopRequests, result, error);
    return Conclude(io, info.rate, files, result, ok, error);
}

} // namespace

bool WriterLeftBehind() {
    return writerLeftBehind.load();
}

int RecordCommand(const Options& o, Console io) {
    return RecordCommand(o, io, hosts::OpenWriter);
}

int RecordCommand(const Options& o, Console io, const OpenFile& open) {
    // Data on standard output (-o /dev/stdout): what e16rec says goes to
    // standard error, so that the data stay whole.
    if (WritesInto(o.output, io.out)) io.out = io.err;
    std::string error;
    if (!OutputFree(o, error)) return Fail(io, error);
    if (!o.source.empty()) return SourceCommand(o, io, open);
    if (!hosts::StoreInputs(o.inputs, error)) return Fail(io, error);
    // Bound first, so that subscribers connect while the module is detected.
    std::unique_ptr<Publisher> publisher;
    if (!o.publish.empty()) {
        publisher = std::make_unique<Publisher>();
        if (!publisher->Bind(o.publish, error)) return Fail(io, error);
        std::fprintf(io.out, "publishing on %s\n", publisher->Endpoint().c_str());
        std::fflush(io.out);
    }
    DriverSession session;
    if (!session.Create(error, io.err)) return Fail(io, error);
    if (!RangeOffered(session.adc(), o, error)) {
        Fail(io, error);
        return 2; // as a bad command line
    }
    const int status = RecordWith(session, o, io, open, publisher.get());
    // Said, though the recording's own status stands.
    if (!SaveSettingsAloud(session, io, error)) Warn(io, "warning: " + error);
    return status;
}

// As a host opens the setup dialog: the module detected first, so that every
// page is there. Only what OK stored is saved here; what a page applied at
// once (the DAC page's Start) the driver keeps, and saves as it goes.
int SetupCommand(const Options& o, Console io) {
    return SetupCommand(o, io, [](IModule* module) {
        int32_t outcome = -1;
        return SUCCEEDED(module->ShowSetup(&outcome)) ? outcome : kSetupCallFailed;
    });
}

int SetupCommand(const Options& o, Console io, const ShowDialog& show) {
    std::string error;
    DriverSession session;
    if (!session.Create(error, io.err)) return Fail(io, error);
    if (!TakeAddress(session.module(), o, error) || !DetectModule(session.adc(), session.module(), error))
        return Fail(io, error);
    std::fprintf(io.out, "module: %s\n", ModuleLine(hosts::IdentifyModule(session.module())).c_str());
    const int32_t outcome = show(session.module());
    if (outcome == kSetupCallFailed) return Fail(io, "the driver failed to show its setup dialog");
    if (outcome < 0) return 1; // the driver said why, and that it is not shown
    if (outcome == 0) {
        std::fprintf(io.out, "cancelled: the pages' values not stored\n");
        return 0;
    }
    if (!SaveSettingsAloud(session, io, error)) return Fail(io, error);
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
