// Entry point of varnokctl on Linux: the same command line as on Windows,
// with the commands that make sense here, on the Linux seams (udev device
// list, ttys, sysfs). VARNOKCTL_SYSFS_ROOT and VARNOKCTL_RULES_ROOT put a
// prefix before sysfs and /etc/udev/rules.d (for tests on a tree of files).
// The modes commands catch SIGINT, SIGTERM and SIGHUP (StopSignals) to end
// the exchanges under way before ending with 128 + the signal's number.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ModesCommands.h"
#include "cli/WriteResult.h"
#include "cli/linux/LinuxCommands.h"
#include "cli/linux/LinuxD2xx.h"
#include "cli/linux/LinuxImport.h"
#include "cli/linux/PosixSerial.h"
#include "cli/linux/StopSignals.h"
#include "cli/linux/UdevDevices.h"
#include "modetool/Engine.h"
#include "modetool/ModeTool.h"

namespace {

using namespace varnok;

class SteadyClock : public Clock {
public:
    void sleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    uint64_t nowMs() override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
};

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::vector<linuxhost::FtdiTty> Ports(bool verbose) {
    std::string error;
    std::vector<linuxhost::FtdiTty> ports = linuxhost::ListFtdiTtys(&error);
    if (!error.empty())
        throw cli::CliError(cli::ExitStatus::Failed, "the FTDI ports could not be listed: " + error);
    if (verbose)
        for (const auto& p : ports)
            std::cerr << "varnokctl: " << p.tty << " " << p.portSerial() << " \"" << p.description
                      << "\" location 0x" << std::hex << p.locationId << std::dec << "\n";
    return ports;
}

int RunModes(const cli::Command& command) {
    linuxhost::StopSignals signals;
    const bool verbose = command.options.verbose;
    linuxhost::LinuxD2xx d2xx([verbose] { return Ports(verbose); }, linuxhost::ReadUserAreaUsb);
    linuxhost::PosixSerialPorts serialPorts;
    SteadyClock clock;
    mode::ModeTool tool(d2xx, serialPorts, clock);
    tool.portPrefix = "ttyUSB";
    tool.firstPortNumber = 0;
    mode::ThreadExecutor executor;
    const cli::ExitStatus status =
        cli::RunModesCommand(command, tool, executor, std::cout, std::cerr, signals.flag());
    if (verbose)
        for (const std::string& note : d2xx.notes()) std::cerr << "varnokctl: " << note << "\n";
    std::cout.flush();
    return status == cli::ExitStatus::Interrupted ? signals.exitStatus() : cli::ToInt(status);
}

int Run(const cli::Command& command) {
    if (std::holds_alternative<cli::ModesListCommand>(command.action) ||
        std::holds_alternative<cli::ModesSetCommand>(command.action))
        return RunModes(command);
    linuxhost::LinuxHost host;
    host.sysRoot = Env("VARNOKCTL_SYSFS_ROOT");
    host.rulesRoot = Env("VARNOKCTL_RULES_ROOT");
    host.ports = Ports(command.options.verbose);
    if (std::holds_alternative<cli::ListCommand>(command.action))
        return cli::ToInt(linuxhost::RunList(command, host, std::cout, std::cerr));
    if (std::holds_alternative<cli::SetCommand>(command.action))
        return cli::ToInt(linuxhost::RunSet(command, host, std::cout, std::cerr));
    if (std::holds_alternative<cli::ImportCommand>(command.action))
        return cli::ToInt(linuxhost::RunImport(command, host, std::cout, std::cerr));
    std::cerr << cli::ErrorLine("this command is not available on Linux");
    return cli::ToInt(cli::ExitStatus::Usage);
}

}  // namespace

int main(int argc, char** argv) {
    const cli::ParseResult parsed =
        cli::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    std::fputs(parsed.out.c_str(), stdout);
    std::fputs(parsed.err.c_str(), stderr);
    if (!parsed.command) return cli::ToInt(parsed.status);
    int status = 0;
    try {
        status = Run(*parsed.command);
    } catch (const cli::CliError& e) {
        std::cout.flush();
        std::cerr << cli::ErrorLine(e.what());
        status = cli::ToInt(e.status());
        // Stopped before writing: nothing changed, and the reason.
        if (parsed.command->options.json && cli::WritesSettings(parsed.command->action)) {
            cli::WriteResult result;
            result.warnings.push_back(e.what());
            std::cout << cli::WriteResultJson(result);
        }
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << cli::ErrorLine(e.what());
        status = cli::ToInt(cli::ExitStatus::Failed);
    }
    std::cout.flush();
    return status;
}
