// comrt-reg's whole behaviour as one call, for its main and for tests that
// run it in-process: arguments as a program gets them, results to out and
// messages to err, one line for every refusal. Uses the registry store of
// XDG_CONFIG_HOME. Not thread-safe (one cRegistry per call).
#pragma once

#include <functional>
#include <ostream>
#include <string>

// Asks the user the question and answers yes or no; empty where nobody can
// answer (deleting a key with sub-keys then needs -f).
using ComrtRegConfirm = std::function<bool(const std::string& question)>;

// Exit status: 0 on success, 1 with a message on err otherwise.
int RunComrtReg(int argc, char** argv, std::ostream& out, std::ostream& err,
                const ComrtRegConfirm& confirm = {});
