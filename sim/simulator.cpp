#include "simulator.h"

#include <cstdlib>

#include "entry_points.h"

namespace e16sim {
namespace {

// E16SIM_TIME_SCALE: a whole number from 1 to kMaxTimeScale; anything else is 1.
uint32_t powerOnTimeScale() {
    const char* text = std::getenv("E16SIM_TIME_SCALE");
    if (text == nullptr) return 1;
    char* end = nullptr;
    const unsigned long factor = std::strtoul(text, &end, 10);
    return *end == '\0' && factor >= 1 && factor <= kMaxTimeScale ? static_cast<uint32_t>(factor) : 1;
}

} // namespace

Simulator& Simulator::instance() {
    static Simulator sim;
    return sim;
}

Simulator::Simulator() : epoch_(Clock::now()), timeScale_(powerOnTimeScale()) {
    buildModules();
}

void Simulator::buildModules() {
    modules_.clear();
    modules_.push_back(std::make_shared<Module>(ModuleIdentity{"SIM0001", true, 0x7F000001u, 1}, &bench_));
    modules_.push_back(std::make_shared<Module>(ModuleIdentity{"SIM0002", false, 0x7F000002u, 2}, &bench_));
}

t_x502* Simulator::createHandle() {
    auto handle = std::make_shared<t_x502>();
    t_x502* raw = handle.get();
    handles_.emplace(raw, std::move(handle));
    return raw;
}

std::shared_ptr<t_x502> Simulator::liveHandle(t_x502* raw) const {
    const auto it = handles_.find(raw);
    return it == handles_.end() ? nullptr : it->second;
}

void Simulator::freeHandle(t_x502* raw) {
    const auto it = handles_.find(raw);
    if (it == handles_.end()) return;
    detach(*it->second);
    it->second->freed = true;
    handles_.erase(it);
    wakeup_.notify_all();
}

void Simulator::attach(t_x502& handle, const std::shared_ptr<Module>& module) {
    handle.module = module;
    handle.lost = false;
    handle.nextLch = 0;
    module->owner = &handle;
    module->onOpen();
}

void Simulator::detach(t_x502& handle) {
    if (handle.module) {
        handle.module->stopStreams(Clock::now());
        handle.module->owner = nullptr;
        handle.module.reset();
    }
    handle.lost = false;
    wakeup_.notify_all();
}

std::shared_ptr<Module> Simulator::moduleAt(uint32_t index) const {
    return index < modules_.size() ? modules_[index] : nullptr;
}

std::shared_ptr<Module> Simulator::moduleByIp(uint32_t ip) const {
    for (const auto& m : modules_) {
        if (m->id.ip == ip && ip != 0) return m;
    }
    return nullptr;
}

std::vector<std::shared_ptr<Module>> Simulator::usbModules() const {
    std::vector<std::shared_ptr<Module>> list;
    for (const auto& m : modules_) {
        if (m->id.ip == 0) list.push_back(m);
    }
    return list;
}

int32_t Simulator::addUsbModule(const char* serial, bool hasDac) {
    if (serial == nullptr || serial[0] == '\0' || std::char_traits<char>::length(serial) >= 32) return -1;
    for (const auto& m : modules_) {
        if (m->id.serial == serial) return -1;
    }
    const auto mac = static_cast<uint8_t>(modules_.size() + 1);
    modules_.push_back(std::make_shared<Module>(ModuleIdentity{serial, hasDac, 0, mac}, &bench_));
    return static_cast<int32_t>(modules_.size() - 1);
}

void Simulator::reset() {
    for (auto& [raw, handle] : handles_) detach(*handle);
    buildModules();
    bench_.restoreDefaults();
    refuseOpenCode = 0;
    timeScale_ = powerOnTimeScale();
    replayFrames_ = 0;
    resetCallCounts();
    clearInjectedFaults();
    wakeup_.notify_all();
}

} // namespace e16sim
