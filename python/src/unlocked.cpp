#include "unlocked.h"

#include <pythread.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace lintara {
namespace {

std::atomic<unsigned long> mainThread{0};

bool Finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

} // namespace

Unlocked::~Unlocked() {
    if (PyThread_get_thread_ident() != mainThread.load())
        while (Finalizing()) std::this_thread::sleep_for(std::chrono::hours(1));
    PyEval_RestoreThread(state_);
}

void Unlocked::NoteMainThread(unsigned long ident) {
    mainThread.store(ident);
}

} // namespace lintara
