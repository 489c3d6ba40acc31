// Unlocked: the GIL released around a call into the driver or the store,
// and taken back after. A thread other than the main one must not take the
// GIL back once the interpreter finalizes (a daemon thread still recording
// at the script's end): Python would end it inside the GIL's wait, unwinding
// through this destructor, which aborts the process. So the interpreter's
// exit closes a gate first; a thread that comes back after it sleeps until
// the process ends.
#pragma once

#include <pybind11/pybind11.h>

namespace lintara {

class Unlocked {
public:
    Unlocked() : state_(PyEval_SaveThread()) {}
    ~Unlocked();
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

    // As the module loads: notes the main thread, and has the interpreter's
    // exit close the gate.
    static void Install();

private:
    PyThreadState* state_;
};

} // namespace lintara
