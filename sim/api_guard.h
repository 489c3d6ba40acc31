// Glue shared by the exported entry points: the exception firewall, call
// counting and fault injection, and resolution of a handle to its open
// module under the simulator lock.
#pragma once

#include <mutex>
#include <new>

#include "device/x502api.h"
#include "entry_points.h"
#include "simulator.h"

#define E16SIM_API extern "C" __attribute__((visibility("default")))

namespace e16sim {

// An open handle and its module, valid while `lock` is held.
struct Session {
    std::shared_ptr<t_x502> handle;
    std::shared_ptr<Module> module;
    std::unique_lock<std::mutex>* lock = nullptr;
};

// Runs an entry point's body: counts the call, applies an injected failure,
// and turns any exception into a code, so nothing crosses the C boundary.
template <class Body> int32_t guarded(Entry entry, Body&& body) noexcept {
    try {
        if (const int32_t injected = beginCall(entry); injected != 0) return injected;
        return body();
    } catch (const std::bad_alloc&) {
        return X502_ERR_MEMORY_ALLOC;
    } catch (...) {
        return X502_ERR_INTERNAL;
    }
}

// What an entry point needs of the connection: most talk to the module; a
// few only work on what the handle already holds (processing received words).
enum class Reach { Module, HandleOnly };

// Live handle with an open module whose connection still stands (or, for
// HandleOnly, stood once).
inline int32_t resolveSession(t_x502_hnd h, Session* session, Reach reach) {
    auto handle = Simulator::instance().liveHandle(h);
    if (!handle) return X502_ERR_INVALID_HANDLE;
    if (!handle->module) return X502_ERR_DEVICE_NOT_OPENED;
    if (handle->lost && reach == Reach::Module) return X502_ERR_CONNECTION_LOST;
    session->module = handle->module;
    session->handle = std::move(handle);
    return X502_ERR_OK;
}

// Runs `body(Session&)` on the handle's open module under the simulator lock.
template <class Body>
int32_t onModule(Entry entry, t_x502_hnd h, Body&& body, Reach reach = Reach::Module) noexcept {
    return guarded(entry, [&]() -> int32_t {
        std::unique_lock<std::mutex> lock(Simulator::instance().mutex());
        Session session;
        session.lock = &lock;
        if (const int32_t err = resolveSession(h, &session, reach)) return err;
        return body(session);
    });
}

} // namespace e16sim
