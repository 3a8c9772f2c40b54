// The profile watcher as a Windows service ("Varnok Plus profile watcher",
// automatic start, LocalSystem): `service install PROFILE` copies the profile
// to %ProgramData%\Varnok Plus\profile.json, which only Administrators and
// SYSTEM may change, installs the service and starts it; `service uninstall`
// stops and removes it; `service status` tells its state. The service
// manager starts `varnokctl.exe service run`, which runs the same watch as
// `varnokctl watch` with its events in %ProgramData%\Varnok Plus\watch.log
// (kept under 1 MB) and its backups beside it in Backups\.
#pragma once
#include "cli/CommandLine.h"

namespace varnok::cli {

// Runs one `service` command; returns the exit status.
int RunServiceCommand(const Command& command, const ServiceCommand& service);

}  // namespace varnok::cli
