#include "chain.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "device/te16.h"
#include "device/vendor_api.h"
#include "driver/driver_ops.h"
#include "e16sim_control.h"
#include "engine/operations.h"
#include "ui/scripted_dialogs.h"

namespace velmora::bench {
namespace {

constexpr int32_t kModuleIp = 0x7F000001;
constexpr int16_t kRampInput = 31; // Y16: -5 V + 0.01 V x (frame mod 1000)

// Set by the wrapped entry points: when the streams last started, and the
// CPU time of the thread that receives (the worker) after its latest
// receive. Kept as it goes, so it outlasts a worker that ended by itself:
// a thread's clock cannot be read once the thread is gone.
std::atomic<int64_t> g_startNs{0};
std::atomic<int64_t> g_workerCpuNs{0};

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void NoteWorkerCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    g_workerCpuNs.store(int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec, std::memory_order_relaxed);
}

const device::VendorApi& WatchedLibrary() {
    static const device::VendorApi api = [] {
        device::VendorApi table = device::VendorApi::Process();
        table.X502_StreamsStart = [](t_x502_hnd h) {
            g_startNs.store(NowNs(), std::memory_order_relaxed); // the module's origin is just after
            return device::VendorApi::Process().X502_StreamsStart(h);
        };
        table.X502_Recv = [](t_x502_hnd h, uint32_t* buf, uint32_t size, uint32_t tout) {
            const int32_t words = device::VendorApi::Process().X502_Recv(h, buf, size, tout);
            NoteWorkerCpu();
            return words;
        };
        return table;
    }();
    return api;
}

std::filesystem::path MakeConfigFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

int16_t RampCode(int64_t frame) {
    return static_cast<int16_t>(-16000 + 32 * (frame % 1000));
}

} // namespace

Chain::Chain() : config_(MakeConfigFolder()) {
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1); // never the user's own store
    e16sim_reset();
    auto dialogs = std::make_unique<ui::ScriptedDialogs>();
    dialogs->QueueAddress(kModuleIp);
    ui::ScriptedDialogs& prompt = *dialogs;
    ui::SetDialogs(std::move(dialogs));
    driver::OnObjectCreated(s_);
    s_.module.device = std::make_unique<device::TE16>(WatchedLibrary());
    engine::TestDevice(s_, prompt);
}

Chain::~Chain() {
    while (s_.instanceCount > 0) driver::OnObjectDestroyed(s_);
    s_.acquisition.Join();
    s_.module.Release();
    ui::SetDialogs(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(config_, ec);
}

bool Chain::Start(const ChainSetup& setup) {
    if (!s_.module.detected) return false;
    channels_ = setup.channels;
    s_.input.channelTable[static_cast<std::size_t>(channels_ - 1)] = {kRampInput, 1};
    std::vector<int16_t> selection(static_cast<std::size_t>(channels_));
    for (int16_t k = 0; k < channels_; ++k) selection[static_cast<std::size_t>(k)] = k;
    engine::SetInputChannels(s_, selection);
    engine::SetRate(s_, setup.rate);
    engine::SetInputSizeRequested(s_, setup.ringRequest);
    s_.sync = core::StartSync{setup.start};
    g_workerCpuNs.store(0); // the last worker was joined: nothing else writes it
    kadrs_ = breaks_ = 0;
    timeScale_ = e16sim_get_time_scale();
    if (!engine::StartRecordChecked(s_)) return false;
    e16sim_config applied{};
    e16sim_get_config(E16SIM_MODULE_DAC, 1, &applied);
    frameSeconds_ = 1.0 / applied.frame_freq;
    buffer_.assign(static_cast<std::size_t>(s_.ring.Capacity()) * static_cast<std::size_t>(channels_), 0);
    return true;
}

void Chain::Stop() {
    engine::StopRecording(s_);
}

int32_t Chain::Drain() {
    int32_t count = static_cast<int32_t>(buffer_.size()), rest = 0;
    const int32_t taken = s_.ring.Copy(buffer_.data(), count, rest); // what GetData does
    const int16_t* ramp = buffer_.data() + channels_ - 1;
    for (int32_t k = 0; k < taken; ++k, ++kadrs_)
        breaks_ += ramp[static_cast<std::ptrdiff_t>(k) * channels_] != RampCode(kadrs_);
    return taken;
}

double Chain::NewestAgeMs() const {
    const double sampledNs = static_cast<double>(g_startNs.load(std::memory_order_relaxed)) +
                             static_cast<double>(kadrs_ - 1) * frameSeconds_ * 1e9 / timeScale_;
    return (static_cast<double>(NowNs()) - sampledNs) / 1e6;
}

int64_t Chain::FramesMade() const {
    const double wall = static_cast<double>(NowNs() - g_startNs.load(std::memory_order_relaxed)) / 1e9;
    return static_cast<int64_t>(wall * timeScale_ / frameSeconds_);
}

double Chain::WorkerCpuSeconds() const {
    return static_cast<double>(g_workerCpuNs.load(std::memory_order_relaxed)) / 1e9;
}

SustainRun Sustain(Chain& chain, const ChainSetup& setup, Clock::duration span, Clock::duration poll,
                   Clock::duration grace) {
    SustainRun run;
    run.started = chain.Start(setup);
    if (!run.started) return run;
    const auto start = Clock::now();
    // More behind than the module's default buffer of 4 Mi words, the ring
    // and two blocks hold: the stream has overflowed.
    const int64_t overflowed =
        (int64_t{4} << 20) / setup.channels + chain.RingKadrs() + 2 * chain.BlockKadrs();
    bool sampled = false, behind = false;
    for (const auto end = start + span; Clock::now() < end && chain.Breaks() == 0 && !behind;) {
        std::this_thread::sleep_for(poll);
        chain.Drain();
        if (!sampled && Clock::now() - start > std::chrono::seconds(1)) {
            run.residentStartKiB = ResidentKiB();
            sampled = true;
        }
        behind = chain.FramesMade() - chain.Kadrs() > overflowed;
    }
    run.residentEndKiB = ResidentKiB();
    const int64_t made = chain.FramesMade();
    for (const auto end = Clock::now() + grace; chain.Kadrs() < made && Clock::now() < end;) {
        std::this_thread::sleep_for(poll);
        chain.Drain();
    }
    run.workerCpuSeconds = chain.WorkerCpuSeconds();
    run.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    chain.Stop();
    run.kadrs = chain.Kadrs();
    run.breaks = chain.Breaks();
    run.missing = std::max<int64_t>(made - chain.Kadrs(), 0);
    run.sustained = !behind && run.breaks == 0 && run.missing == 0;
    return run;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int64_t ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            int64_t kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

} // namespace velmora::bench
