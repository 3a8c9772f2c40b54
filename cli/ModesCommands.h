// varnokctl's `modes list` and `modes set`: the interface-mode tool's
// discovery, protocol and engine behind the command line. The same code runs
// on Windows (D2XX library, COM ports) and on Linux (a device list from udev,
// ttys); only the seams in `tool` differ.
#pragma once
#include <atomic>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Data.h"
#include "cli/Errors.h"
#include "cli/TextOutput.h"
#include "cli/WriteResult.h"
#include "modetool/Engine.h"
#include "modetool/ModeTool.h"

namespace varnok::cli {

// Runs a ModesListCommand or ModesSetCommand: output on `out`, errors (each
// one line naming the adapter and port) on `err`; returns the exit status.
//
// Both search first, exactly as the mode tool's "Search Devices" does. `set`
// then changes the chosen ports the way clicks in the mode tool do and
// commits the one adapter through the engine, so the adapter receives the
// same bytes as from the mode tool's "Commit Changes". With --dry-run it
// prints the changes and sends nothing beyond the search.
//
// `list` fails (status 1) when the list is incomplete: an adapter could not
// be asked, or a configuration port did not answer; each is named on `err`.
//
// `stop` (Ctrl-C, a signal) finishes what was started: once it is true no new
// exchange begins, each one under way ends as usual (leaving configuration
// mode), and the command ends with Interrupted, telling on `err` which
// devices were not asked, or whether the adapter's new settings were stored
// or not sent.
ExitStatus RunModesCommand(const Command& command, mode::ModeTool& tool,
                           mode::Executor& executor, std::ostream& out, std::ostream& err,
                           const std::atomic<bool>* stop = nullptr);

// The text of `modes list`: per adapter its index, line, port and model,
// then one line per port.
std::string AdaptersText(const std::vector<AdapterInfo>& adapters);

}  // namespace varnok::cli
