// comrt-reg's whole behaviour as one call, for its main and for tests that
// run it in-process: arguments as a program gets them, results to out and
// messages to err. Uses the registry store of XDG_CONFIG_HOME; reads nothing
// from standard input. Not thread-safe (one cRegistry per call).
#pragma once

#include <ostream>

// Exit status: 0 on success, 1 with a message on err otherwise.
int RunComrtReg(int argc, char** argv, std::ostream& out, std::ostream& err);
