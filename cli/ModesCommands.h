// varnokctl's `modes list` and `modes set`: the interface-mode tool's
// discovery, protocol and engine behind the command line. The same code runs
// on Windows (D2XX library, COM ports) and on Linux (a device list from udev,
// ttys); only the seams in `tool` differ.
#pragma once
#include <ostream>

#include "cli/CommandLine.h"
#include "cli/Errors.h"
#include "modetool/Engine.h"
#include "modetool/ModeTool.h"

namespace varnok::cli {

// Runs a ModesListCommand or ModesSetCommand: output on `out`, errors (each
// one line naming the adapter and port) on `err`; returns the exit status.
ExitStatus RunModesCommand(const Command& command, mode::ModeTool& tool,
                           mode::Executor& executor, std::ostream& out, std::ostream& err);

}  // namespace varnok::cli
