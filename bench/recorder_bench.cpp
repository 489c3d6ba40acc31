// e16rec as a user runs it, 32 channels of the simulated module at 127.0.0.1:
//  cost:     CPU time (user + sys of the whole process, from wait4) per
//            recorded second at 500 kS/s for HDF5, CSV and no file, against
//            write(2) of the same bytes in 1 MiB blocks into the same folder;
//  headroom: the simulated module's clock k times faster
//            (E16SIM_TIME_SCALE, the driver is not told), the highest k on a
//            ladder that each format records for T seconds with no lost or
//            repeated kadr (a failed step is run again once), and why the
//            next one failed. --buffer counts seconds at the nominal rate,
//            so each step gets k times one second: the same second of real
//            time at every k, long enough to ride out a stall, short enough
//            that a writer a few percent slower than the data fails its step.
//   recorder_bench [--seconds S] [--repeat N] [--headroom-seconds T] ...
//   (--help lists them all)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

#include "cpu_time.h"

namespace {

using velmora::bench::Median;
using velmora::bench::ThreadCpuSeconds;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kChannels = 32;
constexpr int kKadrRate = 15625; // kadrs/s: 500 kS/s over 32 channels
constexpr double kCodeBytesPerSecond = kChannels * 2.0 * kKadrRate;
// Start-up, detection and the stop are in every run; a short run measures them.
constexpr double kShortSeconds = 0.5;
constexpr std::size_t kPlainBlock = 1 << 20;
// Kept free beyond what a headroom run is expected to write.
constexpr double kSpareDiskBytes = 2e9;
// The real time e16rec's queue covers at every headroom step, and the most
// --buffer e16rec takes.
constexpr double kHeadroomBufferSeconds = 1.0;
constexpr double kMostBuffer = 3600;

enum class Format { Hdf5, Csv, None };

struct FormatInfo {
    Format format;
    const char* name;
    const char* file; // null: -o -
    // Bytes per second at 500 kS/s when the cost part did not measure them,
    // for the headroom part's disk check; generous.
    double guessBytesPerSecond;
};

constexpr FormatInfo kFormats[] = {
    {Format::Hdf5, "hdf5", "rec.h5", kCodeBytesPerSecond},
    {Format::Csv, "csv", "rec.csv", 400.0 * kKadrRate},
    {Format::None, "none", nullptr, 0.0},
};

struct Settings {
    fs::path e16rec;
    fs::path parent;
    double seconds = 5;
    int repeat = 3;
    double headroomSeconds = 30;
    bool cost = true;
    bool headroom = true;
    std::vector<const FormatInfo*> formats;
    std::vector<int> ladder{10,  15,  20,  25,  30,  40,  50,  60,  70,  80,
                            100, 120, 150, 200, 250, 300, 400, 600, 800, 1000};
    int tries = 2;
};

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted.store(true);
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One e16rec run and what it said.
struct Run {
    bool spawned = false;
    bool timedOut = false;
    int status = -1; // exit status, or 128 + the signal
    double cpuSeconds = 0;
    double wallSeconds = 0;
    std::uintmax_t fileBytes = 0;
    std::string out, err;
    long long recorded = -1, requested = -1, lost = -1, repeated = -1;
    double deepestQueue = -1; // s at the nominal rate; -1 when e16rec did not say

    bool Clean() const {
        return spawned && !timedOut && status == 0 && recorded >= 0 && recorded == requested && lost == 0 &&
               repeated == 0;
    }

