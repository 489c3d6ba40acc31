// Headroom of the driver alone: the simulated module replays a block of
// words it worked out once at the start (1000 frames, so Y16's ramp runs on
// unbroken) instead of working out every sample, its clock k times faster
// than the wall clock (the driver is not told); the driver is created by its
// ProgID and a host drains it with GetData every millisecond, following the
// ramp on channel 31. 32 channels at 500 kS/s in all as the driver sees them.
// Short runs screen rising factors; the highest that passed must then
// sustain a full run (30 s by default) with no lost or repeated kadr, or the
// next lower one is tried. Prints that factor as a multiple of 500 kS/s and
// the driver's threads' share of a core at each factor, and what the host
// sees of the worker at every poll: the gaps between its receives (the
// simulator counts their calls) and, from the thread's schedstat, its time
// on the processor and waiting for one. Exits 1 when no factor sustained.
//   driver_headroom_bench [--seconds=N] [--factors=a,b,...]
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "com_host.h"
#include "cpu_time.h"
#include "e16sim_control.h"

namespace {

using Clock = std::chrono::steady_clock;
using velmora::bench::ComHost;
using velmora::bench::ThreadCpuSeconds;

constexpr int16_t kChannels = 32;
constexpr float kRate = 15625.0f; // kadrs/s: 500 kS/s over 32 channels
constexpr int32_t kRingSamples = 32 << 20;
constexpr uint32_t kReplayFrames = 1000; // the ramp's period
constexpr auto kScreen = std::chrono::seconds(3);
constexpr auto kPoll = std::chrono::milliseconds(1);
constexpr auto kGrace = std::chrono::seconds(2);
constexpr double kModuleBufferWords = 4 << 20; // the library's default, which the driver keeps
constexpr uint32_t kFactors[] = {1, 10, 100, 200, 400, 600, 800, 1000, 1200, 1500, 2000, 3000, 5000};

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Every thread's but the calling host's.
double DriverCpuSeconds() {
    return ProcessCpuSeconds() - ThreadCpuSeconds();
}

int16_t RampCode(int64_t frame) {
    return static_cast<int16_t>(-16000 + 32 * (frame % 1000));
}

// What the host saw of the worker, one poll at a time.
struct WorkerFacts {
    bool found = false;        // the start made one thread, whose schedstat was read
    double cpuShare = 0.0;     // of one core, on the processor
    double waitShare = 0.0;    // runnable, waiting for a processor
    double longestGapMs = 0.0; // polls that saw no receive begin, from the first to the last
    // The window of WorkerWatch::kWindow in which the worker slept least
    // (the whole run when shorter): its length and the worker's shares of
    // it on the processor and waiting for one.
    double busiestMs = 0.0, busiestCpuShare = 0.0, busiestWaitShare = 0.0;
};

struct Run {
    bool started = false, sustained = false;
    std::string endReason; // empty: the host stopped it
    int64_t kadrs = 0, breaks = 0, missing = 0;
    double driverCpuShare = 0.0; // of one core: every thread but the host's
    WorkerFacts worker;
};

std::set<std::string> Threads() {
    std::set<std::string> ids;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", ec))
        ids.insert(entry.path().filename().string());
    return ids;
}

// The worker seen from outside the driver at each poll: the thread the
// start made (its schedstat: ns on the processor, ns waiting for one) and
// the library's receives. A thread that has ended reads nothing more, and
// its figures stay as last read.
class WorkerWatch {
public:
    // The kernel adds a wait when it ends and a running thread's time at
    // its ticks, so a window this long is what the shares are exact to a
    // few percent over.
    static constexpr auto kWindow = std::chrono::milliseconds(100);

    ~WorkerWatch() { Close(); }

    void BeforeStart() { before_ = Threads(); }

    void AfterStart(Clock::time_point now) {
        Close();
        facts_ = {};
        for (const std::string& id : Threads()) {
            if (before_.count(id) != 0) continue;
            if (fd_ >= 0) { // more than one new thread: none is surely the worker
                Close();
                break;
            }
            fd_ = ::open(("/proc/self/task/" + id + "/schedstat").c_str(), O_RDONLY | O_CLOEXEC);
        }
        last_ = lastReceive_ = now;
        receives_ = e16sim_call_count("X502_Recv");
        window_.clear();
        wholeSeen_ = false;
        first_ = {};
        facts_.found = fd_ >= 0 && Read(first_);
        first_.at = now;
        window_.push_back(first_);
    }

