#include "unlocked.h"

#include <pythread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace py = pybind11;

namespace lintara {
namespace {

// The gate other threads pass to take the GIL back, and how many are
// between it and the GIL: the exit closes it and, the GIL let go, waits for
// them to come through before the finalization could end them there.
struct Gate {
    std::mutex mutex;
    std::condition_variable passed;
    bool closed = false;
    int passing = 0;
    unsigned long mainThread = 0;
};

Gate& TheGate() {
    static Gate* gate = new Gate; // never destroyed: threads sleep on past the exit
    return *gate;
}

void CloseGate() {
    Gate& gate = TheGate();
    std::unique_lock lock(gate.mutex);
    gate.closed = true;
    if (gate.passing == 0) return;
    lock.unlock();
    py::gil_scoped_release released;
    lock.lock();
    gate.passed.wait(lock, [&gate] { return gate.passing == 0; });
}

} // namespace

Unlocked::~Unlocked() {
    Gate& gate = TheGate();
    const bool other = PyThread_get_thread_ident() != gate.mainThread;
    if (other) {
        std::unique_lock lock(gate.mutex);
        if (gate.closed) {
            lock.unlock();
            for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
        }
        ++gate.passing;
    }
    PyEval_RestoreThread(state_);
    if (other) {
        std::lock_guard lock(gate.mutex);
        if (--gate.passing == 0) gate.passed.notify_all();
    }
}

void Unlocked::Install() {
    TheGate().mainThread =
        py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
    py::module_::import("atexit").attr("register")(py::cpp_function(&CloseGate));
}

} // namespace lintara