    // Why the run is not clean, in e16rec's words where it gave them.
    std::string Reason() const {
        if (!spawned) return "e16rec could not be started";
        if (timedOut) return "no end within the time allowed: stopped";
        std::string said;
        std::istringstream lines(err);
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with("e16rec: ") && !line.starts_with("e16rec: warning") &&
                line.find(": waiting for ") == std::string::npos) // a notice of a wait, not a reason
                said = line;
        std::string summary;
        if (recorded >= 0 && recorded != requested)
            summary = "recorded " + std::to_string(recorded) + " of " + std::to_string(requested) + " kadrs";
        if (lost > 0 || repeated > 0)
            summary += (summary.empty() ? "" : "; ") + std::string("Y16 ramp: ") + std::to_string(lost) +
                       " lost kadrs, " + std::to_string(repeated) + " repeated kadrs";
        if (lost < 0 && status == 0)
            summary += (summary.empty() ? "" : "; ") + std::string("no Y16 ramp check");
        std::string reason = said;
        if (!summary.empty()) reason += (reason.empty() ? "" : " (") + summary + (said.empty() ? "" : ")");
        if (reason.empty()) reason = "exit status " + std::to_string(status);
        return reason;
    }
};

void ParseSummary(Run& run) {
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        long long a = 0, b = 0;
        if (std::sscanf(line.c_str(), "recorded %lld of %lld kadrs", &a, &b) == 2) {
            run.recorded = a;
            run.requested = b;
        } else if (std::sscanf(line.c_str(),
                               "Y16 ramp of the simulated module: %lld lost kadrs, %lld repeated", &a,
                               &b) == 2) {
            run.lost = a;
            run.repeated = b;
        } else {
            std::sscanf(line.c_str(), "writer queue: deepest %lf s", &run.deepestQueue);
        }
    }
}

// The environment of the bench, without a display (no window may open),
// with the private store and the clock's factor.
std::vector<std::string> ChildEnvironment(const fs::path& config, int timeScale) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "XDG_CONFIG_HOME" ||
            name == "E16SIM_TIME_SCALE")
            continue;
        env.push_back(entry);
    }
    env.push_back("XDG_CONFIG_HOME=" + config.string());
    if (timeScale > 1) env.push_back("E16SIM_TIME_SCALE=" + std::to_string(timeScale));
    return env;
}

class Bench {
public:
    Bench(Settings settings, fs::path work) : s_(std::move(settings)), work_(std::move(work)) {}

    // Records `kadrs` kadrs into the format's file (removed afterwards),
    // waiting at most `allowed` for the end; `buffer`: e16rec's --buffer, 0
    // for its default.
    Run Record(const FormatInfo& format, long long kadrs, int timeScale, std::chrono::seconds allowed,
               double buffer = 0) {
        Run run;
        const fs::path file = format.file ? work_ / format.file : fs::path();
        std::vector<std::string> args = {s_.e16rec.string(),
                                         "--address",
                                         "127.0.0.1",
                                         "--inputs",
                                         "se",
                                         "-c",
                                         "0-31",
                                         "-r",
                                         std::to_string(kKadrRate),
                                         "-n",
                                         std::to_string(kadrs),
                                         "-q",
                                         "--force",
                                         "-o",
                                         format.file ? file.string() : std::string("-")};
        if (buffer > 0) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", buffer);
            args.insert(args.end(), {"--buffer", seconds});
        }
        const std::vector<std::string> env = ChildEnvironment(work_ / "config", timeScale);
        std::vector<char*> argv, envp;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);

        const fs::path out = work_ / "e16rec.out", err = work_ / "e16rec.err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = -1;
        const auto began = Clock::now();
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return run;
        run.spawned = true;

        int status = 0;
        rusage usage{};
        bool termSent = false;
        for (;;) {
            const pid_t done = wait4(pid, &status, WNOHANG, &usage);
            if (done == pid) break;
            if (done < 0 && errno != EINTR) break;
            const auto waited = Clock::now() - began;
            // A run past its time gets SIGTERM (e16rec then closes its file), then SIGKILL.
            if (!termSent && (waited > allowed || g_interrupted.load())) {
                run.timedOut = !g_interrupted.load();
                ::kill(pid, SIGTERM);
                termSent = true;
            } else if (termSent && waited > allowed + std::chrono::seconds(20)) {
                ::kill(pid, SIGKILL);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        run.wallSeconds = std::chrono::duration<double>(Clock::now() - began).count();
        run.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = ReadFile(out);
        run.err = ReadFile(err);
        ParseSummary(run);
        std::error_code ignored;
        if (format.file) {
            run.fileBytes = fs::file_size(file, ignored);
            if (ignored) run.fileBytes = 0;
            fs::remove(file, ignored);
        }
        return run;
    }

    // CPU time of this thread writing `bytes` with write(2) in 1 MiB blocks
    // into a new file in the same folder (open and close included).
    double PlainWrite(std::uintmax_t bytes) {
        static const std::vector<char> block = [] {
            std::vector<char> b(kPlainBlock);
            for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>('0' + i % 10);
            return b;
        }();
        const fs::path file = work_ / "plain.bin";
        const double began = ThreadCpuSeconds();
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return 0.0;
        std::uintmax_t done = 0;
        while (done < bytes) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uintmax_t>(block.size(), bytes - done));
            const ssize_t w = ::write(fd, block.data(), n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) break;
            done += static_cast<std::uintmax_t>(w);
        }
        ::close(fd);
        const double cpu = ThreadCpuSeconds() - began;
        ::unlink(file.c_str());
        return cpu;
    }

    int Cost();
    int Headroom();

