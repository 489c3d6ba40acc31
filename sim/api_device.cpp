// Entry points for the library itself, handles, opening and module identity.
#include <cstring>

#include "api_guard.h"
#include "error_text.h"

using namespace e16sim;

namespace {

constexpr uint32_t kLibraryVersion = (1u << 24) | (1u << 16) | (34u << 8);

// `missing` is the code when nothing answers: refused for an address, not found for a serial.
int32_t openModule(t_x502_hnd h, const std::shared_ptr<Module>& module, int32_t missing) {
    Simulator& sim = Simulator::instance();
    auto handle = sim.liveHandle(h);
    if (!handle) return X502_ERR_INVALID_HANDLE;
    if (handle->module) return X502_ERR_ALREADY_OPENED;
    if (sim.refuseOpenCode != 0) return sim.refuseOpenCode;
    if (!module) return missing;
    if (module->owner != nullptr) return X502_ERR_DEVICE_BUSY;
    sim.attach(*handle, module);
    return X502_ERR_OK;
}

std::vector<std::shared_ptr<Module>> listUsb(uint32_t flags) {
    auto list = Simulator::instance().usbModules();
    if ((flags & X502_GETDEVS_FLAGS_ONLY_NOT_OPENED) == 0) return list;
    std::erase_if(list, [](const auto& m) { return m->owner != nullptr; });
    return list;
}

std::shared_ptr<Module> findUsb(const char* serial) {
    for (const auto& m : Simulator::instance().usbModules()) {
        const bool any = serial == nullptr || serial[0] == '\0';
        if (any ? m->owner == nullptr : m->id.serial == serial) return m;
    }
    return nullptr;
}

} // namespace

E16SIM_API uint32_t X502_GetLibraryVersion(void) {
    // An injected value stands in for the version, to mimic other releases.
    const int32_t injected = beginCall(Entry::X502_GetLibraryVersion);
    return injected != 0 ? static_cast<uint32_t>(injected) : kLibraryVersion;
}

E16SIM_API t_x502_hnd X502_Create(void) {
    t_x502_hnd created = nullptr;
    guarded(Entry::X502_Create, [&] {
        std::lock_guard<std::mutex> lock(Simulator::instance().mutex());
        created = Simulator::instance().createHandle();
        return X502_ERR_OK;
    });
    return created;
}

E16SIM_API int32_t X502_Free(t_x502_hnd h) {
    return guarded(Entry::X502_Free, [&] {
        std::lock_guard<std::mutex> lock(Simulator::instance().mutex());
        if (!Simulator::instance().liveHandle(h)) return X502_ERR_INVALID_HANDLE;
        Simulator::instance().freeHandle(h);
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_Close(t_x502_hnd h) {
    return guarded(Entry::X502_Close, [&] {
        std::lock_guard<std::mutex> lock(Simulator::instance().mutex());
        auto handle = Simulator::instance().liveHandle(h);
        if (!handle) return X502_ERR_INVALID_HANDLE;
        Simulator::instance().detach(*handle);
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t E16_OpenByIpAddr(t_x502_hnd h, uint32_t ip, uint32_t, uint32_t) {
    return guarded(Entry::E16_OpenByIpAddr, [&] {
        std::lock_guard<std::mutex> lock(Simulator::instance().mutex());
        return openModule(h, Simulator::instance().moduleByIp(ip), X502_ERR_CONNECTION_REFUSED);
    });
}

E16SIM_API int32_t E16_UsbGetSerialList(char serials[][32], uint32_t size, uint32_t flags, uint32_t* devcnt) {
    return guarded(Entry::E16_UsbGetSerialList, [&] {
        if (size != 0 && serials == nullptr) return X502_ERR_INVALID_POINTER;
        std::lock_guard<std::mutex> lock(Simulator::instance().mutex());
        const auto list = listUsb(flags);
        const uint32_t stored = std::min<uint32_t>(size, static_cast<uint32_t>(list.size()));
        for (uint32_t i = 0; i < stored; ++i) {
            std::memset(serials[i], 0, 32);
            std::strncpy(serials[i], list[i]->id.serial.c_str(), 31);
        }
        if (devcnt != nullptr) *devcnt = static_cast<uint32_t>(list.size());
        return static_cast<int32_t>(stored);
    });
}

E16SIM_API int32_t E16_OpenUsb(t_x502_hnd h, const char* serial) {
    return guarded(Entry::E16_OpenUsb, [&] {
        std::lock_guard<std::mutex> lock(Simulator::instance().mutex());
        return openModule(h, findUsb(serial), X502_ERR_DEVICE_NOT_FOUND);
    });
}

E16SIM_API int32_t X502_SetMode(t_x502_hnd h, uint32_t mode) {
    return onModule(Entry::X502_SetMode, h,
                    [&](Session&) { return mode == 0 ? X502_ERR_OK : X502_ERR_INVALID_MODE; });
}

E16SIM_API int32_t X502_GetDevInfo(t_x502_hnd h, t_x502_info* info) {
    return onModule(Entry::X502_GetDevInfo, h, [&](Session& s) {
        if (info == nullptr) return X502_ERR_INVALID_POINTER;
        s.module->fillInfo(info);
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_LedBlink(t_x502_hnd h) {
    return onModule(Entry::X502_LedBlink, h, [&](Session& s) {
        ++s.module->ledBlinks;
        return X502_ERR_OK;
    });
}

E16SIM_API const char* X502_GetErrorString(int32_t err) {
    beginCall(Entry::X502_GetErrorString);
    return errorText(err);
}
