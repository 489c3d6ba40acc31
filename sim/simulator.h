// The process-wide simulator: live handles, the modules on the bench, the
// input signals and the open-refusal fault. One mutex guards all of it (and
// every Module); X502_Recv and other waits release it through `wakeup`.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "module.h"
#include "signals.h"
#include "wakeup.h"

// A library handle. Guarded by the simulator mutex.
struct t_x502 {
    std::shared_ptr<e16sim::Module> module; // null while closed
    bool freed = false;
    bool lost = false;    // the connection dropped; only closing helps
    uint32_t nextLch = 0; // logical channel X502_ProcessAdcData expects next
};

namespace e16sim {

constexpr uint32_t kModuleWithDac = 0;
constexpr uint32_t kModuleWithoutDac = 1;
constexpr uint32_t kMaxTimeScale = 10000;
constexpr uint32_t kMaxReplayFrames = 65536;

class Simulator {
public:
    static Simulator& instance();

    std::mutex& mutex() { return mutex_; }
    // Notified whenever a waiting call may have to look again (stop, close, edge, fault cleared).
    Wakeup& wakeup() { return wakeup_; }

    t_x502* createHandle();
    std::shared_ptr<t_x502> liveHandle(t_x502* raw) const;
    void freeHandle(t_x502* raw);
    void attach(t_x502& handle, const std::shared_ptr<Module>& module);
    void detach(t_x502& handle);

    std::shared_ptr<Module> moduleAt(uint32_t index) const;
    std::shared_ptr<Module> moduleByIp(uint32_t ip) const;
    std::vector<std::shared_ptr<Module>> usbModules() const;
    int32_t addUsbModule(const char* serial, bool hasDac);

    InputBench& bench() { return bench_; }
    Clock::time_point epoch() const { return epoch_; }
    int32_t refuseOpenCode = 0;
    // The module clock runs this many times faster than the wall clock, from
    // the next stream start on; E16SIM_TIME_SCALE sets it at power-on.
    uint32_t timeScale() const { return timeScale_; }
    void setTimeScale(uint32_t factor) { timeScale_ = factor; }
    // Frames an ADC stream repeats from the next start on; 0: none.
    uint32_t replayFrames() const { return replayFrames_; }
    void setReplayFrames(uint32_t frames) { replayFrames_ = frames; }

    // Back to power-on: modules rebuilt, handles closed, signals and faults cleared.
    void reset();

private:
    Simulator();
    void buildModules();

    std::mutex mutex_;
    Wakeup wakeup_;
    std::unordered_map<t_x502*, std::shared_ptr<t_x502>> handles_;
    std::vector<std::shared_ptr<Module>> modules_;
    InputBench bench_;
    Clock::time_point epoch_;
    uint32_t timeScale_ = 1;
    uint32_t replayFrames_ = 0;
};

} // namespace e16sim