private:
    // Measured bytes per recorded second by format, for the disk check.
    std::optional<double> measuredBytes_[3];

    double BytesPerSecondGuess(const FormatInfo& f) const {
        const auto& m = measuredBytes_[static_cast<int>(f.format)];
        return m ? std::max(*m, 1.0) : f.guessBytesPerSecond;
    }
    bool RoomFor(double bytes) const {
        struct statvfs v {};
        if (::statvfs(work_.c_str(), &v) != 0) return true;
        return static_cast<double>(v.f_bavail) * static_cast<double>(v.f_frsize) > bytes + kSpareDiskBytes;
    }

    Settings s_;
    fs::path work_;
};

int Bench::Cost() {
    const long long longKadrs = std::llround(s_.seconds * kKadrRate);
    const long long shortKadrs = std::llround(kShortSeconds * kKadrRate);
    const double span = static_cast<double>(longKadrs - shortKadrs) / kKadrRate; // recorded seconds compared
    const auto allowed = std::chrono::seconds(static_cast<long long>(s_.seconds) + 60);
    struct Samples {
        std::vector<double> cpu, bytes, plain, shortCpu;
        std::string failure;
    };
    std::vector<Samples> samples(s_.formats.size());

    std::printf("cost: e16rec --inputs se -c 0-31 -r %d (500 kS/s) at 127.0.0.1, %g s and %g s runs, "
                "%d repetitions\n",
                kKadrRate, s_.seconds, kShortSeconds, s_.repeat);
    std::fflush(stdout);
    // Formats alternate within a repetition, so that a change in the
    // machine's load falls on all of them alike.
    for (int rep = 0; rep < s_.repeat && !g_interrupted.load(); ++rep) {
        for (std::size_t i = 0; i < s_.formats.size() && !g_interrupted.load(); ++i) {
            const FormatInfo& f = *s_.formats[i];
            Samples& m = samples[i];
            if (!m.failure.empty()) continue;
            const Run full = Record(f, longKadrs, 1, allowed);
            const Run brief = Record(f, shortKadrs, 1, allowed);
            for (const Run* r : {&full, &brief})
                if (!r->Clean() && m.failure.empty()) m.failure = r->Reason();
            if (!m.failure.empty()) continue;
            // The difference of the two runs: the recorded seconds alone.
            const double cpuPerSecond = (full.cpuSeconds - brief.cpuSeconds) / span;
            const double bytesPerSecond =
                f.file
                    ? static_cast<double>(full.fileBytes - std::min(full.fileBytes, brief.fileBytes)) / span
                    : kCodeBytesPerSecond;
            const double plainPerSecond =
                PlainWrite(static_cast<std::uintmax_t>(std::llround(bytesPerSecond * span))) / span;
            m.cpu.push_back(cpuPerSecond);
            m.bytes.push_back(bytesPerSecond);
            m.plain.push_back(plainPerSecond);
            m.shortCpu.push_back(brief.cpuSeconds);
            std::printf(
                "  %-4s repetition %d: %.2f ms CPU per recorded s, %.0f bytes per s, plain write %.4f "
                "ms per s\n",
                f.name, rep + 1, cpuPerSecond * 1e3, bytesPerSecond, plainPerSecond * 1e3);
            std::fflush(stdout);
        }
    }

    std::printf("\ne16rec at 500 kS/s (32 channels x %d kadrs/s); CPU = user + sys of the process (wait4),\n"
                "the %g s run less the %g s run (start-up, detection, stop), per recorded second; "
                "median of %d\n",
                kKadrRate, s_.seconds, kShortSeconds, s_.repeat);
    std::printf("%-6s %14s %12s %14s %16s %10s\n", "format", "CPU ms per s", "% of a core", "bytes per s",
                "plain ms per s", "ratio");
    int failures = 0;
    for (std::size_t i = 0; i < s_.formats.size(); ++i) {
        const FormatInfo& f = *s_.formats[i];
        const Samples& m = samples[i];
        if (!m.failure.empty() || m.cpu.empty()) {
            std::printf("%-6s failed: %s\n", f.name, m.failure.empty() ? "not run" : m.failure.c_str());
            ++failures;
            continue;
        }
        const double cpu = Median(m.cpu), plain = Median(m.plain), bytes = Median(m.bytes);
        measuredBytes_[static_cast<int>(f.format)] = bytes;
        std::printf("%-6s %14.2f %11.2f%% %14.0f %16.4f %10.0f\n", f.name, cpu * 1e3, cpu * 100.0, bytes,
                    plain * 1e3, plain > 0 ? cpu / plain : 0.0);
    }
    for (std::size_t i = 0; i < s_.formats.size(); ++i)
        if (!samples[i].shortCpu.empty())
            std::printf("%-6s start-up, detection, stop and %g s of recording: %.0f ms CPU\n",
                        s_.formats[i]->name, kShortSeconds, Median(samples[i].shortCpu) * 1e3);
    std::printf("plain: write(2) of the same bytes in %zu KiB blocks to a new file in the same folder, "
                "CPU of the writing thread; for none, of the codes the driver delivers (%.0f bytes per s), "
                "which nothing writes\n",
                kPlainBlock / 1024, kCodeBytesPerSecond);
    std::fflush(stdout);
    return failures;
}

