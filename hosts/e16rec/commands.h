// e16rec's recording and its setup run as main runs them, each returning the
// exit status: 0 done; 1 an error (a file that failed or fell its buffer
// behind included), or a recording the driver ended early (the reason on
// `err`, the driver's own text included); 128 + the signal when SIGINT,
// SIGTERM or SIGHUP stopped a recording. Before the driver goes, its
// settings are saved, a wait for the store and a failure said.
#pragma once

#include <velmora/interfaces.h>

#include <cstdio>
#include <functional>
#include <string>

#include "file_series.h"
#include "options.h"

namespace e16rec {

struct Console {
    std::FILE* out = stdout; // the module, the summary
    std::FILE* err = stderr; // refusals, errors and warnings
};

// Records as the options say, each file opened by `open` (by default
// velmora::hosts::OpenWriter). SIGINT, SIGTERM and SIGHUP stop the recording
// once it has started (the file keeps every kadr received until then).
int RecordCommand(const Options& options, Console io = {});
int RecordCommand(const Options& options, Console io, const OpenFile& open);
// A recording's file was stuck and its writer left running with it: the
// process may end only by _Exit, which neither waits for it nor tears down
// what it uses.
bool WriterLeftBehind();
// Detects the module, opens the driver's setup dialog through `show` (by
// default IModule ShowSetup, whose outcome it returns, or kSetupCallFailed),
// then saves what OK stored and says whether it was saved. A dialog that was
// not shown is an error, which the driver has said; Cancel saves nothing.
using ShowDialog = std::function<int32_t(IModule*)>;
inline constexpr int32_t kSetupCallFailed = -2;
int SetupCommand(const Options& options, Console io = {});
int SetupCommand(const Options& options, Console io, const ShowDialog& show);
// The driver's address chooser; prints the address chosen.
int ChooseCommand(Console io = {});
// The summary's line on the writer queue: the most it held against its size.
// An empty queue takes a block longer than itself whole (a drain after e16rec
// was held up, a stream's message after its publisher's); the line says so.
std::string QueueSummary(double rate, int64_t deepestKadrs, int64_t queueKadrs);

} // namespace e16rec