    void Sample(Clock::time_point now) {
        const int64_t receives = e16sim_call_count("X502_Recv");
        // Counted from the last poll that saw none, not this one: a host
        // held up itself adds nothing to the gap.
        if (receives != receives_) {
            facts_.longestGapMs = std::max(facts_.longestGapMs, Ms(last_ - lastReceive_));
            lastReceive_ = now;
            receives_ = receives;
        }
        last_ = now;
        Point p;
        if (!facts_.found || !Read(p)) return;
        p.at = now;
        window_.push_back(p);
        // The window ending now: from the latest sample at least kWindow old.
        while (window_.size() > 2 && now - window_[1].at >= kWindow) window_.pop_front();
        const Point& w = window_.front();
        const double span = Ms(now - w.at);
        const bool whole = now - w.at >= kWindow;
        const bool busier =
            (p.cpu - w.cpu + p.wait - w.wait) / span > facts_.busiestCpuShare + facts_.busiestWaitShare;
        if (whole ? !wholeSeen_ || busier : !wholeSeen_) {
            facts_.busiestMs = span;
            facts_.busiestCpuShare = (p.cpu - w.cpu) / span;
            facts_.busiestWaitShare = (p.wait - w.wait) / span;
        }
        wholeSeen_ = wholeSeen_ || whole;
        const double wall = Ms(now - first_.at);
        facts_.cpuShare = (p.cpu - first_.cpu) / wall;
        facts_.waitShare = (p.wait - first_.wait) / wall;
    }

    const WorkerFacts& Facts() const { return facts_; }

private:
    static double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

    struct Point {
        Clock::time_point at;
        double cpu = 0.0, wait = 0.0; // ms
    };

    // schedstat's first two fields.
    bool Read(Point& p) const {
        char text[128];
        const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
        if (n <= 0) return false;
        text[n] = '\0';
        unsigned long long onNs = 0, waitNs = 0;
        if (std::sscanf(text, "%llu %llu", &onNs, &waitNs) != 2) return false;
        p.cpu = static_cast<double>(onNs) / 1e6;
        p.wait = static_cast<double>(waitNs) / 1e6;
        return true;
    }

    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    std::set<std::string> before_;
    int fd_ = -1;
    Clock::time_point last_, lastReceive_;
    int64_t receives_ = 0;
    Point first_;
    std::deque<Point> window_;
    bool wholeSeen_ = false; // a window of kWindow has been seen
    WorkerFacts facts_;
};

class Host {
public:
    bool Open() {
        std::string error;
        if (host_.Open(error)) return true;
        std::fprintf(stderr, "driver_headroom_bench: %s\n", error.c_str());
        return false;
    }

    Run Sustain(uint32_t factor, Clock::duration span) {
        Run run;
        e16sim_set_time_scale(factor);
        std::string error;
        const double cpu0 = DriverCpuSeconds();
        watch_.BeforeStart();
        if (!(run.started = host_.Start(kChannels, kRate, kRingSamples, error))) {
            std::fprintf(stderr, "driver_headroom_bench: %s\n", error.c_str());
            return run;
        }
        // The module's clock started within StartRecord: counting from its
        // return, the frames made are at most a start's worth too few.
        const auto origin = Clock::now();
        watch_.AfterStart(origin);
        e16sim_config applied{};
        e16sim_get_config(E16SIM_MODULE_DAC, 1, &applied);
        const double framesPerSecond = applied.frame_freq * factor;
        kadrs_ = breaks_ = 0;
        bool busy = true;
        for (const auto end = origin + span; Clock::now() < end && breaks_ == 0 && (busy = host_.Busy());) {
            std::this_thread::sleep_for(kPoll);
            Drain();
            watch_.Sample(Clock::now());
        }
        const auto made = static_cast<int64_t>(std::chrono::duration<double>(Clock::now() - origin).count() *
                                               framesPerSecond);
        for (const auto end = Clock::now() + kGrace; busy && kadrs_ < made && Clock::now() < end;) {
            std::this_thread::sleep_for(kPoll);
            Drain();
            watch_.Sample(Clock::now());
        }
        const double wall = std::chrono::duration<double>(Clock::now() - origin).count();
        if (!host_.Busy()) run.endReason = host_.EndReason();
        host_.Stop();
        run.driverCpuShare = (DriverCpuSeconds() - cpu0) / wall;
        run.worker = watch_.Facts();
        run.kadrs = kadrs_;
        run.breaks = breaks_;
        run.missing = std::max<int64_t>(made - kadrs_, 0);
        run.sustained = run.endReason.empty() && run.breaks == 0 && run.missing == 0;
        return run;
    }

private:
    // Everything unread, a buffer's worth at a time.
    void Drain() {
        for (int32_t taken = kBufferKadrs; taken == kBufferKadrs;) {
            taken = host_.GetData(buffer_.data(), static_cast<int32_t>(buffer_.size()));
            const int16_t* ramp = buffer_.data() + kChannels - 1;
            for (int32_t k = 0; k < taken; ++k, ++kadrs_)
                breaks_ += ramp[std::ptrdiff_t(k) * kChannels] != RampCode(kadrs_);
        }
    }