int Bench::Headroom() {
    struct Outcome {
        int best = 0;
        double bestShare = 0;
        int failed = 0;
        std::string reason;
        std::string stopped; // why the ladder ended without a failure
    };
    std::vector<Outcome> outcomes(s_.formats.size());
    const auto allowed = std::chrono::seconds(static_cast<long long>(s_.headroomSeconds) + 120);
    std::printf("\nheadroom: the simulated module's clock k times faster (E16SIM_TIME_SCALE=k), "
                "%g s per step, -n = %g x %d x k, --buffer %g x k (%g s of real time at every k up to %g)\n",
                s_.headroomSeconds, s_.headroomSeconds, kKadrRate, kHeadroomBufferSeconds,
                kHeadroomBufferSeconds, kMostBuffer / kHeadroomBufferSeconds);
    std::fflush(stdout);
    for (std::size_t i = 0; i < s_.formats.size(); ++i) {
        const FormatInfo& f = *s_.formats[i];
        Outcome& o = outcomes[i];
        for (const int k : s_.ladder) {
            if (g_interrupted.load()) break;
            const double expected = BytesPerSecondGuess(f) * k * s_.headroomSeconds * 1.5;
            if (!RoomFor(expected)) {
                o.stopped =
                    "stopped before k = " + std::to_string(k) + ": too little free disk in " + work_.string();
                break;
            }
            const long long kadrs = std::llround(s_.headroomSeconds * kKadrRate * k);
            const double buffer = std::min(kHeadroomBufferSeconds * k, kMostBuffer);
            // A failure is tried again: another program's burst on a loaded
            // machine can cause one.
            Run run;
            for (int attempt = 0; attempt < s_.tries && !g_interrupted.load(); ++attempt) {
                run = Record(f, kadrs, k, allowed, buffer);
                if (run.Clean()) break;
                if (attempt + 1 < s_.tries)
                    std::printf("  %-4s k = %4d: failed (%s), once more\n", f.name, k, run.Reason().c_str());
            }
            if (g_interrupted.load()) break;
            const double share = run.wallSeconds > 0 ? run.cpuSeconds / run.wallSeconds : 0.0;
            char queue[64] = "";
            if (run.deepestQueue >= 0)
                std::snprintf(queue, sizeof queue, ", queue at most %.0f ms of %.0f",
                              1e3 * run.deepestQueue / k, 1e3 * buffer / k);
            std::printf("  %-4s k = %4d (%7.1f MS/s): %s, %.1f s, CPU %.1f%% of a core%s%s%s\n", f.name, k,
                        0.5 * k, run.Clean() ? "no loss" : "FAILED", run.wallSeconds, share * 100.0, queue,
                        run.Clean() ? "" : ": ", run.Clean() ? "" : run.Reason().c_str());
            std::fflush(stdout);
            if (!run.Clean()) {
                o.failed = k;
                o.reason = run.Reason();
                break;
            }
            o.best = k;
            o.bestShare = share;
        }
        if (o.failed == 0 && o.stopped.empty() && !g_interrupted.load())
            o.stopped = "none failed up to k = " + std::to_string(s_.ladder.back());
    }

    std::printf("\nheadroom of e16rec, 32 channels, %g s at each k, zero lost or repeated kadrs, the queue "
                "%g s of real time (a step fails when %d runs of it failed):\n",
                s_.headroomSeconds, kHeadroomBufferSeconds, s_.tries);
    std::printf("%-6s %10s %14s %16s %10s  %s\n", "format", "highest k", "aggregate", "CPU at highest",
                "failed k", "why");
    for (std::size_t i = 0; i < s_.formats.size(); ++i) {
        const Outcome& o = outcomes[i];
        char best[32] = "-", rate[32] = "-", share[32] = "-", failed[32] = "-";
        // A first step that failed bounds the highest k from above only.
        if (o.best > 0)
            std::snprintf(best, sizeof best, "%d", o.best);
        else if (o.failed > 0)
            std::snprintf(best, sizeof best, "< %d", o.failed);
        if (o.best > 0) {
            std::snprintf(rate, sizeof rate, "%g MS/s", 0.5 * o.best);
            std::snprintf(share, sizeof share, "%.1f%%", o.bestShare * 100.0);
        }
        if (o.failed > 0) std::snprintf(failed, sizeof failed, "%d", o.failed);
        std::printf("%-6s %10s %14s %16s %10s  %s\n", s_.formats[i]->name, best, rate, share, failed,
                    o.failed > 0 ? o.reason.c_str() : o.stopped.c_str());
    }
    std::printf("CPU at highest: user + sys of the e16rec process over its wall time (start-up included), "
                "in %% of one core; queue: the deepest e16rec's writer queue was, in real time\n");
    return 0;
}

