// Unlocked: the GIL released around a call into the driver or the store,
// and taken back after. A thread other than the main one that comes back
// while the interpreter finalizes (a daemon thread still recording at the
// script's end) would be ended inside the GIL's wait, unwinding through this
// destructor, which aborts the process: it sleeps until the process ends.
#pragma once

#include <pybind11/pybind11.h>

namespace lintara {

class Unlocked {
public:
    Unlocked() : state_(PyEval_SaveThread()) {}
    ~Unlocked();
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

    // The main thread, which finalizes the interpreter; set as the module loads.
    static void NoteMainThread(unsigned long ident);

private:
    PyThreadState* state_;
};

} // namespace lintara