    static constexpr int32_t kBufferKadrs = 65536;
    ComHost host_;
    WorkerWatch watch_;
    std::vector<int16_t> buffer_ = std::vector<int16_t>(std::size_t{kBufferKadrs} * kChannels);
    int64_t kadrs_ = 0, breaks_ = 0;
};

// The run, then what was measured of the worker beside how long the
// module's buffer lasts at that rate; what made a run fail is left to the
// reader, since an average share cannot tell it.
void Print(const char* what, uint32_t factor, std::chrono::seconds span, const Run& run) {
    std::printf("%-7s %5u x 500 kS/s  %3llds  %-9s kadrs %11lld  lost/repeated %lld  missing %lld"
                "  driver threads %5.1f %% of a core%s%s\n",
                what, factor, static_cast<long long>(span.count()), run.sustained ? "sustained" : "FAILED",
                static_cast<long long>(run.kadrs), static_cast<long long>(run.breaks),
                static_cast<long long>(run.missing), 100.0 * run.driverCpuShare,
                run.endReason.empty() ? "" : "; ended: ", run.endReason.c_str());
    const WorkerFacts& w = run.worker;
    std::printf("        module buffer %.1f ms; worker: receives up to %.1f ms apart",
                1000.0 * kModuleBufferWords / (500000.0 * factor), w.longestGapMs);
    if (w.found)
        std::printf(
            ", on the processor %.1f %% of the time and waiting for one %.1f %%, in its busiest %.0f ms "
            "%.0f %% and %.0f %%",
            100.0 * w.cpuShare, 100.0 * w.waitShare, w.busiestMs, 100.0 * w.busiestCpuShare,
            100.0 * w.busiestWaitShare);
    std::printf("\n");
    std::fflush(stdout);
}

// What one core would carry at the cost the two highest screens passed
// show per step of the rate (the cost grows in a straight line with it).
void PrintProjection(const std::vector<uint32_t>& factors, const std::vector<double>& shares) {
    const std::size_t n = factors.size();
    if (n < 2 || shares[n - 1] <= shares[n - 2]) return;
    const double perFactor = (shares[n - 1] - shares[n - 2]) / (factors[n - 1] - factors[n - 2]);
    std::printf(
        "driver's threads: %.2f %% of a core more for each 100 x 500 kS/s; one core would carry about "
        "%.0f x\n",
        100.0 * 100.0 * perFactor, factors[n - 1] + (1.0 - shares[n - 1]) / perFactor);
}

// --seconds=N and --factors=a,b,...
struct Options {
    std::chrono::seconds span{30};
    std::vector<uint32_t> factors{std::begin(kFactors), std::end(kFactors)};
};

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0) {
            o.span = std::chrono::seconds(std::atoi(argv[i] + 10));
        } else if (std::strncmp(argv[i], "--factors=", 10) == 0) {
            o.factors.clear();
            for (const char* p = argv[i] + 10; *p != '\0';) {
                char* end = nullptr;
                o.factors.push_back(static_cast<uint32_t>(std::strtoul(p, &end, 10)));
                p = *end == ',' ? end + 1 : end;
                if (end == p && *p != '\0') return false;
            }
        } else {
            return false;
        }
    }
    return o.span.count() > 0 && !o.factors.empty();
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: driver_headroom_bench [--seconds=N] [--factors=a,b,...]\n");
        return 2;
    }
    e16sim_set_replay(kReplayFrames);
    Host host;
    if (!host.Open()) return 1;
    std::vector<uint32_t> passed;
    std::vector<double> shares;
    for (const uint32_t factor : o.factors) {
        const Run run = host.Sustain(factor, kScreen);
        Print("screen", factor, std::chrono::duration_cast<std::chrono::seconds>(kScreen), run);
        if (!run.started) return 1;
        if (!run.sustained) break;
        passed.push_back(factor);
        shares.push_back(run.driverCpuShare);
    }
    PrintProjection(passed, shares);
    uint32_t best = 0;
    for (auto it = passed.rbegin(); it != passed.rend() && best == 0; ++it) {
        const Run run = host.Sustain(*it, o.span);
        Print("sustain", *it, o.span, run);
        if (run.sustained) best = *it;
    }
    std::printf(
        "driver alone, highest rate sustained for %lld s with no lost or repeated kadr: %u x 500 kS/s\n",
        static_cast<long long>(o.span.count()), best);
    std::printf("worker, seen at each poll of about 1 ms: receives apart from the poll that saw one begin to "
                "the last poll before the next began; busiest: the window it slept least in (the kernel "
                "counts a wait when it ends)\n");
    return best > 0 ? 0 : 1;
}