std::optional<std::vector<int>> NumberList(const std::string& text) {
    std::vector<int> list;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
        char* end = nullptr;
        const long v = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || *end != '\0' || v < 1 || v > 10000) return std::nullopt;
        list.push_back(static_cast<int>(v));
    }
    if (list.empty()) return std::nullopt;
    return list;
}

const char* const kUsage =
    "usage: recorder_bench [options]\n"
    "  --seconds S           cost: recorded seconds per run (default 5, above 1)\n"
    "  --repeat N            cost: repetitions, the median is shown (default 3)\n"
    "  --headroom-seconds T  headroom: seconds at each step (default 30)\n"
    "  --ladder K,K,...      headroom: clock factors, rising (default 10,15,20,25,30,40,50,...,1000)\n"
    "  --tries N             headroom: runs of a step before it counts as failed (default 2)\n"
    "  --formats F,F,...     hdf5, csv, none (default all three)\n"
    "  --only cost|headroom  one part only\n"
    "  --dir DIR             the work folder is made inside DIR (default $TMPDIR or /tmp)\n"
    "  --e16rec PATH         the program measured (default: e16rec beside this one)\n";

std::optional<Settings> ParseArguments(int argc, char** argv) {
    Settings s;
    std::error_code ignored;
    s.e16rec = fs::read_symlink("/proc/self/exe", ignored).parent_path() / "e16rec";
    const char* tmp = std::getenv("TMPDIR");
    s.parent = tmp && *tmp ? tmp : "/tmp";
    for (const FormatInfo& f : kFormats) s.formats.push_back(&f);
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        if (name == "--help" || name == "-h") return std::nullopt;
        const auto equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            std::fprintf(stderr, "recorder_bench: %s needs a value\n", name.c_str());
            return std::nullopt;
        }
        char* end = nullptr;
        bool ok = true;
        if (name == "--seconds") {
            s.seconds = std::strtod(value.c_str(), &end);
            ok = *end == '\0' && s.seconds > 1.0 && s.seconds <= 3600;
        } else if (name == "--repeat") {
            s.repeat = static_cast<int>(std::strtol(value.c_str(), &end, 10));
            ok = *end == '\0' && s.repeat >= 1 && s.repeat <= 100;
        } else if (name == "--headroom-seconds") {
            s.headroomSeconds = std::strtod(value.c_str(), &end);
            ok = *end == '\0' && s.headroomSeconds >= 1 && s.headroomSeconds <= 3600;
        } else if (name == "--ladder") {
            const auto list = NumberList(value);
            ok = list && std::is_sorted(list->begin(), list->end());
            if (ok) s.ladder = *list;
        } else if (name == "--tries") {
            s.tries = static_cast<int>(std::strtol(value.c_str(), &end, 10));
            ok = *end == '\0' && s.tries >= 1 && s.tries <= 10;
        } else if (name == "--formats") {
            s.formats.clear();
            std::istringstream parts(value);
            for (std::string part; std::getline(parts, part, ',');) {
                const auto f = std::find_if(std::begin(kFormats), std::end(kFormats),
                                            [&](const FormatInfo& x) { return part == x.name; });
                if (f == std::end(kFormats))
                    ok = false;
                else
                    s.formats.push_back(&*f);
            }
            ok = ok && !s.formats.empty();
        } else if (name == "--only") {
            ok = value == "cost" || value == "headroom";
            s.cost = value == "cost";
            s.headroom = value == "headroom";
        } else if (name == "--dir") {
            s.parent = value;
        } else if (name == "--e16rec") {
            s.e16rec = value;
        } else {
            std::fprintf(stderr, "recorder_bench: unknown option %s\n", name.c_str());
            return std::nullopt;
        }
        if (!ok) {
            std::fprintf(stderr, "recorder_bench: bad value for %s: '%s'\n", name.c_str(), value.c_str());
            return std::nullopt;
        }
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const auto settings = ParseArguments(argc, argv);
    if (!settings) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (::access(settings->e16rec.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "recorder_bench: no e16rec at %s (build it, or give --e16rec)\n",
                     settings->e16rec.c_str());
        return 1;
    }
    std::string pattern = (settings->parent / "recorder_bench.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "recorder_bench: cannot make a folder in %s: %s\n", settings->parent.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const fs::path work = pattern;
    fs::create_directory(work / "config");
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("e16rec: %s\nwork folder: %s (private XDG_CONFIG_HOME inside)\n", settings->e16rec.c_str(),
                work.c_str());

    Bench bench(*settings, work);
    int failures = 0;
    if (settings->cost) failures += bench.Cost();
    if (settings->headroom && !g_interrupted.load()) failures += bench.Headroom();
    std::error_code ignored;
    fs::remove_all(work, ignored);
    if (g_interrupted.load()) {
        std::fprintf(stderr, "recorder_bench: interrupted\n");
        return 130;
    }
    return failures == 0 ? 0 : 1;
}
